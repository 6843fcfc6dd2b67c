// Fonts and the renderer on small synthetic control lists: drawing order, visibility, label
// backgrounds, text placement and auto-size. Pixels are sampled in the middle of areas only.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kromi/core/runtime.h"
#include "kromi/draw/renderer.h"
#include "kromi/sdl/fonts.h"

namespace kromi {
namespace {

const Colour kBackground = RGB(192, 192, 192);
const Colour kRed = RGB(255, 0, 0);
const Colour kBlue = RGB(0, 0, 255);
const Font kVerdana15Bold{"Verdana", 15, true};
const Font kVerdana21Bold{"Verdana", 21, true};

Label MakeLabel(const std::string& caption, float left, float top, Font font, Colour fore) {
  Label label;
  label.Caption = caption;
  label.Left = left;
  label.Top = top;
  label.font = std::move(font);
  label.ForeColor = fore;
  return label;
}

Shape Filled(float left, float top, float width, float height, Colour fill) {
  Shape shape;
  shape.Left = left;
  shape.Top = top;
  shape.Width = width;
  shape.Height = height;
  shape.borderSolid = false;
  shape.fillSolid = true;
  shape.FillColor = fill;
  return shape;
}

// The bounding box and number of the pixels that differ from the background.
struct Ink {
  int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1, count = 0;
};
Ink FindInk(const Frame& frame) {
  Ink ink;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      if (frame.At(x, y) == PixelOf(kBackground)) continue;
      ink = Ink{std::min(ink.minX, x), std::min(ink.minY, y), std::max(ink.maxX, x), std::max(ink.maxY, y),
                ink.count + 1};
    }
  }
  return ink;
}

class RendererTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    fonts_ = Fonts::Open(error);
    ASSERT_NE(fonts_, nullptr) << error;
  }
  static void TearDownTestSuite() { fonts_.reset(); }
  void SetUp() override { ASSERT_NE(fonts_, nullptr); }

  // Draws list at scale and returns the frame.
  static Frame DrawList(const std::vector<ControlRef>& list, int scale = 1) {
    Frame frame;
    Renderer(*fonts_, scale).Draw(kBackground, list, frame);
    return frame;
  }

  static inline std::unique_ptr<Fonts> fonts_;
};

TEST_F(RendererTest, FontsResolveFamiliesToInstalledFiles) {
  Fonts& fonts = *fonts_;
  for (const char* family : {"Verdana", "Arial"}) {
    for (const bool bold : {false, true}) {
      const FontFile& file = fonts.Resolve(family, bold);
      EXPECT_TRUE(!file.path.empty() && std::filesystem::exists(file.path)) << family << ": " << file.path;
      EXPECT_NE(fonts.Get(Font{family, 13, bold}, 1), nullptr) << family;
    }
  }
  // Bold asks for a bold face where one is installed.
  EXPECT_NE(fonts.Resolve("Verdana", true).path, fonts.Resolve("Verdana", false).path);
  EXPECT_TRUE(fonts.Resolve("Verdana", true).boldFace);
  EXPECT_FALSE(fonts.Resolve("Verdana", false).boldFace);

  // An unknown family gets the generic sans-serif face.
  EXPECT_EQ(fonts.Resolve("No Such Family Kromi", false).path, fonts.Resolve("sans-serif", false).path);
  EXPECT_NE(fonts.Get(Font{"No Such Family Kromi", 13, false}, 1), nullptr);

  // Opened once, and at the device scale.
  const Face* small = fonts.Get(kVerdana15Bold, 1);
  const Face* large = fonts.Get(kVerdana15Bold, 2);
  ASSERT_TRUE(small != nullptr && large != nullptr);
  EXPECT_EQ(fonts.Get(kVerdana15Bold, 1), small);
  EXPECT_NEAR(large->Height(), 2 * small->Height(), 2);
}

TEST_F(RendererTest, AutoSizeFollowsCaptionAndKeepsPlace) {
  Renderer renderer(*fonts_, 1);
  Label hex = MakeLabel("C0", 157, 3, kVerdana15Bold, 0);
  renderer.AutoSize(hex);
  EXPECT_GT(hex.Width, 10);
  EXPECT_GT(hex.Height, 12);
  const float twoDigits = hex.Width;
  const float lineHeight = hex.Height;

  hex.Caption = "C0C0";
  renderer.AutoSize(hex);
  EXPECT_NEAR(hex.Width, 2 * twoDigits, 2);
  EXPECT_EQ(hex.Height, lineHeight);
  EXPECT_EQ(hex.Left, 157);
  EXPECT_EQ(hex.Top, 3);

  hex.Caption = "";
  renderer.AutoSize(hex);
  EXPECT_EQ(hex.Width, 0);
  EXPECT_EQ(hex.Height, lineHeight);

  // Bold text is wider, and a bigger font is taller.
  Label regular = MakeLabel("Avsluta", 0, 0, Font{"Verdana", 21, false}, 0);
  Label bold = MakeLabel("Avsluta", 0, 0, kVerdana21Bold, 0);
  renderer.AutoSize(regular);
  renderer.AutoSize(bold);
  EXPECT_GT(bold.Width, regular.Width);
  EXPECT_GT(bold.Height, lineHeight);

  // Layout is measured once for every scale; a list sizes its labels and nothing else.
  Label again = MakeLabel("Avsluta", 0, 0, kVerdana21Bold, 0);
  Shape shape = Filled(1, 2, 3, 4, 0);
  const std::vector<ControlRef> list{&shape, &again, static_cast<Label*>(nullptr)};
  Renderer(*fonts_, 2).AutoSize(list);
  EXPECT_EQ(again.Width, bold.Width);
  EXPECT_EQ(again.Height, bold.Height);
  EXPECT_EQ(shape.Width, 3);
}

TEST_F(RendererTest, CaptionsAreUtf8) {
  Renderer renderer(*fonts_, 1);
  // "ä" is one letter as wide as "a"; read as two Latin-1 bytes it would be two letters.
  Label umlaut = MakeLabel("\xC3\xA4", 10, 10, kVerdana21Bold, 0);
  Label plain = MakeLabel("a", 10, 10, kVerdana21Bold, 0);
  Label twoLetters = MakeLabel("\xC3\x83\xC2\xA4", 10, 10, kVerdana21Bold, 0);
  for (Label* label : {&umlaut, &plain, &twoLetters}) renderer.AutoSize(*label);
  EXPECT_EQ(umlaut.Width, plain.Width);
  EXPECT_GT(twoLetters.Width, plain.Width);
  // The umlaut's dots are drawn above the letter's body.
  EXPECT_LT(FindInk(DrawList({&umlaut})).minY, FindInk(DrawList({&plain})).minY);
}

// A bad byte is drawn as one replacement mark and the decoder never reads past the caption.
TEST_F(RendererTest, MalformedUtf8DrawsAMarkPerBadByte) {
  const Face* face = fonts_->Get(kVerdana15Bold, 1);
  ASSERT_NE(face, nullptr);
  const auto marks = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "\xEF\xBF\xBD";
    return s;
  };
  ASSERT_GT(face->Width(marks(1)), 0);
  struct Case {
    std::string text;
    std::string drawnAs;
  };
  const Case cases[] = {
      {"\xC3", marks(1)},                 // cut short at the end
      {"a\xE2\x82", "a" + marks(2)},      // cut short, then a stray continuation byte
      {"\xC0\xAF", marks(2)},             // overlong "/"
      {"\xED\xA0\x80", marks(3)},         // a surrogate
      {"\xF4\x90\x80\x80", marks(4)},     // past U+10FFFF
      {"\xFFx", marks(1) + "x"},
  };
  for (const Case& c : cases) EXPECT_EQ(face->Width(c.text), face->Width(c.drawnAs)) << c.drawnAs.size();
}

// Every caption of a face renders at the face's height and at exactly its measured width, which
// is what AutoSize gives the label and what centring uses.
TEST_F(RendererTest, RenderedTextHasTheMeasuredSize) {
  for (const int scale : {1, 2}) {
    const Face* face = fonts_->Get(kVerdana21Bold, scale);
    ASSERT_NE(face, nullptr);
    for (const char* caption : {"Avsluta", "Ny f\xC3\xA4rg", "C0", "?", " ", "gjpq", "\xC3"}) {
      const TextMask mask = face->Render(caption);
      EXPECT_EQ(mask.width, face->Width(caption)) << caption;
      EXPECT_EQ(mask.height, face->Height()) << caption;
      EXPECT_EQ(mask.alpha.size(), static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height));
    }
    EXPECT_GT(face->Width("  "), face->Width(" "));
    EXPECT_TRUE(face->Render("").alpha.empty());
    // The descenders of "gjpq" reach the last rows but are not cut off at the baseline.
    const TextMask low = face->Render("gjpq");
    int lowest = -1;
    for (int y = 0; y < low.height; ++y) {
      for (int x = 0; x < low.width; ++x) {
        if (low.alpha[static_cast<std::size_t>(y * low.width + x)] > 128) lowest = y;
      }
    }
    EXPECT_GT(lowest, face->Ascent() + scale) << "scale " << scale;
  }
}

// Captions prepared ahead (at scale 1, on the font thread) must not stand in for the same
// captions at another scale, nor for hidden labels that show later.
TEST_F(RendererTest, PreparedCaptionsDrawTheSameAsFreshOnes) {
  Label shown = MakeLabel("Ny f\xC3\xA4rg", 10, 10, kVerdana21Bold, kBlue);
  Label hidden = MakeLabel("Visa mej", 10, 60, kVerdana21Bold, kRed);
  hidden.Visible = false;
  const std::vector<ControlRef> list{&shown, &hidden};
  std::string error;
  std::unique_ptr<Fonts> prepared = Fonts::Open(error);
  ASSERT_NE(prepared, nullptr) << error;
  Renderer::Prepare(*prepared, list, 1);
  hidden.Visible = true;
  for (const int scale : {1, 2}) {
    Frame ahead, fresh;
    Renderer(*prepared, scale).Draw(kBackground, list, ahead);
    Renderer(*fonts_, scale).Draw(kBackground, list, fresh);
    EXPECT_EQ(ahead.pixels, fresh.pixels) << "scale " << scale;
    EXPECT_GT(FindInk(ahead).count, 0);
  }
}

// Label sizes as the layout's tables give them: the line height is the ascent and the descent
// each rounded to the nearest pixel, and a caption's width is the plain sum of its letters'
// advances, with no kerning between them.
TEST_F(RendererTest, LabelsAreRoundedLineHeightsByPlainAdvanceSums) {
  const FontFile& arial = fonts_->Resolve("Arial", false);
  if (arial.path.find("Liberation") == std::string::npos && arial.path.find("rial") == std::string::npos) {
    GTEST_SKIP() << "Arial resolves to " << arial.path << ", whose heights the layout does not give";
  }
  Label question = MakeLabel("?", 307, 3, Font{"Arial", 24, false}, 0);
  Renderer(*fonts_, 1).AutoSize(question);
  EXPECT_EQ(question.Height, 27);

  for (const int scale : {1, 2}) {
    Face* face = fonts_->Get(kVerdana21Bold, scale);
    ASSERT_NE(face, nullptr);
    for (const std::string caption : {"Avsluta", "Ny f\xC3\xA4rg", "Visa mej", "AVATAR", "Ty Wo"}) {
      int sum = 0;
      for (std::size_t at = 0; at < caption.size();) {
        const std::size_t length = (caption[at] & 0x80) != 0 ? 2 : 1;  // these captions: Latin-1 letters only
        sum += face->CachedWidth(caption.substr(at, length));
        at += length;
      }
      EXPECT_EQ(face->CachedWidth(caption), sum) << caption << " at scale " << scale;
    }
  }
}

// An opaque label's background is the size of its text at the device scale, so no ink spills
// past it however the hinting at that size falls out: every hex caption at scale 1, 2 and 3.
TEST_F(RendererTest, OpaqueBackgroundHoldsAllItsInk) {
  const Colour back = RGB(224, 224, 224);
  for (const int scale : {1, 2, 3}) {
    Renderer renderer(*fonts_, scale);
    for (int value = 0; value < 256; ++value) {
      Label hex = MakeLabel(Hex(value), 4, 4, kVerdana15Bold, kRed);
      hex.opaque = true;
      hex.BackColor = back;
      hex.alignment = Alignment::Centre;
      renderer.AutoSize(hex);
      Frame frame(60 * scale, 40 * scale, 0);  // the corner the label is in
      renderer.Draw(kBackground, std::vector<ControlRef>{&hex}, PixelView(frame));
      Ink background, all;
      for (int y = 0; y < 40 * scale; ++y) {
        for (int x = 0; x < 60 * scale; ++x) {
          const std::uint32_t pixel = frame.At(x, y);
          if (pixel != PixelOf(kBackground)) {
            all = Ink{std::min(all.minX, x), std::min(all.minY, y), std::max(all.maxX, x), std::max(all.maxY, y), 0};
          }
          if (pixel == PixelOf(back)) {
            background = Ink{std::min(background.minX, x), std::min(background.minY, y),
                             std::max(background.maxX, x), std::max(background.maxY, y), 0};
          }
        }
      }
      ASSERT_TRUE(all.minX == background.minX && all.maxX == background.maxX && all.minY == background.minY &&
                  all.maxY == background.maxY)
          << hex.Caption << " at scale " << scale << ": ink x " << all.minX << ".." << all.maxX << " y " << all.minY
          << ".." << all.maxY << ", background x " << background.minX << ".." << background.maxX << " y "
          << background.minY << ".." << background.maxY;
    }
  }
}

// A bitmap font (one bit a pixel, as fontconfig may pick where no outline font matches) draws its
// pixels, not nothing.
TEST_F(RendererTest, BitmapFontsDrawTheirPixels) {
  const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / "kromi-box.bdf";
  {
    std::ofstream bdf(path);
    bdf << "STARTFONT 2.1\nFONT -kromi-box-medium-r-normal--13-130-72-72-c-80-iso10646-1\nSIZE 13 72 72\n"
           "FONTBOUNDINGBOX 8 13 0 -3\nSTARTPROPERTIES 3\nFONT_ASCENT 10\nFONT_DESCENT 3\nPIXEL_SIZE 13\n"
           "ENDPROPERTIES\nCHARS 1\nSTARTCHAR A\nENCODING 65\nSWIDTH 615 0\nDWIDTH 8 0\nBBX 8 10 0 0\nBITMAP\n"
           "FF\n81\n81\n81\n81\n81\n81\n81\n81\nFF\nENDCHAR\nENDFONT\n";
  }
  Face* face = fonts_->OpenFile(FontFile{path.string(), 0, false}, 13, false);
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->Height(), 13);
  const TextMask& box = face->Text("A");
  ASSERT_EQ(box.width, 8);
  ASSERT_EQ(box.height, 13);
  auto at = [&box](int x, int y) { return box.alpha[static_cast<std::size_t>(y * box.width + x)]; };
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(at(x, 0), 255) << x;  // the top and bottom rows of the box
    EXPECT_EQ(at(x, 9), 255) << x;
    EXPECT_EQ(at(x, 11), 0) << x;   // below the baseline: nothing
  }
  for (int y = 1; y < 9; ++y) {
    EXPECT_EQ(at(0, y), 255) << y;
    EXPECT_EQ(at(7, y), 255) << y;
    EXPECT_EQ(at(3, y), 0) << y;
  }
  std::filesystem::remove(path);
}

TEST_F(RendererTest, FirstControlIsDrawnOnTop) {
  Shape red = Filled(10, 10, 40, 30, kRed);
  Shape blue = Filled(30, 20, 40, 30, kBlue);
  const Frame redOnTop = DrawList({&red, &blue});
  EXPECT_EQ(redOnTop.At(40, 30), PixelOf(kRed));  // the overlap
  EXPECT_EQ(redOnTop.At(20, 15), PixelOf(kRed));
  EXPECT_EQ(redOnTop.At(60, 45), PixelOf(kBlue));
  EXPECT_EQ(redOnTop.At(80, 45), PixelOf(kBackground));
  const Frame blueOnTop = DrawList({&blue, &red});
  EXPECT_EQ(blueOnTop.At(40, 30), PixelOf(kBlue));
  EXPECT_EQ(blueOnTop.At(20, 15), PixelOf(kRed));
}

TEST_F(RendererTest, HiddenControlsAreNotDrawn) {
  Shape shape = Filled(10, 10, 40, 30, kRed);
  Label label = MakeLabel("C0", 100, 10, kVerdana15Bold, RGB(0, 0, 0));
  label.opaque = true;
  label.BackColor = RGB(224, 224, 224);
  Renderer(*fonts_, 1).AutoSize(label);
  PaletteImage image;
  image.width = image.height = 2;
  image.palette = {{0, 255, 0}};
  image.pixels = {0, 0, 0, 0};
  Picture picture;
  picture.Left = 200;
  picture.Top = 10;
  picture.image = &image;
  const std::vector<ControlRef> list{&shape, &label, &picture};

  const Frame shown = DrawList(list);
  EXPECT_EQ(shown.At(30, 25), PixelOf(kRed));
  EXPECT_EQ(shown.At(100, 10), PixelOf(RGB(224, 224, 224)));
  EXPECT_EQ(shown.At(201, 11), PixelOf(RGB(0, 255, 0)));
  shape.Visible = label.Visible = picture.Visible = false;
  EXPECT_EQ(FindInk(DrawList(list)).count, 0);
}

TEST_F(RendererTest, OpaqueLabelFillsItsRectangleAndDrawsText) {
  Label label = MakeLabel("C0", 157, 4, kVerdana15Bold, kRed);
  label.opaque = true;
  label.BackColor = RGB(224, 224, 224);
  label.alignment = Alignment::Centre;
  Renderer(*fonts_, 1).AutoSize(label);
  const int right = 157 + static_cast<int>(label.Width) - 1;
  const int bottom = 4 + static_cast<int>(label.Height) - 1;

  const Frame frame = DrawList({&label});
  const std::uint32_t back = PixelOf(RGB(224, 224, 224));
  EXPECT_EQ(frame.At(157, 4), back);
  EXPECT_EQ(frame.At(right, 4), back);
  EXPECT_EQ(frame.At(157, bottom), back);
  EXPECT_EQ(frame.At(156, 10), PixelOf(kBackground));
  EXPECT_EQ(frame.At(right + 1, 10), PixelOf(kBackground));
  EXPECT_EQ(frame.At(160, bottom + 1), PixelOf(kBackground));
  // The text is red ink inside the rectangle.
  int red = 0;
  for (int y = 4; y <= bottom; ++y) {
    for (int x = 157; x <= right; ++x) red += frame.At(x, y) == PixelOf(kRed) ? 1 : 0;
  }
  EXPECT_GT(red, 20);

  // A transparent label leaves its rectangle's background alone.
  label.opaque = false;
  const Frame bare = DrawList({&label});
  EXPECT_EQ(bare.At(157, 4), PixelOf(kBackground));
  EXPECT_EQ(bare.At(right, 4), PixelOf(kBackground));
}

TEST_F(RendererTest, TextIsLeftAlignedOrCentred) {
  Label label = MakeLabel("Ny f\xC3\xA4rg", 20, 30, kVerdana21Bold, RGB(0, 0, 0));
  Renderer(*fonts_, 1).AutoSize(label);
  const float textWidth = label.Width;
  label.Width = textWidth + 100;  // room to see where the text goes

  const Ink left = FindInk(DrawList({&label}));
  EXPECT_GE(left.minX, 20);
  EXPECT_LE(left.minX, 24);
  EXPECT_LE(left.maxX, 20 + static_cast<int>(textWidth) + 1);
  EXPECT_GE(left.minY, 30);
  EXPECT_LE(left.maxY, 30 + static_cast<int>(label.Height));

  label.alignment = Alignment::Centre;
  const Ink centred = FindInk(DrawList({&label}));
  EXPECT_NEAR(centred.minX - left.minX, 50, 1);
  EXPECT_NEAR((centred.minX + centred.maxX) / 2.0, 20 + label.Width / 2.0, 3);
  EXPECT_EQ(centred.count, left.count);
}

TEST_F(RendererTest, PicturesStretchOrKeepTheirSizeAndShowThroughTransparency) {
  // 4 x 4, blue with a see-through centre (index 1).
  PaletteImage image;
  image.width = image.height = 4;
  image.palette = {{0, 0, 255}, {1, 2, 3}};
  image.pixels = {0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0};
  image.transparent = 1;
  Picture picture;
  picture.Left = 40;
  picture.Top = 50;
  picture.Width = 40;
  picture.Height = 20;
  picture.image = &image;
  Shape beneath = Filled(30, 40, 60, 40, kRed);

  picture.stretch = true;  // each image pixel becomes 10 x 5
  const Frame stretched = DrawList({&picture, &beneath});
  EXPECT_EQ(stretched.At(45, 52), PixelOf(kBlue));
  EXPECT_EQ(stretched.At(75, 67), PixelOf(kBlue));
  EXPECT_EQ(stretched.At(60, 60), PixelOf(kRed));  // through the hole
  EXPECT_EQ(stretched.At(85, 60), PixelOf(kRed));  // beside the picture
  EXPECT_EQ(stretched.At(60, 72), PixelOf(kRed));  // below it

  picture.stretch = false;  // 4 x 4 at (40, 50)
  const Frame own = DrawList({&picture, &beneath});
  EXPECT_EQ(own.At(40, 50), PixelOf(kBlue));
  EXPECT_EQ(own.At(43, 53), PixelOf(kBlue));
  EXPECT_EQ(own.At(41, 51), PixelOf(kRed));
  EXPECT_EQ(own.At(45, 52), PixelOf(kRed));
}

TEST_F(RendererTest, FramesFollowTheScaleAndShapesResolveSystemColours) {
  Shape ring;
  ring.Left = 20;
  ring.Top = 20;
  ring.Width = 60;
  ring.Height = 40;
  ring.BorderWidth = 6;
  ring.BorderColor = kSysButtonShadow;
  const std::uint32_t shadow = PixelOf(SystemColour(kSysButtonShadow));

  const Frame single = DrawList({&ring});
  EXPECT_EQ(single.width, Renderer::kWidth);
  EXPECT_EQ(single.height, Renderer::kHeight);
  EXPECT_EQ(single.At(20, 40), shadow);               // on the outline's left side
  EXPECT_EQ(single.At(50, 40), PixelOf(kBackground));  // not filled
  EXPECT_EQ(single.At(300, 200), PixelOf(kBackground));

  const Frame doubled = DrawList({&ring}, 2);
  EXPECT_EQ(doubled.width, 2 * Renderer::kWidth);
  EXPECT_EQ(doubled.height, 2 * Renderer::kHeight);
  EXPECT_EQ(doubled.At(41, 80), shadow);
  EXPECT_EQ(doubled.At(100, 80), PixelOf(kBackground));
  EXPECT_EQ(doubled.At(30, 80), PixelOf(kBackground));  // left of the band's outer edge (35)
  EXPECT_EQ(doubled.At(650, 500), PixelOf(kBackground));
}

}  // namespace
}  // namespace kromi
