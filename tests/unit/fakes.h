#pragma once
// Scripted stand-ins for the random source and the sound cues.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "kromi/core/random.h"
#include "kromi/core/sound.h"

namespace kromi::test {

// Draws scripted target steps (0..9) in order; after the script, step 0.
class ScriptedSteps final : public RandomSource {
 public:
  ScriptedSteps() = default;
  ScriptedSteps(std::initializer_list<int> steps) : steps_(steps) {}
  void Push(std::initializer_list<int> steps) { steps_.insert(steps_.end(), steps); }
  void Seed(std::uint64_t seed) override { seeds.push_back(seed); }
  std::uint32_t Next() override {
    int step = 0;
    if (!steps_.empty()) {
      step = steps_.front();
      steps_.pop_front();
    }
    // The smallest 24-bit fraction at or above step / 10, in the draw's top 24 bits.
    const std::uint64_t x = (static_cast<std::uint64_t>(step) * 16777216u + 9u) / 10u;
    return static_cast<std::uint32_t>(x << 8);
  }
  std::vector<std::uint64_t> seeds;

 private:
  std::deque<int> steps_;
};

// Records every cue asked for; answers with result.
class RecordingCues final : public SoundCues {
 public:
  std::int32_t Play(std::string_view text) override {
    played.emplace_back(text);
    return result;
  }
  std::vector<std::string> played;
  std::int32_t result = 1;
};

}  // namespace kromi::test
