#include "kromi/png/png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kromi {

namespace {

constexpr png_uint_32 kMaxSide = 1u << 14;

// libpng's own handlers print to stderr; a caller here only wants the answer. An error must not
// return to libpng, so it jumps back to the setjmp of the call under way.
[[noreturn]] void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Quiet(png_structp, png_const_charp) {}

void Append(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

void Flush(png_structp) {}

struct Source {
  std::span<const std::uint8_t> bytes;
  std::size_t at = 0;
};

void Take(png_structp png, png_bytep data, png_size_t size) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (source->bytes.size() - source->at < size) png_error(png, "the file ends early");
  std::memcpy(data, source->bytes.data() + source->at, size);
  source->at += size;
}

// The libpng calls of a write, with setjmp in a frame of its own: everything it changes lives in
// the caller, so nothing here is left half-made when an error jumps back.
bool Write(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height, int colourType,
           const std::vector<png_bytep>& rows, std::vector<std::uint8_t>& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &out, Append, Flush);
  png_set_IHDR(png, info, width, height, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, nullptr);
  return true;
}

// The same for a read: the header, then libpng's transforms to 8-bit RGB, then every row (all
// passes of an interlaced image) and the chunks up to IEND, so a cut-off file fails here.
bool Read(png_structp png, png_infop info, Source& source, png_uint_32& width, png_uint_32& height,
          std::vector<std::uint8_t>& rgb) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &source, Take);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  const std::size_t stride = png_get_rowbytes(png, info);
  if (stride != std::size_t{width} * 3) png_error(png, "not 8-bit RGB after the transforms");
  rgb.resize(stride * height);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, rgb.data() + y * stride, nullptr);
  }
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Frame& frame, PngChannels channels) {
  if (frame.width <= 0 || frame.height <= 0 ||
      frame.pixels.size() != static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height)) {
    return {};
  }
  const auto w = static_cast<std::size_t>(frame.width);
  const auto h = static_cast<std::size_t>(frame.height);
  const bool alpha = channels == PngChannels::kRgba;
  const std::size_t bytesPerPixel = alpha ? 4 : 3;
  std::vector<std::uint8_t> rgb;
  rgb.reserve(w * h * bytesPerPixel);
  for (const std::uint32_t p : frame.pixels) {
    rgb.push_back(static_cast<std::uint8_t>(p >> 16));
    rgb.push_back(static_cast<std::uint8_t>(p >> 8));
    rgb.push_back(static_cast<std::uint8_t>(p));
    if (alpha) rgb.push_back(static_cast<std::uint8_t>(p >> 24));
  }
  std::vector<png_bytep> rows(h);
  for (std::size_t y = 0; y < h; ++y) rows[y] = rgb.data() + y * w * bytesPerPixel;

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
  if (png == nullptr) return {};
  png_infop info = png_create_info_struct(png);
  std::vector<std::uint8_t> out;
  const bool written = info != nullptr && Write(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h),
                                                alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, rows, out);
  png_destroy_write_struct(&png, &info);
  if (!written) out.clear();
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
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
  if (png == nullptr) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  Source source{bytes};
  png_uint_32 width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  const bool read = info != nullptr && Read(png, info, source, width, height, rgb);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!read || width == 0 || height == 0) return std::nullopt;

  Frame frame(static_cast<int>(width), static_cast<int>(height));
  for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
    frame.pixels[i] = PixelOf(Rgb8{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]});
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
