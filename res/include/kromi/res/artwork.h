#pragma once
// The pictures and the icon, kept as character grids and decoded once at start-up.
#include <initializer_list>
#include <string_view>

#include "kromi/core/controls.h"

namespace kromi {

struct Artwork {
  PaletteImage arrowLeft, arrowDown, arrowRight;
  PaletteImage knob[4];  // 1 red, 2 green, 3 blue; 0 unused
  PaletteImage icon;     // 32 x 32, no transparent colour
};

// The decoded artwork (decoded on first use, then shared).
const Artwork& TheArtwork();

// One picture from a character grid: rows of equal length, each character a legend key.
// legend maps characters to palette entries; transparentKey names the see-through character.
struct LegendEntry {
  char key;
  Rgb8 colour;
};
PaletteImage DecodeGrid(std::string_view grid, std::initializer_list<LegendEntry> legend,
                        char transparentKey);

}  // namespace kromi
