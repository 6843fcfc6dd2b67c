#pragma once
// Turns SDL's keyboard and mouse events into the form's handler calls.
#include <SDL.h>

#include <cstdint>

#include "kromi/core/form.h"
#include "kromi/core/mouse.h"

namespace kromi {

// The 16-bit key code the handlers expect for a physical key (0: a key the game has no code
// for). Scancodes name physical keys, so the number pad gives 97..102 whatever NumLock says.
std::int16_t KeyCodeOf(SDL_Scancode scancode);

// Shift, Ctrl and Alt as the handlers' shift argument.
std::int16_t ShiftOf(std::uint16_t modifiers);

// The handlers' button value of an SDL mouse button (0: none).
std::int16_t ButtonOf(std::uint8_t sdlButton);

class InputTranslator {
 public:
  InputTranslator(FormEvents& events, MouseRouter& mouse, int scale)
      : events_(events), mouse_(mouse), scale_(scale) {}

  // Delivers one event; returns false when it is none of the input events.
  bool Handle(const SDL_Event& event);

 private:
  float ToForm(std::int32_t devicePixels) const {
    return static_cast<float>(devicePixels) / static_cast<float>(scale_);
  }
  FormEvents& events_;
  MouseRouter& mouse_;
  int scale_;
};

}  // namespace kromi
