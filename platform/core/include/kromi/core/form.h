#pragma once
// What the host needs of a form: how it looks, its timers, and where its events go.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kromi/core/controls.h"

namespace kromi {

// Mouse buttons and shift states as the handlers receive them.
inline constexpr std::int16_t kLeftButton = 1;
inline constexpr std::int16_t kRightButton = 2;
inline constexpr std::int16_t kMiddleButton = 4;
inline constexpr std::int16_t kShiftMask = 1;
inline constexpr std::int16_t kCtrlMask = 2;
inline constexpr std::int16_t kAltMask = 4;

// The event handlers of a form, called one at a time on the main thread.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void KeyDown(std::int16_t keyCode, std::int16_t shift) = 0;
  virtual void KeyUp(std::int16_t keyCode, std::int16_t shift) = 0;
  // Mouse events of a label array; x and y are relative to the label.
  virtual void MouseDown(EventGroup group, std::int16_t index, std::int16_t button,
                         std::int16_t shift, float x, float y) = 0;
  virtual void MouseUp(EventGroup group, std::int16_t index, std::int16_t button,
                       std::int16_t shift, float x, float y) = 0;
  virtual void Click(EventGroup group, std::int16_t index) = 0;
  virtual void DblClick(EventGroup group, std::int16_t index) = 0;
  // The platform closed the window (title bar, window manager).
  virtual void Close() = 0;
  // True once the form has unloaded itself: the program ends.
  virtual bool Unloaded() const = 0;
};

struct TimerBinding {
  Timer* timer;
  std::function<void()> tick;
  // Optional: true while a tick would change nothing, so the host need not wake up for it.
  std::function<bool()> quiet;
};

// Everything the host shows and schedules for one form.
struct FormView {
  std::string caption;
  int clientWidth = 0;
  int clientHeight = 0;
  Colour backColor = 0;
  const PaletteImage* icon = nullptr;
  const std::vector<ControlRef>* drawingOrder = nullptr;  // top first
  std::vector<TimerBinding> timers;                        // in the form's order
  FormEvents* events = nullptr;
};

}  // namespace kromi
