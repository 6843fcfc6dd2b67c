#pragma once
// The window and its loop on Windows: messages and due timers in, frames out through a 32-bit
// DIB. One thread; between ticks the process sleeps in MsgWaitForMultipleObjectsEx.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "kromi/core/form.h"
#include "kromi/core/mouse.h"
#include "kromi/core/scheduler.h"
#include "kromi/draw/frame.h"
#include "kromi/draw/glyphs.h"
#include "kromi/draw/renderer.h"

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
  void SetScale(int scale);
  void Draw();
  void Present();
  void ReleaseEverything();
  float ToForm(int devicePixels) const { return static_cast<float>(devicePixels) / static_cast<float>(scale_); }

  FormView view_;
  SteadyClock clock_;
  Scheduler scheduler_{clock_};
  MouseRouter mouse_;
  Glyphs* glyphs_ = nullptr;
  std::unique_ptr<Renderer> renderer_;
  Frame frame_;
  std::string shown_;
  void* window_ = nullptr;
  int scale_ = 1;
  std::set<std::int16_t> keysDown_;  // so a lost focus can lift them
};

}  // namespace kromi
