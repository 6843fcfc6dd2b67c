// Giving up: the answer shows on the canvas and on the knobs, and the knobs stay put afterwards.
#include "game_fixture.h"

namespace kromi::e2e {
namespace {

class Reveal : public GameTest {
 protected:
  // Mixes a little first, so the reveal has something to undo.
  Rgb MixSome() {
    AvoidSolvedStart();
    const Rgb ring = Ring();
    const int ch = StepOf(ChannelOf(ring, 0)) == 1 ? 1 : 0;  // one step here cannot be the match
    EXPECT_TRUE(HoldUntil(kRaiseKey[ch], [&] { return ChannelOf(Canvas(), ch) > 30; }, Limit(3000)));
    return ring;
  }

  void ExpectRevealed(const Rgb& ring) {
    EXPECT_TRUE(WaitUntil([&] { return Canvas() == ring; }, Limit(2000))) << "canvas " << ToString(Canvas())
                                                                          << ", ring " << ToString(ring);
    const std::vector<int> answer{StepOf(ring.r), StepOf(ring.g), StepOf(ring.b)};
    EXPECT_TRUE(WaitUntil([&] { return KnobSteps() == answer; }, Limit(2000)));
    for (int ch = 0; ch < 3; ++ch) EXPECT_TRUE(HexShown(ch)) << "hex label " << ch;
  }

  // Once revealed, the number pad is dead: hold a key that could move each knob.
  void ExpectKnobsStayPut(const Rgb& ring) {
    const std::vector<int> steps = KnobSteps();
    for (int ch = 0; ch < 3; ++ch) {
      x_->Key(steps[static_cast<std::size_t>(ch)] < kSteps - 1 ? kRaiseKey[ch] : kLowerKey[ch], true);
    }
    Pause(milliseconds(450));  // four ticks
    for (int ch = 0; ch < 3; ++ch) {
      x_->Key(steps[static_cast<std::size_t>(ch)] < kSteps - 1 ? kRaiseKey[ch] : kLowerKey[ch], false);
    }
    EXPECT_EQ(Canvas(), ring);
    EXPECT_EQ(KnobSteps(), steps);
  }

  void ExpectVisaHeard() {
    Pause(milliseconds(500));  // Visa.wav lasts under a third of a second
    const auto exit = Quit();
    ASSERT_TRUE(exit.has_value());
    EXPECT_TRUE(exit->exited && exit->code == 0);
    EXPECT_GT(CueScore("Visa.wav"), 0.9) << "Visa.wav was not heard";
  }
};

TEST_F(Reveal, RightKeyShowsTheAnswer) {
  Launch();
  const Rgb ring = MixSome();
  x_->Tap(XK_Right);
  ExpectRevealed(ring);
  ExpectKnobsStayPut(ring);
  ExpectVisaHeard();
}

TEST_F(Reveal, PressOnVisaMejShowsTheAnswer) {
  Launch();
  const Rgb ring = MixSome();
  // The press alone reveals; the release comes after the answer is already up.
  x_->MoveTo(window_, kRevealButton.x, kRevealButton.y);
  x_->Button(1, true);
  ExpectRevealed(ring);
  x_->Button(1, false);
  ExpectKnobsStayPut(ring);
  ExpectVisaHeard();
}

}  // namespace
}  // namespace kromi::e2e
