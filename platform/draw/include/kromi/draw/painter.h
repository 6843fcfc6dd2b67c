#pragma once
// Software drawing primitives over a Frame: anti-aliased rounded rectangles, palette pictures and
// alpha masks, all clipped. Plain C++ so the pixels can be tested without a window.
#include <cstdint>

#include "kromi/core/controls.h"
#include "kromi/draw/frame.h"

namespace kromi {

// A rectangle of device pixels: x, y is the top-left pixel, w x h its size (empty if w or h <= 0).
struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// The part of a and b that lies in both (w or h 0 when they do not meet).
Rect Intersect(const Rect& a, const Rect& b);

// A shape's rectangle in logical pixels, as its Left, Top, Width and Height give it.
struct ShapeRect {
  double left = 0, top = 0, width = 0, height = 0;
};

// The corner radius of a rounded rectangle's outline, in logical pixels.
double CornerRadius(const ShapeRect& shape);

// Draws into one frame. Colours are 0xAARRGGBB: the alpha byte scales the coverage, so 0xFF....
// paints opaquely. Geometry that takes a scale is in logical pixels; everything else is in device
// pixels.
//
// A rounded rectangle's outline runs through the centres of its edge pixels, from
// (left + 0.5, top + 0.5) to (left + width - 0.5, top + height - 0.5), so a one-pixel border
// covers exactly the edge pixels and a wider border is centred on the outline. Straight edges
// are whole pixels: an even border's half-pixel edges go outwards, so a 40-pixel border reaches
// 20 pixels beyond the rectangle and 20 into it, the same pixels at every scale. Only the
// rounded corners are anti-aliased.
class Painter {
 public:
  // Draws into target, clipped to the whole of it. A frame must keep its size while in use.
  explicit Painter(PixelView target);

  // Limits drawing to clip (within the frame).
  void SetClip(const Rect& clip);
  // The current clip rectangle.
  const Rect& Clip() const { return clip_; }

  // Sets every pixel inside the clip to argb, ignoring its alpha.
  void Clear(std::uint32_t argb);
  // Blends argb over the device rectangle r.
  void FillRect(const Rect& r, std::uint32_t argb);

  // Fills a rounded rectangle's whole rectangle; a border drawn afterwards covers its edge.
  void FillRoundedRect(const ShapeRect& shape, int scale, std::uint32_t argb);
  // Strokes a rounded rectangle's outline with a band borderWidth logical pixels wide.
  void StrokeRoundedRect(const ShapeRect& shape, double borderWidth, int scale, std::uint32_t argb);

  // Draws image scaled to the device rectangle dest (nearest neighbour); its transparent
  // palette entry leaves the frame untouched.
  void BlitPalette(const PaletteImage& image, const Rect& dest);
  // Draws image at its own size times scale with its top-left pixel at device (x, y).
  void BlitPalette(const PaletteImage& image, int x, int y, int scale);

  // Blends argb through an 8-bit coverage mask (width x height, pitch bytes a row) placed with
  // its top-left at device (x, y): how text glyphs reach the frame.
  void BlendMask(const std::uint8_t* mask, int width, int height, int pitch, int x, int y,
                 std::uint32_t argb);

 private:
  struct Box;
  // A box from logical edges, each moved outwards to a whole pixel, in device pixels.
  static Box SnappedBox(double left, double top, double right, double bottom, double radius, int scale);
  void FillBoxes(const Box& outer, const Box* inner, std::uint32_t argb);
  void BlendSpan(std::uint32_t* row, int x0, int x1, std::uint32_t argb);

  PixelView target_;
  Rect clip_;
};

}  // namespace kromi
