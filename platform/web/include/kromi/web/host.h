#pragma once
// The browser host: the runner driven from the page's callbacks. Keys, mouse, focus and density
// changes come in as events; one timeout stands for the runner's next due tick, and none is set
// while nothing is due; each due frame goes onto the canvas with putImageData. Nothing here waits.
#include <memory>
#include <string>
#include <vector>

#include "kromi/core/form.h"
#include "kromi/core/scheduler.h"
#include "kromi/runner/runner.h"
#include "kromi/web/text.h"

namespace kromi {

// Now by the page's monotonic clock.
class PageClock final : public Clock {
 public:
  Micros Now() const override;
};

class WebHost {
 public:
  // Takes over the canvas #kromi and the page's listeners and shows view's first frame; lives
  // until the form unloads, then ends the page's game.
  static void Start(FormView view);

  // What the page's callbacks call.
  void Apply(const Next& next);
  Runner& runner() { return *runner_; }
  void TimerFired() {
    timer_ = 0;  // a timeout that has run needs no clearing
    Apply(runner_->Wake());
  }
  void CheckScale();

 private:
  explicit WebHost(FormView view);
  void Present();
  void End();

  FormView view_;
  PageClock clock_;
  WebGlyphs glyphs_;
  std::unique_ptr<Runner> runner_;
  std::vector<std::uint8_t> rgba_;  // the frame in the canvas's byte order
  long timer_ = 0;                  // the pending timeout's id, 0 when none
  bool ended_ = false;
};

}  // namespace kromi
