// The PNG files of the tools and tests: exact pixels both ways, files of other writers read, and
// nothing (never a crash) for what is no PNG.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "kromi/png/png.h"

namespace kromi {
namespace {

// A frame where every pixel differs from its neighbours.
Frame Pattern(int width, int height) {
  Frame frame(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      frame.At(x, y) = PixelOf(Rgb8{static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(y * 13),
                                    static_cast<std::uint8_t>(x ^ y)});
    }
  }
  return frame;
}

// A PNG from libpng's own simplified writer, in a layout EncodePng never writes.
// With a colour map (RGB triples), samples are indices into it and the file is a palette image.
std::vector<std::uint8_t> OtherWritersPng(png_uint_32 format, int width, int height,
                                          const std::vector<std::uint8_t>& samples,
                                          const std::vector<std::uint8_t>& colourMap = {}) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = format;
  image.colormap_entries = static_cast<png_uint_32>(colourMap.size() / 3);
  const void* map = colourMap.empty() ? nullptr : colourMap.data();
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, samples.data(), 0, map)) return {};
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, samples.data(), 0, map)) return {};
  out.resize(size);
  return out;
}

TEST(PngWriter, RoundTripsExactPixels) {
  // 300 x 250 is more than one deflate block and one IDAT chunk.
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{300, 250}}) {
    const Frame frame = Pattern(width, height);
    const std::optional<Frame> back = DecodePng(EncodePng(frame));
    ASSERT_TRUE(back.has_value()) << width << "x" << height;
    EXPECT_EQ(back->width, width);
    EXPECT_EQ(back->height, height);
    EXPECT_EQ(back->pixels, frame.pixels);
  }

  // Alpha is not stored: pixels come back opaque.
  Frame translucent(2, 1);
  translucent.pixels = {0x12345678u, 0x00ABCDEFu};
  const std::optional<Frame> back = DecodePng(EncodePng(translucent));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->pixels, (std::vector<std::uint32_t>{0xFF345678u, 0xFFABCDEFu}));
  EXPECT_TRUE(EncodePng(Frame{}).empty());
}

TEST(PngWriter, WritesWhatAnotherReaderReads) {
  const Frame frame = Pattern(9, 4);
  const std::vector<std::uint8_t> png = EncodePng(frame);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  ASSERT_EQ(image.width, 9u);
  ASSERT_EQ(image.height, 4u);
  for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
    const Rgb8 want = RgbOf(frame.pixels[i]);
    EXPECT_EQ((Rgb8{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]}), want) << "pixel " << i;
  }
}

// The form a Windows icon needs: alpha stored after the colours, as the frame's top byte had it.
TEST(PngWriter, KeepsAlphaWhenAskedForRgba) {
  Frame frame(3, 1);
  frame.pixels = {0xFF102030u, 0x80405060u, 0x00708090u};
  const std::vector<std::uint8_t> png = EncodePng(frame, PngChannels::kRgba);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
  EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGBA));
  std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
  EXPECT_EQ(rgba, (std::vector<std::uint8_t>{0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0x80, 0x70, 0x80, 0x90, 0x00}));
}

TEST(PngReader, ReadsOtherWritersRgbaGreyAndPalette) {
  // RGBA: the colours as stored, whatever their alpha (a see-through pixel keeps its colour).
  const std::vector<std::uint8_t> rgba{10, 20, 30, 255, 40, 50, 60, 128, 70, 80, 90, 0};
  const std::optional<Frame> a = DecodePng(OtherWritersPng(PNG_FORMAT_RGBA, 3, 1, rgba));
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->pixels, (std::vector<std::uint32_t>{0xFF0A141Eu, 0xFF28323Cu, 0xFF46505Au}));

  const std::vector<std::uint8_t> grey{0, 77, 255, 200};
  const std::optional<Frame> g = DecodePng(OtherWritersPng(PNG_FORMAT_GRAY, 2, 2, grey));
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->pixels, (std::vector<std::uint32_t>{0xFF000000u, 0xFF4D4D4Du, 0xFFFFFFFFu, 0xFFC8C8C8u}));

  const std::vector<std::uint8_t> indices{1, 0, 2};
  const std::vector<std::uint8_t> palette{200, 0, 0, 0, 0, 180, 12, 34, 56};
  const std::optional<Frame> p = DecodePng(OtherWritersPng(PNG_FORMAT_RGB_COLORMAP, 3, 1, indices, palette));
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->pixels, (std::vector<std::uint32_t>{0xFF0000B4u, 0xFFC80000u, 0xFF0C2238u}));
}

TEST(PngReader, GivesNothingForDamagedOrForeignBytes) {
  const std::vector<std::uint8_t> good = EncodePng(Pattern(40, 30));
  ASSERT_TRUE(DecodePng(good).has_value());

  for (std::size_t keep : {std::size_t{0}, std::size_t{7}, std::size_t{20}, good.size() / 2, good.size() - 20,
                           good.size() - 1}) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_FALSE(DecodePng(cut).has_value()) << "cut to " << keep << " of " << good.size() << " bytes";
  }

  std::vector<std::uint8_t> notPng = good;
  notPng[1] = 'J';
  EXPECT_FALSE(DecodePng(notPng).has_value());

  std::vector<std::uint8_t> flipped = good;
  flipped[good.size() / 2] ^= 0x01;  // inside IDAT: its CRC no longer fits
  EXPECT_FALSE(DecodePng(flipped).has_value());

  const std::string text = "GIF89a, not a PNG at all";
  EXPECT_FALSE(DecodePng(std::vector<std::uint8_t>(text.begin(), text.end())).has_value());
}

TEST(PngFile, WritesAndReadsBack) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("kromi_png_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "frame.png").string();
  const Frame frame = Pattern(12, 9);
  ASSERT_TRUE(WritePng(frame, path));
  const std::optional<Frame> back = ReadPng(path);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->pixels, frame.pixels);

  EXPECT_FALSE(WritePng(frame, (dir / "missing" / "frame.png").string()));
  EXPECT_FALSE(WritePng(Frame{}, path));
  EXPECT_FALSE(ReadPng((dir / "absent.png").string()).has_value());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kromi
