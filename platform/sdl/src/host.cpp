#include "kromi/sdl/host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kromi/sdl/input.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <poll.h>

namespace kromi {

namespace {

// The X display's density: Xft.dpi when the desktop sets it (that is what the user chose),
// otherwise the screen's pixels per millimetre. 0 when unknown. Asked on SDL's own connection:
// a second one would cost a connection set-up and its buffers at start.
float X11Dpi(Display* display) {
  float dpi = 0;
  if (const char* resources = XResourceManagerString(display)) {
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value;
    if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
      dpi = std::strtof(value.addr, nullptr);
    }
    if (db) XrmDestroyDatabase(db);
  }
  if (!(dpi > 0)) {
    const int screen = DefaultScreen(display);
    const int mm = DisplayHeightMM(display, screen);
    if (mm > 0) dpi = static_cast<float>(DisplayHeight(display, screen)) * 25.4f / static_cast<float>(mm);
  }
  return dpi;
}

// The video drivers to try, in order, as SDL_VIDEODRIVER or the displays named in the
// environment give them; empty when nothing names a display.
std::string VideoDrivers() {
  const char* chosen = std::getenv("SDL_VIDEODRIVER");
  if (chosen && *chosen) return chosen;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  std::string drivers;
  if (x11 && *x11) drivers = "x11";
  if (wayland && *wayland) drivers += drivers.empty() ? "wayland" : ",wayland";
  return drivers;
}

bool XIsFirstDriver() {
  const std::string drivers = VideoDrivers();
  return drivers.compare(0, drivers.find(','), "x11") == 0;
}

}  // namespace

int ScaleForDpi(float dpi) {
  if (!(dpi > 0)) return 1;
  return std::clamp(static_cast<int>(std::lround(dpi / 96.0f)), 1, 8);
}

Host::Host(FormView view) : view_(std::move(view)) {}

Host::~Host() {
  CloseWindow();
  if (videoOpen_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Host::CloseWindow() {
  wayland_.reset();
  if (!window_) return;
  SDL_DestroyWindow(window_);
  window_ = nullptr;
  xDisplay_ = nullptr;
  // Destroying only queues the request; it must reach the X server before any wait that follows.
  SDL_PumpEvents();
}

void Host::PrepareEnvironment() {
  // SDL opens an X input method for text input, and Xlib's local method then parses the locale's
  // compose table: some 6,000 lines for en_US.UTF-8, half of SDL's start-up time on X11 and
  // 0.6 MiB of heap. The game reads keys, never text, so an empty table changes nothing it sees.
  // A compose file the user chose is left alone. Only for Xlib: on Wayland xkbcommon reads the
  // same variable and complains that /dev/null is no compose file.
  if (XIsFirstDriver()) setenv("XCOMPOSEFILE", "/dev/null", 0);
  // With no session bus named, libdbus "autolaunches" one for SDL's D-Bus helpers (screen saver,
  // input methods): it forks while the font thread runs, a child that can deadlock on a lock that
  // thread held, and it may leave a dbus-daemon behind. The game uses nothing over D-Bus; a session
  // bus that exists is left alone.
  setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
  SignalInbox::BlockEndingSignals();
}

bool Host::Signalled() {
  if (signal_ == 0) signal_ = signals_.Take();
  return signal_ != 0;
}

bool Host::OpenVideo(std::string& error) {
  // The software frame goes straight to the window surface. Without this hint SDL builds that
  // surface on OpenGL, which costs far more start-up time, memory and threads than it saves.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A still picture that waits for the player has no reason to keep the screen awake, and
  // inhibiting the screen saver costs a D-Bus call at start.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // The ending signals come through the loop's own wait (process.h); SDL's handlers would only
  // turn them into a quit event that a busy loop sees late and that exits with 0.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // SDL would otherwise fall back to an invisible offscreen window when no display answers.
  // Only real displays, unless the user chose a driver; and only those the environment names,
  // so a missing Wayland session does not print its own complaint before ours.
  const std::string drivers = VideoDrivers();
  if (drivers.empty()) {
    error = "no display: DISPLAY is not set; set it to a running X server (or WAYLAND_DISPLAY for Wayland)";
    return false;
  }
  SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    error = XIsFirstDriver() || !wayland || !*wayland
                ? std::string("no display: cannot open display '") + (x11 ? x11 : "") + "' (" + SDL_GetError() +
                      "); set DISPLAY to a running X server (or WAYLAND_DISPLAY for Wayland)"
                : std::string("no display: cannot reach the Wayland compositor '") + wayland + "' (" +
                      SDL_GetError() + "); set WAYLAND_DISPLAY to a running one (or DISPLAY for X)";
    return false;
  }
  videoOpen_ = true;
  // On X11 the density is read off the window's connection once the window exists; on Wayland
  // the compositor gives the window its scale.
  const char* driver = SDL_GetCurrentVideoDriver();
  wantsWayland_ = std::strcmp(driver, "wayland") == 0;
  if (std::strcmp(driver, "x11") != 0 && !wantsWayland_) scale_ = ScaleForDpi(SdlDpi());
  return true;
}

float Host::SdlDpi() {
  float dpi = 0, hdpi = 0, vdpi = 0;
  if (SDL_GetDisplayDPI(0, &dpi, &hdpi, &vdpi) != 0) return 0;
  return vdpi > 0 ? vdpi : hdpi;
}

bool Host::CreateWindow(std::string& error) {
  window_ = SDL_CreateWindow(view_.caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             view_.clientWidth * scale_, view_.clientHeight * scale_,
                             SDL_WINDOW_HIDDEN | (wantsWayland_ ? SDL_WINDOW_ALLOW_HIGHDPI : 0));
  if (!window_) {
    error = std::string("cannot open the window: ") + SDL_GetError();
    return false;
  }
  if (const PaletteImage* icon = view_.icon) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, icon->width, icon->height, 32,
                                                    SDL_PIXELFORMAT_ARGB8888);
    if (s) {
      auto* px = static_cast<std::uint32_t*>(s->pixels);
      for (int y = 0; y < icon->height; ++y) {
        for (int x = 0; x < icon->width; ++x) {
          const int i = icon->At(x, y);
          const Rgb8 c = icon->palette[static_cast<std::size_t>(i)];
          const std::uint32_t alpha = i == icon->transparent ? 0u : 0xFFu;
          px[y * (s->pitch / 4) + x] = alpha << 24 | std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b;
        }
      }
      SDL_SetWindowIcon(window_, s);
      SDL_FreeSurface(s);
    }
  }
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  const bool known = SDL_GetWindowWMInfo(window_, &info) == SDL_TRUE;
  if (known && info.subsystem == SDL_SYSWM_WAYLAND) {
    wayland_ = WaylandFrames::Open(info.info.wl.display, info.info.wl.surface, error);
    if (!wayland_) return false;
    scale_ = WaylandScale();
  } else if (wantsWayland_) {
    error = std::string("cannot reach the Wayland window: ") + (known ? "not a Wayland window" : SDL_GetError());
    return false;
  }
  if (known && info.subsystem == SDL_SYSWM_X11) {
    xDisplay_ = info.info.x11.display;
    float dpi = X11Dpi(info.info.x11.display);
    if (!(dpi > 0)) dpi = SdlDpi();
    // Still hidden, so the window is simply made the right size before anyone sees it.
    if (const int scale = ScaleForDpi(dpi); scale != scale_) {
      scale_ = scale;
      SDL_SetWindowSize(window_, view_.clientWidth * scale_, view_.clientHeight * scale_);
      SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
  }
  return true;
}

int Host::WaylandScale() const {
  // Pixels per surface unit, as SDL has set the surface up for this output.
  int w = 0, h = 0;
  SDL_GetWindowSizeInPixels(window_, &w, &h);
  return std::clamp(w / view_.clientWidth, 1, 8);
}

Host::Drawn Host::Draw(Runner& runner) {
  if (wayland_) {
    // Moved to an output of another scale: the text is rasterised afresh, never stretched.
    runner.ScaleChanged(WaylandScale());
    scale_ = runner.Scale();
    drawError_.clear();
    const auto pixels = wayland_->Begin(runner.Width(), runner.Height(), drawError_);
    if (!pixels) return drawError_.empty() ? Drawn::kLater : Drawn::kFailed;
    runner.Draw(*pixels);
    return Drawn::kYes;
  }
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) {
    drawError_ = std::string("the window has no surface to draw on: ") + SDL_GetError();
    return Drawn::kFailed;
  }
  const int w = runner.Width();
  const int h = runner.Height();
  const Uint32 format = surface->format->format;
  // The window surface is almost always 32-bit xRGB, the frame's own layout: drawn in place, the
  // game keeps no second copy of the picture (a third of a megabyte, four times that at scale 2).
  if ((format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) && surface->pitch % 4 == 0 &&
      surface->w >= w && surface->h >= h && SDL_LockSurface(surface) == 0) {
    runner.Draw(PixelView(static_cast<std::uint32_t*>(surface->pixels), w, h, surface->pitch / 4));
    SDL_UnlockSurface(surface);
    return Drawn::kYes;
  }
  const Frame& frame = runner.Draw();
  if (SDL_LockSurface(surface) != 0 ||
      SDL_ConvertPixels(std::min(surface->w, frame.width), std::min(surface->h, frame.height),
                        SDL_PIXELFORMAT_ARGB8888, frame.pixels.data(), frame.width * 4, format, surface->pixels,
                        surface->pitch) != 0) {
    drawError_ = std::string("cannot draw on the window: ") + SDL_GetError();
    SDL_UnlockSurface(surface);
    return Drawn::kFailed;
  }
  SDL_UnlockSurface(surface);
  return Drawn::kYes;
}

bool Host::Present() {
  if (wayland_) {
    wayland_->Commit(scale_);
    return true;
  }
  if (SDL_UpdateWindowSurface(window_) != 0) {
    drawError_ = std::string("cannot show the frame: ") + SDL_GetError();
    return false;
  }
  return true;
}

bool Host::NextEvent(SDL_Event& e, int timeoutMs) {
  if (wayland_) {
    // As on X11: SDL reads only once the compositor has sent something.
    if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) return true;
    return wayland_->Wait(signals_.Fd(), timeoutMs) && SDL_PollEvent(&e) != 0;
  }
  if (xDisplay_ == nullptr) {
    // Other drivers wait inside SDL, where the signals cannot reach; a bounded wait looks again.
    constexpr int kSignalLook = 100;
    timeoutMs = timeoutMs < 0 ? kSignalLook : std::min(timeoutMs, kSignalLook);
    return (timeoutMs > 0 ? SDL_WaitEventTimeout(&e, timeoutMs) : SDL_PollEvent(&e)) != 0;
  }
  // SDL's own timed wait pumps the X connection several times over on every timer tick. Here a
  // tick that finds nothing new costs one poll: SDL is only asked to read when the X server has
  // sent something. An ending signal ends the wait too.
  if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) return true;
  auto* display = static_cast<Display*>(xDisplay_);
  // QueuedAfterFlush, not QueuedAlready: a reply SDL waited for may have brought events along
  // that Xlib's transport has read off the socket but not yet queued, and poll would not see them.
  if (XEventsQueued(display, QueuedAfterFlush) == 0) {
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {signals_.Fd(), POLLIN, 0}};
    const int ready = poll(fds, signals_.Fd() >= 0 ? 2 : 1, timeoutMs);
    if (ready <= 0 || fds[0].revents == 0) return false;  // timed out, or a signal alone
  }
  return SDL_PollEvent(&e) != 0;
}

std::optional<Next> Host::DecorationsChanged(Runner& runner) {
  // On Wayland these events are what SDL makes of the compositor's configure, after which
  // libdecor has drawn the title bar afresh (active or inactive look) into its subsurfaces. Those
  // show only with the next commit of the game's own surface, and a game at rest makes none: so
  // the frame is drawn again. A commit brings no configure, so this cannot feed itself. Elsewhere
  // the window manager draws the frame and nothing here changes.
  if (!wayland_) return std::nullopt;
  return runner.Exposed();
}

std::optional<Next> Host::Handle(Runner& runner, InputTranslator& input, const SDL_Event& e) {
  if (auto next = input.Handle(e)) return next;
  if (e.type == SDL_QUIT) return runner.Close();
  if (e.type != SDL_WINDOWEVENT) return std::nullopt;
  switch (e.window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      return runner.Close();
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_ENTER: {
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) DecorationsChanged(runner);
      // A release that happened while another window had the focus may never have reached us.
      // The button is up, so deliver its release now rather than leave the button stuck down.
      // Losing the focus by itself changes nothing (held keys are released by SDL itself).
      std::int16_t down = 0;
      const Uint32 state = SDL_GetGlobalMouseState(nullptr, nullptr);
      for (std::uint8_t b = SDL_BUTTON_LEFT; b <= SDL_BUTTON_X2; ++b) {
        if (state & SDL_BUTTON(b)) down = static_cast<std::int16_t>(down | ButtonOf(b));
      }
      return runner.ButtonsUpExcept(down, ShiftOf(static_cast<std::uint16_t>(SDL_GetModState())));
    }
    case SDL_WINDOWEVENT_FOCUS_LOST:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
      return DecorationsChanged(runner);
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      // Drawn again rather than only shown: a window surface SDL had to remake holds nothing.
      return runner.Exposed();
    default:
      return std::nullopt;
  }
}

bool Host::ShowFirstFrame(Runner& runner, std::string& error) {
  // A window that cannot show its first frame must not run on unseen: the player would have no
  // window to close.
  if (Draw(runner) != Drawn::kYes) {
    error = drawError_.empty() ? "cannot draw the window's first frame" : drawError_;
    return false;
  }
  SDL_ShowWindow(window_);
  if (!Present()) {
    error = drawError_;
    return false;
  }
  return true;
}

bool Host::Run(Fonts& fonts, std::string& error, const std::function<void()>& shown) {
  if (Signalled()) return true;
  if (!CreateWindow(error)) return false;
  Runner runner(view_, fonts, scale_, clock_);
  if (!ShowFirstFrame(runner, error)) return false;
  if (shown) shown();
  // Mouse positions come in window units: device pixels on X11, scaled units on Wayland.
  InputTranslator input(runner, wayland_ ? 1 : scale_);
  Next next = runner.Peek();
  while (!next.unloaded && !Signalled() && !(wayland_ && !wayland_->Lost().empty())) {
    SDL_Event e;
    for (bool got = NextEvent(e, next.SleepMs()); got && !next.unloaded && !Signalled(); got = SDL_PollEvent(&e)) {
      if (auto answer = Handle(runner, input, e)) next = *answer;
    }
    if (next.unloaded || Signalled()) break;
    next = runner.Wake();
    // A frame the compositor has no free buffer for is drawn once it releases one.
    if (next.frameDue && Draw(runner) == Drawn::kYes) {
      Present();
      next = runner.Peek();
    }
  }
  // The compositor gone is a failure, even if SDL turned it into a quit.
  if (wayland_ && !wayland_->Lost().empty()) {
    error = wayland_->Lost();
    return false;
  }
  return true;
}

}  // namespace kromi
