// Every way out ends the process at once with success; without a display it fails clearly.
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
