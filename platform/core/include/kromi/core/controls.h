#pragma once
// The control model: plain property bags owned by the form, drawn by the host's renderer.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "kromi/core/runtime.h"

namespace kromi {

// A palette picture with at most one transparent palette entry.
struct PaletteImage {
  int width = 0;
  int height = 0;
  std::vector<Rgb8> palette;
  std::vector<std::uint8_t> pixels;  // row-major palette indices, width * height
  int transparent = -1;              // palette index drawn as see-through, or -1

  std::uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

struct Font {
  std::string name;   // family as the form asks for it ("Verdana")
  int pixelSize = 13; // at 96 dpi: 9.75 pt = 13 px
  bool bold = false;
  friend bool operator==(const Font&, const Font&) = default;
};

enum class Alignment : std::uint8_t { Left, Centre };

// Which of the form's label arrays a label belongs to, for mouse delivery (-1: none).
using EventGroup = int;

struct Label {
  std::string name;       // the control's name in the form ("lblHex")
  std::int16_t index = -1;  // index in its control array, -1 if not an array
  std::string Caption;
  float Left = 0, Top = 0;
  float Width = 0, Height = 0;  // auto-sized: follow Caption and font, kept up to date by the host
  Font font;
  Colour ForeColor = 0;
  bool opaque = false;
  Colour BackColor = 0;
  Alignment alignment = Alignment::Left;
  bool Visible = true;
  EventGroup group = -1;
  friend bool operator==(const Label&, const Label&) = default;
};

enum class ShapeKind : std::uint8_t { RoundedRectangle };

struct Shape {
  std::string name;
  std::int16_t index = -1;
  ShapeKind kind = ShapeKind::RoundedRectangle;
  float Left = 0, Top = 0, Width = 0, Height = 0;
  bool borderSolid = true;  // false: the border style is transparent, no outline at all
  int BorderWidth = 1;      // centred on the outline: half of a wide border lies outside
  Colour BorderColor = 0;
  bool fillSolid = false;   // false: the inside is not painted
  Colour FillColor = 0;
  bool Visible = true;
  friend bool operator==(const Shape&, const Shape&) = default;
};

struct Picture {
  std::string name;
  std::int16_t index = -1;
  float Left = 0, Top = 0, Width = 0, Height = 0;
  bool stretch = false;  // scale to Width x Height; otherwise shown at the image's own size
  const PaletteImage* image = nullptr;  // the artwork is constant: the same picture is the same pointer
  bool Visible = true;
  friend bool operator==(const Picture&, const Picture&) = default;
};

// A timer: Interval in ms and Enabled. Enabled is written through a setter so the scheduler
// can tell a fresh start (off -> on) from a rewrite of true, which keeps the schedule.
class Timer {
 public:
  Timer() = default;
  Timer(std::string name, int interval, bool enabled)
      : Interval(interval), name_(std::move(name)), enabled_(enabled), starts_(enabled ? 1u : 0u) {}

  int Interval = 0;

  bool Enabled() const { return enabled_; }
  void Enabled(bool on) {
    if (on && !enabled_) ++starts_;
    enabled_ = on;
  }
  // Counts off -> on transitions; a change means a fresh interval starts.
  std::uint32_t Starts() const { return starts_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  bool enabled_ = false;
  std::uint32_t starts_ = 0;
};

// One entry of the drawing order: a visible kind of control.
using ControlRef = std::variant<Label*, Shape*, Picture*>;
// A copy of one control, every property included.
using ControlValue = std::variant<Label, Shape, Picture>;

}  // namespace kromi
