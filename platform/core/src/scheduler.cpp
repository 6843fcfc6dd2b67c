#include "kromi/core/scheduler.h"

#include <algorithm>

namespace kromi {

void Scheduler::Add(Timer& timer, std::function<void()> tick, std::function<bool()> quiet) {
  entries_.push_back(Entry{&timer, std::move(tick), std::move(quiet)});
  Sync();
}

void Scheduler::PassBeats(Entry& e, Micros now) {
  const Micros interval = std::max<Micros>(Micros{e.timer->Interval} * 1000, 1000);
  if (e.due <= now) e.due += ((now - e.due) / interval + 1) * interval;
}

void Scheduler::SkipQuiet() {
  Sync();
  const Micros now = clock_.Now();
  for (Entry& e : entries_) {
    if (e.running && e.due <= now && Quiet(e)) PassBeats(e, now);
  }
}

void Scheduler::Sync() {
  const Micros now = clock_.Now();
  for (Entry& e : entries_) {
    const bool enabled = e.timer->Enabled();
    if (enabled && (!e.running || e.seenStarts != e.timer->Starts())) {
      e.due = now + Micros{e.timer->Interval} * 1000;
    }
    e.running = enabled;
    e.seenStarts = e.timer->Starts();
  }
}

int Scheduler::FireDue(const std::function<bool()>& stop) {
  Sync();
  int fired = 0;
  // Each timer fires at most once per pass: its next due time moves past now when it fires.
  for (std::size_t guard = 0; guard < entries_.size(); ++guard) {
    const Micros now = clock_.Now();
    Entry* next = nullptr;
    for (Entry& e : entries_) {
      if (e.running && e.due <= now && (!next || e.due < next->due)) next = &e;
    }
    if (!next) break;
    if (stop && stop()) break;
    if (Quiet(*next)) {
      PassBeats(*next, now);
      continue;
    }
    const Micros interval = std::max<Micros>(Micros{next->timer->Interval} * 1000, 1000);
    next->due += interval;
    if (next->due <= now) next->due = now + interval;  // after a stall: no burst of ticks
    next->tick();
    ++fired;
    Sync();
  }
  return fired;
}

std::optional<Micros> Scheduler::TimeToNext() const {
  std::optional<Micros> best;
  const Micros now = clock_.Now();
  for (const Entry& e : entries_) {
    if (!e.running || !e.timer->Enabled() || Quiet(e)) continue;
    const Micros wait = std::max<Micros>(0, e.due - now);
    if (!best || wait < *best) best = wait;
  }
  return best;
}

}  // namespace kromi
