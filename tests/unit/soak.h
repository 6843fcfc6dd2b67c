#pragma once
// A model-checked soak of Form1 without a window. A seeded generator throws keys, mouse buttons
// and timer ticks at the form in random interleavings; after every handler call a small model of
// the rules predicts the new state, and after every event the invariants are checked. A failure
// is replayed and shrunk to the shortest sequence that still fails, so it can be read and fixed.
// Shared by the short soak in the unit tests and the long one in tools/soak.cpp.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kromi/app/form1.h"
#include "kromi/core/mouse.h"
#include "kromi/core/scheduler.h"

namespace kromi::soak {

// ---- Events ----------------------------------------------------------------------------------

enum class Kind : std::uint8_t {
  kKeyDown,     // code, shift (a repeat is a key-down of a held key)
  kKeyUp,       // code, shift
  kPress,       // button, x, y, clicks, shift
  kRelease,     // button, x, y, shift
  kReleaseAll,  // code: the buttons still down (a focus change)
  kMotion,      // x, y
  kTimer1,      // a tick, when the timer is enabled, as the scheduler would fire it
  kTimer2,
  kAdvance,     // ms: the clock moves on and the scheduler fires what is due
  kClose,       // the window manager closes the window
};

struct Event {
  Kind kind = Kind::kTimer1;
  std::int16_t code = 0;  // key code, mouse button, or the still-down mask
  std::int16_t shift = 0;
  std::int16_t clicks = 1;
  std::int16_t ms = 0;
  float x = 0, y = 0;
  std::uint32_t id = 0;  // its place in the run as generated: keys the targets it draws
};

inline std::string Describe(const Event& e) {
  std::ostringstream out;
  const auto shift = [&] {
    if (e.shift != 0) out << " shift=" << e.shift;
  };
  switch (e.kind) {
    case Kind::kKeyDown: out << "KeyDown " << e.code; shift(); break;
    case Kind::kKeyUp: out << "KeyUp " << e.code; shift(); break;
    case Kind::kPress:
      out << "Press button=" << e.code << " at (" << e.x << "," << e.y << ") clicks=" << e.clicks;
      shift();
      break;
    case Kind::kRelease: out << "Release button=" << e.code << " at (" << e.x << "," << e.y << ")"; shift(); break;
    case Kind::kReleaseAll: out << "ReleaseAllBut " << e.code; break;
    case Kind::kMotion: out << "Motion to (" << e.x << "," << e.y << ")"; break;
    case Kind::kTimer1: out << "Timer1"; break;
    case Kind::kTimer2: out << "Timer2"; break;
    case Kind::kAdvance: out << "Advance " << e.ms << " ms"; break;
    case Kind::kClose: out << "Close"; break;
  }
  out << "  [#" << e.id << "]";
  return out.str();
}

// ---- Deterministic randomness ----------------------------------------------------------------

inline std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// The game's targets. Seed is ignored: Form_Load seeds from the clock, and a failure must replay
// with the same targets. Each draw depends only on the run seed and the event that asked for it
// (its id), not on how many draws came before, so when shrinking cuts out an earlier new colour
// the colours that remain keep their targets. Steps 0 and 9 come up more often, since those ends
// are where a knob's stop rules and an early match live.
class TargetSource final : public RandomSource {
 public:
  explicit TargetSource(std::uint64_t runSeed) : runSeed_(runSeed) {}
  void Seed(std::uint64_t) override {}
  void ForEvent(std::uint32_t id) {
    id_ = id;
    draw_ = 0;
  }
  std::uint32_t Next() override {
    std::uint64_t state = runSeed_ ^ (static_cast<std::uint64_t>(id_) << 20) ^ draw_++;
    const std::uint64_t r = SplitMix(state);
    const std::uint64_t pick = r % 100;
    const std::uint64_t step = pick < 25 ? 0 : pick < 40 ? 9 : (r >> 8) % 10;
    // A 24-bit fraction well inside the step's tenth, clear of float rounding at its edges.
    const std::uint64_t lo = (step * 16777216u + 9u) / 10u + 8u;
    const std::uint64_t hi = ((step + 1) * 16777216u) / 10u - 8u;
    const std::uint64_t fraction = lo + (r >> 32) % (hi - lo);
    return static_cast<std::uint32_t>((fraction << 8) | (r >> 56));
  }

 private:
  std::uint64_t runSeed_;
  std::uint32_t id_ = 0xFFFFFFFFu;  // the load
  std::uint64_t draw_ = 0;
};

// ---- Cues ------------------------------------------------------------------------------------

enum Cue : std::size_t { kNy, kPot, kBoom, kVisa, kCueKinds };
inline constexpr std::array<std::string_view, kCueKinds> kCueTexts = {"\\Ny.wav", "\\Pot.wav", "\\Boom.wav",
                                                                     "\\Visa.wav"};

// Counts cues instead of keeping them: a long soak plays millions. Answers 1 and 0 in turn, so
// both results pass through the game.
class CountingCues final : public SoundCues {
 public:
  std::int32_t Play(std::string_view text) override {
    const auto at = std::find(kCueTexts.begin(), kCueTexts.end(), text);
    if (at == kCueTexts.end()) {
      ++unknown;
      lastUnknown = std::string(text);
    } else {
      const auto cue = static_cast<std::size_t>(at - kCueTexts.begin());
      ++counts[cue];
      order.push_back(static_cast<Cue>(cue));
    }
    return static_cast<std::int32_t>((counts[kNy] + counts[kPot] + counts[kBoom] + counts[kVisa]) & 1u);
  }
  std::array<std::uint64_t, kCueKinds> counts{};
  std::uint64_t unknown = 0;
  std::string lastUnknown;
  std::vector<Cue> order;  // since the model last looked
};

// ---- What the model sees of the form ---------------------------------------------------------

struct Place {
  float left = 0, top = 0;
  friend bool operator==(const Place&, const Place&) = default;
};

// The highlight (layer 1) and shadow (layer 2) copies of a button.
struct Copies {
  Place highlight, shadow;
  friend bool operator==(const Copies&, const Copies&) = default;
};

inline Copies CopiesOf(const std::array<Label, 3>& b) {
  return {{b[1].Left, b[1].Top}, {b[2].Left, b[2].Top}};
}
inline Copies RestCopies(const std::array<Label, 3>& b) {
  return {{b[0].Left - 1, b[0].Top - 1}, {b[0].Left + 1, b[0].Top + 1}};
}
inline Copies PressedCopies(const std::array<Label, 3>& b) {
  return {{b[0].Left + 1, b[0].Top + 1}, {b[0].Left - 1, b[0].Top - 1}};
}

// The knob step a level stands for, or -1 off the grid.
inline int StepOf(double level) {
  const double s = (level - 30) / 25;
  return s >= 0 && s <= 9 && s == std::floor(s) ? static_cast<int>(s) : -1;
}

inline constexpr Colour Rgb(int r, int g, int b) {
  return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}
inline constexpr Colour kWhite = Rgb(255, 255, 255);
inline constexpr Colour kGrey = Rgb(128, 128, 128);

struct Snap {
  std::array<int, 3> step{}, motion{}, target{};
  std::int16_t allMatch = 0, newColourDown = 0, revealed = 0;
  bool timer1 = false, timer2 = false, unloaded = false;
  std::array<bool, 3> hexShown{};
  double blinkPhase = 0;
  std::array<std::uint64_t, kCueKinds> cues{};
  std::uint64_t colours = 0;
  Copies avsluta, nyFärg, gerUpp;
  friend bool operator==(const Snap&, const Snap&) = default;
};

inline Snap Take(const Form1& f, const CountingCues& cues) {
  Snap s;
  const Game& g = f.game;
  const Form1Controls& c = f.controls;
  for (std::size_t i = 1; i <= 3; ++i) {
    s.step[i - 1] = StepOf(g.Channel[i].Level);
    s.motion[i - 1] = static_cast<int>(g.Channel[i].Motion * 8);  // exact for the legal 0, 1, 2
    s.target[i - 1] = static_cast<int>(g.Target[i] * 8);
    s.hexShown[i - 1] = c.lblHex[i].Visible;
  }
  s.allMatch = g.AllMatch;
  s.newColourDown = g.NewColourDown;
  s.revealed = g.Revealed;
  s.timer1 = c.Timer1.Enabled();
  s.timer2 = c.Timer2.Enabled();
  s.unloaded = f.Unloaded();
  s.blinkPhase = g.BlinkPhase;
  s.cues = cues.counts;
  s.colours = g.ColoursStarted;
  s.avsluta = CopiesOf(c.lblAvsluta);
  s.nyFärg = CopiesOf(c.LblNyFärg);
  s.gerUpp = CopiesOf(c.lblGerUpp);
  return s;
}

inline std::string Show(const Snap& s) {
  std::ostringstream out;
  const auto three = [&](const char* name, const std::array<int, 3>& v, int scale) {
    out << name << "=(" << v[0] / scale << "," << v[1] / scale << "," << v[2] / scale << ") ";
  };
  three("step", s.step, 1);
  three("target", s.target, 8);
  three("motion", s.motion, 8);
  out << "AllMatch=" << s.allMatch << " NewColourDown=" << s.newColourDown << " Revealed=" << s.revealed
      << " Timer1=" << s.timer1 << " Timer2=" << s.timer2 << " BlinkPhase=" << s.blinkPhase
      << " unloaded=" << s.unloaded << " hex=" << s.hexShown[0] << s.hexShown[1] << s.hexShown[2]
      << " cues(Ny,Pot,Boom,Visa)=(" << s.cues[0] << "," << s.cues[1] << "," << s.cues[2] << "," << s.cues[3]
      << ") colours=" << s.colours;
  const auto copies = [&](const char* name, const Copies& c) {
    out << " " << name << "=(" << c.highlight.left << "," << c.highlight.top << "/" << c.shadow.left << ","
        << c.shadow.top << ")";
  };
  copies("Avsluta", s.avsluta);
  copies("NyFärg", s.nyFärg);
  copies("GerUpp", s.gerUpp);
  return out.str();
}

struct Violation {
  std::string check;   // which rule: failures are only the same failure if this matches
  std::string detail;
};

// A deliberate fault, for showing that the checks notice one: runs after each event's handlers
// and before the checks.
using Fault = std::function<void(Form1&, const Event&)>;

struct Stats {
  std::uint64_t events = 0, runs = 0, colours = 0, steps = 0, matches = 0, reveals = 0;
  std::uint64_t timer1Ticks = 0, timer2Ticks = 0, blinksEnded = 0, scheduledTicks = 0;
  std::uint64_t mouseDowns = 0, mouseUps = 0, clicks = 0, doubleClicks = 0;
  std::uint64_t unloadsByKey = 0, unloadsByButton = 0, closes = 0;
};

// ---- One run: a fresh Form1 after Form_Load, until it unloads --------------------------------

class Rig final : public FormEvents {
 public:
  Rig(std::uint64_t runSeed, Stats* stats = nullptr, Fault fault = {})
      : random_(runSeed), stats_(stats ? stats : &ownStats_), fault_(std::move(fault)) {
    form_.Form_Load();
    scheduler_.Add(form_.controls.Timer1, [this] { TickTimer1(true); });
    scheduler_.Add(form_.controls.Timer2, [this] { TickTimer2(true); });
    scheduler_.Sync();
    ++stats_->runs;
    const Snap now = Now();
    // The load starts the first colour with the mix at its start.
    Snap expected = now;
    expected.step = {0, 0, 0};
    expected.cues = {1, 0, 0, 0};
    expected.colours = 1;
    expected.revealed = kFalse;
    expected.hexShown = {false, false, false};
    Expect(expected, now, "Form_Load");
    CheckInvariants();
  }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  const Form1& form() const { return form_; }
  const MouseRouter& mouse() const { return mouse_; }

  // Runs one event; the first rule it breaks, if any.
  std::optional<Violation> Apply(const Event& e) {
    ++stats_->events;
    random_.ForEvent(e.id);
    switch (e.kind) {
      case Kind::kKeyDown: PressKey(e.code, e.shift); break;
      case Kind::kKeyUp: ReleaseKey(e.code, e.shift); break;
      case Kind::kPress: mouse_.Press(e.code, e.x, e.y, e.clicks, e.shift); break;
      case Kind::kRelease: mouse_.Release(e.code, e.x, e.y, e.shift); break;
      case Kind::kReleaseAll: mouse_.ReleaseAllBut(e.code, e.shift); break;
      case Kind::kMotion: mouse_.Motion(e.x, e.y); break;
      case Kind::kTimer1:
        if (form_.controls.Timer1.Enabled()) TickTimer1(false);
        break;
      case Kind::kTimer2:
        if (form_.controls.Timer2.Enabled()) TickTimer2(false);
        break;
      case Kind::kAdvance:
        clock_.AdvanceMs(e.ms);
        scheduler_.FireDue([this] { return form_.Unloaded(); });
        break;
      case Kind::kClose: {
        form_.Close();
        ++stats_->closes;
        Snap expected = model_;
        expected.unloaded = true;
        Expect(expected, Now(), "Close");
        break;
      }
    }
    if (fault_) fault_(form_, e);
    scheduler_.Sync();
    TrackColourCues();
    CheckInvariants();
    // Between handler calls nothing may change: this also covers events no handler received.
    Expect(model_, Now(), "the whole event");
    return std::exchange(violation_, std::nullopt);
  }

  // FormEvents, between the mouse router and the form: each delivery is predicted and checked.
  void KeyDown(std::int16_t, std::int16_t) override {}
  void KeyUp(std::int16_t, std::int16_t) override {}
  void Close() override {}
  bool Unloaded() const override { return form_.Unloaded(); }

  void MouseDown(EventGroup group, std::int16_t index, std::int16_t button, std::int16_t shift, float x,
                 float y) override {
    ++stats_->mouseDowns;
    const Snap before = model_;
    const std::uint64_t pressColour = before.colours;
    form_.MouseDown(group, index, button, shift, x, y);
    Snap expected = before;
    const Snap after = Now();
    const auto& c = form_.controls;
    if (group == kGroupAvsluta) {
      expected.avsluta.highlight = {before.avsluta.highlight.left + 2, before.avsluta.highlight.top + 2};
      expected.avsluta.shadow = {before.avsluta.shadow.left - 2, before.avsluta.shadow.top - 2};
    } else if (group == kGroupNyFärg) {
      PressNewColour(expected, after);
    } else if (group == kGroupGerUpp) {
      gerUppPressColour_ = pressColour;
      if (before.revealed == kFalse) {
        expected.gerUpp = PressedCopies(c.lblGerUpp);
        Reveal(expected);
      }
    }
    Expect(expected, after, "MouseDown on group", group);
  }

  void MouseUp(EventGroup group, std::int16_t index, std::int16_t button, std::int16_t shift, float x,
               float y) override {
    ++stats_->mouseUps;
    const Snap before = model_;
    form_.MouseUp(group, index, button, shift, x, y);
    Snap expected = before;
    const auto& c = form_.controls;
    if (group == kGroupAvsluta) {
      expected.avsluta.highlight = {before.avsluta.highlight.left - 2, before.avsluta.highlight.top - 2};
      expected.avsluta.shadow = {before.avsluta.shadow.left + 2, before.avsluta.shadow.top + 2};
      expected.unloaded = true;
      ++stats_->unloadsByButton;
    } else if (group == kGroupNyFärg) {
      expected.nyFärg = RestCopies(c.LblNyFärg);
      expected.newColourDown = kFalse;
    } else if (group == kGroupGerUpp) {
      expected.gerUpp = RestCopies(c.lblGerUpp);
    }
    Expect(expected, Now(), "MouseUp on group", group);
  }

  void Click(EventGroup group, std::int16_t index) override {
    ++stats_->clicks;
    const Snap before = model_;
    form_.Click(group, index);
    Snap expected = before;
    // A click only ever repeats the press's reveal, and only for the colour that was pressed.
    if (group == kGroupGerUpp && before.colours == gerUppPressColour_ && before.revealed == kFalse) Reveal(expected);
    Expect(expected, Now(), "Click on group", group);
  }

  void DblClick(EventGroup group, std::int16_t index) override {
    ++stats_->doubleClicks;
    const Snap before = model_;
    form_.DblClick(group, index);
    Snap expected = before;
    const Snap after = Now();
    if (group == kGroupNyFärg) PressNewColour(expected, after);
    Expect(expected, after, "DblClick on group", group);
  }

 private:
  Snap Now() const { return Take(form_, cues_); }

  void Fail(std::string check, std::string detail) {
    if (!violation_) violation_ = Violation{std::move(check), std::move(detail)};
  }

  // what names the handler call; number, when not -1, its key code or label group.
  // The model moves on to expected either way: the first difference is the one reported.
  void Expect(const Snap& expected, const Snap& got, std::string_view what, int number = -1) {
    TrackColourCues();
    model_ = expected;
    if (expected == got) return;
    std::string call(what);
    if (number != -1) call += " " + std::to_string(number);
    Fail("model", "after " + call + "\n    expected " + Show(expected) + "\n    got      " + Show(got));
  }

  // A new colour: the draw itself is random, so the targets are taken from what happened and
  // checked by the invariants instead.
  static void NewColour(Snap& expected, const Snap& after) {
    ++expected.cues[kNy];
    ++expected.colours;
    expected.step = {0, 0, 0};
    expected.target = after.target;
    expected.revealed = kFalse;
    expected.hexShown = {false, false, false};
  }

  void PressNewColour(Snap& expected, const Snap& after) const {
    if (expected.newColourDown != kFalse) return;
    NewColour(expected, after);
    expected.nyFärg = PressedCopies(form_.controls.LblNyFärg);
    expected.newColourDown = kTrue;
    expected.timer1 = true;
  }

  static void Reveal(Snap& expected) {
    ++expected.cues[kVisa];
    for (std::size_t i = 0; i < 3; ++i) expected.step[i] = expected.target[i] / 8;
    expected.hexShown = {true, true, true};
    expected.revealed = kTrue;
  }

  void PressKey(std::int16_t code, std::int16_t shift) {
    const Snap before = model_;
    static_cast<FormEvents&>(form_).KeyDown(code, shift);
    const Snap after = Now();
    Snap expected = before;
    const auto& c = form_.controls;
    if (code == kKeyEscape || code == kKeyLeft) {
      expected.unloaded = true;
      ++stats_->unloadsByKey;
    } else if (code == kKeyDown) {
      if (before.newColourDown == kFalse) {
        NewColour(expected, after);
        expected.nyFärg = PressedCopies(c.LblNyFärg);
      }
      expected.newColourDown = kTrue;
      expected.timer1 = true;
    } else if (code == kKeyRight) {
      if (before.revealed == kFalse) {
        expected.gerUpp = PressedCopies(c.lblGerUpp);
        Reveal(expected);
      }
    } else if (code >= 97 && code <= 102) {
      expected.motion[static_cast<std::size_t>((code - 97) % 3)] = code < 100 ? 16 : 8;
    }
    Expect(expected, after, "KeyDown", code);
  }

  void ReleaseKey(std::int16_t code, std::int16_t shift) {
    const Snap before = model_;
    static_cast<FormEvents&>(form_).KeyUp(code, shift);
    Snap expected = before;
    const auto& c = form_.controls;
    if (code == kKeyDown) {
      if (before.newColourDown == kTrue) expected.nyFärg = RestCopies(c.LblNyFärg);
      expected.newColourDown = kFalse;
    } else if (code == kKeyRight) {
      expected.gerUpp = RestCopies(c.lblGerUpp);
    } else if (code >= 97 && code <= 102) {
      expected.motion[static_cast<std::size_t>((code - 97) % 3)] = 0;
    }
    Expect(expected, Now(), "KeyUp", code);
  }

  void TickTimer1(bool scheduled) {
    ++stats_->timer1Ticks;
    if (scheduled) ++stats_->scheduledTicks;
    const Snap before = model_;
    // The host skips the ticks the game calls quiet: such a tick must change nothing whatever.
    const bool quiet = form_.game.Timer1Quiet();
    const Snap actualBefore = Now();
    const double counterBefore = form_.game.Counter;
    const std::array<float, 3> topsBefore = {form_.controls.imgPot[1].Top, form_.controls.imgPot[2].Top,
                                             form_.controls.imgPot[3].Top};
    form_.game.Timer1_Timer();
    if (quiet && (!(Now() == actualBefore) || form_.game.Counter != counterBefore ||
                  topsBefore != std::array<float, 3>{form_.controls.imgPot[1].Top, form_.controls.imgPot[2].Top,
                                                     form_.controls.imgPot[3].Top})) {
      Fail("quiet-tick", "a Timer1 tick called quiet changed the game: before " + Show(actualBefore) + "\n    after  " +
                             Show(Now()));
    }
    Snap expected = before;
    if (before.revealed == kFalse) {
      // A knob moves one step a tick and stops at its ends; then the match check runs.
      for (std::size_t i = 0; i < 3; ++i) {
        int& s = expected.step[i];
        if (before.motion[i] == 16 && s > 0) --s, ++expected.cues[kPot];
        if (before.motion[i] == 8 && s < 9) ++s, ++expected.cues[kPot];
      }
      bool match = true;
      for (std::size_t i = 0; i < 3; ++i) match = match && expected.step[i] * 8 == before.target[i];
      expected.allMatch = match ? kTrue : kFalse;
      if (match) {
        expected.timer1 = false;
        expected.timer2 = true;
        expected.blinkPhase = 0;
        expected.hexShown = {true, true, true};
        ++expected.cues[kBoom];
      }
    }
    Expect(expected, Now(), scheduled ? "a scheduled Timer1 tick" : "Timer1 tick");
  }

  void TickTimer2(bool scheduled) {
    ++stats_->timer2Ticks;
    if (scheduled) ++stats_->scheduledTicks;
    const Snap before = model_;
    form_.game.Timer2_Timer();
    ++blinkTicks_;
    Snap expected = before;
    expected.blinkPhase = before.blinkPhase + 1;
    if (expected.blinkPhase > 6) {
      expected.blinkPhase = 0;
      expected.timer2 = false;
      ++stats_->blinksEnded;
    }
    Expect(expected, Now(), scheduled ? "a scheduled Timer2 tick" : "Timer2 tick");
  }

  // Follows the colour and match cues in the order they were played.
  void TrackColourCues() {
    for (const Cue cue : cues_.order) {
      if (cue == kNy) {
        matchedThisColour_ = false;
        ++stats_->colours;
      } else if (cue == kBoom) {
        matchedThisColour_ = true;
        blinkTicks_ = 0;
        blinkStarted_ = true;
        ++stats_->matches;
      } else if (cue == kVisa) {
        ++stats_->reveals;
      } else if (cue == kPot) {
        ++stats_->steps;
      }
    }
    cues_.order.clear();
  }

  void CheckInvariants() {
    const Game& g = form_.game;
    const Form1Controls& c = form_.controls;
    std::array<int, 4> level{};
    for (std::size_t i = 1; i <= 3; ++i) {
      const double lv = g.Channel[i].Level;
      const float top = c.imgPot[i].Top;
      const int s = StepOf(lv);
      if (lv < 30 || lv > 255) Fail("level-range", "channel " + std::to_string(i) + " level " + std::to_string(lv));
      if (s < 0 || top != static_cast<float>(170 - 16 * s)) {
        Fail("knob-grid", "knob " + std::to_string(i) + ": Top " + std::to_string(top) + " with level " +
                              std::to_string(lv));
      }
      level[i] = s < 0 ? 0 : 30 + 25 * s;
      const double m = g.Channel[i].Motion;
      if (m != 0 && m != 1 && m != 2) Fail("motion", "channel " + std::to_string(i) + " motion " + std::to_string(m));
      const double t = g.Target[i];
      if (t < 0 || t > 9 || t != std::floor(t)) Fail("target", "channel " + std::to_string(i) + " target " + std::to_string(t));
      if (!c.imgPot[i].Visible) Fail("visible", "knob " + std::to_string(i) + " left hidden");
    }
    for (const auto& [name, flag] : {std::pair{"AllMatch", g.AllMatch}, std::pair{"NewColourDown", g.NewColourDown},
                                     std::pair{"Revealed", g.Revealed}}) {
      if (flag != kTrue && flag != kFalse) Fail("flags", std::string(name) + " = " + std::to_string(flag));
    }
    if (violation_) return;  // what follows reads the levels and targets as grid steps

    const auto answer = [&](std::size_t i) { return static_cast<int>(g.Target[i]) * 25 + 30; };
    const Colour mix = Rgb(level[1], level[2], level[3]);
    const Colour wanted = Rgb(answer(1), answer(2), answer(3));
    if (c.shpDuk.FillColor != mix) Fail("canvas", "fill " + Hex(c.shpDuk.FillColor) + " for the mix " + Hex(mix));
    if (!c.shpDuk.Visible) Fail("visible", "canvas left hidden");
    if (c.shpRam[0].BorderColor != wanted) {
      Fail("frame", "ring " + Hex(c.shpRam[0].BorderColor) + " for the target " + Hex(wanted));
    }
    for (std::size_t i = 1; i <= 3; ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(answer(i)));
      if (c.lblHex[i].Caption != hex) Fail("frame", "hex label " + std::to_string(i) + " reads " + c.lblHex[i].Caption);
      if (c.lblHex[i].Visible != (matchedThisColour_ || g.Revealed == kTrue)) {
        Fail("hex", "hex label " + std::to_string(i) + (c.lblHex[i].Visible ? " shown" : " hidden") +
                        (g.Revealed ? " after a reveal" : matchedThisColour_ ? " after a match" : " before a match"));
      }
    }
    if (!c.Timer1.Enabled() && mix != wanted) {
      Fail("timer1", "Timer1 stopped with the mix " + Hex(mix) + " short of the target " + Hex(wanted));
    }
    if (c.Timer2.Enabled() && (!blinkStarted_ || blinkTicks_ >= 7)) {
      Fail("blink", "Timer2 still on " + std::to_string(blinkTicks_) + " ticks after the blink started");
    }
    // The seven blinking parts share one colour: white on odd ticks, grey on even ones and at rest.
    if (blinkStarted_ && blinkTicks_ > 0) {
      const Colour expectedColour = c.Timer2.Enabled() && blinkTicks_ % 2 == 1 ? kWhite : kGrey;
      const Colour parts[] = {c.shpRam[2].BorderColor, c.shpBar[1].BorderColor, c.shpBar[2].BorderColor,
                              c.shpBar[3].BorderColor, c.lblAvsluta[2].ForeColor, c.LblNyFärg[2].ForeColor,
                              c.lblGerUpp[2].ForeColor};
      for (const Colour part : parts) {
        if (part != expectedColour) {
          Fail("blink-colour", "a blink part is " + Hex(part) + " at blink tick " + std::to_string(blinkTicks_));
          break;
        }
      }
    }
    if (cues_.unknown != 0) Fail("cue", "played \"" + cues_.lastUnknown + "\"");
    if (cues_.counts[kNy] != g.ColoursStarted) {
      Fail("colours", std::to_string(cues_.counts[kNy]) + " Ny cues for " + std::to_string(g.ColoursStarted) +
                          " colours");
    }
    const Copies ny = CopiesOf(c.LblNyFärg);
    const bool nyPressed = ny == PressedCopies(c.LblNyFärg);
    if (!nyPressed && ny != RestCopies(c.LblNyFärg)) Fail("buttons", "Ny färg's copies are neither at rest nor pressed");
    if (nyPressed != (g.NewColourDown == kTrue)) {
      Fail("buttons", std::string("Ny färg looks ") + (nyPressed ? "pressed" : "up") + " with NewColourDown " +
                          std::to_string(g.NewColourDown));
    }
    const Copies gu = CopiesOf(c.lblGerUpp);
    if (gu != RestCopies(c.lblGerUpp) && gu != PressedCopies(c.lblGerUpp)) {
      Fail("buttons", "Visa mej's copies are neither at rest nor pressed");
    }
  }

  static std::string Hex(Colour colour) {
    char text[12];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(colour));
    return text;
  }

  TargetSource random_;
  CountingCues cues_;
  Form1 form_{random_, cues_};
  MouseRouter mouse_{form_.controls.DrawingOrder(), *this};
  ManualClock clock_;
  Scheduler scheduler_{clock_};
  Stats ownStats_;
  Stats* stats_;
  Fault fault_;
  std::optional<Violation> violation_;
  Snap model_;  // what the rules say the form's state is now
  std::uint64_t gerUppPressColour_ = 0;
  bool matchedThisColour_ = false;
  bool blinkStarted_ = false;
  int blinkTicks_ = 0;
};

// ---- The generator ---------------------------------------------------------------------------

// Produces events the way a restless player and a busy system would: mostly number-pad keys,
// often steered towards the target so that matches are common, timer ticks, presses and
// releases of every mouse button, clicks and double clicks, stray keys and lost releases.
// Unloading events are rare, so that runs last long enough to build up state.
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : state_(seed) {}

  // A fresh form: nothing is held any more.
  void Restart() {
    heldKeys_.clear();
    phaseLeft_ = 0;
  }

  // Appends the next one to four events for rig.
  void Next(const Rig& rig, std::vector<Event>& out) {
    const Form1& f = rig.form();
    // Stretches of play aimed at the target alternate with stretches of anything at all, so that
    // matches and the blinks after them are common and chaos still reaches every state.
    if (phaseLeft_ == 0) {
      focused_ = Below(5) < 2;
      phaseLeft_ = 10 + Below(80);
    }
    --phaseLeft_;
    if (focused_ && Below(10) != 0) {
      const std::uint32_t r = Below(100);
      const bool spent = !f.controls.Timer1.Enabled() || f.game.Revealed != kFalse;
      if (spent && !f.controls.Timer2.Enabled() && r < 30) {
        // The colour is done with: on to the next, as a player would.
        Push(out, Key(Kind::kKeyDown, kKeyDown));
        Push(out, Key(Kind::kKeyUp, kKeyDown));
      } else if (r < 45) {
        Push(out, f.controls.Timer1.Enabled() ? Tick(Kind::kTimer1) : Advance());
      } else if (r < 85) {
        Push(out, Steer(f));
      } else {
        Push(out, f.controls.Timer2.Enabled() ? Tick(Kind::kTimer2) : Advance());
      }
      return;
    }
    const std::uint32_t roll = Below(1000);
    if (roll < 230) {
      Push(out, f.controls.Timer1.Enabled() ? Tick(Kind::kTimer1) : Advance());
    } else if (roll < 320) {
      Push(out, f.controls.Timer2.Enabled() ? Tick(Kind::kTimer2) : NumberPadDown(f));
    } else if (roll < 380) {
      Push(out, Advance());
    } else if (roll < 580) {
      Push(out, NumberPadDown(f));
    } else if (roll < 700) {
      Push(out, KeyUp());
    } else if (roll < 715) {
      Push(out, Key(Kind::kKeyDown, Below(3) == 0 ? kKeyRight : kKeyDown));
    } else if (roll < 760) {
      Push(out, Tick(Kind::kTimer1));
    } else if (roll < 785) {
      const auto code = static_cast<std::int16_t>(OtherKey());
      Push(out, Key(Kind::kKeyDown, code));
      if (Below(2) == 0) Push(out, Key(Kind::kKeyUp, code));
    } else if (roll < 880) {
      Push(out, Press(rig, Button(), Clicks()));
    } else if (roll < 950) {
      Push(out, Release(rig));
    } else if (roll < 975) {
      const Event p = Press(rig, Button(), 1);
      Push(out, p);
      Push(out, ReleaseAt(p));
    } else if (roll < 990) {
      const Event p = Press(rig, Button(), 1);
      Push(out, p);
      Push(out, ReleaseAt(p));
      Event second = p;
      second.clicks = 2;
      Push(out, second);
      Push(out, ReleaseAt(second));
    } else if (roll < 996) {
      Event e;
      e.kind = Kind::kReleaseAll;
      e.code = static_cast<std::int16_t>(Below(8));
      Push(out, e);
    } else if (roll < 999) {
      Event e = Press(rig, kLeftButton, 1);
      e.kind = Kind::kMotion;
      Push(out, e);
    } else if (Below(5) == 0) {
      Event e;
      const std::uint32_t how = Below(3);
      e.kind = how == 0 ? Kind::kClose : Kind::kKeyDown;
      e.code = how == 1 ? kKeyEscape : kKeyLeft;
      Push(out, e);
    } else {
      Push(out, Tick(Kind::kTimer1));
    }
  }

 private:
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(SplitMix(state_) % n); }

  void Push(std::vector<Event>& out, const Event& e) {
    if (e.kind == Kind::kKeyDown && std::find(heldKeys_.begin(), heldKeys_.end(), e.code) == heldKeys_.end()) {
      heldKeys_.push_back(e.code);
    } else if (e.kind == Kind::kKeyUp) {
      heldKeys_.erase(std::remove(heldKeys_.begin(), heldKeys_.end(), e.code), heldKeys_.end());
    }
    out.push_back(e);
  }

  static Event Tick(Kind kind) {
    Event e;
    e.kind = kind;
    return e;
  }

  Event Advance() {
    Event e;
    e.kind = Kind::kAdvance;
    e.ms = static_cast<std::int16_t>(Below(4) == 0 ? 1 + Below(400) : 1 + Below(60));
    return e;
  }

  std::int16_t Shift() { return static_cast<std::int16_t>(Below(4) == 0 ? Below(8) : 0); }

  Event Key(Kind kind, std::int16_t code) {
    Event e;
    e.kind = kind;
    e.code = code;
    e.shift = Shift();
    return e;
  }

  // A stray key: anything but the two that unload the form.
  std::uint32_t OtherKey() {
    for (;;) {
      const std::uint32_t code = Below(4) == 0 ? 96 + Below(8) : Below(256);
      if (code != static_cast<std::uint32_t>(kKeyEscape) && code != static_cast<std::uint32_t>(kKeyLeft)) return code;
    }
  }

  Event NumberPadDown(const Form1& f) {
    if (!heldKeys_.empty() && Below(3) == 0) {  // a repeat
      return Key(Kind::kKeyDown, heldKeys_[Below(static_cast<std::uint32_t>(heldKeys_.size()))]);
    }
    if (Below(3) != 0) return Steer(f);
    return Key(Kind::kKeyDown, static_cast<std::int16_t>(97 + Below(6)));
  }

  // As a player would: one channel towards its target, and let go once it is there.
  Event Steer(const Form1& f) {
    const std::size_t i = 1 + Below(3);
    const double target = f.game.Target[i] * 25 + 30, level = f.game.Channel[i].Level;
    const auto lower = static_cast<std::int16_t>(96 + i), raise = static_cast<std::int16_t>(99 + i);
    const double motion = f.game.Channel[i].Motion;
    if (target < level && motion != 2) return Key(Kind::kKeyDown, lower);
    if (target > level && motion != 1) return Key(Kind::kKeyDown, raise);
    if (target == level && motion != 0) return Key(Kind::kKeyUp, motion == 2 ? lower : raise);
    return Key(Kind::kKeyDown, target < level ? lower : raise);  // a repeat, or a nudge at the target
  }

  Event KeyUp() {
    if (!heldKeys_.empty() && Below(5) != 0) {
      return Key(Kind::kKeyUp, heldKeys_[Below(static_cast<std::uint32_t>(heldKeys_.size()))]);
    }
    const std::uint32_t r = Below(4);
    const std::uint32_t code = r == 0 ? kKeyDown : r == 1 ? kKeyRight : r == 2 ? 97 + Below(6) : OtherKey();
    return Key(Kind::kKeyUp, static_cast<std::int16_t>(code));
  }

  std::int16_t Button() {
    const std::uint32_t r = Below(10);
    return r < 7 ? kLeftButton : r < 9 ? kRightButton : kMiddleButton;
  }

  std::int16_t Clicks() {
    const std::uint32_t r = Below(10);
    return static_cast<std::int16_t>(r < 7 ? 1 : r < 9 ? 2 : 3);
  }

  static bool Inside(const Label& l, float x, float y) {
    return x >= l.Left && y >= l.Top && x < l.Left + l.Width && y < l.Top + l.Height;
  }

  // A point on Ny färg or Visa mej most of the time, on Avsluta very rarely (its release ends the
  // run), anywhere in and around the window otherwise.
  void Point(const Rig& rig, float& x, float& y) {
    const Form1Controls& c = rig.form().controls;
    const std::uint32_t r = Below(1000);
    const std::array<Label, 3>* button = r < 200 ? &c.LblNyFärg : r < 350 ? &c.lblGerUpp : r < 352 ? &c.lblAvsluta : nullptr;
    if (button) {
      const Label& l = (*button)[Below(3)];
      x = l.Left - 2 + static_cast<float>(Below(static_cast<std::uint32_t>(2 * l.Width + 8))) / 2;
      y = l.Top - 2 + static_cast<float>(Below(static_cast<std::uint32_t>(2 * l.Height + 8))) / 2;
      return;
    }
    for (;;) {
      x = -10 + static_cast<float>(Below(2 * (kForm1.ClientWidth + 20))) / 2;
      y = -10 + static_cast<float>(Below(2 * (kForm1.ClientHeight + 20))) / 2;
      const bool onAvsluta = Inside(c.lblAvsluta[0], x, y) || Inside(c.lblAvsluta[1], x, y) || Inside(c.lblAvsluta[2], x, y);
      if (!onAvsluta || Below(100) == 0) return;
    }
  }

  Event Press(const Rig& rig, std::int16_t button, std::int16_t clicks) {
    Event e;
    e.kind = Kind::kPress;
    e.code = button;
    e.clicks = clicks;
    e.shift = Shift();
    Point(rig, e.x, e.y);
    return e;
  }

  Event ReleaseAt(const Event& press) {
    Event e = press;
    e.kind = Kind::kRelease;
    e.clicks = 1;
    return e;
  }

  Event Release(const Rig& rig) {
    Event e;
    e.kind = Kind::kRelease;
    e.shift = Shift();
    const std::int16_t held = rig.mouse().Held();
    if (held != 0 && Below(8) != 0) {
      do e.code = static_cast<std::int16_t>(1 << Below(3));
      while (!(held & e.code));
    } else {
      e.code = Button();
    }
    Point(rig, e.x, e.y);
    return e;
  }

  std::uint64_t state_;
  std::vector<std::int16_t> heldKeys_;
  bool focused_ = false;
  std::uint32_t phaseLeft_ = 0;
};

// ---- Replay and shrinking --------------------------------------------------------------------

struct Replayed {
  std::size_t index = 0;  // of the event after which the rule broke
  Violation violation;
};

// Plays events on a fresh run; the first violation. Events after an unload are not played: the
// form is gone, and a run never goes on past its unload.
inline std::optional<Replayed> Replay(std::uint64_t runSeed, std::span<const Event> events, const Fault& fault = {}) {
  Stats ignored;
  Rig rig(runSeed, &ignored, fault);
  for (std::size_t i = 0; i < events.size() && !rig.Unloaded(); ++i) {
    if (auto v = rig.Apply(events[i])) return Replayed{i, std::move(*v)};
  }
  return std::nullopt;
}

// The shortest sequence found that still breaks the same rule: chunks of halving size are cut
// out while the failure survives (delta debugging), then events are simplified one by one.
// budget caps the events replayed in all, so a failure that needs a long history still ends.
inline std::vector<Event> Shrink(std::uint64_t runSeed, std::vector<Event> events, const std::string& check,
                                 const Fault& fault = {}, std::uint64_t budget = 200'000'000) {
  const auto fails = [&](std::vector<Event>& candidate) {
    if (budget < candidate.size()) return false;
    budget -= candidate.size();
    const auto r = Replay(runSeed, candidate, fault);
    if (!r || r->violation.check != check) return false;
    candidate.resize(r->index + 1);
    return true;
  };
  if (!fails(events)) return events;  // not reproducible on its own: leave it whole

  for (std::size_t chunk = std::max<std::size_t>(events.size() / 2, 1);;) {
    bool removed = false;
    for (std::size_t start = 0; start < events.size() && budget > 0;) {
      std::vector<Event> candidate;
      candidate.reserve(events.size());
      candidate.insert(candidate.end(), events.begin(), events.begin() + static_cast<std::ptrdiff_t>(start));
      const std::size_t end = std::min(events.size(), start + chunk);
      candidate.insert(candidate.end(), events.begin() + static_cast<std::ptrdiff_t>(end), events.end());
      if (!candidate.empty() && fails(candidate)) {
        events = std::move(candidate);
        removed = true;
      } else {
        start += chunk;
      }
    }
    if (budget == 0 || (chunk == 1 && !removed)) break;
    chunk = std::max<std::size_t>(chunk / 2, 1);
  }

  // Plainer events read better: no shift, single clicks, short waits.
  for (std::size_t i = 0; i < events.size(); ++i) {
    for (int variant = 0; variant < 3; ++variant) {
      std::vector<Event> candidate = events;
      Event& e = candidate[i];
      if (variant == 0 && e.shift != 0) e.shift = 0;
      else if (variant == 1 && e.clicks != 1 && e.kind == Kind::kPress) e.clicks = 1;
      else if (variant == 2 && e.kind == Kind::kAdvance && e.ms > 100) e.ms = 100;
      else continue;
      if (fails(candidate) && candidate.size() == events.size()) events = std::move(candidate);
    }
  }
  return events;
}

// ---- The soak --------------------------------------------------------------------------------

struct Options {
  std::uint64_t seed = 1;
  std::uint64_t events = 300'000;
  std::uint64_t maxViolations = 1;  // stop after this many; each failing run is replaced by a fresh one
  bool shrink = true;
  Fault fault;
};

struct Failure {
  std::uint64_t runSeed = 0;
  std::uint64_t run = 0;          // counted from 0
  std::uint64_t eventInRun = 0;   // index of the breaking event in its run
  std::uint64_t eventInSoak = 0;  // index in the whole soak
  Violation violation;
  std::vector<Event> shortest;
};

struct Result {
  Stats stats;
  std::uint64_t violations = 0;
  std::optional<Failure> first;
};

inline std::uint64_t RunSeed(std::uint64_t seed, std::uint64_t run) {
  std::uint64_t s = seed ^ (run * 0xD1B54A32D192ED03ull);
  return SplitMix(s);
}

inline Result Soak(const Options& options) {
  Result result;
  Generator generator(RunSeed(options.seed, ~0ull));
  std::uint64_t run = 0;
  auto rig = std::make_unique<Rig>(RunSeed(options.seed, run), &result.stats, options.fault);
  std::vector<Event> runEvents, batch;
  while (result.stats.events < options.events && result.violations < options.maxViolations) {
    batch.clear();
    generator.Next(*rig, batch);
    for (Event& e : batch) {
      e.id = static_cast<std::uint32_t>(runEvents.size());
      runEvents.push_back(e);
      std::optional<Violation> v = rig->Apply(e);
      if (v) {
        ++result.violations;
        if (!result.first) {
          Failure f;
          f.runSeed = RunSeed(options.seed, run);
          f.run = run;
          f.eventInRun = runEvents.size() - 1;
          f.eventInSoak = result.stats.events - 1;
          f.violation = *v;
          f.shortest = options.shrink ? Shrink(f.runSeed, runEvents, v->check, options.fault) : runEvents;
          result.first = std::move(f);
        }
      }
      if (result.violations >= options.maxViolations) break;
      if (v || rig->Unloaded()) {
        ++run;
        rig.reset();
        rig = std::make_unique<Rig>(RunSeed(options.seed, run), &result.stats, options.fault);
        generator.Restart();
        runEvents.clear();
        break;
      }
    }
  }
  return result;
}

inline std::string Report(const Options& options, const Failure& f) {
  std::ostringstream out;
  out << "soak seed " << options.seed << ": rule \"" << f.violation.check << "\" broken at event " << f.eventInSoak
      << " (run " << f.run << ", its event " << f.eventInRun << ")\n  " << f.violation.detail << "\n"
      << "shortest failing sequence (" << f.shortest.size() << " events) on a fresh Form1 after Form_Load; each "
      << "new colour's target comes from run seed " << f.runSeed << " and the event's [#id]:\n";
  for (std::size_t i = 0; i < f.shortest.size(); ++i) out << "  " << (i + 1) << ". " << Describe(f.shortest[i]) << "\n";
  if (auto again = Replay(f.runSeed, f.shortest, options.fault)) out << "  which breaks: " << again->violation.detail << "\n";
  return out.str();
}

}  // namespace kromi::soak
