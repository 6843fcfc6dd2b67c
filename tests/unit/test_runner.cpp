// The run loop every host shares, driven as a host drives it, with the real Form1, a manual
// clock and no window.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes.h"
#include "kromi/app/form1.h"
#include "kromi/runner/runner.h"

namespace kromi {
namespace {

constexpr std::int16_t kRaiseRed = 100;  // number pad 4
constexpr float kNyFärgX = 150, kAvslutaX = 50, kButtonY = 220;

// No text: the labels keep the sizes the window definition gives them.
struct NoGlyphs final : Glyphs {
  TextFace* Get(const Font&, int) override { return nullptr; }
};

// A host as the platforms are: it sleeps for what the runner says, presents every frame due and
// keeps a record of both.
struct FakeHost {
  test::ScriptedSteps random{5, 5, 5};  // (155, 155, 155): red alone never matches it
  test::RecordingCues cues;
  Form1 form{random, cues};
  NoGlyphs glyphs;
  ManualClock clock;
  Runner runner;
  std::vector<int> sleeps;
  int presented = 0;
  bool unloaded = false;

  FakeHost() : runner((form.Form_Load(), form.View()), glyphs, 1, clock) { Take(runner.Peek()); }

  // What a host does with an answer: present a frame when one is due, then note the sleep.
  Next Take(Next next) {
    if (next.frameDue) {
      runner.Draw();
      ++presented;
      next = runner.Peek();
    }
    sleeps.push_back(next.SleepMs());
    unloaded = next.unloaded;
    return next;
  }
  // Sleeps as told (or ms, when nothing is due) and wakes.
  Next SleepAndWake(double ms = -1) {
    EXPECT_TRUE(ms >= 0 || sleeps.back() >= 0) << "told to sleep until an event";
    clock.AdvanceMs(ms >= 0 ? ms : sleeps.back());
    return Take(runner.Wake());
  }
  double Level(int channel) const { return form.game.Channel[static_cast<std::size_t>(channel)].Level; }
  bool NyFärgAtRest() const {
    const auto& b = form.controls.LblNyFärg;
    return b[1].Left == b[0].Left - 1 && b[2].Left == b[0].Left + 1;
  }
};

TEST(Runner, SleepsUntilTheTickRoundedUpNeverEarlyNeverLateByMoreThanAMillisecond) {
  FakeHost h;
  EXPECT_EQ(h.sleeps.back(), -1) << "nothing moves at rest, so nothing is due";
  // A key at an odd moment: Timer1 kept its beat while quiet, so its tick is due on that beat.
  h.clock.AdvanceMs(1012.345);
  Next next = h.Take(h.runner.KeyDown(kRaiseRed, 0));
  ASSERT_TRUE(next.sleep.has_value());
  EXPECT_EQ(*next.sleep, 87'655);
  EXPECT_EQ(next.SleepMs(), 88) << "rounded up, never down";
  const double before = h.Level(1);
  // Waking a millisecond before the rounded sleep finds nothing due, and a millisecond is left.
  h.SleepAndWake(next.SleepMs() - 1);
  EXPECT_EQ(h.Level(1), before);
  EXPECT_EQ(h.sleeps.back(), 1) << "not a spin at 0";
  h.SleepAndWake();
  EXPECT_EQ(h.Level(1), before + 25) << "the rounded-up wake finds the tick due";
  // The next tick is an interval after the one due, not after the late wake.
  EXPECT_EQ(h.sleeps.back(), 100);
  h.SleepAndWake(100.5);
  EXPECT_EQ(h.Level(1), before + 50);
  EXPECT_EQ(h.sleeps.back(), 100) << "99.5 ms to the next beat rounds up to 100";
}

TEST(Runner, AStallGivesOneLateTickNotABurst) {
  FakeHost h;
  h.Take(h.runner.KeyDown(kRaiseRed, 0));
  const double before = h.Level(1);
  h.SleepAndWake(1000);  // ten intervals without a turn of the loop
  EXPECT_EQ(h.Level(1), before + 25);
  EXPECT_EQ(h.sleeps.back(), 100);
  h.SleepAndWake();
  EXPECT_EQ(h.Level(1), before + 50);
}

TEST(Runner, AKeyOrButtonReleasedWhileTheFocusWasGoneLeavesNothingMovingOrSunk) {
  FakeHost h;
  h.Take(h.runner.KeyDown(kRaiseRed, 0));
  h.Take(h.runner.KeyDown(kKeyDown, 0));
  h.Take(h.runner.MouseDown(kLeftButton, kNyFärgX, kButtonY, 1, 0));
  EXPECT_FALSE(h.NyFärgAtRest());
  h.SleepAndWake();
  const double level = h.Level(1);
  // The keys and the button go up in another window.
  h.Take(h.runner.FocusLost(0));
  EXPECT_TRUE(h.NyFärgAtRest());
  EXPECT_EQ(h.form.game.NewColourDown, kFalse);
  EXPECT_EQ(h.runner.ButtonsHeld(), 0);
  EXPECT_EQ(h.sleeps.back(), -1) << "no channel moving, so no tick due";
  h.SleepAndWake(500);
  EXPECT_EQ(h.Level(1), level);
  // The late releases, if the platform still sends them, change nothing more.
  h.Take(h.runner.KeyUp(kRaiseRed, 0));
  h.Take(h.runner.MouseUp(kLeftButton, kNyFärgX, kButtonY, 0));
  EXPECT_TRUE(h.NyFärgAtRest());
  EXPECT_FALSE(h.unloaded);
}

TEST(Runner, ButtonsTheMouseNoLongerHoldsAreReleasedTheRestKept) {
  FakeHost h;
  h.Take(h.runner.MouseDown(kLeftButton, kNyFärgX, kButtonY, 1, 0));
  h.Take(h.runner.ButtonsUpExcept(kLeftButton, 0));
  EXPECT_FALSE(h.NyFärgAtRest()) << "the left button is still down";
  h.Take(h.runner.ButtonsUpExcept(0, 0));
  EXPECT_TRUE(h.NyFärgAtRest());
}

TEST(Runner, AFrameOnlyWhenSomethingChanged) {
  FakeHost h;
  EXPECT_EQ(h.presented, 1) << "the first frame";
  h.Take(h.runner.Wake());
  h.Take(h.runner.KeyDown('A', 0));
  h.Take(h.runner.KeyUp('A', 0));
  h.Take(h.runner.MouseMove(5, 5));
  h.Take(h.runner.MouseDown(kLeftButton, 5, 5, 1, 0));  // off the buttons
  h.Take(h.runner.MouseUp(kLeftButton, 5, 5, 0));
  EXPECT_EQ(h.presented, 1) << "nothing changed";
  h.Take(h.runner.KeyDown(kRaiseRed, 0));
  EXPECT_EQ(h.presented, 1) << "the key only sets the motion";
  h.SleepAndWake();
  EXPECT_EQ(h.presented, 2) << "the knob moved";
  h.Take(h.runner.Exposed());
  EXPECT_EQ(h.presented, 3) << "an exposed window is drawn again";
  h.Take(h.runner.ScaleChanged(2));
  EXPECT_EQ(h.presented, 4);
  EXPECT_EQ(h.runner.Width(), 656);
  h.Take(h.runner.ScaleChanged(2));
  EXPECT_EQ(h.presented, 4) << "the same scale again is no change";
}

TEST(Runner, ClosingEndsTheLoopAsAvslutaDoes) {
  FakeHost closed;
  EXPECT_TRUE(closed.Take(closed.runner.Close()).unloaded);
  FakeHost quit;
  quit.Take(quit.runner.MouseDown(kLeftButton, kAvslutaX, kButtonY, 1, 0));
  EXPECT_FALSE(quit.unloaded) << "Avsluta quits on the release";
  EXPECT_TRUE(quit.Take(quit.runner.MouseUp(kLeftButton, 400, 400, 0)).unloaded);
  for (FakeHost* h : {&closed, &quit}) {
    // Nothing runs once the form has gone: not a tick, not a key.
    const std::size_t cues = h->cues.played.size();
    const int frames = h->presented;
    EXPECT_TRUE(h->Take(h->runner.KeyDown(kKeyDown, 0)).unloaded);
    EXPECT_TRUE(h->SleepAndWake(1000).unloaded);
    EXPECT_EQ(h->cues.played.size(), cues);
    EXPECT_EQ(h->presented, frames);
    EXPECT_EQ(h->sleeps.back(), -1);
  }
}

// Every property the renderer draws, changed one at a time on a control of each kind, makes a
// frame due: none can change unseen.
TEST(Runner, EveryDrawnPropertyMakesAFrameDue) {
  FakeHost h;
  Form1Controls& c = h.form.controls;
  Label& label = c.lblHex[1];
  Shape& shape = c.shpRam[0];
  Picture& picture = c.imgPot[1];
  static const PaletteImage kOther{1, 1, {Rgb8{1, 2, 3}}, {0}, -1};
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"label Caption", [&] { label.Caption += "X"; }},
      {"label Left", [&] { label.Left += 1; }},
      {"label Top", [&] { label.Top += 1; }},
      {"label font name", [&] { label.font.name += "X"; }},
      {"label font size", [&] { label.font.pixelSize += 1; }},
      {"label font bold", [&] { label.font.bold = !label.font.bold; }},
      {"label ForeColor", [&] { label.ForeColor ^= 1; }},
      {"label opaque", [&] { label.opaque = !label.opaque; }},
      {"label BackColor", [&] { label.BackColor ^= 1; }},
      {"label alignment", [&] {
         label.alignment = label.alignment == Alignment::Left ? Alignment::Centre : Alignment::Left;
       }},
      {"label Visible", [&] { label.Visible = !label.Visible; }},
      {"shape Left", [&] { shape.Left += 1; }},
      {"shape Top", [&] { shape.Top += 1; }},
      {"shape Width", [&] { shape.Width += 1; }},
      {"shape Height", [&] { shape.Height += 1; }},
      {"shape border style", [&] { shape.borderSolid = !shape.borderSolid; }},
      {"shape BorderWidth", [&] { shape.BorderWidth += 1; }},
      {"shape BorderColor", [&] { shape.BorderColor ^= 1; }},
      {"shape fill style", [&] { shape.fillSolid = !shape.fillSolid; }},
      {"shape FillColor", [&] { shape.FillColor ^= 1; }},
      {"shape Visible", [&] { shape.Visible = !shape.Visible; }},
      {"picture Left", [&] { picture.Left += 1; }},
      {"picture Top", [&] { picture.Top += 1; }},
      {"picture Width", [&] { picture.Width += 1; }},
      {"picture Height", [&] { picture.Height += 1; }},
      {"picture stretch", [&] { picture.stretch = !picture.stretch; }},
      {"picture image", [&] { picture.image = &kOther; }},
      {"picture Visible", [&] { picture.Visible = !picture.Visible; }},
  };
  for (const auto& [what, change] : changes) {
    ASSERT_FALSE(h.runner.Peek().frameDue) << "before " << what;
    change();
    EXPECT_TRUE(h.runner.Peek().frameDue) << what;
    h.Take(h.runner.Peek());
  }
}

}  // namespace
}  // namespace kromi
