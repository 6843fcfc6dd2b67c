#include "kromi/core/random.h"

#include <chrono>

namespace kromi {

void Randomize(RandomSource& source) {
  const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  source.Seed(static_cast<std::uint64_t>(now));
}

float Rnd(RandomSource& source) {
  // The top 24 bits fill a single's mantissa exactly: (2^24 - 1) / 2^24 is the largest result,
  // and it is below 1. Dividing a 32-bit draw by 2^32 in float would round up to 1.0f.
  return static_cast<float>(source.Next() >> 8) * (1.0f / 16777216.0f);
}

}  // namespace kromi
