#pragma once
// The game's random source, injected so tests can script the targets.
#include <cstdint>
#include <random>

namespace kromi {

// Raw 32-bit draws; Rnd turns them into singles in [0, 1).
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void Seed(std::uint64_t seed) = 0;
  virtual std::uint32_t Next() = 0;
};

// Mersenne twister; the default source of the real game.
class TwisterSource final : public RandomSource {
 public:
  void Seed(std::uint64_t seed) override { engine_.seed(static_cast<std::uint32_t>(seed ^ (seed >> 32))); }
  std::uint32_t Next() override { return static_cast<std::uint32_t>(engine_()); }

 private:
  std::mt19937 engine_{5489u};
};

// Seeds source from the clock.
void Randomize(RandomSource& source);

// Next single, uniform, 0 or more and strictly below 1, even for the source's largest draw.
float Rnd(RandomSource& source);

}  // namespace kromi
