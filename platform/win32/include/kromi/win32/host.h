#pragma once
// The window on Windows: sleeps in MsgWaitForMultipleObjectsEx, turns window messages into the
// runner's calls and puts its frames on screen through a 32-bit DIB. One thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kromi/core/form.h"
#include "kromi/core/scheduler.h"
#include "kromi/draw/frame.h"
#include "kromi/draw/glyphs.h"
#include "kromi/runner/runner.h"

namespace kromi {

// The handlers' key code for a virtual key: number pad 1..6 give 97..102 whatever NumLock says
// (with NumLock off they arrive as End, Down, PageDown, Left, Clear and Right without the
// extended-key flag), the arrow keys themselves give 37..40. Other keys keep their virtual key.
std::int16_t KeyCodeOf(unsigned virtualKey, bool extended);

class Win32Host {
 public:
  explicit Win32Host(FormView view);
  ~Win32Host();
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  // Makes the window (shown once its first frame is drawn) and runs until the form unloads or
  // the window is closed; shown, if given, is called once that first frame is on screen. Returns
  // false with a one-line reason when there is no window to show.
  bool Run(Glyphs& glyphs, std::string& error, const std::function<void()>& shown = {});

  // Handles one window message; public for the window procedure only.
  std::intptr_t Message(void* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

 private:
  bool CreateMainWindow(std::string& error);
  // Renders at scale from now on and sizes the window's client area to match, centred.
  void SetScale(int scale);
  void Present(const Frame& frame);
  float ToForm(int devicePixels) const { return static_cast<float>(devicePixels) / static_cast<float>(scale_); }

  FormView view_;
  SteadyClock clock_;
  Runner* runner_ = nullptr;      // while Run runs
  const Frame* frame_ = nullptr;  // the runner's last frame, for WM_PAINT
  void* window_ = nullptr;
  int scale_ = 1;
};

}  // namespace kromi
