#include "kromi/core/runtime.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace kromi {

double RoundHalfEven(double value) {
  // nearbyint honours the current rounding mode, which is round-to-nearest-even unless someone
  // changed it; make that explicit rather than rely on it.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(value);
  std::fesetround(saved);
  return rounded;
}

std::int16_t CInt(double value) {
  if (std::isnan(value)) return 0;
  const double r = RoundHalfEven(value);
  return static_cast<std::int16_t>(std::clamp(r, -32768.0, 32767.0));
}

Colour RGB(double red, double green, double blue) {
  auto channel = [](double v) {
    return static_cast<Colour>(std::clamp<int>(CInt(v), 0, 255));
  };
  return channel(red) | channel(green) << 8 | channel(blue) << 16;
}

double Int(double value) { return std::floor(value); }

std::string Hex(double value) {
  double r = RoundHalfEven(value);
  r = std::clamp(r, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                 static_cast<double>(std::numeric_limits<std::int32_t>::max()));
  const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(r));
  char text[16];
  std::snprintf(text, sizeof text, "%X", bits);
  return text;
}

Rgb8 Split(Colour colour) {
  return {static_cast<std::uint8_t>(colour & 0xFF), static_cast<std::uint8_t>(colour >> 8 & 0xFF),
          static_cast<std::uint8_t>(colour >> 16 & 0xFF)};
}

Colour SystemColour(Colour colour) {
  switch (colour) {
    case kSysButtonShadow: return RGB(128, 128, 128);
    case kSys3DDarkShadow: return RGB(64, 64, 64);
    default: return (colour & 0x80000000u) ? 0 : colour;
  }
}

}  // namespace kromi
