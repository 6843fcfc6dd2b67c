// The PNG writer: checksums against their published check values, the file's structure, and a
// round trip through the reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "kromi/draw/png.h"

namespace kromi {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

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

struct Chunk {
  std::string type;
  std::size_t dataAt;
  std::uint32_t length;
};

// Walks the chunks after the signature, checking each CRC on the way.
std::vector<Chunk> Chunks(const std::vector<std::uint8_t>& png) {
  std::vector<Chunk> chunks;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = Be32(png, at);
    const std::span<const std::uint8_t> typed(png.data() + at + 4, 4 + std::size_t{length});
    EXPECT_EQ(Crc32(typed), Be32(png, at + 8 + length)) << "chunk at " << at;
    chunks.push_back(Chunk{std::string(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                       png.begin() + static_cast<std::ptrdiff_t>(at + 8)),
                           at + 8, length});
    at += 12 + std::size_t{length};
  }
  return chunks;
}

TEST(Checksums, MatchTheirCheckValues) {
  EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32(Bytes("")), 0u);
  EXPECT_EQ(Adler32(Bytes("Wikipedia")), 0x11E60398u);
  EXPECT_EQ(Adler32(Bytes("")), 1u);
  // Long runs of 0xFF stress the deferred modulo.
  const std::vector<std::uint8_t> ones(100000, 0xFF);
  std::uint32_t a = 1, b = 0;
  for (const std::uint8_t byte : ones) {
    a = (a + byte) % 65521u;
    b = (b + a) % 65521u;
  }
  EXPECT_EQ(Adler32(ones), (b << 16) | a);
}

TEST(PngWriter, WritesSignatureHeaderAndValidChunks) {
  const Frame frame = Pattern(7, 5);
  const std::vector<std::uint8_t> png = EncodePng(frame);
  ASSERT_GT(png.size(), 8u);
  const std::vector<std::uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));

  const std::vector<Chunk> chunks = Chunks(png);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(chunks[2].type, "IEND");
  EXPECT_EQ(chunks[2].length, 0u);
  ASSERT_EQ(chunks[0].length, 13u);
  EXPECT_EQ(Be32(png, chunks[0].dataAt), 7u);
  EXPECT_EQ(Be32(png, chunks[0].dataAt + 4), 5u);
  EXPECT_EQ(png[chunks[0].dataAt + 8], 8);  // bit depth
  EXPECT_EQ(png[chunks[0].dataAt + 9], 2);  // truecolour
  // The zlib header is one a decoder accepts: deflate, and a check that divides by 31.
  const std::size_t z = chunks[1].dataAt;
  EXPECT_EQ(png[z] & 0x0F, 8);
  EXPECT_EQ((png[z] * 256 + png[z + 1]) % 31, 0);
}

TEST(PngWriter, RoundTripsPixels) {
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{300, 250}}) {
    // 300 x 250 is more than one stored block holds, so block boundaries are crossed too.
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

TEST(PngReader, RefusesDamagedFiles) {
  const std::vector<std::uint8_t> good = EncodePng(Pattern(9, 4));
  ASSERT_TRUE(DecodePng(good).has_value());

  std::vector<std::uint8_t> flipped = good;
  flipped[flipped.size() / 2] ^= 0x01;  // a pixel byte inside IDAT: the chunk CRC no longer fits
  EXPECT_FALSE(DecodePng(flipped).has_value());

  const std::vector<std::uint8_t> cut(good.begin(), good.end() - 20);
  EXPECT_FALSE(DecodePng(cut).has_value());

  std::vector<std::uint8_t> notPng = good;
  notPng[1] = 'J';
  EXPECT_FALSE(DecodePng(notPng).has_value());
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
  EXPECT_EQ(std::filesystem::file_size(path), EncodePng(frame).size());

  EXPECT_FALSE(WritePng(frame, (dir / "missing" / "frame.png").string()));
  EXPECT_FALSE(WritePng(Frame{}, path));
  EXPECT_FALSE(ReadPng((dir / "absent.png").string()).has_value());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kromi
