// On a dense display the whole window doubles, and everything sits at twice its coordinates.
#include "game_fixture.h"

namespace kromi::e2e {
namespace {

// Windows takes its density from the user's setting, not the X server's: under Wine it is set in
// the prefix (HKCU\Control Panel\Desktop LogPixels) for the game started next, and reset after.
class WineDensity {
 public:
  explicit WineDensity(int dpi) {
    if (UnderWine()) Reg({"add", kKey, "/v", "LogPixels", "/t", "REG_DWORD", "/d", std::to_string(dpi), "/f"});
  }
  ~WineDensity() {
    if (UnderWine()) Reg({"delete", kKey, "/v", "LogPixels", "/f"});
  }
  WineDensity(const WineDensity&) = delete;
  WineDensity& operator=(const WineDensity&) = delete;

 private:
  static constexpr const char* kKey = "HKCU\\Control Panel\\Desktop";
  static void Reg(std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/lib/wine/wine64", "reg"});
    Process reg(args, ToEnvList(CurrentEnvironment()));
    const auto exit = reg.WaitExit(milliseconds(20000));
    if (!exit || !exit->exited || exit->code != 0) throw std::runtime_error("wine reg " + args[2] + " failed");
  }
};

class Density : public GameTest {};

TEST_F(Density, EverythingDoublesAt192Dpi) {
  const WineDensity windows(192);
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
