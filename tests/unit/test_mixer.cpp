#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>
#include <thread>
#include <chrono>

#include "kromi/sdl/mixer.h"
#include "kromi/cues/wav.h"

namespace kromi {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path ShippedCue(const char* name) { return fs::path(KROMI_SOUNDS_DIR) / name; }

void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Put32At(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

// Ny.wav's 44-byte header (mono 16-bit 22,050 Hz) over silence long enough to be still playing
// whenever a test looks, however slow the machine.
Bytes LongCue(double seconds) {
  std::ifstream in(ShippedCue("Ny.wav"), std::ios::binary);
  Bytes out(44);
  in.read(reinterpret_cast<char*>(out.data()), 44);
  const auto dataBytes = static_cast<std::uint32_t>(seconds * 22050) * 2;
  out.resize(44 + dataBytes, 0);
  Put32At(out, 4, 36 + dataBytes);
  Put32At(out, 40, dataBytes);
  return out;
}

// A game folder whose name has spaces and a non-ASCII letter, holding the four cues, two long
// ones, a malformed one, a folder with a cue's name and a subfolder with a cue.
class MixerTest : public testing::Test {
 protected:
  void SetUp() override {
    // Never a real device from a test run, even when started without the usual environment.
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string templ = (fs::temp_directory_path() / "kromi mixer XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    root_ = templ;
    dir_ = root_ / "Färger och ljud";
    fs::create_directories(dir_ / "Mapp.wav");
    fs::create_directories(dir_ / "ljud");
    fs::copy_file(ShippedCue("Visa.wav"), dir_ / "ljud" / "Visa.wav");
    for (const char* name : {"Ny.wav", "Pot.wav", "Boom.wav", "Visa.wav"}) fs::copy_file(ShippedCue(name), dir_ / name);
    WriteAll(dir_ / "Lang.wav", LongCue(11));
    WriteAll(dir_ / "Lang2.wav", LongCue(8));
    Bytes huge = LongCue(0.1);  // 108 bytes whose data chunk claims 4 GiB
    huge.resize(108);
    Put32At(huge, 40, 0xFFFFFFFFu);
    WriteAll(dir_ / "Trasig.wav", huge);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fs::path root_, dir_;
};

// Points SDL at another audio driver for one scope.
class AudioDriverOverride {
 public:
  explicit AudioDriverOverride(const char* driver) {
    if (const char* previous = ::getenv("SDL_AUDIODRIVER")) saved_ = previous;
    ::setenv("SDL_AUDIODRIVER", driver, 1);
  }
  ~AudioDriverOverride() {
    if (saved_) {
      ::setenv("SDL_AUDIODRIVER", saved_->c_str(), 1);
    } else {
      ::unsetenv("SDL_AUDIODRIVER");
    }
  }
  AudioDriverOverride(const AudioDriverOverride&) = delete;
  AudioDriverOverride& operator=(const AudioDriverOverride&) = delete;

 private:
  std::optional<std::string> saved_;
};

TEST(MixerPaths, JoinTheDirectoryAndTheCueText) {
  const MixerCues cues("/opt/Kromi spel/Färger");
  EXPECT_EQ(cues.CuePath("\\Ny.wav"), "/opt/Kromi spel/Färger/Ny.wav");
  EXPECT_EQ(cues.CuePath("\\ljud\\Pot.wav"), "/opt/Kromi spel/Färger/ljud/Pot.wav");
  EXPECT_EQ(cues.CuePath("Boom.wav"), "/opt/Kromi spel/Färger/Boom.wav");
}

TEST_F(MixerTest, PlaysEveryCueOnOneChannelFromAFolderWithSpacesAndUmlauts) {
  MixerCues cues(dir_.string());
  EXPECT_FALSE(cues.IsOpen());
  ASSERT_TRUE(cues.Open());
  EXPECT_TRUE(cues.IsOpen());
  EXPECT_EQ(cues.PlayingCount(), 0);
  for (const char* text : {"\\Ny.wav", "\\Pot.wav", "\\Boom.wav", "\\Visa.wav", "\\ljud\\Visa.wav", "\\Lang.wav"}) {
    EXPECT_EQ(cues.Play(text), 1) << text;
  }
  EXPECT_EQ(cues.PlayingCount(), 1);
}

TEST_F(MixerTest, MissingMalformedAndNonFileCuesAreSilentZeros) {
  MixerCues cues(dir_.string());
  ASSERT_TRUE(cues.Open());
  testing::internal::CaptureStderr();
  for (const std::string_view text : {"\\Saknas.wav", "\\Trasig.wav", "\\Mapp.wav", "", "\\ljud\\Ny.wav"}) {
    EXPECT_EQ(cues.Play(text), 0) << text;
  }
  EXPECT_EQ(cues.Play(std::string_view("\\Ny.wav\0x", 9)), 0);  // a NUL would cut the path short
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(cues.PlayingCount(), 0);
  EXPECT_EQ(cues.Play("\\Ny.wav"), 1);
}

TEST_F(MixerTest, ANewCueCutsOffTheOneStillPlaying) {
  MixerCues cues(dir_.string());
  ASSERT_TRUE(cues.Open());
  ASSERT_EQ(cues.Play("\\Lang.wav"), 1);
  EXPECT_EQ(cues.PlayingBytes(), cues.CueBytes("\\Lang.wav"));
  ASSERT_EQ(cues.Play("\\Lang2.wav"), 1);
  EXPECT_EQ(cues.PlayingCount(), 1);
  // 15 s of Lang2 at the device's rate, not what is left of Lang's 20 s.
  EXPECT_EQ(cues.PlayingBytes(), cues.CueBytes("\\Lang2.wav"));
  EXPECT_NEAR(static_cast<double>(cues.PlayingBytes()), 8.0 * kMixRate * kMixBytesPerFrame, 64.0);
  // Even a cue that cannot play silences the one before it.
  EXPECT_EQ(cues.Play("\\Saknas.wav"), 0);
  EXPECT_EQ(cues.PlayingCount(), 0);
}

TEST_F(MixerTest, ARepeatedCueIsNeitherReadNorDecodedAgain) {
  MixerCues cues(dir_.string());
  ASSERT_TRUE(cues.Open());
  for (int tick = 0; tick < 10; ++tick) EXPECT_EQ(cues.Play("\\Pot.wav"), 1);
  EXPECT_EQ(cues.FileReads(), 1u);
  EXPECT_EQ(cues.Decodes(), 1u);
  EXPECT_EQ(cues.Play("\\Ny.wav"), 1);
  EXPECT_EQ(cues.Decodes(), 2u);
  EXPECT_EQ(cues.Play("\\Pot.wav"), 1);
  EXPECT_EQ(cues.FileReads(), 2u);
  EXPECT_EQ(cues.Decodes(), 2u);
}

TEST_F(MixerTest, AFileReplacedWhileTheGameRunsIsPlayedAnew) {
  MixerCues cues(dir_.string());
  ASSERT_TRUE(cues.Open());
  fs::copy_file(dir_ / "Ny.wav", dir_ / "Byt.wav");
  ASSERT_EQ(cues.Play("\\Byt.wav"), 1);
  const std::size_t shortLength = cues.CueBytes("\\Byt.wav");
  ASSERT_GT(shortLength, 0u);
  fs::rename(dir_ / "Lang.wav", dir_ / "Byt.wav");  // while the old chunk still plays
  ASSERT_EQ(cues.Play("\\Byt.wav"), 1);
  EXPECT_GT(cues.CueBytes("\\Byt.wav"), 10 * shortLength);
  EXPECT_EQ(cues.PlayingBytes(), cues.CueBytes("\\Byt.wav"));
  EXPECT_EQ(cues.Decodes(), 2u);
  fs::rename(dir_ / "Trasig.wav", dir_ / "Byt.wav");
  EXPECT_EQ(cues.Play("\\Byt.wav"), 0);
  fs::remove(dir_ / "Byt.wav");
  EXPECT_EQ(cues.Play("\\Byt.wav"), 0);
}

TEST_F(MixerTest, ClosingWhilePlayingLeavesAudioReadyToReopen) {
  {
    MixerCues first(dir_.string());
    ASSERT_TRUE(first.Open());
    ASSERT_EQ(first.Play("\\Lang.wav"), 1);
  }
  MixerCues second(dir_.string());
  ASSERT_TRUE(second.Open());
  EXPECT_EQ(second.PlayingCount(), 0);
  EXPECT_EQ(second.Play("\\Boom.wav"), 1);
}

TEST_F(MixerTest, ACueAskedForWhileTheDeviceOpensPlaysOnceItIsReady) {
  {
    MixerCues cues(dir_.string());
    cues.OpenInBackground();
    EXPECT_EQ(cues.Play("\\Lang.wav"), 1);  // before or after the device is ready: the same answer
    ASSERT_TRUE(cues.WaitOpen());
    EXPECT_EQ(cues.PlayingBytes(), cues.CueBytes("\\Lang.wav"));
  }
  {
    // The last cue asked for wins, even one that cannot play.
    MixerCues cues(dir_.string());
    cues.OpenInBackground();
    EXPECT_EQ(cues.Play("\\Lang.wav"), 1);
    EXPECT_EQ(cues.Play("\\Trasig.wav"), 0);
    ASSERT_TRUE(cues.WaitOpen());
    EXPECT_EQ(cues.PlayingCount(), 0);
    EXPECT_EQ(cues.Play("\\Pot.wav"), 1);
  }
  {
    // Gone before it finished opening: the destructor waits for the opening thread.
    MixerCues cues(dir_.string());
    cues.OpenInBackground();
  }
}

// The start cue is asked for before the window is up, and the device is opened only after it.
TEST_F(MixerTest, ACueAskedForBeforeTheDeviceIsOpenedLaterWaitsForIt) {
  {
    MixerCues cues(dir_.string());
    cues.OpenLater();
    EXPECT_EQ(cues.Play("\\Lang.wav"), 1);
    EXPECT_FALSE(cues.IsOpen());
    cues.OpenInBackground();
    ASSERT_TRUE(cues.WaitOpen());
    EXPECT_EQ(cues.PlayingBytes(), cues.CueBytes("\\Lang.wav"));
  }
  {
    // Opened in the foreground instead, the kept cue plays all the same.
    MixerCues cues(dir_.string());
    cues.OpenLater();
    EXPECT_EQ(cues.Play("\\Lang.wav"), 1);
    ASSERT_TRUE(cues.Open());
    EXPECT_EQ(cues.PlayingBytes(), cues.CueBytes("\\Lang.wav"));
  }
  {
    // Never opened: the kept cue is dropped with the player, and nothing waits on a thread.
    MixerCues cues(dir_.string());
    cues.OpenLater();
    EXPECT_EQ(cues.Play("\\Lang.wav"), 1);
  }
}

// An open device wakes SDL's audio thread once per buffer even in silence: after a quiet spell it
// is closed, and the next cue opens it again and plays.
TEST_F(MixerTest, AQuietDeviceRestsAndTheNextCueWakesIt) {
  using namespace std::chrono_literals;
  MixerCues cues(dir_.string(), 100ms);
  ASSERT_TRUE(cues.Open());
  ASSERT_EQ(cues.Play("\\Lang.wav"), 1);
  std::this_thread::sleep_for(400ms);
  EXPECT_FALSE(cues.Resting()) << "rested while a cue was playing";
  EXPECT_EQ(cues.Play("\\Pot.wav"), 1);  // short: the rest follows soon after it ends
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!cues.Resting() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(cues.Resting());
  EXPECT_TRUE(cues.IsOpen());
  EXPECT_EQ(cues.PlayingCount(), 0);
  EXPECT_EQ(cues.Play("\\Saknas.wav"), 0);  // a missing cue does not wake the device
  EXPECT_TRUE(cues.Resting());
  EXPECT_EQ(cues.Play("\\Lang2.wav"), 1);
  EXPECT_EQ(cues.PlayingBytes(), cues.CueBytes("\\Lang2.wav"));
  EXPECT_FALSE(cues.Resting());
}

TEST_F(MixerTest, WithoutAnAudioDeviceEveryCueIsAQuietZero) {
  // An unknown driver fails inside SDL; ALSA without a card writes a page of errors unless
  // silenced. Where a card exists, opening it must be just as quiet.
  for (const char* driver : {"kromi-no-such-driver", "alsa"}) {
    const AudioDriverOverride driverOverride(driver);
    MixerCues cues(dir_.string());
    testing::internal::CaptureStderr();
    const bool opened = cues.Open();
    EXPECT_TRUE(!opened || std::string_view(driver) == "alsa") << driver;
    const std::int32_t played = opened ? 0 : cues.Play("\\Ny.wav");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << driver;
    EXPECT_EQ(cues.IsOpen(), opened) << driver;
    EXPECT_EQ(played, 0) << driver;
    EXPECT_EQ(cues.FileReads(), 0u) << driver;
  }
}

}  // namespace
}  // namespace kromi
