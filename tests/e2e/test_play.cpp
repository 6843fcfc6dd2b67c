// Playing to a match with the number pad alone, whichever state NumLock is in: the player's keys
// are the same physical keys either way.
#include "game_fixture.h"

namespace kromi::e2e {
namespace {

class Play : public GameTest {
 protected:
  void MatchWithNumLock(bool on) {
    Launch();
    ASSERT_TRUE(x_->SetNumLock(on)) << "NumLock did not turn " << (on ? "on" : "off");
    AvoidSolvedStart();
    PlayToMatch();
    if (HasFatalFailure()) return;
    Pause(milliseconds(900));  // Boom.wav lasts under three quarters of a second
    const auto exit = Quit();
    ASSERT_TRUE(exit.has_value());
    EXPECT_TRUE(exit->exited && exit->code == 0);
    EXPECT_GT(CueScore("Boom.wav"), 0.9) << "Boom.wav was not heard";
  }
};

TEST_F(Play, NumberPadReachesAMatchWithNumLockOff) { MatchWithNumLock(false); }

TEST_F(Play, NumberPadReachesAMatchWithNumLockOn) { MatchWithNumLock(true); }

}  // namespace
}  // namespace kromi::e2e
