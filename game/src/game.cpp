#include "kromi/game/game.h"

#include "kromi/core/runtime.h"

namespace kromi {

std::string modKromi::ToHex(double value) { return Hex(value); }

namespace {
std::size_t I(double counter) { return static_cast<std::size_t>(CInt(counter)); }
constexpr Colour kWhite = 0xFFFFFF;  // RGB(255, 255, 255)
constexpr Colour kGrey = 0x808080;   // RGB(128, 128, 128)
}  // namespace

void Game::Form_Load() {
  Randomize(random_);
  NewColour();
}

void Game::NewColour() {
  ++ColoursStarted;
  c_.shpDuk.Visible = false;
  c_.shpDuk.Visible = true;
  for (int i = 1; i <= 3; ++i) Target[static_cast<std::size_t>(i)] = Int(Rnd(random_) * 10);
  for (Counter = 1; Counter <= 3; ++Counter) {
    const std::size_t i = I(Counter);
    Answer[i] = Target[i] * 25 + 30;
    c_.lblHex[i].Caption = modKromi::ToHex(Answer[i]);
    c_.lblHex[i].Visible = false;
  }
  c_.shpRam[0].Visible = false;
  c_.shpRam[0].BorderColor = RGB(Answer[1], Answer[2], Answer[3]);
  c_.shpRam[0].Visible = true;
  Revealed = kFalse;
  for (Counter = 1; Counter <= 3; ++Counter) {
    const std::size_t i = I(Counter);
    c_.imgPot[i].Top = 255;
    c_.imgPot[i].Top = 170;
    Channel[i].Level = 30;
  }
  PlayCue(cues_, "\\Ny.wav");
  c_.shpDuk.FillColor = RGB(30, 30, 30);
}

void Game::Step(int channel, float move, double change) {
  const auto i = static_cast<std::size_t>(channel);
  PlayCue(cues_, "\\Pot.wav");
  c_.imgPot[i].Visible = false;
  c_.imgPot[i].Top = c_.imgPot[i].Top + move;
  c_.imgPot[i].Visible = true;
  Channel[i].Level = Channel[i].Level + change;
  c_.shpDuk.Visible = false;
  c_.shpDuk.FillColor = RGB(Channel[1].Level, Channel[2].Level, Channel[3].Level);
  c_.shpDuk.Visible = true;
}

void Game::Timer1_Timer() {
  if (Revealed) return;
  for (Counter = 1; Counter <= 3; ++Counter) {
    const std::size_t i = I(Counter);
    // The thresholds sit between grid positions, so a knob on the grid stops exactly at its ends.
    if (Channel[i].Motion == 2 && c_.imgPot[i].Top < 168.0f) Step(static_cast<int>(i), 16.0f, -25);
    if (Channel[i].Motion == 1 && c_.imgPot[i].Top > 32.0f) Step(static_cast<int>(i), -16.0f, 25);
  }
  CheckMatch();
}

bool Game::Timer1Quiet() const {
  if (Revealed) return true;
  if (Counter != 4 || AllMatch != kFalse) return false;
  bool match = true;
  for (std::size_t i = 1; i <= 3; ++i) {
    if (Channel[i].Motion == 2 && c_.imgPot[i].Top < 168.0f) return false;
    if (Channel[i].Motion == 1 && c_.imgPot[i].Top > 32.0f) return false;
    if (Target[i] * 25 + 30 != Channel[i].Level) match = false;
  }
  return !match;
}

void Game::CheckMatch() {
  AllMatch = kTrue;
  for (Counter = 1; Counter <= 3; ++Counter) {
    const std::size_t i = I(Counter);
    if (Target[i] * 25 + 30 != Channel[i].Level) AllMatch = kFalse;
  }
  if (AllMatch != kTrue) return;
  c_.Timer1.Enabled(false);
  for (Counter = 1; Counter <= 3; ++Counter) c_.lblHex[I(Counter)].Visible = true;
  BlinkPhase = 0;
  PlayCue(cues_, "\\Boom.wav");
  c_.Timer2.Enabled(true);
}

void Game::SetBlinkTargets(Colour colour) {
  c_.shpRam[2].BorderColor = colour;
  c_.shpBar[1].BorderColor = colour;
  c_.shpBar[2].BorderColor = colour;
  c_.shpBar[3].BorderColor = colour;
  c_.lblAvsluta[2].ForeColor = colour;
  c_.LblNyFärg[2].ForeColor = colour;
  c_.lblGerUpp[2].ForeColor = colour;
}

void Game::Timer2_Timer() {
  BlinkPhase = BlinkPhase + 1;
  if (BlinkPhase == 1 || BlinkPhase == 3 || BlinkPhase == 5) {
    SetBlinkTargets(kWhite);
  } else if (BlinkPhase == 2 || BlinkPhase == 4 || BlinkPhase == 6) {
    SetBlinkTargets(kGrey);
  } else if (BlinkPhase > 6) {
    BlinkPhase = 0;
    c_.Timer2.Enabled(false);
  }
}

void Game::lblGerUpp_Click(std::int16_t /*Index*/) {
  if (Revealed) return;
  for (Counter = 1; Counter <= 3; ++Counter) {
    const std::size_t i = I(Counter);
    c_.imgPot[i].Visible = false;
    c_.imgPot[i].Top = static_cast<float>(170 - Target[i] * 16);
    c_.imgPot[i].Visible = true;
    Channel[i].Level = Target[i] * 25 + 30;
    c_.lblHex[i].Visible = true;
  }
  PlayCue(cues_, "\\Visa.wav");
  c_.shpDuk.Visible = false;
  c_.shpDuk.FillColor = RGB(Target[1] * 25 + 30, Target[2] * 25 + 30, Target[3] * 25 + 30);
  c_.shpDuk.Visible = true;
  Revealed = kTrue;
}

void Game::NumberPadKeyDown(std::int16_t KeyCode) {
  if (KeyCode == 97) Channel[1].Motion = 2;
  else if (KeyCode == 98) Channel[2].Motion = 2;
  else if (KeyCode == 99) Channel[3].Motion = 2;
  else if (KeyCode == 100) Channel[1].Motion = 1;
  else if (KeyCode == 101) Channel[2].Motion = 1;
  else if (KeyCode == 102) Channel[3].Motion = 1;
}

void Game::NumberPadKeyUp(std::int16_t KeyCode) {
  if (KeyCode == 97 || KeyCode == 100) Channel[1].Motion = 0;
  else if (KeyCode == 98 || KeyCode == 101) Channel[2].Motion = 0;
  else if (KeyCode == 99 || KeyCode == 102) Channel[3].Motion = 0;
}

}  // namespace kromi
