// The game as a process: stopped and continued with a key held, and starting no other program.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "faults.h"

namespace kromi::e2e {
namespace {

// Timer1 steps a held knob every 100 ms. After five seconds stopped, the ticks it missed are
// gone: one step at most on waking, then the usual pace.
TEST_F(Faults, StoppedWithAKeyHeldResumesWithoutABurst) {
  Launch();
  AvoidSolvedStart();
  const Rgb ring = Ring();
  const int ch = ChannelThatCannotMatch(ring);
  ASSERT_GE(ch, 0);
  x_->Key(kRaiseKey[ch], true);
  ASSERT_TRUE(WaitUntil([&] { return FastKnobStep(ch) >= 1; }, Limit(2000), milliseconds(1)));
  ASSERT_EQ(::kill(game_->Pid(), SIGSTOP), 0);
  const int before = FastKnobStep(ch);
  Pause(milliseconds(5000));
  ASSERT_EQ(FastKnobStep(ch), before) << "moved while stopped";
  ASSERT_EQ(::kill(game_->Pid(), SIGCONT), 0);
  const auto resumed = Clock::now();
  int early = before;
  while (Clock::now() - resumed < milliseconds(60)) {
    early = std::max(early, FastKnobStep(ch));
    Pause(milliseconds(1));
  }
  // Then the pace: the times of the next steps, until the top or a second has passed.
  std::vector<Clock::time_point> steps;
  int last = early;
  while (Clock::now() - resumed < Limit(1000) && last < kSteps - 1) {
    const int now = FastKnobStep(ch);
    if (now > last) {
      for (int s = last; s < now; ++s) steps.push_back(Clock::now());
      last = now;
    }
    Pause(milliseconds(1));
  }
  x_->Key(kRaiseKey[ch], false);
  std::printf("step %d when stopped, %d within 60 ms of waking, %d a second later\n", before, early, last);
  EXPECT_LE(early - before, 1) << "a burst of ticks on waking: from step " << before << " to " << early;
  ASSERT_GE(steps.size(), 3u) << "the knob hardly moved after waking: step " << last;
  const double gap =
      std::chrono::duration<double, std::milli>(steps.back() - steps.front()).count() / double(steps.size() - 1);
  std::printf("%zu steps after that, %.0f ms apart\n", steps.size(), gap);
  EXPECT_GT(gap, 70.0) << "steps came faster than Timer1 ticks";
  EXPECT_LT(gap, 130.0 * kSlow) << "steps came slower than Timer1 ticks";
  ExpectCleanExit();
}

// The game starts no other program. With no session bus named, libdbus would fork to launch one
// for SDL; a fork beside the font thread left a child stuck on a lock that thread held, and the
// game waiting for that child, about once in a hundred starts under ASan.
TEST_F(Faults, StartsNoOtherProcess) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed (scripts/setup installs it)";
  TempDir traced;
  const std::string trace = traced / "trace";
  const std::string wrapper = traced / "kromi-traced";
  std::ofstream(wrapper) << "#!/bin/sh\nexec /usr/bin/strace -f -qq -e trace=clone,clone3,fork,vfork -o '" << trace
                         << "' '" << GameProgram() << "'\n";
  fs::permissions(wrapper, fs::perms::owner_all);
  environment_.erase("DBUS_SESSION_BUS_ADDRESS");
  // LeakSanitizer stops the threads with ptrace at the exit, which strace already holds.
  environment_["ASAN_OPTIONS"] = "detect_leaks=0";
  Launch(96, wrapper);
  ExpectCleanExit();
  std::istringstream lines(ReadFile(trace));
  int threads = 0;
  for (std::string line; std::getline(lines, line);) {
    const bool creates = line.find("clone") != std::string::npos || line.find("fork(") != std::string::npos;
    if (!creates) continue;
    // A thread, or a helper sharing the game's memory, is not another program.
    if (line.find("CLONE_VM") != std::string::npos) {
      ++threads;
      continue;
    }
    ADD_FAILURE() << "a new process: " << line;
  }
  EXPECT_GT(threads, 0) << "the trace saw no thread either:\n" << ReadFile(trace);
}

}  // namespace
}  // namespace kromi::e2e
