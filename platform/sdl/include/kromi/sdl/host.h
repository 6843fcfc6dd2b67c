#pragma once
// The window on SDL: waits on the display (and the ending signals), turns SDL's events into the
// runner's calls and puts its frames on screen.
#include <SDL.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kromi/core/form.h"
#include "kromi/core/scheduler.h"
#include "kromi/posix/process.h"
#include "kromi/runner/runner.h"
#include "kromi/sdl/fonts.h"
#include "kromi/sdl/input.h"
#include "kromi/sdl/wayland.h"

namespace kromi {

class Host {
 public:
  explicit Host(FormView view);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Process settings for the window system: no compose table for Xlib, no session bus launched on the
  // game's behalf, the ending signals blocked so the loop can wait for them (process.h). Call
  // before any thread starts: they change environment variables, which another thread may be
  // reading, and the signal mask that new threads inherit.
  static void PrepareEnvironment();

  // Starts SDL's video. Without a display it fails with a one-line reason.
  bool OpenVideo(std::string& error);

  // The whole-number factor the window is scaled by on this display (1 at 96 dpi, 2 at 192);
  // on X11 known once the window is made.
  int Scale() const { return scale_; }

  // Creates the window (shown only once its first frame is drawn) and runs until the form
  // unloads or an ending signal arrives; shown, if given, is called once that first frame is on
  // screen. Returns false with a reason when the window cannot be made.
  bool Run(Fonts& fonts, std::string& error, const std::function<void()>& shown = {});

  // Takes the window off the screen; SDL's video stays up until the host goes.
  void CloseWindow();

  // The signal that ended Run, or 0 if the form unloaded (or Run has not ended).
  int EndingSignal() const { return signal_; }

 private:
  bool CreateWindow(std::string& error);
  // SDL's idea of the display's density; 0 when it has none.
  static float SdlDpi();
  // The Wayland window's whole scale, from its size in pixels.
  int WaylandScale() const;
  enum class Drawn { kYes, kLater, kFailed };
  // Draws runner's frame into the window's pixels; kLater while the compositor still holds every
  // buffer, kFailed with drawError_ when the window has no pixels to draw into.
  Drawn Draw(Runner& runner);
  // Draws the first frame into the hidden window, then shows it; false with a reason.
  bool ShowFirstFrame(Runner& runner, std::string& error);
  // Puts the drawn frame on screen; false with drawError_ when that failed.
  bool Present();
  // The next event, waiting at most timeoutMs (negative: no limit); false if none came.
  bool NextEvent(SDL_Event& e, int timeoutMs);
  // The window's state as the compositor configured it may have changed: on Wayland the title
  // bar is redrawn, and a frame is due so that it shows.
  std::optional<Next> DecorationsChanged(Runner& runner);
  // Passes one event to runner; nothing when it is none the game hears.
  std::optional<Next> Handle(Runner& runner, InputTranslator& input, const SDL_Event& e);

  // True once an ending signal has arrived; keeps it in signal_.
  bool Signalled();

  FormView view_;
  SignalInbox signals_;
  int signal_ = 0;
  SteadyClock clock_;
  int scale_ = 1;
  bool videoOpen_ = false;
  bool wantsWayland_ = false;  // SDL runs on its Wayland driver
  SDL_Window* window_ = nullptr;
  void* xDisplay_ = nullptr;  // the window's X connection, when on X11
  std::unique_ptr<WaylandFrames> wayland_;  // the window's frames, when on Wayland
  std::string drawError_;
};

// The whole-number scale for a display density in dots per inch: 1 up to 143 dpi, 2 from 144.
int ScaleForDpi(float dpi);

}  // namespace kromi
