// The cue finder itself, on made-up streams: it must find a cue where it was mixed in and only there,
// or the audio checks of the game would prove nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>

#include "audio_match.h"
#include "game_fixture.h"
#include "kromi/xdriver/xdriver.h"

namespace kromi::e2e {
namespace {

std::vector<float> Noise(std::size_t n, float level, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> d(-level, level);
  std::vector<float> v(n);
  for (float& x : v) x = d(gen);
  return v;
}

// A 22,050 Hz cue as the mixer would put it out at 44,100 Hz: every input sample, then the
// midpoint to the next one.
std::vector<float> Doubled(const std::vector<float>& cue) {
  std::vector<float> out;
  for (std::size_t i = 0; i < cue.size(); ++i) {
    out.push_back(cue[i]);
    out.push_back(i + 1 < cue.size() ? (cue[i] + cue[i + 1]) / 2 : cue[i] / 2);
  }
  return out;
}

std::vector<float> Stream(std::size_t seconds10ths, const std::vector<float>& cue, std::size_t at, float gain = 1) {
  std::vector<float> s = Noise(seconds10ths * kCaptureRate / 10, 0.002f, 7);
  const std::vector<float> up = Doubled(cue);
  for (std::size_t i = 0; i < up.size() && at + i < s.size(); ++i) s[at + i] += gain * up[i];
  return s;
}

// A burst of low-passed noise, loud enough to be a cue.
std::vector<float> Burst(unsigned seed, std::size_t n = 4000) {
  std::vector<float> v = Noise(n, 0.6f, seed);
  for (std::size_t i = 1; i < v.size(); ++i) v[i] = 0.6f * v[i] + 0.4f * v[i - 1];
  return v;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Le(std::uint32_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
  return s;
}

std::string Wav(std::uint32_t rate, std::uint16_t channels, const std::vector<std::int16_t>& samples) {
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  std::string s = "RIFF" + Le(36 + dataBytes, 4) + "WAVE";
  s += "fmt " + Le(16, 4) + Le(1, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * channels * 2, 4) +
       Le(channels * 2u, 2) + Le(16, 2);
  s += "data" + Le(dataBytes, 4);
  for (std::int16_t v : samples) s += Le(static_cast<std::uint16_t>(v), 2);
  return s;
}

TEST(CueFinder, FindsACueWhereItWasMixedIn) {
  const auto cue = Burst(1);
  EXPECT_GT(CueMatch(Stream(10, cue, 12345), cue), 0.95);
  EXPECT_GT(CueMatch(Stream(10, cue, 12346), cue), 0.95);  // either phase of the doubled rate
}

TEST(CueFinder, IgnoresOtherSoundsSilenceAndFaintEchoes) {
  const auto cue = Burst(1);
  EXPECT_LT(CueMatch(Stream(10, Burst(2), 5000), cue), 0.5);
  EXPECT_EQ(CueMatch(std::vector<float>(44100, 0.0f), cue), 0.0);
  EXPECT_EQ(CueMatch(Stream(10, cue, 5000, 0.1f), cue), 0.0);  // a hundredth of its energy
  EXPECT_EQ(CueMatch(std::vector<float>(100, 0.5f), cue), 0.0);  // shorter than the cue
}

TEST(CueFinder, ShippedCuesAreTellApart) {
  const char* names[] = {"Ny.wav", "Pot.wav", "Boom.wav", "Visa.wav"};
  std::vector<std::vector<float>> cues;
  for (const char* name : names) {
    auto c = LoadCue(SoundsDir() + "/" + name);
    ASSERT_TRUE(c.has_value()) << name;
    ASSERT_GT(c->size(), 500u) << name;
    cues.push_back(*c);
  }
  for (std::size_t i = 0; i < cues.size(); ++i) {
    const auto stream = Stream(15, cues[i], 3000);
    for (std::size_t j = 0; j < cues.size(); ++j) {
      const double score = CueMatch(stream, cues[j]);
      if (i == j) {
        EXPECT_GT(score, 0.95) << names[j] << " not found in itself";
      } else if (cues[j].size() > 2000) {  // Pot.wav is a blip, too short to tell a shape by
        EXPECT_LT(score, 0.5) << names[j] << " found in " << names[i];
      }
    }
  }
}

TEST(CueFinder, ReadsOnlyTheShippedWavKind) {
  TempDir dir;
  const std::vector<std::int16_t> samples{0, 16384, -16384, 32767};
  WriteBytes(dir / "ok.wav", Wav(22050, 1, samples));
  const auto ok = LoadCue(dir / "ok.wav");
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(*ok, (std::vector<float>{0.0f, 0.5f, -0.5f, 32767.0f / 32768}));
  WriteBytes(dir / "fast.wav", Wav(44100, 1, samples));
  EXPECT_FALSE(LoadCue(dir / "fast.wav").has_value());
  WriteBytes(dir / "stereo.wav", Wav(22050, 2, samples));
  EXPECT_FALSE(LoadCue(dir / "stereo.wav").has_value());
  std::string cut = Wav(22050, 1, samples);
  cut.resize(cut.size() - 3);
  WriteBytes(dir / "cut.wav", cut);
  EXPECT_FALSE(LoadCue(dir / "cut.wav").has_value());
}

TEST(CueFinder, CaptureIsStereoS16Averaged) {
  TempDir dir;
  // Two frames: (16384, 0) and (-32768, -32768), then a stray byte that is no whole frame.
  WriteBytes(dir / "c.raw", Le(16384, 2) + Le(0, 2) + Le(0x8000, 2) + Le(0x8000, 2) + "x");
  EXPECT_EQ(LoadCapture(dir / "c.raw"), (std::vector<float>{0.25f, -1.0f}));
  EXPECT_DOUBLE_EQ(CaptureSeconds(176400), 1.0);
}

}  // namespace
}  // namespace kromi::e2e
