// Every way out ends the process at once with success; without a display it fails clearly; the
// ending signals end it at once with the status shells expect.
#include <signal.h>

#include <cstdio>

#include "game_fixture.h"

namespace kromi::e2e {
namespace {

class Quitting : public GameTest {
 protected:
  void ExpectCleanExitWithinASecond() {
    const auto exit = game_->WaitExit(Limit(1000));
    ASSERT_TRUE(exit.has_value()) << "still running a second later";
    EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
    EXPECT_EQ(exit->code, 0);
  }

  // Sends signal and expects the game gone within limit, with 128 + signal.
  void ExpectSignalExitWithin(int signal, milliseconds limit) {
    const auto sent = Clock::now();
    ASSERT_EQ(::kill(game_->Pid(), signal), 0);
    const auto exit = game_->WaitExit(Limit(3000));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent).count();
    ASSERT_TRUE(exit.has_value()) << "still running three seconds after signal " << signal;
    std::printf("signal %d ended the game in %lld ms\n", signal, static_cast<long long>(took));
    EXPECT_LE(took, limit.count());
    EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
    EXPECT_EQ(exit->code, 128 + signal);
  }
};

TEST_F(Quitting, EscapeKey) {
  Launch();
  x_->Tap(XK_Escape);
  ExpectCleanExitWithinASecond();
}

TEST_F(Quitting, LeftKey) {
  Launch();
  x_->Tap(XK_Left);
  ExpectCleanExitWithinASecond();
}

// The press only sinks the button; leaving with it held and letting go anywhere still quits.
TEST_F(Quitting, AvslutaReleasedOutsideTheWindow) {
  Launch();
  x_->MoveTo(window_, kQuitButton.x, kQuitButton.y);
  x_->Button(1, true);
  Pause(milliseconds(200));
  x_->MoveTo(window_, -40, kClientHeight + 40);
  Pause(milliseconds(200));
  ASSERT_TRUE(game_->Running()) << "quit on the press, not the release";
  x_->Button(1, false);
  ExpectCleanExitWithinASecond();
}

TEST_F(Quitting, WindowManagerClose) {
  Launch();
  x_->SendDeleteWindow(window_);
  ExpectCleanExitWithinASecond();
}

// Nothing on the display to wake the loop: the signal alone must.
TEST_F(Quitting, SigintWhileIdle) {
  Launch();
  Pause(milliseconds(300));
  ExpectSignalExitWithin(SIGINT, Limit(1000));
}

// A held key steps a knob every tick and each step draws a frame, so the loop is often away from
// its wait when the signal comes.
TEST_F(Quitting, SigtermWhileAKnobMoves) {
  Launch();
  AvoidSolvedStart();
  // Red alone can match only a target whose green and blue are at the bottom; then green moves.
  const Rgb ring = Ring();
  const int channel = StepOf(ring.g) == 0 && StepOf(ring.b) == 0 ? 1 : 0;
  x_->Key(kRaiseKey[channel], true);
  ASSERT_TRUE(WaitUntil([&] { return KnobStep(channel) >= 1; }, Limit(2000))) << "the knob did not move";
  ExpectSignalExitWithin(SIGTERM, Limit(100));
  x_->Key(kRaiseKey[channel], false);
}

TEST_F(Quitting, NoDisplayFailsWithOneLine) {
  LaunchWithoutDisplay();
  const auto exit = game_->WaitExit(Limit(2000));
  ASSERT_TRUE(exit.has_value()) << "still running two seconds later";
  EXPECT_TRUE(exit->exited);
  EXPECT_EQ(exit->code, 1);
  const std::string err = ReadFile(*dir_ / "stderr");
  EXPECT_EQ(err.rfind("kromi: no display", 0), 0u) << err;
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "more than one line:\n" << err;
}

}  // namespace
}  // namespace kromi::e2e
