// A fresh game, as the player first sees and hears it, from the build and from an installed tree.
#include <unistd.h>

#include <filesystem>

#include "game_fixture.h"

namespace kromi::e2e {
namespace {

class FirstFrame : public GameTest {
 protected:
  void CheckGameAt(const std::string& program) {
    Launch(96, program);
    const auto shown = Clock::now();
    ExpectFirstFrame(1);
    const bool solved = Ring() == kCanvasStart;
    // Ny.wav lasts a quarter of a second. Wine opens its sound driver on the first cue, which in
    // a fresh prefix on a loaded machine has taken longer than the 600 ms that are plenty natively.
    Pause(milliseconds(UnderWine() ? 2000 : 600));
    const auto exit = Quit();
    ASSERT_TRUE(exit.has_value()) << "the game did not end on Esc";
    EXPECT_TRUE(exit->exited && exit->code == 0);
    const auto end = Clock::now();

    EXPECT_GT(CueScore("Ny.wav"), 0.9) << "Ny.wav was not heard";
    if (!solved) {
      EXPECT_LT(CueScore("Boom.wav"), 0.5) << "Boom.wav was heard without a match";
    }
    EXPECT_LT(CueScore("Visa.wav"), 0.5) << "Visa.wav was heard without a reveal";
    // The stream lasts as long as the game ran; read at the wrong rate or sample width it would
    // come out half or a quarter as long. (Under Wine the recording starts before the game.)
    if (UnderWine()) return;
    const double ran = std::chrono::duration<double>(end - started_).count();
    const double up = std::chrono::duration<double>(end - shown).count();
    EXPECT_GT(CapturedSeconds(), up * 0.6) << "shown for " << up << " s";
    EXPECT_LT(CapturedSeconds(), ran * 1.3 + 0.2) << "ran for " << ran << " s";
  }
};

TEST_F(FirstFrame, ShowsTheStartAndPlaysNy) { CheckGameAt(GameProgram()); }

// The staged install, started as players do: /usr/games/kromi, a link to the game, which finds
// its cues beside itself through links of their own.
TEST_F(FirstFrame, InstalledCommandShowsTheStartAndPlaysNy) {
  const std::string cmake = KROMI_E2E_CMAKE;
  const std::string build = KROMI_E2E_BUILD_DIR;
  TempDir stage;
  auto env = CurrentEnvironment();
  env["DESTDIR"] = stage.Path();
  Process install({cmake, "--install", build, "--prefix", "/usr"}, ToEnvList(env), stage / "install.log",
                  stage / "install.err");
  const auto done = install.WaitExit(milliseconds(120000));
  ASSERT_TRUE(done.has_value()) << "cmake --install did not finish";
  ASSERT_TRUE(done->exited && done->code == 0) << ReadFile(stage / "install.err");

  const std::string command = stage / "usr/games/kromi";
  const std::string gameDir = stage / "usr/lib/games/kromi";
  ASSERT_EQ(::access(command.c_str(), X_OK), 0) << command << " is not executable";
  ASSERT_EQ(::access((gameDir + "/kromi").c_str(), X_OK), 0) << "no game in " << gameDir;
  for (const char* cue : {"Ny.wav", "Pot.wav", "Boom.wav", "Visa.wav"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(gameDir + "/" + cue)) << cue << " is not beside the game";
  }
  CheckGameAt(command);
}

}  // namespace
}  // namespace kromi::e2e
