// The icon files kromi_icongen drew at build time, read back with readers of their own: the .ico
// as Windows reads it, the PNGs through the game's PNG reader, the SVG as its squares, all
// against the artwork.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
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

// The artwork pixel that pixel i of a size-pixel row or column shows: the one under its centre,
// the upper or left one where the centre lies on the edge between two.
int Sampled(int i, int size, int from) {
  return static_cast<int>(std::ceil((2.0 * i + 1.0) * from / (2.0 * size))) - 1;
}

Rgb8 SampledColour(int x, int y, int size) {
  const PaletteImage& art = TheArtwork().icon;
  return art.palette.at(art.At(Sampled(x, size, art.width), Sampled(y, size, art.height)));
}

// One image of the icon directory.
struct IcoEntry {
  int size = 0;  // 0 in the directory means 256
  unsigned colours = 0, planes = 0, bits = 0;
  std::uint32_t bytes = 0, at = 0;
};

std::vector<IcoEntry> ReadDirectory(const std::vector<std::uint8_t>& b) {
  EXPECT_EQ(Le16(b, 0), 0u) << "reserved";
  EXPECT_EQ(Le16(b, 2), 1u) << "type: icon";
  std::vector<IcoEntry> entries;
  for (unsigned i = 0; i < Le16(b, 4); ++i) {
    const std::size_t e = 6 + 16 * std::size_t{i};
    IcoEntry entry;
    entry.size = b.at(e) == 0 ? 256 : b.at(e);
    EXPECT_EQ(b.at(e + 1), b.at(e)) << "image " << i << " is square";
    entry.colours = b.at(e + 2);
    EXPECT_EQ(b.at(e + 3), 0) << "reserved";
    entry.planes = Le16(b, e + 4);
    entry.bits = Le16(b, e + 6);
    entry.bytes = Le32(b, e + 8);
    entry.at = Le32(b, e + 12);
    entries.push_back(entry);
  }
  return entries;
}

// A 4-bit BMP-in-ICO image, decoded the way Windows does: bottom-up rows, high nibble first.
struct Ico {
  int width = 0, height = 0;
  std::vector<Rgb8> palette;
  std::vector<std::uint8_t> pixels;  // top-down, palette indices
  std::vector<std::uint8_t> mask;    // top-down, 1 = see-through
};

Ico DecodeDib4(const std::vector<std::uint8_t>& b, const IcoEntry& entry) {
  Ico ico;
  const std::uint32_t at = entry.at;
  EXPECT_EQ(Le32(b, at), 40u) << "BITMAPINFOHEADER";
  ico.width = static_cast<int>(Le32(b, at + 4));
  ico.height = static_cast<int>(Le32(b, at + 8)) / 2;  // colour rows plus mask rows
  EXPECT_EQ(ico.width, entry.size);
  EXPECT_EQ(ico.height, entry.size);
  EXPECT_EQ(Le16(b, at + 12), 1u);
  EXPECT_EQ(Le16(b, at + 14), 4u) << "bits per pixel";
  EXPECT_EQ(Le32(b, at + 16), 0u) << "uncompressed";
  const std::uint32_t used = Le32(b, at + 32);
  EXPECT_TRUE(used == 16 || used == 0) << used;  // 0 means "all 16" to a reader

  std::size_t p = at + 40;
  for (int i = 0; i < 16; ++i, p += 4) ico.palette.push_back(Rgb8{b.at(p + 2), b.at(p + 1), b.at(p)});
  const std::size_t colourRow = static_cast<std::size_t>((ico.width * 4 + 31) / 32 * 4);
  const std::size_t maskRow = static_cast<std::size_t>((ico.width + 31) / 32 * 4);
  EXPECT_EQ(entry.bytes, 40 + 64 + (colourRow + maskRow) * static_cast<std::size_t>(ico.height));
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

class IconFile : public testing::Test {
 protected:
  void SetUp() override {
    bytes_ = ReadAll(kDir + "/kromi.ico");
    ASSERT_GE(bytes_.size(), 6u);
    entries_ = ReadDirectory(bytes_);
    ASSERT_EQ(entries_.size(), 5u);
  }
  std::vector<std::uint8_t> bytes_;
  std::vector<IcoEntry> entries_;
};

// Windows picks the image nearest the size it wants; a reader that knows only one image takes the
// first, which must stay the 16-colour 32 x 32 of old.
TEST_F(IconFile, HoldsTheSizesWindowsAsksForWithThe16Colour32First) {
  const int sizes[] = {32, 16, 24, 48, 256};
  std::uint32_t next = 6 + 16 * 5;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const IcoEntry& e = entries_[i];
    EXPECT_EQ(e.size, sizes[i]) << "image " << i;
    EXPECT_EQ(e.planes, 1u) << e.size;
    // Directory colour counts stop at 8 bits: 0 there means "256 or more".
    EXPECT_EQ(e.bits, e.size == 256 ? 32u : 4u) << e.size;
    EXPECT_EQ(e.colours, e.size == 256 ? 0u : 16u) << e.size;
    EXPECT_EQ(e.at, next) << "image " << e.size << " follows the one before";
    next = e.at + e.bytes;
  }
  EXPECT_EQ(next, bytes_.size()) << "the last image ends the file";
}

TEST_F(IconFile, The32HasTheArtworksPaletteAndColourCensusAndIsOpaque) {
  const Ico ico = DecodeDib4(bytes_, entries_.at(0));
  ASSERT_EQ(ico.pixels.size(), 32u * 32u);
  const std::vector<Rgb8> first = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 0}, {0, 255, 255}, {0, 0, 0}};
  for (std::size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(ico.palette[i], (i < first.size() ? first[i] : Rgb8{0, 0, 0})) << "palette entry " << i;
  }
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

// A census would not notice rows upside down, nibbles swapped or a size drawn from the wrong
// rows; the picture would.
TEST_F(IconFile, EachBmpImageShowsTheArtworkTheRightWayUp) {
  for (const IcoEntry& entry : entries_) {
    if (entry.size == 256) continue;
    const Ico ico = DecodeDib4(bytes_, entry);
    ASSERT_EQ(ico.pixels.size(), static_cast<std::size_t>(entry.size * entry.size));
    for (int y = 0; y < entry.size; ++y) {
      for (int x = 0; x < entry.size; ++x) {
        const std::size_t i = static_cast<std::size_t>(y * entry.size + x);
        ASSERT_EQ(ico.palette.at(ico.pixels[i]), SampledColour(x, y, entry.size))
            << entry.size << "px at " << x << "," << y;
        ASSERT_EQ(ico.mask[i], 0) << entry.size << "px at " << x << "," << y;
      }
    }
  }
}

// Windows reads a PNG image in an icon only as 8-bit RGBA; any other PNG leaves the icon blank.
TEST_F(IconFile, The256IsAnRgbaPngOfTheArtwork) {
  const IcoEntry& entry = entries_.at(4);
  ASSERT_EQ(entry.size, 256);
  const std::vector<std::uint8_t> png(bytes_.begin() + entry.at, bytes_.begin() + entry.at + entry.bytes);
  const std::vector<std::uint8_t> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GE(png.size(), 33u);
  ASSERT_EQ(std::vector<std::uint8_t>(png.begin(), png.begin() + 8), signature);
  EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
  EXPECT_EQ(png[24], 8) << "bits per channel";
  EXPECT_EQ(png[25], 6) << "colour type RGBA";
  const auto frame = DecodePng(png);
  ASSERT_TRUE(frame.has_value());
  ASSERT_EQ(frame->width, 256);
  ASSERT_EQ(frame->height, 256);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) ASSERT_EQ(RgbOf(frame->At(x, y)), SampledColour(x, y, 256)) << x << "," << y;
  }
}

class IconPng : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    png_ = ReadPng(kDir + "/kromi-" + std::to_string(GetParam()) + ".png");
    ASSERT_TRUE(png_.has_value());
    ASSERT_EQ(png_->width, GetParam());
    ASSERT_EQ(png_->height, GetParam());
  }
  std::optional<Frame> png_;
};

// Pixel for pixel, so no blended colour and no soft edge can slip in.
TEST_P(IconPng, IsTheArtworkSampledAtEachPixelsCentre) {
  const int size = GetParam();
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      ASSERT_EQ(RgbOf(png_->At(x, y)), SampledColour(x, y, size)) << size << "px at " << x << "," << y;
    }
  }
}

// How many 4-connected patches of each colour a picture has.
std::map<std::uint32_t, int> Regions(int width, int height, const std::function<std::uint32_t(int, int)>& at) {
  std::map<std::uint32_t, int> regions;
  std::vector<bool> seen(static_cast<std::size_t>(width * height), false);
  for (int y0 = 0; y0 < height; ++y0) {
    for (int x0 = 0; x0 < width; ++x0) {
      if (seen[static_cast<std::size_t>(y0 * width + x0)]) continue;
      const std::uint32_t colour = at(x0, y0);
      ++regions[colour];
      std::vector<std::pair<int, int>> todo = {{x0, y0}};
      seen[static_cast<std::size_t>(y0 * width + x0)] = true;
      while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
          const int nx = x + dx, ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
          const std::size_t n = static_cast<std::size_t>(ny * width + nx);
          if (seen[n] || at(nx, ny) != colour) continue;
          seen[n] = true;
          todo.emplace_back(nx, ny);
        }
      }
    }
  }
  return regions;
}

// Shrinking drops rows and columns: none of the bands, nor the black corner marks of the top row,
// may vanish or be cut in two.
TEST_P(IconPng, KeepsEveryBandOfTheArtwork) {
  const PaletteImage& art = TheArtwork().icon;
  const auto want = Regions(art.width, art.height, [&](int x, int y) { return PixelOf(art.palette.at(art.At(x, y))); });
  const auto got = Regions(png_->width, png_->height, [&](int x, int y) { return png_->At(x, y); });
  EXPECT_EQ(got, want) << GetParam() << "px";
}

INSTANTIATE_TEST_SUITE_P(HicolorSizes, IconPng, testing::Values(16, 24, 32, 48, 64, 128, 256));

// The scalable icon, read as a renderer would place its squares: within the 32 x 32 view, every
// artwork pixel covered once, in its own colour, and nothing else drawn.
TEST(IconSvg, DrawsTheArtworkAsCrispSquares) {
  const std::vector<std::uint8_t> bytes = ReadAll(kDir + "/kromi.svg");
  const std::string svg(bytes.begin(), bytes.end());
  const std::regex root(R"re(<svg ([^>]*)>)re");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, root));
  const std::string head = m[1];
  EXPECT_NE(head.find(R"(xmlns="http://www.w3.org/2000/svg")"), std::string::npos) << head;
  EXPECT_NE(head.find(R"(viewBox="0 0 32 32")"), std::string::npos) << head;
  EXPECT_NE(head.find(R"(shape-rendering="crispEdges")"), std::string::npos) << head;

  const PaletteImage& art = TheArtwork().icon;
  std::vector<int> covered(static_cast<std::size_t>(art.width * art.height), 0);
  const std::regex rect(
      R"re(<rect x="(\d+)" y="(\d+)" width="(\d+)" height="(\d+)" fill="#([0-9a-f]{6})"/>)re");
  int rects = 0;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), rect); it != std::sregex_iterator(); ++it, ++rects) {
    const int x0 = std::stoi((*it)[1]), y0 = std::stoi((*it)[2]);
    const int w = std::stoi((*it)[3]), h = std::stoi((*it)[4]);
    const auto fill = static_cast<std::uint32_t>(std::stoul((*it)[5], nullptr, 16));
    ASSERT_TRUE(w > 0 && h > 0 && x0 + w <= art.width && y0 + h <= art.height) << it->str();
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) {
        ++covered[static_cast<std::size_t>(y * art.width + x)];
        ASSERT_EQ(fill, PixelOf(art.palette.at(art.At(x, y))) & 0xFFFFFFu) << it->str() << " at " << x << "," << y;
      }
    }
  }
  for (std::size_t i = 0; i < covered.size(); ++i) {
    const int want = art.pixels[i] == art.transparent ? 0 : 1;
    ASSERT_EQ(covered[i], want) << "pixel " << i % 32 << "," << i / 32;
  }
  // An element the pattern above missed would draw over the squares.
  const auto tags = std::count(svg.begin(), svg.end(), '<');
  EXPECT_EQ(tags, rects + 3) << "the declaration, <svg>, </svg> and the squares, nothing more";
}

}  // namespace
}  // namespace kromi
