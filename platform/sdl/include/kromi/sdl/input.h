#pragma once
// Turns SDL's keyboard and mouse events into the runner's input calls.
#include <SDL.h>

#include <cstdint>
#include <optional>

#include "kromi/runner/runner.h"

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
  // scale: window units per client unit (device pixels on X11, 1 on Wayland).
  InputTranslator(Runner& runner, int scale) : runner_(runner), scale_(scale) {}

  // Delivers one event and returns what the runner answered; nothing when it is none of the
  // input events.
  std::optional<Next> Handle(const SDL_Event& event);

 private:
  float ToForm(std::int32_t devicePixels) const {
    return static_cast<float>(devicePixels) / static_cast<float>(scale_);
  }
  Runner& runner_;
  int scale_;
};

}  // namespace kromi
