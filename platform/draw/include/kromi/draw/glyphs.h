#pragma once
// What the renderer needs of a platform's text engine: a font's line height, a caption's width
// and its coverage, at a whole device scale. FreeType fills it on Linux, GDI on Windows.
#include <cstdint>
#include <string>
#include <vector>

#include "kromi/core/controls.h"

namespace kromi {

// A line of text's coverage as an 8-bit mask, in device pixels.
struct TextMask {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> alpha;  // width * height, row by row
};

// One font at one device size. Captions are UTF-8.
class TextFace {
 public:
  virtual ~TextFace() = default;
  // The line height in device pixels: ascent plus descent.
  virtual int Height() const = 0;
  // The width of text on one line, remembered per caption.
  virtual int CachedWidth(const std::string& text) = 0;
  // Text on one line, CachedWidth(text) by Height(), remembered per caption; the reference stays
  // valid until the next call that adds a caption.
  virtual const TextMask& Text(const std::string& text) = 0;
};

class Glyphs {
 public:
  virtual ~Glyphs() = default;
  // The face for font at device scale (its pixel size times scale), kept for the object's life;
  // null only when no font at all can be had.
  virtual TextFace* Get(const Font& font, int scale) = 0;
};

}  // namespace kromi
