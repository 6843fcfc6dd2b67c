#pragma once
// The browser's input and page facts turned into the game's terms. Plain functions with no
// browser in them, so they are tested natively.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kromi/core/controls.h"

namespace kromi {

// The key code the game hears for a KeyboardEvent.code, which names the physical key whatever
// NumLock says: "Numpad4" is 100 both as "4" and as "ArrowLeft". Letters, digits and the other
// common keys get their usual codes; any other key gets 0, which no handler acts on.
std::int16_t KeyCodeOfDomCode(std::string_view code);

// True for the keys the game acts on, whose default action (scrolling, leaving the page) the
// page stops. Every other key keeps its browser meaning (F5, Ctrl+R, Tab ...).
bool GameKey(std::int16_t keyCode);

// MouseEvent.button (0 main, 1 middle, 2 secondary, 3 back, 4 forward) as a button mask; 0 for
// anything else.
std::int16_t ButtonOfDomButton(int button);

// The whole device scale for a devicePixelRatio: the nearest of 1, 2 and 3, and 1 for anything
// that is not a ratio at all.
int ScaleForPixelRatio(double ratio);

// The file name beside the page that a cue text names ("\Ny.wav" gives "Ny.wav"), or nothing when
// it would name anything else: another folder, another site, a query, a name with odd bytes.
std::optional<std::string> CueFileName(std::string_view text);

// The CSS font for a form font at a device pixel size: the family first, then what Linux's
// fontconfig gives for it, then the generic family.
std::string CssFont(const Font& font, int pixelSize);

}  // namespace kromi
