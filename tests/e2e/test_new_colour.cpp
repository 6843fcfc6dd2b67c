// A new colour after some mixing: the canvas and the knobs start over, and play goes on.
#include "game_fixture.h"

namespace kromi::e2e {
namespace {

class NewColour : public GameTest {
 protected:
  void MixSome() {
    AvoidSolvedStart();
    ASSERT_TRUE(HoldUntil(kRaiseKey[0], [&] { return Canvas().r >= 55; }, Limit(3000)));
    if (!HexShown(0)) {  // unless that one step happened to be the match
      ASSERT_TRUE(HoldUntil(kRaiseKey[2], [&] { return Canvas().b >= 55; }, Limit(3000)));
    }
    ASSERT_NE(Canvas(), kCanvasStart);
    ASSERT_NE(KnobStep(0), 0);
  }

  void ExpectFreshStart() {
    EXPECT_TRUE(WaitUntil([&] { return Canvas() == kCanvasStart; }, Limit(2000))) << ToString(Canvas());
    EXPECT_TRUE(WaitUntil([&] { return KnobSteps() == std::vector<int>{0, 0, 0}; }, Limit(2000)));
    const Rgb ring = Ring();
    EXPECT_TRUE(OnGrid(ring)) << ToString(ring);
    if (ring != kCanvasStart) {
      for (int ch = 0; ch < 3; ++ch) EXPECT_FALSE(HexShown(ch)) << "hex label " << ch;
      // The knobs move again for the new colour.
      EXPECT_TRUE(HoldUntil(kRaiseKey[1], [&] { return Canvas().g > 30; }, Limit(3000)));
    }
  }
};

TEST_F(NewColour, DownKeyStartsOver) {
  Launch();
  MixSome();
  x_->Tap(XK_Down);
  ExpectFreshStart();
}

TEST_F(NewColour, NyFargButtonStartsOver) {
  Launch();
  MixSome();
  Click(kNewColourButton);
  ExpectFreshStart();
}

// A double click is press, release, click, double click, release: the double click starts a
// second colour, and the last release must still let the button go, or the held "Ny färg" would
// keep dealing new colours.
TEST_F(NewColour, DoubleClickOnNyFargStartsOverAndLetsGo) {
  Launch();
  MixSome();
  Click(kNewColourButton);
  Click(kNewColourButton);
  ExpectFreshStart();
  const Rgb ring = Ring();
  Pause(milliseconds(500));  // five ticks of Timer1
  EXPECT_EQ(Ring(), ring) << "new colours kept coming after the double click";
}

}  // namespace
}  // namespace kromi::e2e
