#pragma once
// The colour game: the form-level state of Form1 and the routines that change it.
#include <array>
#include <cstdint>
#include <string>

#include "kromi/core/random.h"
#include "kromi/core/sound.h"
#include "kromi/res/form1.h"

namespace kromi {

namespace modKromi {
// The hex text of an intensity, as the hex labels show it ("1E" for 30).
std::string ToHex(double value);
}  // namespace modKromi

inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// Channel index: 1 red, 2 green, 3 blue; element 0 of every array is never used.
struct ChannelState {
  double Motion = 0;  // 0 still, 1 raise, 2 lower
  double Level = 0;   // current intensity of the mix
};

class Game {
 public:
  Game(Form1Controls& controls, RandomSource& random, SoundCues& cues)
      : c_(controls), random_(random), cues_(cues) {}

  // The window's load event: seeds the random source and starts the first colour.
  void Form_Load();
  // Draws a new target and puts the mix back to its start. Leaves motions and timers alone.
  void NewColour();
  // A tick of Timer1: steps every moving channel once, then checks for a match.
  void Timer1_Timer();
  // True when a tick of Timer1 now would change nothing at all: no knob can move, the mix does not
  // equal the target (or the answer is shown), and Counter and AllMatch already hold what such a
  // tick would leave in them.
  bool Timer1Quiet() const;
  // Ends the mixing when the mix equals the target: hex labels, "Boom.wav", the blink.
  void CheckMatch();
  // A tick of Timer2: one phase of the success blink.
  void Timer2_Timer();
  // The reveal: knobs, levels and fill take the answer, once per colour.
  void lblGerUpp_Click(std::int16_t Index);
  // The number-pad rows of the key handlers; other codes do nothing.
  void NumberPadKeyDown(std::int16_t KeyCode);
  void NumberPadKeyUp(std::int16_t KeyCode);

  // Form-level variables.
  double Counter = 0;
  std::array<double, 4> Target{};
  std::array<double, 4> Answer{};
  std::array<ChannelState, 4> Channel{};
  std::int16_t AllMatch = kFalse;
  std::int16_t NewColourDown = kFalse;
  std::int16_t Revealed = kFalse;
  // The success blink's own phase: 0 at its start, 1..6 while it shows, reset when it ends.
  // Kept apart from Counter so that loops run during a blink cannot stretch or cut it.
  double BlinkPhase = 0;
  // Counts the colours started, so the host can tell whether a click belongs to this colour.
  std::uint64_t ColoursStarted = 0;

 private:
  void Step(int channel, float move, double change);
  void SetBlinkTargets(Colour colour);

  Form1Controls& c_;
  RandomSource& random_;
  SoundCues& cues_;
};

}  // namespace kromi
