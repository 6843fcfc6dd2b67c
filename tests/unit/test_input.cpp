#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kromi/sdl/host.h"
#include "kromi/sdl/input.h"

namespace kromi {
namespace {

struct Events final : FormEvents {
  std::vector<std::string> log;
  void KeyDown(std::int16_t k, std::int16_t s) override {
    log.push_back("kd " + std::to_string(k) + " s" + std::to_string(s));
  }
  void KeyUp(std::int16_t k, std::int16_t s) override {
    log.push_back("ku " + std::to_string(k) + " s" + std::to_string(s));
  }
  void MouseDown(EventGroup g, std::int16_t, std::int16_t b, std::int16_t, float x, float y) override {
    log.push_back("md " + std::to_string(g) + " b" + std::to_string(b) + " " +
                  std::to_string(static_cast<int>(x)) + "," + std::to_string(static_cast<int>(y)));
  }
  void MouseUp(EventGroup g, std::int16_t, std::int16_t b, std::int16_t, float, float) override {
    log.push_back("mu " + std::to_string(g) + " b" + std::to_string(b));
  }
  void Click(EventGroup g, std::int16_t) override { log.push_back("click " + std::to_string(g)); }
  void DblClick(EventGroup g, std::int16_t) override { log.push_back("dbl " + std::to_string(g)); }
  void Close() override {}
  bool Unloaded() const override { return false; }
};

SDL_Event Key(Uint32 type, SDL_Scancode sc, SDL_Keycode sym, Uint16 mod, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat;
  e.key.keysym.scancode = sc;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event Button(Uint32 type, Uint8 button, int x, int y, Uint8 clicks = 1) {
  SDL_Event e{};
  e.type = type;
  e.button.button = button;
  e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = clicks;
  e.button.x = x;
  e.button.y = y;
  return e;
}

struct NoGlyphs final : Glyphs {
  TextFace* Get(const Font&, int) override { return nullptr; }
};

struct Rig {
  Label face;
  std::vector<ControlRef> order{&face};
  Events events;
  NoGlyphs glyphs;
  ManualClock clock;
  Runner runner{FormView{"", 328, 256, 0, nullptr, &order, {}, &events}, glyphs, 1, clock};
  InputTranslator input;
  explicit Rig(int scale) : input(runner, scale) {
    face.group = 1;
    face.Left = 10;
    face.Top = 10;
    face.Width = 20;
    face.Height = 10;
  }
};

TEST(KeyMapping, NumberPadOneToSixGive97To102WithNumLockOnAndOff) {
  const SDL_Scancode pad[6] = {SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3,
                               SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6};
  // With NumLock off the same physical keys produce navigation key symbols.
  const SDL_Keycode off[6] = {SDLK_END, SDLK_DOWN, SDLK_PAGEDOWN, SDLK_LEFT, SDLK_KP_5, SDLK_RIGHT};
  for (int i = 0; i < 6; ++i) {
    for (bool numLock : {true, false}) {
      Rig r(1);
      const SDL_Keycode sym = numLock ? SDLK_KP_1 + i : off[i];
      r.input.Handle(Key(SDL_KEYDOWN, pad[i], sym, numLock ? KMOD_NUM : KMOD_NONE));
      r.input.Handle(Key(SDL_KEYUP, pad[i], sym, numLock ? KMOD_NUM : KMOD_NONE));
      const std::string code = std::to_string(97 + i);
      EXPECT_EQ(r.events.log, (std::vector<std::string>{"kd " + code + " s0", "ku " + code + " s0"}))
          << "pad " << i + 1 << " numlock " << numLock;
    }
  }
}

TEST(KeyMapping, MainRowDigitsAndArrowsKeepTheirOwnCodes) {
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_1), 49);
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_6), 54);
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_ESCAPE), 27);
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_LEFT), 37);
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_UP), 38);
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_RIGHT), 39);
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_DOWN), 40);
  EXPECT_EQ(KeyCodeOf(SDL_SCANCODE_A), 65);
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
    const auto code = KeyCodeOf(static_cast<SDL_Scancode>(sc));
    if (code >= 97 && code <= 102) {
      EXPECT_GE(sc, SDL_SCANCODE_KP_1) << "only the number pad gives the pad codes";
      EXPECT_LE(sc, SDL_SCANCODE_KP_6);
    }
  }
}

TEST(KeyMapping, ShiftCtrlAltBecomeTheShiftArgumentAndRepeatsAreKeyDowns) {
  Rig r(1);
  r.input.Handle(Key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, KMOD_LSHIFT | KMOD_RCTRL));
  r.input.Handle(Key(SDL_KEYDOWN, SDL_SCANCODE_DOWN, SDLK_DOWN, KMOD_LALT));
  r.input.Handle(Key(SDL_KEYDOWN, SDL_SCANCODE_DOWN, SDLK_DOWN, KMOD_LALT, 1));
  r.input.Handle(Key(SDL_KEYDOWN, SDL_SCANCODE_APPLICATION, SDLK_APPLICATION, 0));  // no code: dropped
  EXPECT_EQ(r.events.log, (std::vector<std::string>{"kd 27 s3", "kd 40 s4", "kd 40 s4"}));
}

TEST(MouseTranslation, ButtonsMapAndDevicePixelsAreMappedBackToTheForm) {
  Rig r(2);
  r.input.Handle(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 24, 24));  // form (12, 12)
  r.input.Handle(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 24, 24));
  r.input.Handle(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 24, 24));
  r.input.Handle(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 2000, 2000));  // outside: no click
  r.input.Handle(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 18, 18));     // form (9, 9): a miss
  EXPECT_EQ(r.events.log, (std::vector<std::string>{"md 1 b4 2,2", "mu 1 b4", "click 1", "md 1 b2 2,2",
                                                    "mu 1 b2"}));
}

TEST(MouseTranslation, SdlsSecondClickIsTheDoubleClick) {
  Rig r(1);
  r.input.Handle(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 15, 15, 1));
  r.input.Handle(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 15, 15, 1));
  r.input.Handle(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 15, 15, 2));
  r.input.Handle(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 15, 15, 2));
  EXPECT_EQ(r.events.log, (std::vector<std::string>{"md 1 b1 5,5", "mu 1 b1", "click 1", "dbl 1", "mu 1 b1"}));
}

TEST(MouseTranslation, OtherEventsAreNotInput) {
  Rig r(1);
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  EXPECT_FALSE(r.input.Handle(e));
  e.type = SDL_QUIT;
  EXPECT_FALSE(r.input.Handle(e));
}

TEST(Scale, WholeFactorsFromTheDisplayDensity) {
  EXPECT_EQ(ScaleForDpi(0), 1);
  EXPECT_EQ(ScaleForDpi(96), 1);
  EXPECT_EQ(ScaleForDpi(120), 1);
  EXPECT_EQ(ScaleForDpi(144), 2);
  EXPECT_EQ(ScaleForDpi(192), 2);
  EXPECT_EQ(ScaleForDpi(288), 3);
  EXPECT_EQ(ScaleForDpi(100000), 8);
}

}  // namespace
}  // namespace kromi
