#pragma once
// A software frame buffer: what the renderer draws and the window or a snapshot shows.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kromi/core/runtime.h"

namespace kromi {

// Opaque pixels as 0xFFRRGGBB, the byte layout of SDL_PIXELFORMAT_ARGB8888, row-major.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // width * height

  Frame() = default;
  // A width x height frame filled with one pixel value.
  Frame(int w, int h, std::uint32_t fill = 0xFF000000u) { Resize(w, h, fill); }

  // Makes the frame w x h with every pixel set to fill; reuses the buffer where it can.
  void Resize(int w, int h, std::uint32_t fill = 0xFF000000u) {
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
  }

  // The pixel at (x, y); the caller keeps x and y inside the frame.
  std::uint32_t At(int x, int y) const { return pixels[Index(x, y)]; }
  std::uint32_t& At(int x, int y) { return pixels[Index(x, y)]; }

  // True when (x, y) lies inside the frame.
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }
};

// Pixels owned elsewhere (a Frame's, or a window surface's), drawn into in place: rows of
// 0xFFRRGGBB, stride pixels apart.
struct PixelView {
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;

  PixelView() = default;
  PixelView(std::uint32_t* p, int w, int h, int s) : pixels(p), width(w), height(h), stride(s) {}
  // All of frame; valid until the frame is resized.
  PixelView(Frame& frame)  // NOLINT(google-explicit-constructor): a frame is a view of itself
      : pixels(frame.pixels.data()), width(frame.width), height(frame.height), stride(frame.width) {}

  // The first pixel of row y; the caller keeps y inside the view.
  std::uint32_t* Row(int y) const { return pixels + static_cast<std::ptrdiff_t>(y) * stride; }
};

// The opaque pixel of three intensities.
constexpr std::uint32_t PixelOf(Rgb8 c) {
  return 0xFF000000u | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | std::uint32_t{c.b};
}

// The opaque pixel of a colour value; system colours are resolved here, at drawing time.
inline std::uint32_t PixelOf(Colour colour) { return PixelOf(Split(SystemColour(colour))); }

// The intensities of a pixel; its alpha byte is ignored.
constexpr Rgb8 RgbOf(std::uint32_t pixel) {
  return Rgb8{static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
              static_cast<std::uint8_t>(pixel)};
}

}  // namespace kromi
