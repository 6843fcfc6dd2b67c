#pragma once
// Mouse delivery to labels: hit-testing in drawing order, capture, click and double click.
#include <cstdint>
#include <vector>

#include "kromi/core/controls.h"
#include "kromi/core/form.h"

namespace kromi {

// Turns raw button presses and releases (in form coordinates) into the label events of a form:
// the label pressed captures the mouse until the last button is up, wherever the pointer goes;
// every button raises its own press and release; a click follows a release over the label; a
// double click arrives as press, release, click, double click, release.
class MouseRouter {
 public:
  MouseRouter(const std::vector<ControlRef>& topFirst, FormEvents& events)
      : order_(topFirst), events_(events) {}

  // clicks: 1 for a single press, 2 for the second press of a double click (3 starts afresh).
  void Press(std::int16_t button, float x, float y, int clicks, std::int16_t shift);
  void Release(std::int16_t button, float x, float y, std::int16_t shift);
  // The platform lost track of the buttons (focus lost, grab broken): releases every held button
  // that is not in stillDown, where the pointer was last seen.
  void ReleaseAllBut(std::int16_t stillDown, std::int16_t shift);
  void ReleaseAll(std::int16_t shift) { ReleaseAllBut(0, shift); }
  // Buttons down, as a mask of kLeftButton, kRightButton, kMiddleButton ...
  std::int16_t Held() const { return held_; }
  void Motion(float x, float y);

  // The topmost visible label or picture at (x, y); a picture or a label without handlers
  // still hides what lies beneath it.
  const Label* HitTest(float x, float y, bool* covered = nullptr) const;
  bool Captured() const { return captured_ != nullptr; }

 private:
  const std::vector<ControlRef>& order_;
  FormEvents& events_;
  const Label* captured_ = nullptr;
  std::int16_t held_ = 0;          // buttons down, as a mask
  bool doubleClicked_ = false;     // this capture began as a double click: its release is no click
  const Label* lastPressed_ = nullptr;
  float lastX_ = 0, lastY_ = 0;
};

}  // namespace kromi
