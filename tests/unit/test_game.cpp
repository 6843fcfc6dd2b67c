#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "kromi/game/game.h"

namespace kromi {
namespace {

using Cues = std::vector<std::string>;

// A game on a fresh window, with scripted targets and recorded cues.
struct GameRig {
  Form1Controls c;
  test::ScriptedSteps random;
  test::RecordingCues cues;
  Game g{c, random, cues};

  explicit GameRig(std::initializer_list<int> steps) : random(steps) {}
  void Load() {
    g.Form_Load();
    cues.played.clear();
  }
  float Top(int i) const { return c.imgPot[static_cast<std::size_t>(i)].Top; }
  double Level(int i) const { return g.Channel[static_cast<std::size_t>(i)].Level; }
  Colour Fill() const { return c.shpDuk.FillColor; }
  bool HexShown() const { return c.lblHex[1].Visible && c.lblHex[2].Visible && c.lblHex[3].Visible; }
  bool HexHidden() const { return !c.lblHex[1].Visible && !c.lblHex[2].Visible && !c.lblHex[3].Visible; }
  Colour BlinkColour() const { return c.shpRam[2].BorderColor; }
  int CountCue(const std::string& cue) const {
    int n = 0;
    for (const auto& p : cues.played) n += p == cue;
    return n;
  }
};

// ---- New colour ----------------------------------------------------------------------------

TEST(NewColour, DrawsRedGreenBlueAndShowsThemOnTheRingWithHiddenHexLabels) {
  GameRig r{7, 0, 9};
  r.g.Form_Load();
  EXPECT_EQ(r.random.seeds.size(), 1u);  // seeded from the clock first
  EXPECT_EQ(r.g.Target, (std::array<double, 4>{0, 7, 0, 9}));
  EXPECT_EQ(r.g.Answer, (std::array<double, 4>{0, 205, 30, 255}));
  EXPECT_EQ(r.c.lblHex[1].Caption, "CD");
  EXPECT_EQ(r.c.lblHex[2].Caption, "1E");
  EXPECT_EQ(r.c.lblHex[3].Caption, "FF");
  EXPECT_TRUE(r.HexHidden());
  EXPECT_TRUE(r.c.lblHex[0].Visible);
  EXPECT_EQ(r.c.shpRam[0].BorderColor, RGB(205, 30, 255));
  EXPECT_TRUE(r.c.shpRam[0].Visible);
}

TEST(NewColour, PutsTheMixBackToItsStartAndPlaysNyLast) {
  GameRig r{3, 3, 3, 5, 5, 5};
  r.Load();
  r.g.NumberPadKeyDown(100);
  for (int i = 0; i < 4; ++i) r.g.Timer1_Timer();
  r.g.lblGerUpp_Click(0);
  r.cues.played.clear();
  r.g.NewColour();
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(r.Top(i), 170) << i;
    EXPECT_EQ(r.Level(i), 30) << i;
  }
  EXPECT_EQ(r.g.Revealed, kFalse);
  EXPECT_EQ(r.Fill(), RGB(30, 30, 30));
  EXPECT_TRUE(r.c.shpDuk.Visible);
  EXPECT_EQ(r.cues.played, (Cues{"\\Ny.wav"}));
  EXPECT_EQ(r.g.Counter, 4);
  EXPECT_EQ(r.c.lblHex[1].Caption, "9B");
}

TEST(NewColour, LeavesMotionsFlagsAndTimersAlone) {
  GameRig r{1, 1, 1};
  r.Load();
  r.g.NumberPadKeyDown(100);
  r.g.NumberPadKeyDown(98);
  r.g.NewColourDown = kTrue;
  r.g.AllMatch = kTrue;
  r.c.Timer1.Enabled(false);
  r.c.Timer2.Enabled(true);
  r.g.NewColour();
  EXPECT_EQ(r.g.Channel[1].Motion, 1);
  EXPECT_EQ(r.g.Channel[2].Motion, 2);
  EXPECT_EQ(r.g.Channel[3].Motion, 0);
  EXPECT_EQ(r.g.NewColourDown, kTrue);
  EXPECT_EQ(r.g.AllMatch, kTrue);
  EXPECT_FALSE(r.c.Timer1.Enabled());
  EXPECT_TRUE(r.c.Timer2.Enabled());
}

TEST(NewColour, PlaysNyAfterTheKnobsAndBeforeTheFill) {
  // The cue is the last sound, once the target is in place; the fill follows it.
  struct Probe final : SoundCues {
    GameRig* r = nullptr;
    std::vector<float> topsAtCue;
    Colour fillAtCue = 0;
    std::int32_t Play(std::string_view) override {
      topsAtCue = {r->Top(1), r->Top(2), r->Top(3)};
      fillAtCue = r->Fill();
      return 1;
    }
  };
  GameRig r{4, 4, 4};
  Probe probe;
  probe.r = &r;
  Game g(r.c, r.random, probe);
  r.c.imgPot[1].Top = 26;
  r.c.shpDuk.FillColor = RGB(1, 2, 3);
  g.NewColour();
  EXPECT_EQ(probe.topsAtCue, (std::vector<float>{170, 170, 170}));
  EXPECT_EQ(probe.fillAtCue, RGB(1, 2, 3));
  EXPECT_EQ(r.Fill(), RGB(30, 30, 30));
  EXPECT_EQ(SoundResult, 1);
}

// ---- Stepping ------------------------------------------------------------------------------

TEST(Stepping, HoldingNumpad4RaisesRedNineStepsThenStopsSilently) {
  GameRig r{9, 0, 9};  // unreachable by red alone
  r.Load();
  r.g.NumberPadKeyDown(100);
  for (int tick = 1; tick <= 9; ++tick) {
    r.g.NumberPadKeyDown(100);  // key repeat sets the same motion again
    r.g.Timer1_Timer();
    EXPECT_EQ(r.Top(1), 170 - 16 * tick);
    EXPECT_EQ(r.Level(1), 30 + 25 * tick);
    EXPECT_EQ(r.Fill(), RGB(30 + 25 * tick, 30, 30));
    EXPECT_EQ(r.g.Counter, 4);
  }
  EXPECT_EQ(r.CountCue("\\Pot.wav"), 9);
  r.cues.played.clear();
  for (int tick = 0; tick < 5; ++tick) r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(1), 26);
  EXPECT_EQ(r.Level(1), 255);
  EXPECT_TRUE(r.cues.played.empty());
}

TEST(Stepping, LoweringAtTheBottomDoesNothingAndPlaysNothing) {
  GameRig r{5, 5, 5};
  r.Load();
  r.g.NumberPadKeyDown(97);
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(1), 170);
  EXPECT_EQ(r.Level(1), 30);
  EXPECT_TRUE(r.cues.played.empty());
}

TEST(Stepping, TwoChannelsInOneTickRedFirstEachWithItsCue) {
  GameRig r{5, 5, 5};
  r.Load();
  r.g.NumberPadKeyDown(101);
  r.g.NumberPadKeyDown(100);
  r.g.Timer1_Timer();
  EXPECT_EQ(r.cues.played, (Cues{"\\Pot.wav", "\\Pot.wav"}));
  EXPECT_EQ(r.Top(1), 154);
  EXPECT_EQ(r.Top(2), 154);
  EXPECT_EQ(r.Top(3), 170);
  EXPECT_EQ(r.Fill(), RGB(55, 55, 30));
}

TEST(Stepping, LowerKeyTurnsARaisingChannelAndItsReleaseStopsIt) {
  GameRig r{9, 9, 9};
  r.Load();
  r.g.NumberPadKeyDown(102);
  r.g.Timer1_Timer();
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(3), 138);
  r.g.NumberPadKeyDown(99);  // number pad 3 while 6 is held
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(3), 154);
  EXPECT_EQ(r.Level(3), 55);
  r.g.NumberPadKeyUp(99);  // 6 is still down, but the channel stops
  EXPECT_EQ(r.g.Channel[3].Motion, 0);
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(3), 154);
}

TEST(Stepping, EitherKeyOfAChannelStopsItAndOtherKeysDoNothing) {
  GameRig r{9, 9, 9};
  r.Load();
  r.g.NumberPadKeyDown(98);
  r.g.NumberPadKeyUp(101);
  EXPECT_EQ(r.g.Channel[2].Motion, 0);
  r.g.NumberPadKeyDown(100);
  for (std::int16_t code : std::initializer_list<std::int16_t>{0, 13, 38, 49, 96, 103, 104, 105, 65}) {
    r.g.NumberPadKeyDown(code);
    r.g.NumberPadKeyUp(code);
  }
  EXPECT_EQ(r.g.Channel[1].Motion, 1);
  EXPECT_EQ(r.g.Channel[2].Motion, 0);
  EXPECT_EQ(r.g.Channel[3].Motion, 0);
}

TEST(Stepping, PressAndReleaseBetweenTwoTicksMovesNothing) {
  GameRig r{9, 9, 9};
  r.Load();
  r.g.NumberPadKeyDown(100);
  r.g.NumberPadKeyUp(100);
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(1), 170);
  EXPECT_TRUE(r.cues.played.empty());
}

TEST(Stepping, KnobsOffTheGridStillStopAtTheThresholds) {
  GameRig r{9, 9, 9};
  r.Load();
  r.c.imgPot[1].Top = 167.5f;  // just inside the lower threshold: one more step down
  r.g.NumberPadKeyDown(97);
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(1), 183.5f);
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(1), 183.5f);
  r.c.imgPot[2].Top = 32.0f;  // on the upper threshold: no step up
  r.g.NumberPadKeyDown(101);
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(2), 32.0f);
}

// ---- Match and blink -----------------------------------------------------------------------

TEST(Match, TheTickThatReachesTheTargetStopsMixingAndCelebrates) {
  GameRig r{2, 0, 0};
  r.Load();
  r.g.NumberPadKeyDown(100);
  r.g.Timer1_Timer();
  EXPECT_TRUE(r.c.Timer1.Enabled());
  EXPECT_TRUE(r.HexHidden());
  r.g.Timer1_Timer();
  EXPECT_FALSE(r.c.Timer1.Enabled());
  EXPECT_TRUE(r.HexShown());
  EXPECT_TRUE(r.c.Timer2.Enabled());
  EXPECT_EQ(r.g.AllMatch, kTrue);
  EXPECT_EQ(r.cues.played, (Cues{"\\Pot.wav", "\\Pot.wav", "\\Boom.wav"}));
  EXPECT_EQ(r.g.BlinkPhase, 0);
}

TEST(Match, TwoChannelsEqualAndOneAStepOffIsNoMatch) {
  GameRig r{0, 0, 1};
  r.Load();
  r.g.Timer1_Timer();
  EXPECT_EQ(r.g.AllMatch, kFalse);
  EXPECT_TRUE(r.c.Timer1.Enabled());
  EXPECT_FALSE(r.c.Timer2.Enabled());
  EXPECT_EQ(r.g.Counter, 4);
  EXPECT_TRUE(r.cues.played.empty());
}

TEST(Match, TheStartingMixAsTargetMatchesOnTheFirstTickWithNoKey) {
  GameRig r{0, 0, 0};
  r.Load();
  r.g.Timer1_Timer();
  EXPECT_FALSE(r.c.Timer1.Enabled());
  EXPECT_EQ(r.cues.played, (Cues{"\\Boom.wav"}));
}

std::vector<Colour> RunBlink(GameRig& r, int ticks) {
  std::vector<Colour> seen;
  for (int i = 0; i < ticks && r.c.Timer2.Enabled(); ++i) {
    r.g.Timer2_Timer();
    seen.push_back(r.BlinkColour());
  }
  return seen;
}

constexpr Colour W = 0xFFFFFF, G = 0x808080;

TEST(Blink, ShowsWhiteThreeTimesAndEndsOnItsSeventhTick) {
  GameRig r{0, 0, 0};
  r.Load();
  r.g.Timer1_Timer();
  std::vector<Colour> seen;
  for (int i = 0; i < 6; ++i) {
    r.g.Timer2_Timer();
    const Colour c = r.BlinkColour();
    seen.push_back(c);
    for (Colour other : {r.c.shpBar[1].BorderColor, r.c.shpBar[2].BorderColor, r.c.shpBar[3].BorderColor,
                         r.c.lblAvsluta[2].ForeColor, r.c.LblNyFärg[2].ForeColor, r.c.lblGerUpp[2].ForeColor})
      EXPECT_EQ(other, c) << "tick " << i + 1;
  }
  EXPECT_EQ(seen, (std::vector<Colour>{W, G, W, G, W, G}));
  EXPECT_TRUE(r.c.Timer2.Enabled());
  r.g.Timer2_Timer();
  EXPECT_FALSE(r.c.Timer2.Enabled());
  EXPECT_EQ(r.g.BlinkPhase, 0);
  EXPECT_EQ(r.BlinkColour(), G);
}

TEST(Blink, ANewColourOrARevealDuringTheBlinkNeitherStretchesNorCutsIt) {
  for (int interrupt = 0; interrupt < 2; ++interrupt) {
    GameRig r{0, 0, 0, 5, 5, 5};
    r.Load();
    r.g.Timer1_Timer();
    r.g.Timer2_Timer();
    r.g.Timer2_Timer();
    if (interrupt == 0) {
      r.g.NewColour();
      r.c.Timer1.Enabled(true);
    } else {
      r.g.lblGerUpp_Click(0);
    }
    std::vector<Colour> rest;
    for (int i = 0; i < 20 && r.c.Timer2.Enabled(); ++i) {
      if (i % 2 == 0) r.g.Timer1_Timer();  // Timer1 ticks at half the blink's rate
      r.g.Timer2_Timer();
      rest.push_back(r.BlinkColour());
    }
    EXPECT_EQ(rest, (std::vector<Colour>{W, G, W, G, G})) << "interrupt " << interrupt;
    EXPECT_FALSE(r.c.Timer2.Enabled());
    EXPECT_EQ(r.g.Counter, 4);
  }
}

TEST(Blink, AMatchDuringABlinkStartsItAgainAtPhaseOne) {
  GameRig r{0, 0, 0, 0, 0, 0};
  r.Load();
  r.g.Timer1_Timer();
  RunBlink(r, 4);
  r.g.NewColour();
  r.c.Timer1.Enabled(true);
  r.g.Timer1_Timer();  // the new target is the starting mix again: matched at once
  EXPECT_EQ(r.g.BlinkPhase, 0);
  EXPECT_EQ(RunBlink(r, 10), (std::vector<Colour>{W, G, W, G, W, G, G}));
}

// ---- Reveal --------------------------------------------------------------------------------

TEST(Reveal, FromTheStartJumpsToTheAnswerWithNoPotCue) {
  GameRig r{2, 9, 0};
  r.Load();
  r.g.lblGerUpp_Click(0);
  EXPECT_EQ(r.Top(1), 138);
  EXPECT_EQ(r.Top(2), 26);
  EXPECT_EQ(r.Top(3), 170);
  EXPECT_EQ(r.Level(1), 80);
  EXPECT_EQ(r.Level(2), 255);
  EXPECT_EQ(r.Level(3), 30);
  EXPECT_EQ(r.Fill(), RGB(80, 255, 30));
  EXPECT_TRUE(r.HexShown());
  EXPECT_EQ(r.g.Revealed, kTrue);
  EXPECT_EQ(r.cues.played, (Cues{"\\Visa.wav"}));
  EXPECT_TRUE(r.c.Timer1.Enabled());  // ticks go on, idle
}

TEST(Reveal, ASecondRevealPlaysNothing) {
  GameRig r{2, 9, 0};
  r.Load();
  r.g.lblGerUpp_Click(0);
  r.cues.played.clear();
  r.c.imgPot[1].Top = 100;
  r.g.lblGerUpp_Click(0);
  EXPECT_TRUE(r.cues.played.empty());
  EXPECT_EQ(r.Top(1), 100);
}

TEST(Reveal, AfterAMatchMovesNothingButPlaysVisa) {
  GameRig r{1, 0, 0};
  r.Load();
  r.g.NumberPadKeyDown(100);
  r.g.Timer1_Timer();
  ASSERT_FALSE(r.c.Timer1.Enabled());
  r.cues.played.clear();
  r.g.lblGerUpp_Click(0);
  EXPECT_EQ(r.Top(1), 154);
  EXPECT_EQ(r.Fill(), RGB(55, 30, 30));
  EXPECT_EQ(r.cues.played, (Cues{"\\Visa.wav"}));
  EXPECT_EQ(r.g.Revealed, kTrue);
}

TEST(Reveal, KeysAfterARevealMoveNothingAndNoMatchIsReported) {
  GameRig r{5, 0, 0};
  r.Load();
  r.g.lblGerUpp_Click(0);
  r.cues.played.clear();
  r.g.NumberPadKeyDown(97);
  for (int i = 0; i < 5; ++i) r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(1), 90);
  EXPECT_TRUE(r.cues.played.empty());
  EXPECT_FALSE(r.c.Timer2.Enabled());
  EXPECT_TRUE(r.c.Timer1.Enabled());
}

TEST(Reveal, AHeldRaiseKeyAfterANewColourMovesFromTheBottomOnTheFirstTick) {
  GameRig r{5, 5, 5, 9, 9, 9};
  r.Load();
  r.g.NumberPadKeyDown(100);
  r.g.lblGerUpp_Click(0);
  r.g.NewColour();
  r.g.Timer1_Timer();
  EXPECT_EQ(r.Top(1), 154);
  EXPECT_EQ(r.Level(1), 55);
}

}  // namespace
}  // namespace kromi
