#pragma once
// The software renderer: draws the form's controls into a Frame, bottom to top. It knows the
// kinds of control, never their names, and needs no window.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kromi/core/controls.h"
#include "kromi/draw/frame.h"
#include "kromi/draw/glyphs.h"

namespace kromi {

class Painter;

class Renderer {
 public:
  // The client area in logical pixels.
  static constexpr int kWidth = 328;
  static constexpr int kHeight = 256;

  // Draws with fonts at a whole device scale (1: one device pixel per logical pixel).
  Renderer(Glyphs& glyphs, int scale);

  // Opens the faces the visible labels among controls use and lays out and renders their
  // captions at scale, so a first frame drawn later finds them ready. Safe on any one thread
  // while nothing else uses fonts.
  static void Prepare(Glyphs& glyphs, std::span<const ControlRef> controls, int scale);

  int Scale() const { return scale_; }

  // A copy of controls, every property included, so that no property the renderer draws (nor
  // one it may draw one day) can change without Shows telling.
  static std::vector<ControlValue> Snapshot(std::span<const ControlRef> controls);
  // True while controls are exactly as snapshot holds them: a frame drawn now would be the same.
  static bool Shows(std::span<const ControlRef> controls, const std::vector<ControlValue>& snapshot);

  // Sets each label's Width and Height (logical pixels) from its caption and font; Left and Top
  // stay. Measured at scale 1, so the layout is the same at every device scale.
  void AutoSize(std::span<const ControlRef> controls);
  // The same for one label.
  void AutoSize(Label& label);

  // Sizes out to the client area at this scale (kWidth * scale x kHeight * scale), fills it with
  // background and draws the visible controls, the last of topFirst first, so topFirst[0] ends up
  // on top.
  void Draw(Colour background, std::span<const ControlRef> topFirst, Frame& out);
  // The same into pixels someone else owns (a window surface), clipped to out.
  void Draw(Colour background, std::span<const ControlRef> topFirst, PixelView out);

 private:
  // A caption's coverage in device pixels, rendered once.
  const TextMask& Text(const std::string& caption, const Font& font);
  void DrawControls(Painter& painter, std::span<const ControlRef> topFirst);
  void DrawLabel(Painter& painter, const Label& label);
  void DrawShape(Painter& painter, const Shape& shape) const;
  void DrawPicture(Painter& painter, const Picture& picture) const;

  Glyphs& glyphs_;
  int scale_;
};

}  // namespace kromi
