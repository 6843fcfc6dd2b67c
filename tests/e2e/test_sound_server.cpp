// The game beside a sound server that dies or hangs: a private PulseAudio daemon with a null
// sink, killed or frozen while the game plays.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "game_fixture.h"
#include "pulse.h"

namespace kromi::e2e {
namespace {

namespace fs = std::filesystem;


// A mono 16-bit tone of the given length, long enough to be playing when the server goes.
void WriteTone(const std::string& path, int seconds) {
  constexpr std::uint32_t kRate = 22050;
  const std::uint32_t bytes = kRate * 2 * static_cast<std::uint32_t>(seconds);
  std::ofstream out(path, std::ios::binary);
  const auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) out.put(static_cast<char>(v >> (8 * i))); };
  const auto u16 = [&](std::uint16_t v) { out.put(static_cast<char>(v)); out.put(static_cast<char>(v >> 8)); };
  out << "RIFF";
  u32(36 + bytes);
  out << "WAVEfmt ";
  u32(16);
  u16(1);
  u16(1);
  u32(kRate);
  u32(kRate * 2);
  u16(2);
  u16(16);
  out << "data";
  u32(bytes);
  for (std::uint32_t i = 0; i < bytes / 2; ++i) u16(static_cast<std::uint16_t>((i / 25 % 2) != 0 ? 6000 : -6000));
}

// Context switches of every thread of pid so far.
long ContextSwitches(pid_t pid) {
  long total = 0;
  std::error_code ec;
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end; !ec && it != end;
       it.increment(ec)) {
    std::istringstream status(ReadFile(it->path().string() + "/status"));
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
      }
    }
  }
  return total;
}

class SoundServer : public GameTest {
 protected:
  void SetUp() override {
    if (::access("/usr/bin/pulseaudio", X_OK) != 0 || ::access("/usr/bin/pactl", X_OK) != 0) {
      GTEST_SKIP() << "PulseAudio is not installed (scripts/setup installs it)";
    }
    // The game reads its cues next to itself: a copy of it with a ten-second "Ny.wav".
    fs::copy_file(GameProgram(), program_);
    for (const char* cue : {"Boom.wav", "Pot.wav", "Visa.wav"}) fs::copy_file(SoundsDir() + "/" + cue, install_ / cue);
    WriteTone(install_ / "Ny.wav", 10);
  }
  void TearDown() override {
    GameTest::TearDown();
    pulse_.reset();
  }

  void StartServer() {
    pulse_ = std::make_unique<PulseServer>(pulseDir_);
    ASSERT_TRUE(pulse_->Start(Limit(5000))) << ReadFile(pulseDir_ / "pulse.err");
    for (const auto& [name, value] : pulse_->ClientEnvironment()) environment_[name] = value;
  }

  // Starts the server and the game, and waits for "Ny.wav" to reach the server.
  void LaunchPlayingNy() {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    Launch(96, program_);
    AvoidSolvedStart();  // a start already matched would stop the knobs
    ASSERT_TRUE(WaitUntil([&] { return pulse_->Streams() == 1; }, Limit(3000), milliseconds(50)))
        << "\"Ny.wav\" never reached the server";
  }

  // A channel stepped from the number pad shows on screen within 200 ms.
  void ExpectAKnobToMove() {
    const int before = KnobStep(0);
    const KeySym key = before < kSteps - 1 ? kRaiseKey[0] : kLowerKey[0];
    x_->Key(key, true);
    const auto pressed = Clock::now();
    const bool moved = WaitUntil([&] { return KnobStep(0) != before; }, Limit(1000));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - pressed).count();
    x_->Key(key, false);
    std::printf("the knob moved %lld ms after its key went down\n", static_cast<long long>(took));
    ASSERT_TRUE(moved) << "the knob did not move; ring " << ToString(Ring()) << ", canvas " << ToString(Canvas());
    EXPECT_LE(took, Limit(200).count());
  }

  // Ends the game by key (or by signal, when how is a signal number) and expects it gone within
  // a second with status.
  void ExpectExitWithin(KeySym key, int status, int signal = 0) {
    const auto asked = Clock::now();
    if (signal != 0) {
      ::kill(game_->Pid(), signal);
    } else {
      x_->Tap(key, milliseconds(10));
    }
    const auto exit = game_->WaitExit(Limit(3000));
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - asked).count();
    ASSERT_TRUE(exit.has_value()) << "still running three seconds later";
    std::printf("the game ended %lld ms after it was asked to\n", static_cast<long long>(took));
    EXPECT_LE(took, Limit(1000).count());
    EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
    EXPECT_EQ(exit->code, status);
  }

  TempDir pulseDir_;
  TempDir install_;
  std::string program_ = install_ / "kromi";
  std::unique_ptr<PulseServer> pulse_;
};

// The sound server killed while "Ny.wav" plays: the game plays on silently, stops waking for a
// device that is gone, and has its sound back with the next cue once a server is there again.
TEST_F(SoundServer, KilledWhileACuePlays) {
  ASSERT_NO_FATAL_FAILURE(LaunchPlayingNy());
  pulse_->Kill();

  // The lost device is let go: after a moment the game stops waking at all.
  Pause(Limit(1000));
  const long before = ContextSwitches(game_->Pid());
  Pause(milliseconds(1000));
  const long woke = ContextSwitches(game_->Pid()) - before;
  std::printf("%ld context switches in the second after the lost device was let go\n", woke);
#if !defined(__SANITIZE_THREAD__)  // ThreadSanitizer's own thread wakes ten times a second
  EXPECT_LE(woke, 5);
#endif

  // Play goes on with every cue silent.
  AvoidSolvedStart();
  const Rgb ring = Ring();
  const int ch = StepOf(ChannelOf(ring, 0)) == 1 ? 1 : 0;
  ASSERT_TRUE(HoldUntil(kRaiseKey[ch], [&] { return ChannelOf(Canvas(), ch) > 30; }, Limit(3000)));
  x_->Tap(XK_Right);
  EXPECT_TRUE(WaitUntil([&] { return Canvas() == ring; }, Limit(2000)))
      << "canvas " << ToString(Canvas()) << ", ring " << ToString(ring);

  // A server again: the next cue finds it.
  ASSERT_TRUE(pulse_->Start(Limit(5000))) << ReadFile(pulseDir_ / "pulse.err");
  x_->Tap(XK_Down);
  EXPECT_TRUE(WaitUntil([&] { return pulse_->Streams() == 1; }, Limit(3000), milliseconds(50)))
      << "no sound after the server came back";
  ExpectExitWithin(XK_Escape, 0);
  EXPECT_EQ(ReadFile(*dir_ / "stderr"), "");
}


// The server hangs while "Ny.wav" plays: the game never waits for it. Keys still move the knobs
// at once, and Esc still ends the game within a second, leaving the audio thread inside the
// sound library behind.
TEST_F(SoundServer, FrozenWhileACuePlays) {
  ASSERT_NO_FATAL_FAILURE(LaunchPlayingNy());
  pulse_->Freeze();
  Pause(milliseconds(1000));
  ExpectAKnobToMove();  // its "Pot.wav" goes to a server that does not answer
  Pause(milliseconds(300));
  ExpectAKnobToMove();
  ExpectExitWithin(XK_Escape, 0);
}

// The server hangs before the game starts: the window works, and a signal still ends the game at
// once with the status shells expect.
TEST_F(SoundServer, FrozenBeforeTheGameStarts) {
  StartServer();
  pulse_->Freeze();
  Launch(96, program_);
  AvoidSolvedStart();
  ExpectAKnobToMove();
  ExpectExitWithin(0, 143, SIGTERM);
}

}  // namespace
}  // namespace kromi::e2e
