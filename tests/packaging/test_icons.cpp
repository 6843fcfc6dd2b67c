// The icon files kromi_icongen drew at build time, read back with readers of their own: the .ico
// as Windows reads it, the PNGs through the game's PNG reader, both against the artwork.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "kromi/res/artwork.h"
#include "kromi/png/png.h"

namespace kromi {
namespace {

const std::string kDir = KROMI_PACKAGING_DIR;

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

unsigned Le16(const std::vector<std::uint8_t>& b, std::size_t at) { return b.at(at) | (b.at(at + 1) << 8); }

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

// A 4-bit BMP-in-ICO image, decoded the way Windows does: bottom-up rows, high nibble first.
struct Ico {
  int width = 0, height = 0;
  std::vector<Rgb8> palette;
  std::vector<std::uint8_t> pixels;  // top-down, palette indices
  std::vector<std::uint8_t> mask;    // top-down, 1 = see-through
};

Ico DecodeIco(const std::vector<std::uint8_t>& b) {
  Ico ico;
  EXPECT_EQ(Le16(b, 0), 0u) << "reserved";
  EXPECT_EQ(Le16(b, 2), 1u) << "type: icon";
  EXPECT_EQ(Le16(b, 4), 1u) << "image count";
  EXPECT_EQ(b.at(6), 32) << "directory width";
  EXPECT_EQ(b.at(7), 32) << "directory height";
  EXPECT_EQ(b.at(8), 16) << "directory colour count";
  EXPECT_EQ(Le16(b, 10), 1u) << "planes";
  EXPECT_EQ(Le16(b, 12), 4u) << "directory bits per pixel";
  const std::uint32_t size = Le32(b, 14);
  const std::uint32_t at = Le32(b, 18);
  EXPECT_EQ(std::size_t{at} + size, b.size()) << "the one image ends the file";

  EXPECT_EQ(Le32(b, at), 40u) << "BITMAPINFOHEADER";
  ico.width = static_cast<int>(Le32(b, at + 4));
  ico.height = static_cast<int>(Le32(b, at + 8)) / 2;  // colour rows plus mask rows
  EXPECT_EQ(Le16(b, at + 12), 1u);
  EXPECT_EQ(Le16(b, at + 14), 4u) << "bits per pixel";
  EXPECT_EQ(Le32(b, at + 16), 0u) << "uncompressed";
  const std::uint32_t used = Le32(b, at + 32);
  EXPECT_TRUE(used == 16 || used == 0) << used;  // 0 means "all 16" to a reader

  std::size_t p = at + 40;
  for (int i = 0; i < 16; ++i, p += 4) ico.palette.push_back(Rgb8{b.at(p + 2), b.at(p + 1), b.at(p)});
  const std::size_t colourRow = static_cast<std::size_t>((ico.width * 4 + 31) / 32 * 4);
  const std::size_t maskRow = static_cast<std::size_t>((ico.width + 31) / 32 * 4);
  EXPECT_EQ(size, 40 + 64 + (colourRow + maskRow) * static_cast<std::size_t>(ico.height));
  ico.pixels.resize(static_cast<std::size_t>(ico.width * ico.height));
  ico.mask.resize(ico.pixels.size());
  const std::size_t maskAt = p + colourRow * static_cast<std::size_t>(ico.height);
  for (int row = 0; row < ico.height; ++row) {
    const int y = ico.height - 1 - row;
    for (int x = 0; x < ico.width; ++x) {
      const std::uint8_t byte = b.at(p + static_cast<std::size_t>(row) * colourRow + static_cast<std::size_t>(x / 2));
      const std::size_t i = static_cast<std::size_t>(y * ico.width + x);
      ico.pixels[i] = static_cast<std::uint8_t>((x % 2 == 0) ? byte >> 4 : byte & 0x0F);
      const std::uint8_t maskByte =
          b.at(maskAt + static_cast<std::size_t>(row) * maskRow + static_cast<std::size_t>(x / 8));
      ico.mask[i] = static_cast<std::uint8_t>((maskByte >> (7 - x % 8)) & 1);
    }
  }
  return ico;
}

TEST(IconFile, IsA32PixelSixteenColourIconWithTheArtworksPalette) {
  const std::vector<std::uint8_t> bytes = ReadAll(kDir + "/kromi.ico");
  ASSERT_GE(bytes.size(), 22u + 40u + 64u);
  const Ico ico = DecodeIco(bytes);
  ASSERT_EQ(ico.width, 32);
  ASSERT_EQ(ico.height, 32);
  const std::vector<Rgb8> first = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 0}, {0, 255, 255}, {0, 0, 0}};
  for (std::size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(ico.palette[i], (i < first.size() ? first[i] : Rgb8{0, 0, 0})) << "palette entry " << i;
  }
}

TEST(IconFile, HasTheArtworksColourCensusAndIsOpaqueEverywhere) {
  const Ico ico = DecodeIco(ReadAll(kDir + "/kromi.ico"));
  ASSERT_EQ(ico.pixels.size(), 32u * 32u);
  std::map<std::tuple<int, int, int>, int> census;
  for (std::uint8_t i : ico.pixels) {
    const Rgb8 c = ico.palette.at(i);
    ++census[{c.r, c.g, c.b}];
  }
  EXPECT_EQ(census[std::make_tuple(0, 0, 255)], 226);
  EXPECT_EQ(census[std::make_tuple(0, 255, 0)], 279);
  EXPECT_EQ(census[std::make_tuple(255, 0, 0)], 216);
  EXPECT_EQ(census[std::make_tuple(255, 255, 0)], 195);
  EXPECT_EQ(census[std::make_tuple(0, 255, 255)], 103);
  EXPECT_EQ(census[std::make_tuple(0, 0, 0)], 5);
  for (std::uint8_t bit : ico.mask) ASSERT_EQ(bit, 0);
}

// The census alone would not notice rows upside down or nibbles swapped; the picture would.
TEST(IconFile, ShowsTheArtworkTheRightWayUp) {
  const Ico ico = DecodeIco(ReadAll(kDir + "/kromi.ico"));
  const PaletteImage& art = TheArtwork().icon;
  ASSERT_EQ(ico.width, art.width);
  ASSERT_EQ(ico.height, art.height);
  for (int y = 0; y < art.height; ++y) {
    for (int x = 0; x < art.width; ++x) {
      ASSERT_EQ(ico.palette.at(ico.pixels[static_cast<std::size_t>(y * art.width + x)]),
                art.palette.at(art.At(x, y)))
          << "at " << x << "," << y;
    }
  }
}

class IconPng : public testing::TestWithParam<int> {};

TEST_P(IconPng, IsAWholeFactorPixelForPixelEnlargementOfTheArtwork) {
  const int size = GetParam();
  const auto png = ReadPng(kDir + "/kromi-" + std::to_string(size) + ".png");
  ASSERT_TRUE(png.has_value());
  ASSERT_EQ(png->width, size);
  ASSERT_EQ(png->height, size);
  const PaletteImage& art = TheArtwork().icon;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const Rgb8 want = art.palette.at(art.At(x * art.width / size, y * art.height / size));
      ASSERT_EQ(RgbOf(png->At(x, y)), want) << size << "px at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HicolorSizes, IconPng, testing::Values(32, 64, 128));

}  // namespace
}  // namespace kromi
