// Hostile cue files (tests/data/wav/crafted.h) through the whole path the game takes: written to
// disk, read by the cache, checked, and played by the mixer on the dummy audio driver. Each must
// be refused by the checks and be silent, without any of it ever reaching SDL's decoder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "../data/wav/crafted.h"
#include "kromi/cues/cuefile.h"
#include "kromi/sdl/mixer.h"
#include "kromi/cues/wav.h"

namespace kromi {
namespace {

namespace fs = std::filesystem;
using crafted::Bytes;

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const char* const kCueNames[] = {"Ny.wav", "Pot.wav", "Boom.wav", "Visa.wav"};

class CraftedWavs : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string templ = (fs::temp_directory_path() / "kromi-crafted-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Plays each case from its own file on one open mixer; every one must be a silent 0 that
  // never reached the decoder, and the mixer must still play a real cue afterwards.
  void ExpectSilent(const std::vector<crafted::Case>& cases) {
    MixerCues cues(dir_.string());
    ASSERT_TRUE(cues.Open()) << "the dummy audio driver is always there";
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const std::string name = "case" + std::to_string(i) + ".wav";
      WriteAll(dir_ / name, cases[i].bytes);
      EXPECT_EQ(cues.Play("\\" + name), 0) << cases[i].name;
      EXPECT_EQ(cues.PlayingCount(), 0) << cases[i].name;
    }
    EXPECT_EQ(cues.Decodes(), 0u) << "a refused file reached SDL";
    EXPECT_EQ(cues.FileReads(), cases.size());
    fs::copy_file(fs::path(KROMI_SOUNDS_DIR) / "Pot.wav", dir_ / "Pot.wav");
    EXPECT_EQ(cues.Play("\\Pot.wav"), 1);
  }

  fs::path dir_;
};

TEST_F(CraftedWavs, AreAllDistinctAndRefusedByTheChecks) {
  const auto cases = crafted::Cases();
  ASSERT_GE(cases.size(), 25u);
  std::set<std::string> names;
  std::set<Bytes> contents;
  for (const auto& c : cases) {
    EXPECT_TRUE(names.insert(c.name).second) << "two cases named " << c.name;
    EXPECT_TRUE(contents.insert(c.bytes).second) << c.name << " repeats another case";
    EXPECT_FALSE(ValidateWav(c.bytes).has_value()) << c.name;
    EXPECT_LE(c.bytes.size(), kMaxCueFileBytes) << c.name << " would be refused unread, testing nothing";
  }
  // The one the reader must not believe: 108 bytes that claim 4 GiB.
  EXPECT_EQ(cases[0].bytes.size(), 108u);
}

TEST_F(CraftedWavs, EachIsSilentThroughTheMixer) { ExpectSilent(crafted::Cases()); }

TEST_F(CraftedWavs, TheBudgetCasesFailOnTheBudgetAlone) {
  // One frame fewer is a sound the game would play: the refusal above is the budget's, not some
  // other flaw of the file.
  for (const crafted::Format& f : crafted::kBudgetFormats) {
    const std::size_t frames = crafted::FramesAtBudget(f);
    const auto fits = ValidateWav(crafted::PlainWav(f, frames));
    ASSERT_TRUE(fits.has_value()) << f.rate;
    EXPECT_LE(DecodedBytes(*fits), kMaxDecodedBytes);
    EXPECT_GT(DecodedBytes(*fits), kMaxDecodedBytes - 64) << "not at the edge";
    EXPECT_FALSE(ValidateWav(crafted::PlainWav(f, frames + 1)).has_value()) << f.rate;
  }
}

// The largest cues the checks let through, played through the real player: each plays whole,
// converted within the budget, and one frame more is refused. The decode budget binds the
// slowest format, the file cap the fastest.
TEST_F(CraftedWavs, TheLargestAcceptedCuesPlayWithinTheCaps) {
  MixerCues cues(dir_.string());
  ASSERT_TRUE(cues.Open());
  const crafted::Format slow = crafted::kBudgetFormats[0];
  const crafted::Format fast{.channels = 2, .rate = 96000, .bits = 16};
  const std::size_t fastFrames = (kMaxCueFileBytes - 44) / fast.Align();
  const std::pair<crafted::Format, std::size_t> largest[] = {{slow, crafted::FramesAtBudget(slow)}, {fast, fastFrames}};
  for (const auto& [format, frames] : largest) {
    const Bytes bytes = crafted::PlainWav(format, frames);
    ASSERT_LE(bytes.size(), kMaxCueFileBytes);
    WriteAll(dir_ / "largest.wav", bytes);
    EXPECT_EQ(cues.Play("\\largest.wav"), 1) << format.rate;
    const std::size_t converted = cues.CueBytes("\\largest.wav");
    EXPECT_EQ(converted, DecodedBytes(*ValidateWav(bytes))) << format.rate;
    EXPECT_LE(converted, kMaxDecodedBytes) << format.rate;
    EXPECT_EQ(cues.PlayingBytes(), converted) << format.rate;
    WriteAll(dir_ / "larger.wav", crafted::PlainWav(format, frames + 1));
    EXPECT_EQ(cues.Play("\\larger.wav"), 0) << format.rate;
  }
}

TEST_F(CraftedWavs, EveryCueCutShortIsSilent) {
  std::vector<crafted::Case> cuts;
  for (const char* name : kCueNames) {
    const Bytes whole = ReadAll(fs::path(KROMI_SOUNDS_DIR) / name);
    ASSERT_TRUE(ValidateWav(whole).has_value()) << name;
    for (auto& c : crafted::Truncations(name, whole)) {
      EXPECT_FALSE(ValidateWav(c.bytes).has_value()) << c.name;
      cuts.push_back(std::move(c));
    }
  }
  ASSERT_GT(cuts.size(), 4u * 96);
  ExpectSilent(cuts);
}

TEST_F(CraftedWavs, AHonestFileBesideThemStillPlays) {
  // The same builders make a file the game plays, so the cases are refused for their tricks and
  // not for the way they were made.
  const crafted::Format pcm;
  const Bytes honest = crafted::Riff({crafted::Chunk("LIST", crafted::Samples(6)), crafted::Chunk("fmt ", pcm.Body()),
                                      crafted::Chunk("data", crafted::Samples(64))});
  ASSERT_TRUE(ValidateWav(honest).has_value());
  WriteAll(dir_ / "honest.wav", honest);
  MixerCues cues(dir_.string());
  ASSERT_TRUE(cues.Open());
  EXPECT_EQ(cues.Play("\\honest.wav"), 1);
  EXPECT_EQ(cues.Decodes(), 1u);
}

}  // namespace
}  // namespace kromi
