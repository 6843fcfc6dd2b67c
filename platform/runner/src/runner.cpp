#include "kromi/runner/runner.h"

#include <algorithm>
#include <limits>

namespace kromi {

int Next::SleepMs() const {
  if (!sleep) return -1;
  // Rounded up: a wait that ended just before its tick would find nothing due and spin.
  const Micros ms = (std::max<Micros>(*sleep, 0) + 999) / 1000;
  return static_cast<int>(std::min<Micros>(ms, std::numeric_limits<int>::max() - 1));
}

Runner::Runner(FormView view, Glyphs& glyphs, int scale, const Clock& clock)
    : view_(std::move(view)),
      glyphs_(glyphs),
      scheduler_(clock),
      mouse_(*view_.drawingOrder, *view_.events),
      renderer_(std::make_unique<Renderer>(glyphs_, scale)) {
  for (const TimerBinding& t : view_.timers) scheduler_.Add(*t.timer, t.tick, t.quiet);
}

Runner::~Runner() = default;

template <typename Handler>
Next Runner::Input(Handler&& handler) {
  if (view_.events->Unloaded()) return Peek();
  // Nothing could have ended a quiet timer's quiet since the last call, so the beats it was quiet
  // for stay passed over; the input may end it.
  scheduler_.SkipQuiet();
  handler();
  return Peek();
}

Next Runner::KeyDown(std::int16_t keyCode, std::int16_t shift) {
  return Input([&] {
    keysDown_.insert(keyCode);
    view_.events->KeyDown(keyCode, shift);
  });
}

Next Runner::KeyUp(std::int16_t keyCode, std::int16_t shift) {
  return Input([&] {
    keysDown_.erase(keyCode);
    view_.events->KeyUp(keyCode, shift);
  });
}

Next Runner::MouseDown(std::int16_t button, float x, float y, int clicks, std::int16_t shift) {
  return Input([&] { mouse_.Press(button, x, y, clicks, shift); });
}

Next Runner::MouseUp(std::int16_t button, float x, float y, std::int16_t shift) {
  return Input([&] { mouse_.Release(button, x, y, shift); });
}

Next Runner::MouseMove(float x, float y) {
  if (!view_.events->Unloaded()) mouse_.Motion(x, y);
  return Peek();
}

Next Runner::FocusLost(std::int16_t shift) {
  return Input([&] {
    if (mouse_.Held() != 0) mouse_.ReleaseAll(shift);
    // Each release is a handler of its own, and one of them may unload the form.
    const std::set<std::int16_t> held = std::move(keysDown_);
    keysDown_.clear();
    for (const std::int16_t key : held) {
      if (view_.events->Unloaded()) break;
      view_.events->KeyUp(key, shift);
    }
  });
}

Next Runner::ButtonsUpExcept(std::int16_t stillDown, std::int16_t shift) {
  if ((mouse_.Held() & ~stillDown) == 0) return Peek();
  return Input([&] { mouse_.ReleaseAllBut(stillDown, shift); });
}

Next Runner::Close() {
  if (!view_.events->Unloaded()) view_.events->Close();
  return Peek();
}

Next Runner::ScaleChanged(int scale) {
  scale = std::max(1, scale);
  if (scale != renderer_->Scale()) {
    renderer_ = std::make_unique<Renderer>(glyphs_, scale);
    stale_ = true;
  }
  return Peek();
}

Next Runner::Exposed() {
  stale_ = true;
  return Peek();
}

Next Runner::Wake() {
  if (view_.events->Unloaded()) return Peek();
  scheduler_.SkipQuiet();
  const auto unloaded = [this] { return view_.events->Unloaded(); };
  scheduler_.FireDue(unloaded);
  return Peek();
}

bool Runner::FrameDue() const {
  return stale_ || !Renderer::Shows(*view_.drawingOrder, shown_);
}

Next Runner::Peek() {
  // Timers the form enabled or disabled outside a handler (at load, before the runner) too.
  scheduler_.Sync();
  Next next;
  next.unloaded = view_.events->Unloaded();
  if (next.unloaded) return next;
  next.frameDue = FrameDue();
  next.sleep = scheduler_.TimeToNext();
  return next;
}

void Runner::Draw(PixelView out) {
  const std::span<const ControlRef> order(*view_.drawingOrder);
  renderer_->AutoSize(order);
  renderer_->Draw(view_.backColor, order, out);
  shown_ = Renderer::Snapshot(order);
  stale_ = false;
}

const Frame& Runner::Draw() {
  frame_.Resize(Width(), Height());
  Draw(PixelView(frame_));
  return frame_;
}

}  // namespace kromi
