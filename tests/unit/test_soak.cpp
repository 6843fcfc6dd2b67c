// The short soak: a few hundred thousand random events against the model, in every test run.
// The long one is tools/soak.cpp. KROMI_SOAK_SEED and KROMI_SOAK_EVENTS override the defaults,
// so a failure seen elsewhere can be replayed here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "soak.h"

namespace kromi::soak {
namespace {

std::uint64_t FromEnvironment(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoull(text, nullptr, 0) : fallback;
}

bool HasKind(const std::vector<Event>& events, Kind kind) {
  for (const Event& e : events) {
    if (e.kind == kind) return true;
  }
  return false;
}

// Every single event of a shrunk sequence is needed: without it the failure is gone.
void ExpectOneMinimal(const Failure& f, const Fault& fault) {
  const auto again = Replay(f.runSeed, f.shortest, fault);
  ASSERT_TRUE(again.has_value()) << "the shortest sequence no longer fails";
  EXPECT_EQ(again->violation.check, f.violation.check);
  EXPECT_EQ(again->index + 1, f.shortest.size()) << "it breaks before its last event";
  for (std::size_t drop = 0; drop < f.shortest.size(); ++drop) {
    std::vector<Event> fewer = f.shortest;
    fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(drop));
    const auto r = Replay(f.runSeed, fewer, fault);
    EXPECT_FALSE(r && r->violation.check == f.violation.check) << "event " << drop + 1 << " is not needed";
  }
}

TEST(Soak, ThreeHundredThousandEventsKeepEveryRule) {
  Options options;
  options.seed = FromEnvironment("KROMI_SOAK_SEED", 20240611);
  options.events = FromEnvironment("KROMI_SOAK_EVENTS", 300'000);
  const Result r = Soak(options);
  if (r.first) ADD_FAILURE() << Report(options, *r.first);
  EXPECT_EQ(r.violations, 0u);
  const Stats& s = r.stats;
  EXPECT_GE(s.events, options.events);
  std::cout << "[ soak     ] seed " << options.seed << ": " << s.events << " events, " << s.runs << " runs, "
            << s.colours << " colours, " << s.steps << " steps, " << s.matches << " matches, " << s.reveals
            << " reveals, " << s.blinksEnded << " blinks ended, " << s.mouseDowns << " mouse downs, " << s.clicks
            << " clicks, " << s.doubleClicks << " double clicks, " << s.scheduledTicks << " scheduled ticks, "
            << r.violations << " violations\n";
  // A soak that never reaches a state proves nothing about it: every path must come up often.
  if (options.events >= 300'000) {
    EXPECT_GT(s.runs, 20u);
    EXPECT_GT(s.matches, 600u);
    EXPECT_GT(s.blinksEnded, 600u);
    EXPECT_GT(s.reveals, 1000u);
    EXPECT_GT(s.colours, 3000u);
    EXPECT_GT(s.steps, 50000u);
    EXPECT_GT(s.mouseDowns, 4000u);
    EXPECT_GT(s.mouseUps, 4000u);
    EXPECT_GT(s.clicks, 800u);
    EXPECT_GT(s.doubleClicks, 200u);
    EXPECT_GT(s.scheduledTicks, 7000u);
    EXPECT_GT(s.unloadsByButton, 0u);
    EXPECT_GT(s.unloadsByKey, 0u);
    EXPECT_GT(s.closes, 0u);
  }
}

TEST(Soak, TheSameSeedPlaysTheSameGame) {
  Options options;
  options.seed = 77;
  options.events = 20'000;
  const Stats a = Soak(options).stats, b = Soak(options).stats;
  EXPECT_EQ(a.runs, b.runs);
  EXPECT_EQ(a.steps, b.steps);
  EXPECT_EQ(a.matches, b.matches);
  EXPECT_EQ(a.clicks, b.clicks);
  options.seed = 78;
  EXPECT_NE(Soak(options).stats.steps, a.steps);
}

// The faults below stand in for broken rules; the soak must notice each and cut it down.

TEST(SoakCatches, AKnobLoweredPastItsBottomAndShrinksItToTwoEvents) {
  // As if the 168 stop were gone: a tick moves a lowering knob at the bottom one more step down.
  Options options;
  options.seed = 5;
  options.fault = [](Form1& f, const Event& e) {
    if (e.kind != Kind::kTimer1) return;
    for (std::size_t i = 1; i <= 3; ++i) {
      if (f.game.Channel[i].Motion == 2 && f.controls.imgPot[i].Top == 170) {
        f.controls.imgPot[i].Top += 16;
        f.game.Channel[i].Level -= 25;
      }
    }
  };
  const Result r = Soak(options);
  ASSERT_TRUE(r.first.has_value());
  EXPECT_EQ(r.first->violation.check, "level-range");
  ASSERT_EQ(r.first->shortest.size(), 2u) << Report(options, *r.first);
  EXPECT_EQ(r.first->shortest[0].kind, Kind::kKeyDown);
  EXPECT_TRUE(r.first->shortest[0].code >= 97 && r.first->shortest[0].code <= 99);
  EXPECT_EQ(r.first->shortest[1].kind, Kind::kTimer1);
  ExpectOneMinimal(*r.first, options.fault);
  const std::string report = Report(options, *r.first);
  EXPECT_NE(report.find("soak seed 5"), std::string::npos) << report;
  EXPECT_NE(report.find("2. Timer1"), std::string::npos) << report;
}

TEST(SoakCatches, ABlinkThatNeverEnds) {
  Options options;
  options.seed = 6;
  options.fault = [](Form1& f, const Event&) {
    if (f.game.AllMatch == kTrue && !f.controls.Timer2.Enabled()) f.controls.Timer2.Enabled(true);
  };
  const Result r = Soak(options);
  ASSERT_TRUE(r.first.has_value());
  EXPECT_EQ(r.first->violation.check, "blink") << Report(options, *r.first);
  // The blink has to have started and run through its seven ticks.
  EXPECT_TRUE(HasKind(r.first->shortest, Kind::kTimer2) || HasKind(r.first->shortest, Kind::kAdvance));
  EXPECT_LT(r.first->shortest.size(), 40u) << Report(options, *r.first);
  ExpectOneMinimal(*r.first, options.fault);
}

TEST(SoakCatches, NewColourDownLeftSetByItsKeyUp) {
  Options options;
  options.seed = 7;
  options.fault = [](Form1& f, const Event& e) {
    if (e.kind == Kind::kKeyUp && e.code == kKeyDown) f.game.NewColourDown = kTrue;
  };
  const Result r = Soak(options);
  ASSERT_TRUE(r.first.has_value());
  EXPECT_EQ(r.first->violation.check, "buttons");
  ASSERT_EQ(r.first->shortest.size(), 1u) << Report(options, *r.first);
  EXPECT_EQ(r.first->shortest[0].kind, Kind::kKeyUp);
  EXPECT_EQ(r.first->shortest[0].code, kKeyDown);
  EXPECT_EQ(r.first->shortest[0].shift, 0);  // simplified
}

TEST(SoakCatches, ARevealThatSkipsTheCanvas) {
  Options options;
  options.seed = 8;
  options.fault = [](Form1& f, const Event&) {
    if (f.game.Revealed == kTrue) f.controls.shpDuk.FillColor = RGB(30, 30, 30);
  };
  const Result r = Soak(options);
  ASSERT_TRUE(r.first.has_value());
  EXPECT_EQ(r.first->violation.check, "canvas");
  ExpectOneMinimal(*r.first, options.fault);
  EXPECT_LE(r.first->shortest.size(), 3u) << Report(options, *r.first);
}

TEST(SoakCatches, AHandlerThatDoesMoreThanTheModelSays) {
  // A stray key that quietly starts a colour: the invariants all hold, only the model sees it.
  Options options;
  options.seed = 9;
  options.fault = [](Form1& f, const Event& e) {
    if (e.kind == Kind::kKeyDown && e.code == 13) f.game.Channel[2].Motion = 1;
  };
  const Result r = Soak(options);
  ASSERT_TRUE(r.first.has_value());
  EXPECT_EQ(r.first->violation.check, "model") << Report(options, *r.first);
  ExpectOneMinimal(*r.first, options.fault);
}

}  // namespace
}  // namespace kromi::soak
