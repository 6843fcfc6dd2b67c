#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kromi/core/scheduler.h"

namespace kromi {
namespace {

struct Rig {
  ManualClock clock;
  Scheduler scheduler{clock};
  Timer t1{"Timer1", 100, true};
  Timer t2{"Timer2", 50, false};
  std::vector<std::string> log;
  Rig() {
    scheduler.Add(t1, [this] { log.push_back("T1@" + std::to_string(clock.Now() / 1000)); });
    scheduler.Add(t2, [this] { log.push_back("T2@" + std::to_string(clock.Now() / 1000)); });
  }
  void RunTo(int ms) {
    while (clock.Now() < Micros{ms} * 1000) {
      clock.AdvanceMs(1);
      scheduler.FireDue();
    }
  }
};

TEST(Scheduler, TicksOncePerIntervalAndNotBefore) {
  Rig r;
  r.RunTo(99);
  EXPECT_TRUE(r.log.empty());
  r.RunTo(350);
  EXPECT_EQ(r.log, (std::vector<std::string>{"T1@100", "T1@200", "T1@300"}));
  ASSERT_TRUE(r.scheduler.TimeToNext());
  EXPECT_EQ(*r.scheduler.TimeToNext(), 50000);
}

TEST(Scheduler, EnablingStartsAFreshIntervalAndRewritingTrueKeepsTheSchedule) {
  Rig r;
  r.RunTo(30);
  r.t2.Enabled(true);
  r.scheduler.Sync();
  r.RunTo(60);
  r.t1.Enabled(true);  // already on: keeps its rhythm
  r.scheduler.Sync();
  r.RunTo(130);
  EXPECT_EQ(r.log, (std::vector<std::string>{"T2@80", "T1@100", "T2@130"}));
}

TEST(Scheduler, DisabledTimersAreSilentAndOffOnRestartsTheInterval) {
  Rig r;
  r.RunTo(50);
  r.t1.Enabled(false);
  r.t1.Enabled(true);  // off and on within one handler: a fresh interval from now
  r.scheduler.Sync();
  r.RunTo(149);
  EXPECT_TRUE(r.log.empty());
  r.RunTo(150);
  EXPECT_EQ(r.log, (std::vector<std::string>{"T1@150"}));
  r.t1.Enabled(false);
  r.scheduler.Sync();
  EXPECT_FALSE(r.scheduler.TimeToNext());
  r.RunTo(1000);
  EXPECT_EQ(r.log.size(), 1u);
}

TEST(Scheduler, AStallFiresOnceThenResumesTheRhythmWithoutABacklog) {
  Rig r;
  r.clock.AdvanceMs(5000);
  EXPECT_EQ(r.scheduler.FireDue(), 1);
  EXPECT_EQ(r.scheduler.FireDue(), 0);
  r.RunTo(5200);
  EXPECT_EQ(r.log, (std::vector<std::string>{"T1@5000", "T1@5100", "T1@5200"}));
}

TEST(Scheduler, SlightlyLateTicksKeepTheirRhythm) {
  Rig r;
  r.clock.AdvanceMs(103);
  r.scheduler.FireDue();
  r.clock.Set(200000);
  EXPECT_EQ(r.scheduler.FireDue(), 1);  // due at 200, not 203
}

TEST(Scheduler, SimultaneousTicksFireInTheFormsOrder) {
  Rig r;
  r.clock.AdvanceMs(50);
  r.t2.Enabled(true);  // due at 100, with Timer1
  r.scheduler.Sync();
  r.clock.AdvanceMs(50);
  EXPECT_EQ(r.scheduler.FireDue(), 2);
  EXPECT_EQ(r.log, (std::vector<std::string>{"T1@100", "T2@100"}));
}

TEST(Scheduler, ATimerDisabledByAnEarlierTickInThePassDoesNotFire) {
  ManualClock clock;
  Scheduler s(clock);
  Timer a{"a", 100, true}, b{"b", 100, true};
  int bTicks = 0;
  s.Add(a, [&] { b.Enabled(false); });
  s.Add(b, [&] { ++bTicks; });
  clock.AdvanceMs(100);
  EXPECT_EQ(s.FireDue(), 1);
  EXPECT_EQ(bTicks, 0);
}

TEST(Scheduler, StopEndsThePassBeforeTheNextTick) {
  Rig r;
  r.t2.Enabled(true);
  r.scheduler.Sync();
  r.clock.AdvanceMs(100);
  bool stop = false;
  r.t1.Enabled(true);
  EXPECT_EQ(r.scheduler.FireDue([&] { return std::exchange(stop, true); }), 1);
}

// A timer whose ticks would change nothing is not woken for, yet keeps its beat: once something
// makes its ticks matter, the next one comes exactly where it would have come anyway.
TEST(QuietTimers, ArePassedOverWithoutWakingAndKeepTheirBeat) {
  ManualClock clock;
  Scheduler scheduler(clock);
  Timer t1("Timer1", 100, true);
  bool quiet = true;
  std::vector<Micros> fired;
  scheduler.Add(t1, [&] { fired.push_back(clock.Now() / 1000); }, [&] { return quiet; });
  EXPECT_FALSE(scheduler.TimeToNext());  // nothing to wake for

  // Asleep until an event at 437 ms: the beats at 100..400 were quiet and are passed over.
  clock.Set(437'000);
  scheduler.SkipQuiet();
  quiet = false;  // the event (a key held) makes ticks matter
  EXPECT_EQ(scheduler.FireDue(), 0);
  ASSERT_TRUE(scheduler.TimeToNext());
  EXPECT_EQ(*scheduler.TimeToNext(), 63'000);  // the beat at 500, not 437 + 100
  clock.Set(500'000);
  EXPECT_EQ(scheduler.FireDue(), 1);

  // Quiet again: a due beat is passed over by FireDue itself, without a tick.
  quiet = true;
  clock.Set(600'000);
  EXPECT_EQ(scheduler.FireDue(), 0);
  quiet = false;
  clock.Set(650'000);
  EXPECT_EQ(scheduler.FireDue(), 0);
  clock.Set(700'000);
  EXPECT_EQ(scheduler.FireDue(), 1);
  EXPECT_EQ(fired, (std::vector<Micros>{500, 700}));
}

TEST(QuietTimers, OnlyTheQuietOneIsPassedOver) {
  ManualClock clock;
  Scheduler scheduler(clock);
  Timer t1("Timer1", 100, true);
  Timer t2("Timer2", 50, true);
  int ticks2 = 0;
  scheduler.Add(t1, [] { FAIL() << "a quiet timer fired"; }, [] { return true; });
  scheduler.Add(t2, [&] { ++ticks2; });
  ASSERT_TRUE(scheduler.TimeToNext());
  EXPECT_EQ(*scheduler.TimeToNext(), 50'000);
  for (int ms = 1; ms <= 300; ++ms) {
    clock.AdvanceMs(1);
    scheduler.FireDue();
  }
  EXPECT_EQ(ticks2, 6);
}

}  // namespace
}  // namespace kromi
