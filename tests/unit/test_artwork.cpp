#include <gtest/gtest.h>

#include <map>

#include "kromi/res/artwork.h"

namespace kromi {
namespace {

// Pixels per palette colour, as (r, g, b) -> count; the see-through colour counted under its key.
std::map<std::tuple<int, int, int>, int> Census(const PaletteImage& image) {
  std::map<std::tuple<int, int, int>, int> counts;
  for (std::uint8_t i : image.pixels) {
    const Rgb8 c = image.palette.at(i);
    ++counts[{c.r, c.g, c.b}];
  }
  return counts;
}

TEST(Artwork, ArrowsAreTwelveSquareWithTheirPixelCounts) {
  const Artwork& art = TheArtwork();
  for (const PaletteImage* arrow : {&art.arrowLeft, &art.arrowDown, &art.arrowRight}) {
    EXPECT_EQ(arrow->width, 12);
    EXPECT_EQ(arrow->height, 12);
    const auto counts = Census(*arrow);
    EXPECT_EQ(counts.at({0, 0, 0}), 32);
    EXPECT_EQ(counts.at({214, 231, 206}), 32);
    EXPECT_EQ(counts.at({198, 198, 198}), 80);
    ASSERT_GE(arrow->transparent, 0);
    EXPECT_EQ(arrow->palette[static_cast<std::size_t>(arrow->transparent)], (Rgb8{198, 198, 198}));
  }
  // The figure points where its name says: the left arrow's tip is in column 0, row 5.
  EXPECT_NE(art.arrowLeft.At(0, 5), art.arrowLeft.transparent);
  EXPECT_EQ(art.arrowLeft.At(11, 0), art.arrowLeft.transparent);
  EXPECT_NE(art.arrowRight.At(11, 5), art.arrowRight.transparent);
  EXPECT_NE(art.arrowDown.At(5, 11), art.arrowDown.transparent);
}

TEST(Artwork, KnobsShareTheirPixelsAndDifferInTheBallsShades) {
  const Artwork& art = TheArtwork();
  const Rgb8 shades[4][3] = {{},
                             {{255, 0, 0}, {255, 128, 128}, {255, 192, 192}},
                             {{0, 170, 0}, {0, 204, 0}, {0, 238, 0}},
                             {{0, 0, 255}, {128, 128, 255}, {192, 192, 255}}};
  for (int i = 1; i <= 3; ++i) {
    const PaletteImage& knob = art.knob[i];
    EXPECT_EQ(knob.width, 23);
    EXPECT_EQ(knob.height, 23);
    const auto counts = Census(knob);
    EXPECT_EQ(counts.at({0, 0, 0}), 52) << i;
    EXPECT_EQ(counts.at({113, 111, 100}), 54) << i;
    EXPECT_EQ(counts.at({shades[i][0].r, shades[i][0].g, shades[i][0].b}), 126) << i;
    EXPECT_EQ(counts.at({shades[i][1].r, shades[i][1].g, shades[i][1].b}), 109) << i;
    EXPECT_EQ(counts.at({shades[i][2].r, shades[i][2].g, shades[i][2].b}), 13) << i;
    EXPECT_EQ(counts.at({212, 208, 200}), 175) << i;
    EXPECT_EQ(knob.pixels, art.knob[1].pixels);
    EXPECT_EQ(knob.palette[static_cast<std::size_t>(knob.transparent)], (Rgb8{212, 208, 200}));
  }
}

TEST(Artwork, TheIconIsARainbowWithSixteenPaletteEntriesAndNoSeeThrough) {
  const PaletteImage& icon = TheArtwork().icon;
  EXPECT_EQ(icon.width, 32);
  EXPECT_EQ(icon.height, 32);
  EXPECT_EQ(icon.transparent, -1);
  EXPECT_EQ(icon.palette.size(), 16u);
  const auto counts = Census(icon);
  EXPECT_EQ(counts.at({0, 0, 255}), 226);
  EXPECT_EQ(counts.at({0, 255, 0}), 279);
  EXPECT_EQ(counts.at({255, 0, 0}), 216);
  EXPECT_EQ(counts.at({255, 255, 0}), 195);
  EXPECT_EQ(counts.at({0, 255, 255}), 103);
  EXPECT_EQ(counts.at({0, 0, 0}), 5);
  EXPECT_EQ(icon.palette[0], (Rgb8{0, 0, 255}));
  EXPECT_EQ(icon.palette[5], (Rgb8{0, 0, 0}));
}

TEST(Artwork, MalformedGridsAreRejected) {
  EXPECT_THROW(DecodeGrid("|ab|\n|a|\n", {{'a', {}}, {'b', {}}}, 'a'), std::invalid_argument);
  EXPECT_THROW(DecodeGrid("|ax|\n", {{'a', {}}}, 'a'), std::invalid_argument);
  EXPECT_THROW(DecodeGrid("ab\n", {{'a', {}}, {'b', {}}}, 'a'), std::invalid_argument);
  const PaletteImage ok = DecodeGrid("\n|ab|\n|ba|\n", {{'a', {1, 2, 3}}, {'b', {4, 5, 6}}}, 'b');
  EXPECT_EQ(ok.width, 2);
  EXPECT_EQ(ok.height, 2);
  EXPECT_EQ(ok.transparent, 1);
  EXPECT_EQ(ok.At(1, 0), 1);
}

}  // namespace
}  // namespace kromi
