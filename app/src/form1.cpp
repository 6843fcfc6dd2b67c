#include "kromi/app/form1.h"

#include "kromi/res/artwork.h"

namespace kromi {

Form1::Form1(RandomSource& random, SoundCues& cues) : game(controls, random, cues) {}

FormView Form1::View() {
  FormView view;
  view.caption = std::string(kForm1.Caption);
  view.clientWidth = kForm1.ClientWidth;
  view.clientHeight = kForm1.ClientHeight;
  view.backColor = kForm1.BackColor;
  view.icon = &TheArtwork().icon;
  view.drawingOrder = &controls.DrawingOrder();
  view.timers = {{&controls.Timer1, [this] { game.Timer1_Timer(); }},
                 {&controls.Timer2, [this] { game.Timer2_Timer(); }}};
  view.events = this;
  return view;
}

// Each press and release writes shadow Left, shadow Top, highlight Left, highlight Top, in that
// order, before the button's action.

void Form1::lblAvsluta_MouseDown(std::int16_t, std::int16_t, std::int16_t, float, float) {
  auto& b = controls.lblAvsluta;
  b[2].Left = b[2].Left - 2;
  b[2].Top = b[2].Top - 2;
  b[1].Left = b[1].Left + 2;
  b[1].Top = b[1].Top + 2;
}

void Form1::lblAvsluta_MouseUp(std::int16_t, std::int16_t, std::int16_t, float, float) {
  auto& b = controls.lblAvsluta;
  b[2].Left = b[2].Left + 2;
  b[2].Top = b[2].Top + 2;
  b[1].Left = b[1].Left - 2;
  b[1].Top = b[1].Top - 2;
  Unload();
}

void Form1::PressNewColour() {
  auto& b = controls.LblNyFärg;
  b[2].Left = b[0].Left - 1;
  b[2].Top = b[0].Top - 1;
  b[1].Left = b[0].Left + 1;
  b[1].Top = b[0].Top + 1;
  game.NewColourDown = kTrue;
  game.NewColour();
  controls.Timer1.Enabled(true);
}

void Form1::LblNyFärg_MouseDown(std::int16_t, std::int16_t, std::int16_t, float, float) {
  if (game.NewColourDown == kFalse) PressNewColour();
}

void Form1::LblNyFärg_DblClick(std::int16_t) {
  if (game.NewColourDown == kFalse) PressNewColour();
}

void Form1::LblNyFärg_MouseUp(std::int16_t, std::int16_t, std::int16_t, float, float) {
  auto& b = controls.LblNyFärg;
  b[2].Left = b[0].Left + 1;
  b[2].Top = b[0].Top + 1;
  b[1].Left = b[0].Left - 1;
  b[1].Top = b[0].Top - 1;
  game.NewColourDown = kFalse;
}

void Form1::lblGerUpp_MouseDown(std::int16_t, std::int16_t, std::int16_t, float, float) {
  if (game.Revealed != kFalse) return;
  auto& b = controls.lblGerUpp;
  b[2].Left = 217;
  b[2].Top = 207;
  b[1].Left = 219;
  b[1].Top = 209;
  lblGerUpp_Click(0);
}

void Form1::lblGerUpp_MouseUp(std::int16_t, std::int16_t, std::int16_t, float, float) {
  // The release only restores the rest places. It does not mark the colour as revealed: the press
  // already did, and a colour started meanwhile (Down key) has not been shown.
  auto& b = controls.lblGerUpp;
  b[2].Left = 219;
  b[2].Top = 209;
  b[1].Left = 217;
  b[1].Top = 207;
}

void Form1::Form_KeyDown(std::int16_t KeyCode, std::int16_t /*Shift*/) {
  if (KeyCode == kKeyEscape) {
    Unload();
  } else if (KeyCode == kKeyLeft) {
    Unload();
  } else if (KeyCode == kKeyDown) {
    if (game.NewColourDown == kFalse) {
      game.NewColour();
      auto& b = controls.LblNyFärg;
      b[2].Left = b[0].Left - 1;
      b[2].Top = b[0].Top - 1;
      b[1].Left = b[0].Left + 1;
      b[1].Top = b[0].Top + 1;
    }
    game.NewColourDown = kTrue;
    controls.Timer1.Enabled(true);
  } else if (KeyCode == kKeyRight) {
    if (game.Revealed == kFalse) {
      auto& b = controls.lblGerUpp;
      b[2].Left = 217;
      b[2].Top = 207;
      b[1].Left = 219;
      b[1].Top = 209;
      lblGerUpp_Click(0);
    }
  } else {
    game.NumberPadKeyDown(KeyCode);
  }
}

void Form1::Form_KeyUp(std::int16_t KeyCode, std::int16_t /*Shift*/) {
  if (KeyCode == kKeyDown) {
    if (game.NewColourDown == kTrue) {
      auto& b = controls.LblNyFärg;
      b[2].Left = b[0].Left + 1;
      b[2].Top = b[0].Top + 1;
      b[1].Left = b[0].Left - 1;
      b[1].Top = b[0].Top - 1;
    }
    game.NewColourDown = kFalse;
  } else if (KeyCode == kKeyRight) {
    auto& b = controls.lblGerUpp;
    b[2].Left = 219;
    b[2].Top = 209;
    b[1].Left = 217;
    b[1].Top = 207;
  } else {
    game.NumberPadKeyUp(KeyCode);
  }
}

void Form1::MouseDown(EventGroup group, std::int16_t index, std::int16_t button,
                      std::int16_t shift, float x, float y) {
  switch (group) {
    case kGroupAvsluta: lblAvsluta_MouseDown(index, button, shift, x, y); break;
    case kGroupNyFärg: LblNyFärg_MouseDown(index, button, shift, x, y); break;
    case kGroupGerUpp:
      gerUppPressColour_ = game.ColoursStarted;
      lblGerUpp_MouseDown(index, button, shift, x, y);
      break;
    default: break;
  }
}

void Form1::MouseUp(EventGroup group, std::int16_t index, std::int16_t button, std::int16_t shift,
                    float x, float y) {
  switch (group) {
    case kGroupAvsluta: lblAvsluta_MouseUp(index, button, shift, x, y); break;
    case kGroupNyFärg: LblNyFärg_MouseUp(index, button, shift, x, y); break;
    case kGroupGerUpp: lblGerUpp_MouseUp(index, button, shift, x, y); break;
    default: break;
  }
}

void Form1::Click(EventGroup group, std::int16_t index) {
  // With the mouse the answer is shown on the press; the click that follows only ever repeats
  // it, and must not reveal a colour that started while the button was held.
  if (group == kGroupGerUpp && game.ColoursStarted == gerUppPressColour_) lblGerUpp_Click(index);
}

void Form1::DblClick(EventGroup group, std::int16_t index) {
  if (group == kGroupNyFärg) LblNyFärg_DblClick(index);
}

}  // namespace kromi
