#pragma once
// The game's run loop, written once for every platform. A host feeds it what happened (input in
// client units, the focus gone, the window closed or moved to another density) and the time, and
// it answers what to do next: how long the host may sleep, whether the form has unloaded, and
// whether a frame must be drawn. It never waits, so a host that blocks (poll, a message wait)
// calls it in a loop around its own wait, and a browser calls it from its callbacks.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <variant>
#include <vector>

#include "kromi/core/controls.h"
#include "kromi/core/form.h"
#include "kromi/core/mouse.h"
#include "kromi/core/scheduler.h"
#include "kromi/draw/frame.h"
#include "kromi/draw/glyphs.h"
#include "kromi/draw/renderer.h"

namespace kromi {

// What a host is to do after a call to the runner.
struct Next {
  bool unloaded = false;         // the form has unloaded: the program ends
  bool frameDue = false;         // what the window shows is out of date: draw a frame and present it
  std::optional<Micros> sleep;   // until the next tick is due; nothing when none is (sleep until an event)

  // sleep in whole milliseconds, rounded up so a wait never ends just before its tick and spins;
  // -1 when nothing is due.
  int SleepMs() const;
};

class Runner {
 public:
  // Runs view's form at a whole device scale, with text from glyphs and time from clock; both
  // must outlive the runner. The timers start as the form left them.
  Runner(FormView view, Glyphs& glyphs, int scale, const Clock& clock);
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Input, one event per call, as the platform delivers it. Positions are in client units
  // (logical pixels: the host divides device pixels by Scale()). A held key's repeats come as
  // further key-downs. clicks is 2 for the second press of a double click.
  Next KeyDown(std::int16_t keyCode, std::int16_t shift);
  Next KeyUp(std::int16_t keyCode, std::int16_t shift);
  Next MouseDown(std::int16_t button, float x, float y, int clicks, std::int16_t shift);
  Next MouseUp(std::int16_t button, float x, float y, std::int16_t shift);
  Next MouseMove(float x, float y);
  // The window no longer hears the keyboard and mouse: every key and button it saw go down and
  // not up is released now, so nothing stays pressed or moving.
  Next FocusLost(std::int16_t shift);
  // For a platform that can read the buttons' real state: those held here but not in stillDown
  // went up unseen and are released now.
  Next ButtonsUpExcept(std::int16_t stillDown, std::int16_t shift);
  // The platform closed the window (title bar, window manager, signal): as "Avsluta" does.
  Next Close();
  // The window moved to a display of another density: the text is rasterised afresh at scale.
  Next ScaleChanged(int scale);
  // What the window showed was lost (exposed, remade): the next frame is drawn whatever changed.
  Next Exposed();
  // The time is the clock's now: fires the ticks due by then, at most one per timer however late.
  Next Wake();
  // The state now, handling nothing.
  Next Peek();

  // Draws a frame of the controls as they are into out (Width() x Height() device pixels) and
  // takes it as what the window shows.
  void Draw(PixelView out);
  // The same into the runner's own frame.
  const Frame& Draw();

  int Scale() const { return renderer_->Scale(); }
  int Width() const { return view_.clientWidth * Scale(); }   // device pixels
  int Height() const { return view_.clientHeight * Scale(); }
  // Buttons the runner takes to be down, as a mask of kLeftButton ...
  std::int16_t ButtonsHeld() const { return mouse_.Held(); }

 private:
  // Runs an input's handler unless the form has gone, after the quiet timers' passed beats.
  template <typename Handler>
  Next Input(Handler&& handler);
  bool FrameDue() const;

  FormView view_;
  Glyphs& glyphs_;
  Scheduler scheduler_;
  MouseRouter mouse_;
  std::unique_ptr<Renderer> renderer_;
  Frame frame_;                                    // only for hosts that present the runner's frame
  std::set<std::int16_t> keysDown_;                // so a lost focus can lift them
  std::vector<ControlValue> shown_;                // the controls as the last frame drew them
  bool stale_ = true;                              // a frame is due whatever the controls say
};

}  // namespace kromi
