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
