#pragma once
// Fires the form's timers on the main thread, driven by an injectable clock.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "kromi/core/controls.h"

namespace kromi {

using Micros = std::int64_t;  // microseconds on a monotonic clock

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Micros Now() const = 0;
};

class SteadyClock final : public Clock {
 public:
  Micros Now() const override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

// A clock that moves only when told to, for tests.
class ManualClock final : public Clock {
 public:
  Micros Now() const override { return now_; }
  void Set(Micros now) { now_ = now; }
  void AdvanceMs(double ms) { now_ += static_cast<Micros>(ms * 1000.0); }

 private:
  Micros now_ = 0;
};

// Semantics: enabling a disabled timer starts a fresh interval; writing true to an enabled timer
// keeps its schedule. A tick fires at most once per due time: a late tick keeps the rhythm when it
// is less than one interval late, and after a longer stall fires once and restarts the rhythm from
// now (no backlog). Timers due together fire in the order they were added.
class Scheduler {
 public:
  explicit Scheduler(const Clock& clock) : clock_(clock) {}

  // Adds a timer and the handler its ticks call. The timer must outlive the scheduler. quiet, if
  // given, says when a tick would change nothing: such ticks are passed over without firing and
  // without a wake-up, and the timer keeps its rhythm, so the first tick that matters comes on
  // the same beat as if every tick had fired.
  void Add(Timer& timer, std::function<void()> tick, std::function<bool()> quiet = {});

  // Passes over the beats of quiet timers that are due by now. Call it on waking, before
  // handling what woke the program: until then, nothing could have changed their quiet.
  void SkipQuiet();

  // Picks up Enabled changes made since the last call (by a handler or at creation).
  void Sync();

  // Fires every tick that is due now, in due order (ties: the order of Add). Each handler runs to
  // its end before the next; a timer disabled by an earlier handler does not fire. Returns the
  // number of ticks fired. stop() is asked before each tick; true ends the pass.
  int FireDue(const std::function<bool()>& stop = {});

  // Time until the next due tick (0 if one is due), or nothing when no timer is enabled or every
  // enabled one is quiet.
  std::optional<Micros> TimeToNext() const;

 private:
  struct Entry {
    Timer* timer;
    std::function<void()> tick;
    std::function<bool()> quiet;
    std::uint32_t seenStarts = 0;
    bool running = false;
    Micros due = 0;
  };
  bool Quiet(const Entry& e) const { return e.quiet && e.quiet(); }
  // Moves e's due time to its first beat after now.
  static void PassBeats(Entry& e, Micros now);
  const Clock& clock_;
  std::vector<Entry> entries_;
};

}  // namespace kromi
