// The game when what it runs on is gone or missing: the X server killed under it, no fonts, its
// window refused, no sound device.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "faults.h"

namespace kromi::e2e {
namespace {

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Xlib ends a client whose server is gone; the game must not be left waiting for events.
TEST_F(Faults, XServerKilledEndsTheGameWithAnError) {
  // Xlib's exit comes from deep inside the event loop, with nothing torn down; in the sanitised
  // build a leak report there would be about that, not about the game.
  environment_["ASAN_OPTIONS"] = "detect_leaks=0";
  Launch();
  Pause(milliseconds(300));
  const std::string display = xvfb_->Name();
  const pid_t server = ServerPid();
  ASSERT_GT(server, 0) << "cannot tell which process is the X server";
  x_.reset();  // the suite's own connection would end the test the same way
  ASSERT_EQ(::kill(server, SIGKILL), 0);
  const auto killed = Clock::now();
  const auto exit = game_->WaitExit(Limit(3000));
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - killed).count();
  // The killed server leaves its socket behind; no other server can have taken that name since.
  ::unlink(("/tmp/.X11-unix/X" + display.substr(1)).c_str());
  ASSERT_TRUE(exit.has_value()) << "still running three seconds after the X server died";
  RecordProperty("exit_ms", std::to_string(took));
  std::printf("the game ended %lld ms after the X server was killed\n", static_cast<long long>(took));
  EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
  EXPECT_EQ(exit->code, 1);
  const std::string err = ReadFile(*dir_ / "stderr");
  EXPECT_FALSE(err.empty());
  EXPECT_LE(CountLines(err), 2) << err;
  EXPECT_LT(err.size(), 300u) << err;
  std::printf("its stderr:\n%s", err.c_str());
}

TEST_F(Faults, NoFontsFailsWithOneLineAndNoWindow) {
  TempDir fc;
  fs::create_directory(fc / "cache");
  std::ofstream(fc / "fonts.conf") << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                                      "<fontconfig>\n  <cachedir>"
                                   << fc / "cache" << "</cachedir>\n</fontconfig>\n";
  environment_["FONTCONFIG_FILE"] = fc / "fonts.conf";
  StartGame();
  const auto exit = game_->WaitExit(Limit(5000));
  ASSERT_TRUE(exit.has_value()) << "still running five seconds later";
  std::printf("exit %lld ms after the start\n",
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(Clock::now() - started_).count()));
  EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
  EXPECT_EQ(exit->code, 1);
  const std::string err = ReadFile(*dir_ / "stderr");
  EXPECT_EQ(err.rfind("kromi:", 0), 0u) << err;
  EXPECT_EQ(CountLines(err), 1) << err;
  EXPECT_FALSE(x_->FindWindow(kTitle).has_value()) << "the window is still there";
  std::printf("its stderr: %s", err.c_str());
}

// On Windows the game started from Explorer has no stderr: a window it cannot make must be
// explained in a message box. Here a CBT hook refuses the game's window alone, as a security
// program's hook may, so the box itself can still be made.
TEST_F(Faults, WindowRefusedIsExplainedInAMessageBox) {
  if (!UnderWine()) GTEST_SKIP() << "message boxes are Windows'";
  const std::string launcher = EnvOrEmpty("KROMI_E2E_WINE_REFUSE_WINDOW");
  if (::access(launcher.c_str(), R_OK) != 0) GTEST_SKIP() << launcher << " is not built (scripts/windows builds it)";
  environment_["KROMI_E2E_WINE_LAUNCHER"] = launcher;
  StartGame();
  const auto box = x_->WaitForWindow(kTitle, Limit(10000));
  ASSERT_TRUE(box.has_value()) << "no window titled \"" << kTitle << "\" appeared; stderr: " << ReadFile(*dir_ / "stderr");
  const auto g = x_->GeometryOf(*box);
  ASSERT_TRUE(g.has_value());
  EXPECT_FALSE(g->width == kClientWidth && g->height == kClientHeight) << "the game's window was made after all";
  // It waits for the player: the game is still there to be dismissed.
  Pause(milliseconds(500));
  ASSERT_TRUE(game_->Running()) << "the game ended with its message box unread";
  EXPECT_TRUE(x_->FindWindow(kTitle).has_value()) << "the message box went away by itself";

  x_->Focus(*box);
  x_->Tap(XK_Return);  // its one button, OK
  const auto exit = game_->WaitExit(Limit(5000));
  ASSERT_TRUE(exit.has_value()) << "Return on the message box did not end the game";
  EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
  EXPECT_EQ(exit->code, 1);
  const std::string err = ReadFile(*dir_ / "stderr");
  EXPECT_EQ(err.rfind("Kromi: cannot open the window", 0), 0u) << err;
  EXPECT_EQ(CountLines(err), 1) << err;
}

// Without a sound device the game plays silently and says nothing about it.
class NoAudio : public Faults {
 protected:
  void PlayToARevealAndQuit() {
    Launch();
    AvoidSolvedStart();
    const Rgb ring = Ring();
    const int ch = StepOf(ChannelOf(ring, 0)) == 1 ? 1 : 0;  // one step here cannot be the match
    ASSERT_TRUE(HoldUntil(kRaiseKey[ch], [&] { return ChannelOf(Canvas(), ch) > 30; }, Limit(3000)));
    x_->Tap(XK_Right);
    EXPECT_TRUE(WaitUntil([&] { return Canvas() == ring; }, Limit(2000)))
        << "canvas " << ToString(Canvas()) << ", ring " << ToString(ring);
    const std::vector<int> answer{StepOf(ring.r), StepOf(ring.g), StepOf(ring.b)};
    EXPECT_TRUE(WaitUntil([&] { return KnobSteps() == answer; }, Limit(2000)));
    ExpectCleanExit();
    EXPECT_EQ(ReadFile(*dir_ / "stderr"), "");
  }
};

TEST_F(NoAudio, UnknownDriver) {
  environment_["SDL_AUDIODRIVER"] = "nosuchdriver";
  PlayToARevealAndQuit();
}

TEST_F(NoAudio, AlsaWithoutConfiguration) {
  TempDir alsa;
  std::ofstream(alsa / "empty.conf").flush();
  environment_["SDL_AUDIODRIVER"] = "alsa";
  environment_["ALSA_CONFIG_PATH"] = alsa / "empty.conf";
  PlayToARevealAndQuit();
}

}  // namespace
}  // namespace kromi::e2e
