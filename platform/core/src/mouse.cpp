#include "kromi/core/mouse.h"

namespace kromi {
namespace {

template <class Control>
bool Contains(const Control& c, float x, float y) {
  return c.Visible && x >= c.Left && y >= c.Top && x < c.Left + c.Width && y < c.Top + c.Height;
}

}  // namespace

const Label* MouseRouter::HitTest(float x, float y, bool* covered) const {
  for (const ControlRef& ref : order_) {
    if (const auto* label = std::get_if<Label*>(&ref)) {
      if (Contains(**label, x, y)) {
        if (covered) *covered = true;
        return (*label)->group >= 0 ? *label : nullptr;
      }
    } else if (const auto* picture = std::get_if<Picture*>(&ref)) {
      if (Contains(**picture, x, y)) {
        if (covered) *covered = true;
        return nullptr;
      }
    }
    // Shapes take no input: the mouse goes through them.
  }
  if (covered) *covered = false;
  return nullptr;
}

void MouseRouter::Motion(float x, float y) {
  lastX_ = x;
  lastY_ = y;
}

void MouseRouter::Press(std::int16_t button, float x, float y, int clicks, std::int16_t shift) {
  Motion(x, y);
  if (held_ & button) return;  // a press we already know about
  const bool first = held_ == 0;
  held_ = static_cast<std::int16_t>(held_ | button);
  if (!first) {
    // The control that took the first press keeps the mouse; the background keeps it too.
    if (captured_) {
      events_.MouseDown(captured_->group, captured_->index, button, shift, x - captured_->Left,
                        y - captured_->Top);
    }
    return;
  }
  const Label* hit = HitTest(x, y);
  if (!hit) {
    lastPressed_ = nullptr;
    return;
  }
  captured_ = hit;
  const bool dbl = clicks % 2 == 0 && hit == lastPressed_;
  lastPressed_ = hit;
  doubleClicked_ = dbl;
  if (dbl) {
    events_.DblClick(hit->group, hit->index);
  } else {
    events_.MouseDown(hit->group, hit->index, button, shift, x - hit->Left, y - hit->Top);
  }
}

void MouseRouter::Release(std::int16_t button, float x, float y, std::int16_t shift) {
  Motion(x, y);
  if (!(held_ & button)) return;  // a release whose press we never saw
  held_ = static_cast<std::int16_t>(held_ & ~button);
  if (!captured_) return;
  const Label* label = captured_;
  if (held_ == 0) captured_ = nullptr;
  events_.MouseUp(label->group, label->index, button, shift, x - label->Left, y - label->Top);
  if (held_ == 0 && !doubleClicked_ && Contains(*label, x, y)) {
    events_.Click(label->group, label->index);
  }
  if (held_ == 0) doubleClicked_ = false;
}

void MouseRouter::ReleaseAllBut(std::int16_t stillDown, std::int16_t shift) {
  for (std::int16_t button = 1; button <= 16; button = static_cast<std::int16_t>(button << 1)) {
    if ((held_ & button) && !(stillDown & button)) Release(button, lastX_, lastY_, shift);
  }
}

}  // namespace kromi
