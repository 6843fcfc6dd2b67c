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

}  // namespace
}  // namespace kromi
