#include "kromi/draw/png.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kromi {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kMaxStored = 65535;  // the most one stored deflate block can hold

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

std::uint32_t GetBe32(std::span<const std::uint8_t> b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
         std::uint32_t{b[at + 3]};
}

void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5], std::span<const std::uint8_t> data) {
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  // The CRC covers the type and the data, not the length.
  PutBe32(out, Crc32(std::span<const std::uint8_t>(out).subspan(start)));
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (const std::uint8_t byte : bytes) c = kCrcTable[(c ^ byte) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(std::span<const std::uint8_t> bytes) {
  constexpr std::uint32_t kMod = 65521;
  std::uint32_t a = 1, b = 0;
  // 5552 bytes is the longest run that cannot overflow b before reducing.
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 5552);
    for (std::size_t i = 0; i < n; ++i) {
      a += bytes[i];
      b += a;
    }
    a %= kMod;
    b %= kMod;
    bytes = bytes.subspan(n);
  }
  return (b << 16) | a;
}

std::vector<std::uint8_t> EncodePng(const Frame& frame) {
  if (frame.width <= 0 || frame.height <= 0 ||
      frame.pixels.size() != static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height)) {
    return {};
  }
  const auto w = static_cast<std::size_t>(frame.width);
  const auto h = static_cast<std::size_t>(frame.height);

  std::vector<std::uint8_t> raw;  // each row: filter type 0, then R, G, B per pixel
  raw.reserve(h * (1 + 3 * w));
  for (std::size_t y = 0; y < h; ++y) {
    raw.push_back(0);
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint32_t p = frame.pixels[y * w + x];
      raw.push_back(static_cast<std::uint8_t>(p >> 16));
      raw.push_back(static_cast<std::uint8_t>(p >> 8));
      raw.push_back(static_cast<std::uint8_t>(p));
    }
  }

  std::vector<std::uint8_t> z{0x78, 0x01};  // deflate, 32 KiB window, no preset dictionary
  z.reserve(raw.size() + raw.size() / kMaxStored * 5 + 16);
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(kMaxStored, raw.size() - at);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 (stored)
    z.push_back(static_cast<std::uint8_t>(n));
    z.push_back(static_cast<std::uint8_t>(n >> 8));
    z.push_back(static_cast<std::uint8_t>(~n));
    z.push_back(static_cast<std::uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  PutBe32(z, Adler32(raw));

  std::vector<std::uint8_t> header;
  PutBe32(header, static_cast<std::uint32_t>(frame.width));
  PutBe32(header, static_cast<std::uint32_t>(frame.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, truecolour, deflate, filter 0, no interlace

  std::vector<std::uint8_t> out(kSignature.begin(), kSignature.end());
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", z);
  PutChunk(out, "IEND", {});
  return out;
}

bool WritePng(const Frame& frame, const std::string& path) {
  const std::vector<std::uint8_t> bytes = EncodePng(frame);
  if (bytes.empty()) return false;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}

std::optional<Frame> DecodePng(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
    return std::nullopt;
  }
  std::uint32_t width = 0, height = 0;
  bool sawHeader = false, sawEnd = false;
  std::vector<std::uint8_t> z;
  for (std::size_t at = kSignature.size(); !sawEnd;) {
    if (bytes.size() - at < 12) return std::nullopt;
    const std::uint32_t length = GetBe32(bytes, at);
    if (length > bytes.size() - at - 12) return std::nullopt;
    const auto typed = bytes.subspan(at + 4, 4 + std::size_t{length});
    if (Crc32(typed) != GetBe32(bytes, at + 8 + length)) return std::nullopt;
    const auto data = typed.subspan(4);
    const std::string type(typed.begin(), typed.begin() + 4);
    if (type == "IHDR") {
      static constexpr std::array<std::uint8_t, 5> kExpected{8, 2, 0, 0, 0};
      if (length != 13 || !std::equal(kExpected.begin(), kExpected.end(), data.begin() + 8)) return std::nullopt;
      width = GetBe32(data, 0);
      height = GetBe32(data, 4);
      sawHeader = true;
    } else if (type == "IDAT") {
      z.insert(z.end(), data.begin(), data.end());
    } else if (type == "IEND") {
      sawEnd = true;
    }
    at += 12 + std::size_t{length};
  }
  if (!sawHeader || width == 0 || height == 0 || width > 1u << 14 || height > 1u << 14) return std::nullopt;

  // Inflate stored blocks only.
  if (z.size() < 6 || z[0] != 0x78 || ((z[0] << 8) | z[1]) % 31 != 0) return std::nullopt;
  std::vector<std::uint8_t> raw;
  std::size_t at = 2;
  for (bool last = false; !last;) {
    if (z.size() - at < 5 || (z[at] & 0x06) != 0) return std::nullopt;
    last = (z[at] & 1) != 0;
    const std::size_t n = z[at + 1] | (std::size_t{z[at + 2]} << 8);
    const std::size_t nn = z[at + 3] | (std::size_t{z[at + 4]} << 8);
    if ((n ^ 0xFFFFu) != nn || z.size() - at - 5 < n) return std::nullopt;
    raw.insert(raw.end(), z.begin() + static_cast<std::ptrdiff_t>(at + 5),
               z.begin() + static_cast<std::ptrdiff_t>(at + 5 + n));
    at += 5 + n;
  }
  if (z.size() - at != 4 || GetBe32(z, at) != Adler32(raw)) return std::nullopt;

  const std::size_t w = width, h = height, stride = 1 + 3 * w;
  if (raw.size() != h * stride) return std::nullopt;
  Frame frame(static_cast<int>(width), static_cast<int>(height));
  for (std::size_t y = 0; y < h; ++y) {
    const std::uint8_t* row = raw.data() + y * stride;
    if (row[0] != 0) return std::nullopt;
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint8_t* p = row + 1 + 3 * x;
      frame.pixels[y * w + x] = PixelOf(Rgb8{p[0], p[1], p[2]});
    }
  }
  return frame;
}

std::optional<Frame> ReadPng(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return DecodePng(bytes);
}

}  // namespace kromi
