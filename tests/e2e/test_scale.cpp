// On a dense display the whole window doubles, and everything sits at twice its coordinates.
#include "game_fixture.h"

namespace kromi::e2e {
namespace {

class Density : public GameTest {};

TEST_F(Density, EverythingDoublesAt192Dpi) {
  Launch(192);
  ExpectFirstFrame(2);
  AvoidSolvedStart();
  const Rgb ring = Ring();
  ASSERT_TRUE(HoldUntil(kRaiseKey[2], [&] { return Canvas().b > 30; }, Limit(3000)));
  EXPECT_EQ(KnobStep(2), 1);
  x_->Tap(XK_Right);
  EXPECT_TRUE(WaitUntil([&] { return Canvas() == ring; }, Limit(2000)));
  EXPECT_EQ(KnobSteps(), (std::vector<int>{StepOf(ring.r), StepOf(ring.g), StepOf(ring.b)}));
  for (int ch = 0; ch < 3; ++ch) EXPECT_TRUE(HexShown(ch)) << "hex label " << ch;
  const auto exit = Quit();
  ASSERT_TRUE(exit.has_value());
  EXPECT_TRUE(exit->exited && exit->code == 0);
}

}  // namespace
}  // namespace kromi::e2e
