// Pixel-exact checks of the software painter on tiny frames. Only pixels whose coverage is
// certain are compared exactly; anti-aliased edges are checked only for being in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "kromi/draw/frame.h"
#include "kromi/draw/painter.h"

namespace kromi {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;
constexpr std::uint32_t kGrey = 0xFF808080u;

ShapeRect At(double left, double top, double width, double height) { return ShapeRect{left, top, width, height}; }

int Count(const Frame& frame, std::uint32_t pixel) {
  return static_cast<int>(std::count(frame.pixels.begin(), frame.pixels.end(), pixel));
}

// Checks pixels from (x0, y) rightwards against a pattern: W white, K black, R red, B blue, G grey,
// ~ a blend (none of those), . not checked.
void ExpectRow(const Frame& frame, int x0, int y, const std::string& pattern) {
  const std::string legend = "WKRBG";
  const std::uint32_t colours[] = {kWhite, kBlack, kRed, kBlue, kGrey};
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const int x = x0 + static_cast<int>(i);
    const std::uint32_t pixel = frame.At(x, y);
    if (pattern[i] == '.') continue;
    if (pattern[i] == '~') {
      EXPECT_EQ(std::find(std::begin(colours), std::end(colours), pixel), std::end(colours)) << x << "," << y;
    } else {
      EXPECT_EQ(pixel, colours[legend.find(pattern[i])]) << x << "," << y << " should be " << pattern[i];
    }
  }
}

TEST(Frame, PixelValuesFollowTheColourValueLayout) {
  EXPECT_EQ(PixelOf(RGB(255, 0, 0)), kRed);
  EXPECT_EQ(PixelOf(RGB(1, 2, 3)), 0xFF010203u);
  EXPECT_EQ(PixelOf(kSysButtonShadow), PixelOf(SystemColour(kSysButtonShadow)));
  EXPECT_EQ(RgbOf(0xFF102030u), (Rgb8{0x10, 0x20, 0x30}));
  Frame frame(3, 2, kWhite);
  frame.At(2, 1) = kRed;
  EXPECT_EQ(frame.pixels[5], kRed);
  EXPECT_FALSE(frame.Contains(3, 0));
  EXPECT_FALSE(frame.Contains(0, -1));
}

TEST(PainterRect, FillsClipsAndBlends) {
  Frame frame(6, 5, kWhite);
  Painter painter(frame);
  painter.FillRect(Rect{-2, -1, 4, 3}, kRed);  // reaches only (0..1, 0..1)
  painter.SetClip(Rect{3, 1, 10, 2});         // clipped to the frame: x 3..5, y 1..2
  EXPECT_EQ(painter.Clip(), (Rect{3, 1, 3, 2}));
  painter.FillRect(Rect{0, 0, 6, 5}, kBlue);
  ExpectRow(frame, 0, 0, "RRWWWW");
  ExpectRow(frame, 0, 1, "RRWBBB");
  ExpectRow(frame, 0, 2, "WWWBBB");
  ExpectRow(frame, 0, 3, "WWWWWW");

  // Half-transparent red over white: red stays full, the others land half-way.
  Frame blend(1, 1, kWhite);
  Painter(blend).FillRect(Rect{0, 0, 1, 1}, 0x80FF0000u);
  const Rgb8 mixed = RgbOf(blend.At(0, 0));
  EXPECT_EQ(mixed.r, 255);
  EXPECT_NEAR(mixed.g, 127, 1);
  EXPECT_EQ(mixed.g, mixed.b);
}

TEST(PainterShape, FillWithoutBorderCoversTheWholeRectangle) {
  Frame frame(10, 8, kWhite);
  Painter(frame).FillRoundedRect(At(1, 1, 6, 4), 1, kRed);
  ExpectRow(frame, 0, 1, "W~....~W");  // rounded corners are partly covered
  ExpectRow(frame, 0, 2, "WRRRRRRW");  // between the corners the fill ends on the edges
  ExpectRow(frame, 0, 3, "WRRRRRRW");
  ExpectRow(frame, 0, 5, "WWWWWWWW");
}

TEST(PainterShape, OnePixelBorderLandsOnTheEdgePixels) {
  Frame frame(16, 14, kWhite);
  Painter(frame).StrokeRoundedRect(At(2, 2, 10, 8), 1, 1, kBlack);
  ExpectRow(frame, 1, 6, "WKWWWWWWWWKW");  // Left and Left + Width - 1; inside not painted
  for (const auto& [y, pattern] : {std::pair{1, "W"}, std::pair{2, "K"}, std::pair{3, "W"}, std::pair{8, "W"},
                                   std::pair{9, "K"}, std::pair{10, "W"}}) {
    ExpectRow(frame, 7, y, pattern);
  }
}

// Half of a wide border lies outside the shape's rectangle and half inside: a band 8 wide around
// x 10..39 covers 6..13 and 36..43, whole pixels at either scale.
TEST(PainterShape, WideBorderIsCentredOnTheOutline) {
  for (const int scale : {1, 2}) {
    Frame frame(60 * scale, 50 * scale, kWhite);
    Painter(frame).StrokeRoundedRect(At(10, 10, 30, 24), 8, scale, kBlue);
    const std::string band = "W" + std::string(8 * scale, 'B') + "W";
    ExpectRow(frame, 6 * scale - 1, 22 * scale, band);
    ExpectRow(frame, 36 * scale - 1, 22 * scale, band);
    // Vertically the same around y 10..33: 6..13 and 30..37.
    for (const int y : {6, 13, 30, 37}) ExpectRow(frame, 25 * scale, y * scale, "B");
    for (const int y : {5, 14, 29, 38}) ExpectRow(frame, 25 * scale, y * scale, "W");
  }
}

TEST(PainterShape, FillThenBorderMakesAThinSlot) {
  Frame frame(8, 30, kWhite);
  Painter painter(frame);
  painter.FillRoundedRect(At(2, 2, 4, 24), 1, kBlack);
  ExpectRow(frame, 1, 14, "WKKKKW");  // on its own the fill reaches the edges
  painter.StrokeRoundedRect(At(2, 2, 4, 24), 1, 1, kGrey);
  ExpectRow(frame, 1, 14, "WGKKGW");  // as the knobs' slots look
}

TEST(PainterShape, ScaleTwoDoublesTheGeometry) {
  Frame frame(20, 20, kWhite);
  // Outline at device 3 and 13, the 2-pixel band covers 2..3 and 12..13.
  Painter(frame).StrokeRoundedRect(At(1, 1, 6, 6), 1, 2, kBlack);
  ExpectRow(frame, 1, 7, "WKKWWWWWWWWKKW");
  Frame filled(20, 20, kWhite);
  Painter(filled).FillRoundedRect(At(2, 2, 5, 5), 2, kRed);  // device 4..13
  ExpectRow(filled, 3, 9, "WRRRRRRRRRRW");
}

// Straight edges on whole pixels, whatever the border width and scale: a pixel off the corners is
// wholly the band's colour or wholly the background, never a blend. Only the corners, within a
// band's rounding of the outer or inner edge, may be blended.
TEST(PainterShape, OnlyTheCornersAreBlended) {
  struct Case {
    ShapeRect shape;
    int border;
  };
  // Last: a border wider than the shape, which closes it.
  for (const Case& c : {Case{At(3, 4, 30, 20), 1}, Case{At(12, 10, 25, 19), 9}, Case{At(14, 13, 40, 30), 8},
                        Case{At(5, 6, 14, 9), 3}, Case{At(20, 18, 8, 8), 20}}) {
    for (const int scale : {1, 2, 3}) {
      Frame frame(70 * scale, 60 * scale, kWhite);
      Painter(frame).StrokeRoundedRect(c.shape, c.border, scale, kBlack);
      // The band's outer edge and the rounding of its corners, in logical pixels.
      const double half = c.border / 2.0;
      const double left = c.shape.left - half, top = c.shape.top - half;
      const double right = c.shape.left + c.shape.width + half, bottom = c.shape.top + c.shape.height + half;
      const double round = CornerRadius(c.shape) + half + 1;
      int blended = 0, inked = 0;
      for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
          const std::uint32_t pixel = frame.At(x, y);
          inked += pixel == kBlack ? 1 : 0;
          if (pixel == kBlack || pixel == kWhite) continue;
          ++blended;
          const double lx = (x + 0.5) / scale, ly = (y + 0.5) / scale;
          const bool nearCorner = (lx < left + round || lx > right - round) && (ly < top + round || ly > bottom - round);
          ASSERT_TRUE(nearCorner) << "blended off the corners at device " << x << "," << y << ", border " << c.border
                                  << ", scale " << scale;
        }
      }
      EXPECT_GT(inked, 0);
      EXPECT_GT(blended, 0) << "the corners are anti-aliased";
    }
  }
}

TEST(PainterShape, ShapesAreClippedAndDegenerateOnesDrawNothing) {
  Frame frame(6, 6, kWhite);
  Painter painter(frame);
  painter.FillRoundedRect(At(-5, -5, 12, 12), 1, kRed);  // covers the frame, corners too
  EXPECT_EQ(Count(frame, kRed), 36);

  painter.FillRoundedRect(At(100, -50, 10, 10), 1, kBlue);  // wholly outside
  painter.StrokeRoundedRect(At(-40, -40, 20, 20), 4, 1, kBlue);
  painter.FillRoundedRect(At(1, 1, 0, 5), 1, kBlue);
  painter.FillRoundedRect(At(1, 1, 5, -2), 1, kBlue);
  painter.StrokeRoundedRect(At(1, 1, 5, 5), 0, 1, kBlue);
  painter.FillRoundedRect(At(1, 1, 5, 5), 1, 0x000000FFu);  // fully transparent colour
  EXPECT_EQ(Count(frame, kRed), 36);

  painter.SetClip(Rect{2, 1, 3, 2});
  painter.StrokeRoundedRect(At(-10, -10, 30, 30), 30, 1, kBlue);  // a band over the whole frame
  ExpectRow(frame, 0, 0, "RRRRRR");
  ExpectRow(frame, 0, 1, "RRBBBR");
  ExpectRow(frame, 0, 2, "RRBBBR");
  ExpectRow(frame, 0, 3, "RRRRRR");
}

PaletteImage Image(int width, int height, std::vector<Rgb8> palette, std::vector<std::uint8_t> pixels,
                   int transparent) {
  PaletteImage image;
  image.width = width;
  image.height = height;
  image.palette = std::move(palette);
  image.pixels = std::move(pixels);
  image.transparent = transparent;
  return image;
}

TEST(PainterPicture, TransparentPixelsShowWhatIsBeneath) {
  // Index 0 (grey) is see-through; 1 red, 2 blue.
  const PaletteImage image = Image(3, 2, {{200, 200, 200}, {255, 0, 0}, {0, 0, 255}}, {0, 1, 2, 2, 0, 1}, 0);
  Frame frame(5, 4, kWhite);
  Painter(frame).BlitPalette(image, 1, 1, 1);
  ExpectRow(frame, 0, 1, "WWRBW");
  ExpectRow(frame, 0, 2, "WBWRW");
  EXPECT_EQ(Count(frame, kWhite), 20 - 4);

  // Indices beyond the palette are treated as see-through rather than read past its end.
  Painter(frame).BlitPalette(Image(1, 1, {{0, 0, 0}}, {7}, -1), 0, 0, 1);
  EXPECT_EQ(frame.At(0, 0), kWhite);
}

TEST(PainterPicture, ScaleTwoRepeatsEachPixelAndClips) {
  const PaletteImage image = Image(2, 1, {{255, 0, 0}, {0, 0, 255}}, {0, 1}, -1);
  Frame frame(6, 3, kWhite);
  Painter(frame).BlitPalette(image, 1, 0, 2);
  ExpectRow(frame, 0, 0, "WRRBBW");
  ExpectRow(frame, 0, 1, "WRRBBW");
  ExpectRow(frame, 0, 2, "WWWWWW");

  Frame corner(3, 3, kWhite);
  Painter(corner).BlitPalette(image, -3, -1, 2);  // only the blue pixel's right half lands
  ExpectRow(corner, 0, 0, "BWW");
  EXPECT_EQ(Count(corner, kWhite), 8);
}

TEST(PainterPicture, StretchFillsTheDestinationWithNearestPixels) {
  // 23 x 23 to 28 x 18, as the knobs are drawn; each column a different colour.
  std::vector<Rgb8> palette;
  for (int i = 0; i < 23; ++i) palette.push_back(Rgb8{static_cast<std::uint8_t>(10 * i), 1, 2});
  std::vector<std::uint8_t> byColumn;
  for (int i = 0; i < 23 * 23; ++i) byColumn.push_back(static_cast<std::uint8_t>(i % 23));
  Frame frame(40, 30, kWhite);
  Painter(frame).BlitPalette(Image(23, 23, palette, byColumn, -1), Rect{5, 4, 28, 18});
  EXPECT_EQ(Count(frame, kWhite), 40 * 30 - 28 * 18);
  EXPECT_EQ(frame.At(5, 4), PixelOf(palette[0]));
  EXPECT_EQ(frame.At(32, 21), PixelOf(palette[22]));
  ExpectRow(frame, 4, 3, "WWW");
  ExpectRow(frame, 33, 10, "W");
  // Widening shows every source column, in order.
  for (int x = 6; x < 33; ++x) {
    const int step = RgbOf(frame.At(x, 10)).r - RgbOf(frame.At(x - 1, 10)).r;
    EXPECT_TRUE(step == 0 || step == 10) << x;
  }
}

TEST(PainterPicture, ShrinkingKeepsASymmetricPictureSymmetric) {
  // Rows 0..22 mirror about row 11; the knobs are squeezed from 23 to 18 rows like this.
  std::vector<Rgb8> palette;
  for (int i = 0; i < 12; ++i) palette.push_back(Rgb8{static_cast<std::uint8_t>(20 * i), 0, 0});
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < 23; ++y) pixels.push_back(static_cast<std::uint8_t>(std::min(y, 22 - y)));
  Frame frame(1, 18, kWhite);
  Painter(frame).BlitPalette(Image(1, 23, palette, pixels, -1), Rect{0, 0, 1, 18});
  EXPECT_EQ(frame.At(0, 0), PixelOf(palette[0]));
  for (int y = 0; y < 9; ++y) EXPECT_EQ(frame.At(0, y), frame.At(0, 17 - y)) << y;
}

TEST(PainterMask, BlendsCoverageInAColourAndClips) {
  const std::uint8_t mask[] = {255, 0, 128, 255, /* next row */ 0, 255, 255, 0};
  Frame frame(3, 3, kWhite);
  Painter(frame).BlendMask(mask, 4, 2, 4, -1, 1, kBlack);  // the mask's first column falls off
  ExpectRow(frame, 0, 0, "WWW");
  ExpectRow(frame, 0, 1, "W~K");
  ExpectRow(frame, 0, 2, "KKW");
  const Rgb8 half = RgbOf(frame.At(1, 1));
  EXPECT_NEAR(half.r, 127, 1);
  EXPECT_EQ(half.r, half.g);
}

}  // namespace
}  // namespace kromi
