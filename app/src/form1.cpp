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
  view.timers = {{&controls.Timer1, [this] { game.Timer1_Timer(); }, [this] { return game.Timer1Quiet(); }},
                 {&controls.Timer2, [this] { game.Timer2_Timer(); }, {}}};
  view.events = this;
  return view;
}

namespace {

// Every press and release writes the copies in this order: shadow Left, shadow Top, highlight
// Left, highlight Top; then comes the button's action.
void PlaceCopies(std::array<Label, 3>& button, float shadowLeft, float shadowTop, float highlightLeft,
                 float highlightTop) {
  button[2].Left = shadowLeft;
  button[2].Top = shadowTop;
  button[1].Left = highlightLeft;
  button[1].Top = highlightTop;
}

// "Ny färg" places its copies one unit from the face, which never moves.
void PressNyFärgCopies(std::array<Label, 3>& b) {
  PlaceCopies(b, b[0].Left - 1, b[0].Top - 1, b[0].Left + 1, b[0].Top + 1);
}
void RestNyFärgCopies(std::array<Label, 3>& b) {
  PlaceCopies(b, b[0].Left + 1, b[0].Top + 1, b[0].Left - 1, b[0].Top - 1);
}

// "Visa mej" writes fixed places around its face at (218, 208).
void PressGerUppCopies(std::array<Label, 3>& b) { PlaceCopies(b, 217, 207, 219, 209); }
void RestGerUppCopies(std::array<Label, 3>& b) { PlaceCopies(b, 219, 209, 217, 207); }

}  // namespace

void Form1::lblAvsluta_MouseDown(std::int16_t, std::int16_t, std::int16_t, float, float) {
  // "Avsluta" moves each copy by 2 from wherever it stands, so presses add up.
  auto& b = controls.lblAvsluta;
  PlaceCopies(b, b[2].Left - 2, b[2].Top - 2, b[1].Left + 2, b[1].Top + 2);
}

void Form1::lblAvsluta_MouseUp(std::int16_t, std::int16_t, std::int16_t, float, float) {
  auto& b = controls.lblAvsluta;
  PlaceCopies(b, b[2].Left + 2, b[2].Top + 2, b[1].Left - 2, b[1].Top - 2);
  Unload();
}

void Form1::PressNewColour() {
  PressNyFärgCopies(controls.LblNyFärg);
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
  RestNyFärgCopies(controls.LblNyFärg);
  game.NewColourDown = kFalse;
}

void Form1::lblGerUpp_MouseDown(std::int16_t, std::int16_t, std::int16_t, float, float) {
  if (game.Revealed != kFalse) return;
  PressGerUppCopies(controls.lblGerUpp);
  lblGerUpp_Click(0);
}

void Form1::lblGerUpp_MouseUp(std::int16_t, std::int16_t, std::int16_t, float, float) {
  // The release only restores the rest places. It does not mark the colour as revealed: the press
  // already did, and a colour started meanwhile (Down key) has not been shown.
  RestGerUppCopies(controls.lblGerUpp);
}

void Form1::Form_KeyDown(std::int16_t KeyCode, std::int16_t /*Shift*/) {
  if (KeyCode == kKeyEscape) {
    Unload();
  } else if (KeyCode == kKeyLeft) {
    Unload();
  } else if (KeyCode == kKeyDown) {
    if (game.NewColourDown == kFalse) {
      // The key's own order: the colour first, then the copies, then the flag.
      game.NewColour();
      PressNyFärgCopies(controls.LblNyFärg);
    }
    game.NewColourDown = kTrue;
    controls.Timer1.Enabled(true);
  } else if (KeyCode == kKeyRight) {
    if (game.Revealed == kFalse) {
      PressGerUppCopies(controls.lblGerUpp);
      lblGerUpp_Click(0);
    }
  } else {
    game.NumberPadKeyDown(KeyCode);
  }
}

void Form1::Form_KeyUp(std::int16_t KeyCode, std::int16_t /*Shift*/) {
  if (KeyCode == kKeyDown) {
    if (game.NewColourDown == kTrue) RestNyFärgCopies(controls.LblNyFärg);
    game.NewColourDown = kFalse;
  } else if (KeyCode == kKeyRight) {
    RestGerUppCopies(controls.lblGerUpp);
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
