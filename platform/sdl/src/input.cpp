#include "kromi/sdl/input.h"

namespace kromi {

std::int16_t KeyCodeOf(SDL_Scancode sc) {
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return static_cast<std::int16_t>('A' + (sc - SDL_SCANCODE_A));
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return static_cast<std::int16_t>('1' + (sc - SDL_SCANCODE_1));
  if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return static_cast<std::int16_t>(97 + (sc - SDL_SCANCODE_KP_1));
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return static_cast<std::int16_t>(112 + (sc - SDL_SCANCODE_F1));
  switch (sc) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_KP_0: return 96;
    case SDL_SCANCODE_KP_MULTIPLY: return 106;
    case SDL_SCANCODE_KP_PLUS: return 107;
    case SDL_SCANCODE_KP_MINUS: return 109;
    case SDL_SCANCODE_KP_PERIOD: return 110;
    case SDL_SCANCODE_KP_DIVIDE: return 111;
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_RETURN: return 13;
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return 16;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return 17;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return 18;
    case SDL_SCANCODE_PAUSE: return 19;
    case SDL_SCANCODE_CAPSLOCK: return 20;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_SPACE: return 32;
    case SDL_SCANCODE_PAGEUP: return 33;
    case SDL_SCANCODE_PAGEDOWN: return 34;
    case SDL_SCANCODE_END: return 35;
    case SDL_SCANCODE_HOME: return 36;
    case SDL_SCANCODE_LEFT: return 37;
    case SDL_SCANCODE_UP: return 38;
    case SDL_SCANCODE_RIGHT: return 39;
    case SDL_SCANCODE_DOWN: return 40;
    case SDL_SCANCODE_INSERT: return 45;
    case SDL_SCANCODE_DELETE: return 46;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 144;
    case SDL_SCANCODE_SCROLLLOCK: return 145;
    default: return 0;
  }
}

std::int16_t ShiftOf(std::uint16_t mod) {
  std::int16_t shift = 0;
  if (mod & KMOD_SHIFT) shift |= kShiftMask;
  if (mod & KMOD_CTRL) shift |= kCtrlMask;
  if (mod & KMOD_ALT) shift |= kAltMask;
  return shift;
}

std::int16_t ButtonOf(std::uint8_t sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: return kLeftButton;
    case SDL_BUTTON_RIGHT: return kRightButton;
    case SDL_BUTTON_MIDDLE: return kMiddleButton;
    case SDL_BUTTON_X1: return 8;
    case SDL_BUTTON_X2: return 16;
    default: return 0;
  }
}

std::optional<Next> InputTranslator::Handle(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const std::int16_t code = KeyCodeOf(e.key.keysym.scancode);
      if (code == 0) return runner_.Peek();
      const std::int16_t shift = ShiftOf(e.key.keysym.mod);
      // A held key's repeats arrive as further key-downs.
      return e.type == SDL_KEYDOWN ? runner_.KeyDown(code, shift) : runner_.KeyUp(code, shift);
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const std::int16_t button = ButtonOf(e.button.button);
      if (button == 0) return runner_.Peek();
      const std::int16_t shift = ShiftOf(static_cast<std::uint16_t>(SDL_GetModState()));
      if (e.type == SDL_MOUSEBUTTONDOWN) {
        return runner_.MouseDown(button, ToForm(e.button.x), ToForm(e.button.y), e.button.clicks, shift);
      }
      return runner_.MouseUp(button, ToForm(e.button.x), ToForm(e.button.y), shift);
    }
    case SDL_MOUSEMOTION:
      return runner_.MouseMove(ToForm(e.motion.x), ToForm(e.motion.y));
    default:
      return std::nullopt;
  }
}

}  // namespace kromi
