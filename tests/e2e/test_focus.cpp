// The focus taken away in the middle of a press, of the mouse or of keys.
#include <chrono>
#include <cstdio>
#include <vector>

#include "faults.h"

namespace kromi::e2e {
namespace {

// A press that ends while another window has the focus and the pointer must not leave the button
// sunk when the player comes back.
TEST_F(Faults, FocusLostWhileNyFargIsPressed) {
  Launch();
  const std::vector<Rgb> rest = NewColourButton();
  const Window other = OtherWindow();
  x_->Focus(window_);
  x_->MoveTo(window_, kNewColourButton.x, kNewColourButton.y);
  x_->Button(1, true);
  ASSERT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) > 0; }, Limit(2000))) << "the press did not sink it";
  x_->Focus(other);
  x_->MoveTo(other, 60, 60);
  Pause(milliseconds(100));
  x_->Button(1, false);
  Pause(milliseconds(200));
  x_->MoveTo(window_, 250, 150);
  x_->Focus(window_);
  const auto back = Clock::now();
  EXPECT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) == 0; }, Limit(2000))) << "stuck pressed";
  std::printf("at rest %lld ms after the focus came back\n",
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(Clock::now() - back).count()));
  Pause(milliseconds(300));
  EXPECT_EQ(NewColourButtonChanges(rest), 0) << "pressed again after the focus came back";
  ASSERT_TRUE(game_->Running()) << "losing the focus ended the game";
  ExpectCleanExit();
}

// The same with keys: Down and a number-pad key go up while the game cannot hear them.
TEST_F(Faults, FocusLostWhileKeysAreHeld) {
  Launch();
  const std::vector<Rgb> rest = NewColourButton();
  const Window other = OtherWindow();
  x_->Focus(window_);
  // Down holds "Ny färg" in and deals a colour; (30, 30, 30) would stop the knobs, so not that one.
  Rgb ring = kCanvasStart;
  for (int i = 0; i < 5 && ring == kCanvasStart; ++i) {
    if (i > 0) {
      x_->Key(XK_Down, false);
      WaitUntil([&] { return NewColourButtonChanges(rest) == 0; }, Limit(2000));
    }
    x_->Key(XK_Down, true);
    ASSERT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) > 0; }, Limit(2000))) << "Down did not sink it";
    ring = Ring();
  }
  const int ch = ChannelThatCannotMatch(ring);
  ASSERT_GE(ch, 0);
  x_->Key(kRaiseKey[ch], true);
  ASSERT_TRUE(WaitUntil([&] { return KnobStep(ch) >= 1; }, Limit(2000))) << "the knob did not move";
  x_->Focus(other);
  x_->Key(kRaiseKey[ch], false);
  x_->Key(XK_Down, false);
  Pause(milliseconds(100));
  x_->Focus(window_);
  EXPECT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) == 0; }, Limit(2000))) << "stuck pressed";
  const int step = KnobStep(ch);
  Pause(milliseconds(450));  // four ticks
  EXPECT_EQ(KnobStep(ch), step) << "the knob kept moving with its key up";
  ASSERT_TRUE(game_->Running()) << "losing the focus ended the game";
  ExpectCleanExit();
}

}  // namespace
}  // namespace kromi::e2e
