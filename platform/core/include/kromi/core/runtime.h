#pragma once
// The runtime functions the game is written against, with the exact rounding the rules rely on.
#include <cstdint>
#include <string>

namespace kromi {

// A colour value: red + 256 * green + 65536 * blue. Values with the top bit set name a system
// colour (see SystemColour) and are resolved only when drawn.
using Colour = std::uint32_t;

inline constexpr Colour kSysButtonShadow = 0x80000010u;  // the button-shadow colour
inline constexpr Colour kSys3DDarkShadow = 0x80000015u;  // the 3-D dark-shadow colour

// Rounds to the nearest whole number, halves to even: how every double becomes an integer here.
double RoundHalfEven(double value);

// Converts a double to a 16-bit integer the way a property or argument conversion does.
// Values outside -32768..32767 saturate (the game's own values never get there).
std::int16_t CInt(double value);

// Three intensities (doubles, converted with CInt and clamped to 0..255) to a colour value.
Colour RGB(double red, double green, double blue);

// The largest whole number not above value.
double Int(double value);

// Upper-case hexadecimal text of value rounded half to even, no leading zeros ("1E" for 30).
// Negative values are written as their 32-bit two's complement.
std::string Hex(double value);

// The directory of the running executable, without a trailing separator. Each platform folder
// supplies it.
std::string AppPath();

// The red, green and blue intensities of a plain (non-system) colour value.
struct Rgb8 {
  std::uint8_t r, g, b;
  friend bool operator==(const Rgb8&, const Rgb8&) = default;
};
Rgb8 Split(Colour colour);

// A system colour's actual value; plain colours pass through unchanged.
Colour SystemColour(Colour colour);

}  // namespace kromi
