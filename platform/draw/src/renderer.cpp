#include "kromi/draw/renderer.h"

#include <algorithm>
#include <string>
#include <type_traits>

#include "kromi/core/runtime.h"
#include "kromi/draw/painter.h"

namespace kromi {

namespace {

// Positions and sizes are floats in the model but whole pixels on screen.
int Whole(float value) { return static_cast<int>(RoundHalfEven(static_cast<double>(value))); }

}  // namespace

Renderer::Renderer(Glyphs& glyphs, int scale) : glyphs_(glyphs), scale_(std::max(1, scale)) {}

void Renderer::AutoSize(Label& label) {
  TextFace* face = glyphs_.Get(label.font, 1);
  if (face == nullptr) return;
  label.Width = static_cast<float>(face->CachedWidth(label.Caption));
  label.Height = static_cast<float>(face->Height());
}

void Renderer::AutoSize(std::span<const ControlRef> controls) {
  for (const ControlRef& control : controls) {
    if (Label* const* label = std::get_if<Label*>(&control); label != nullptr && *label != nullptr) {
      AutoSize(**label);
    }
  }
}

const TextMask& Renderer::Text(const std::string& caption, const Font& font) {
  static const TextMask kNone;
  TextFace* face = caption.empty() ? nullptr : glyphs_.Get(font, scale_);
  return face != nullptr ? face->Text(caption) : kNone;
}

void Renderer::Prepare(Glyphs& glyphs, std::span<const ControlRef> controls, int scale) {
  for (const ControlRef& control : controls) {
    const Label* const* label = std::get_if<Label*>(&control);
    if (label == nullptr || *label == nullptr || !(*label)->Visible || (*label)->Caption.empty()) continue;
    if (TextFace* face = glyphs.Get((*label)->font, 1)) face->CachedWidth((*label)->Caption);
    if (TextFace* face = glyphs.Get((*label)->font, std::max(1, scale))) face->Text((*label)->Caption);
  }
}

void Renderer::DrawLabel(Painter& painter, const Label& label) {
  const int s = scale_;
  const int left = Whole(label.Left) * s;
  const int top = Whole(label.Top) * s;
  const TextMask& text = Text(label.Caption, label.font);
  // The layout is measured at scale 1; hinted at the device size a caption can come out a pixel
  // wider or taller than that times the scale, and the box grows to hold it.
  const int width = std::max(Whole(label.Width) * s, text.width);
  const int height = std::max(Whole(label.Height) * s, text.height);
  if (label.opaque) painter.FillRect(Rect{left, top, width, height}, PixelOf(label.BackColor));
  if (text.alpha.empty()) return;
  const int x = label.alignment == Alignment::Centre ? left + (width - text.width) / 2 : left;
  painter.BlendMask(text.alpha.data(), text.width, text.height, text.width, x, top, PixelOf(label.ForeColor));
}

void Renderer::DrawShape(Painter& painter, const Shape& shape) const {
  const ShapeRect rect{static_cast<double>(Whole(shape.Left)), static_cast<double>(Whole(shape.Top)),
                       static_cast<double>(Whole(shape.Width)), static_cast<double>(Whole(shape.Height))};
  const bool border = shape.borderSolid && shape.BorderWidth > 0;
  if (shape.fillSolid) painter.FillRoundedRect(rect, scale_, PixelOf(shape.FillColor));
  if (border) painter.StrokeRoundedRect(rect, shape.BorderWidth, scale_, PixelOf(shape.BorderColor));
}

void Renderer::DrawPicture(Painter& painter, const Picture& picture) const {
  if (picture.image == nullptr) return;
  const int s = scale_;
  const int width = picture.stretch ? Whole(picture.Width) : picture.image->width;
  const int height = picture.stretch ? Whole(picture.Height) : picture.image->height;
  painter.BlitPalette(*picture.image, Rect{Whole(picture.Left) * s, Whole(picture.Top) * s, width * s, height * s});
}

void Renderer::Draw(Colour background, std::span<const ControlRef> topFirst, Frame& out) {
  out.Resize(kWidth * scale_, kHeight * scale_, PixelOf(background));
  Painter painter(out);
  DrawControls(painter, topFirst);
}

void Renderer::Draw(Colour background, std::span<const ControlRef> topFirst, PixelView out) {
  Painter painter(out);
  painter.Clear(PixelOf(background));
  DrawControls(painter, topFirst);
}

void Renderer::DrawControls(Painter& painter, std::span<const ControlRef> topFirst) {
  for (auto it = topFirst.rbegin(); it != topFirst.rend(); ++it) {
    std::visit(
        [&](auto* control) {
          if (control == nullptr || !control->Visible) return;
          using Kind = std::remove_cv_t<std::remove_pointer_t<decltype(control)>>;
          if constexpr (std::is_same_v<Kind, Label>) {
            DrawLabel(painter, *control);
          } else if constexpr (std::is_same_v<Kind, Shape>) {
            DrawShape(painter, *control);
          } else {
            DrawPicture(painter, *control);
          }
        },
        *it);
  }
}

std::vector<ControlValue> Renderer::Snapshot(std::span<const ControlRef> controls) {
  std::vector<ControlValue> copy;
  copy.reserve(controls.size());
  for (const ControlRef& ref : controls) {
    std::visit([&copy](const auto* c) { copy.emplace_back(*c); }, ref);
  }
  return copy;
}

bool Renderer::Shows(std::span<const ControlRef> controls, const std::vector<ControlValue>& snapshot) {
  if (controls.size() != snapshot.size()) return false;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const bool same = std::visit(
        [&](const auto* c) {
          using Kind = std::remove_cvref_t<decltype(*c)>;
          const Kind* was = std::get_if<Kind>(&snapshot[i]);
          return was != nullptr && *was == *c;
        },
        controls[i]);
    if (!same) return false;
  }
  return true;
}

}  // namespace kromi
