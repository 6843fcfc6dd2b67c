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

}  // namespace

int ScaleForDpi(float dpi) {
  if (!(dpi > 0)) return 1;
  return std::clamp(static_cast<int>(std::lround(dpi / 96.0f)), 1, 8);
}

Host::Host(FormView view) : view_(std::move(view)), mouse_(*view_.drawingOrder, *view_.events) {
  for (const TimerBinding& t : view_.timers) scheduler_.Add(*t.timer, t.tick, t.quiet);
}

Host::~Host() {
  CloseWindow();
  if (videoOpen_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Host::CloseWindow() {
  renderer_.reset();
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
  // A compose file the user chose is left alone.
  setenv("XCOMPOSEFILE", "/dev/null", 0);
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
  const char* chosen = std::getenv("SDL_VIDEODRIVER");
  if (!chosen || !*chosen) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string drivers;
    if (x11 && *x11) drivers = "x11";
    if (wayland && *wayland) drivers += drivers.empty() ? "wayland" : ",wayland";
    if (drivers.empty()) {
      error = "no display: DISPLAY is not set; set it to a running X server (or WAYLAND_DISPLAY for Wayland)";
      return false;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    const char* x11 = std::getenv("DISPLAY");
    error = std::string("no display: cannot open display '") + (x11 ? x11 : "") + "' (" + SDL_GetError() +
            "); set DISPLAY to a running X server (or WAYLAND_DISPLAY for Wayland)";
    return false;
  }
  videoOpen_ = true;
  // On X11 the density is read off the window's connection once the window exists.
  if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") != 0) scale_ = ScaleForDpi(SdlDpi());
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
                             SDL_WINDOW_HIDDEN);
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
  if (SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11) {
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

std::string Host::Snapshot() const {
  // Every property the renderer reads, packed; equal snapshots draw equal frames.
  std::string s;
  auto put = [&s](const auto& v) { s.append(reinterpret_cast<const char*>(&v), sizeof v); };
  for (const ControlRef& ref : *view_.drawingOrder) {
    std::visit(
        [&](const auto* c) {
          using T = std::remove_cvref_t<decltype(*c)>;
          put(c->Visible);
          put(c->Left);
          put(c->Top);
          if constexpr (std::is_same_v<T, Label>) {
            put(c->ForeColor);
            put(c->BackColor);
            s += c->Caption;
            s.push_back('\0');
          } else if constexpr (std::is_same_v<T, Shape>) {
            put(c->BorderColor);
            put(c->FillColor);
            put(c->Width);
            put(c->Height);
          } else {
            put(c->Width);
            put(c->Height);
          }
        },
        ref);
  }
  return s;
}

void Host::Draw() {
  const std::span<const ControlRef> order(*view_.drawingOrder);
  renderer_->AutoSize(order);
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) return;
  const int w = view_.clientWidth * scale_;
  const int h = view_.clientHeight * scale_;
  const Uint32 format = surface->format->format;
  // The window surface is almost always 32-bit xRGB, the frame's own layout: drawn in place, the
  // game keeps no second copy of the picture (a third of a megabyte, four times that at scale 2).
  if ((format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) && surface->pitch % 4 == 0 &&
      surface->w >= w && surface->h >= h && SDL_LockSurface(surface) == 0) {
    renderer_->Draw(view_.backColor, order,
                    PixelView(static_cast<std::uint32_t*>(surface->pixels), w, h, surface->pitch / 4));
    SDL_UnlockSurface(surface);
    return;
  }
  renderer_->Draw(view_.backColor, order, frame_);
  SDL_LockSurface(surface);
  SDL_ConvertPixels(std::min(surface->w, frame_.width), std::min(surface->h, frame_.height),
                    SDL_PIXELFORMAT_ARGB8888, frame_.pixels.data(), frame_.width * 4, format, surface->pixels,
                    surface->pitch);
  SDL_UnlockSurface(surface);
}

void Host::Present() { SDL_UpdateWindowSurface(window_); }

bool Host::NextEvent(SDL_Event& e, int timeoutMs) {
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

bool Host::Run(Fonts& fonts, std::string& error, const std::function<void()>& shown) {
  if (Signalled()) return true;
  if (!CreateWindow(error)) return false;
  renderer_ = std::make_unique<Renderer>(fonts, scale_);
  Draw();
  shown_ = Snapshot();
  SDL_ShowWindow(window_);
  Present();
  if (shown) shown();

  FormEvents& events = *view_.events;
  InputTranslator input(events, mouse_, scale_);
  const auto unloaded = [&events] { return events.Unloaded(); };
  bool exposed = false;
  auto handle = [&](const SDL_Event& e) {
    if (input.Handle(e)) return;
    if (e.type == SDL_QUIT) {
      events.Close();
    } else if (e.type == SDL_WINDOWEVENT) {
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) events.Close();
      // A release that happened while another window had the focus may never have reached us.
      // The button is up, so deliver its release now rather than leave the button stuck down.
      // Losing the focus by itself changes nothing (held keys are released by SDL itself).
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED || e.window.event == SDL_WINDOWEVENT_ENTER) {
        std::int16_t down = 0;
        const Uint32 state = SDL_GetGlobalMouseState(nullptr, nullptr);
        for (std::uint8_t b = SDL_BUTTON_LEFT; b <= SDL_BUTTON_X2; ++b) {
          if (state & SDL_BUTTON(b)) down = static_cast<std::int16_t>(down | ButtonOf(b));
        }
        if (mouse_.Held() & ~down) mouse_.ReleaseAllBut(down, ShiftOf(static_cast<std::uint16_t>(SDL_GetModState())));
      }
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SHOWN ||
          e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        exposed = true;
    }
  };

  while (!unloaded() && !Signalled()) {
    scheduler_.Sync();
    SDL_Event e;
    int ms = -1;
    if (const auto wait = scheduler_.TimeToNext()) {
      // Whole milliseconds, rounded up, so a wait never ends just before its tick and spins.
      ms = static_cast<int>((*wait + 999) / 1000);
    }
    const bool got = NextEvent(e, ms);
    scheduler_.SkipQuiet();  // before the event, which may end their quiet
    if (got) {
      handle(e);
      scheduler_.Sync();
      while (!unloaded() && !Signalled() && SDL_PollEvent(&e)) {
        handle(e);
        scheduler_.Sync();
      }
    }
    if (unloaded() || Signalled()) break;
    scheduler_.FireDue(unloaded);
    if (unloaded()) break;
    std::string now = Snapshot();
    if (now != shown_) {
      Draw();
      shown_ = std::move(now);
      Present();
      exposed = false;
    } else if (exposed) {
      // Drawn again rather than only shown: a window surface SDL had to remake holds nothing.
      Draw();
      Present();
      exposed = false;
    }
  }
  return true;
}

}  // namespace kromi
