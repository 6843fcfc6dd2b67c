#pragma once
// Form1: the game window's controls, its game state and its event handlers.
#include <cstdint>

#include "kromi/core/form.h"
#include "kromi/core/random.h"
#include "kromi/core/sound.h"
#include "kromi/game/game.h"
#include "kromi/res/form1.h"

namespace kromi {

// Key codes of the command keys.
inline constexpr std::int16_t kKeyEscape = 27;
inline constexpr std::int16_t kKeyLeft = 37;
inline constexpr std::int16_t kKeyRight = 39;
inline constexpr std::int16_t kKeyDown = 40;

class Form1 final : public FormEvents {
 public:
  Form1(RandomSource& random, SoundCues& cues);

  Form1Controls controls;
  Game game;

  // Raised once, before the window is first shown.
  void Form_Load() { game.Form_Load(); }

  void Form_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
  void Form_KeyUp(std::int16_t KeyCode, std::int16_t Shift);

  void lblAvsluta_MouseDown(std::int16_t Index, std::int16_t Button, std::int16_t Shift, float X, float Y);
  void lblAvsluta_MouseUp(std::int16_t Index, std::int16_t Button, std::int16_t Shift, float X, float Y);
  void LblNyFärg_MouseDown(std::int16_t Index, std::int16_t Button, std::int16_t Shift, float X, float Y);
  void LblNyFärg_DblClick(std::int16_t Index);
  void LblNyFärg_MouseUp(std::int16_t Index, std::int16_t Button, std::int16_t Shift, float X, float Y);
  void lblGerUpp_MouseDown(std::int16_t Index, std::int16_t Button, std::int16_t Shift, float X, float Y);
  void lblGerUpp_MouseUp(std::int16_t Index, std::int16_t Button, std::int16_t Shift, float X, float Y);
  void lblGerUpp_Click(std::int16_t Index) { game.lblGerUpp_Click(Index); }

  // Unloads the window; as the only window this ends the program.
  void Unload() { unloaded_ = true; }

  // The host's view of this form: looks, timers and events.
  FormView View();

  // FormEvents: the host's calls, routed to the handlers above.
  void KeyDown(std::int16_t keyCode, std::int16_t shift) override { Form_KeyDown(keyCode, shift); }
  void KeyUp(std::int16_t keyCode, std::int16_t shift) override { Form_KeyUp(keyCode, shift); }
  void MouseDown(EventGroup group, std::int16_t index, std::int16_t button, std::int16_t shift,
                 float x, float y) override;
  void MouseUp(EventGroup group, std::int16_t index, std::int16_t button, std::int16_t shift,
               float x, float y) override;
  void Click(EventGroup group, std::int16_t index) override;
  void DblClick(EventGroup group, std::int16_t index) override;
  void Close() override { Unload(); }
  bool Unloaded() const override { return unloaded_; }

 private:
  void PressNewColour();

  bool unloaded_ = false;
  // The colour that was playing when "Visa mej" was last pressed: a click that ends that press
  // reveals nothing if a new colour started meanwhile.
  std::uint64_t gerUppPressColour_ = 0;
};

}  // namespace kromi
