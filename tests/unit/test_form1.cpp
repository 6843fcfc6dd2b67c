#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "kromi/app/form1.h"
#include "kromi/core/mouse.h"

namespace kromi {
namespace {

struct Place {
  float left, top;
  friend bool operator==(const Place&, const Place&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Place& p) {
    return os << "(" << p.left << "," << p.top << ")";
  }
};

// The window after loading, driven through its handlers and the mouse router.
struct FormRig {
  test::ScriptedSteps random;
  test::RecordingCues cues;
  Form1 form{random, cues};
  MouseRouter mouse{form.controls.DrawingOrder(), form};

  explicit FormRig(std::initializer_list<int> steps = {5, 5, 5}) : random(steps) {
    form.Form_Load();
    cues.played.clear();
  }
  Form1Controls& c() { return form.controls; }
  Game& g() { return form.game; }
  static Place At(const Label& l) { return {l.Left, l.Top}; }
  // Layers 1 and 2 of a button as (highlight, shadow).
  static std::pair<Place, Place> Copies(const std::array<Label, 3>& b) { return {At(b[1]), At(b[2])}; }
  static std::pair<Place, Place> Rest(const std::array<Label, 3>& b) {
    return {{b[0].Left - 1, b[0].Top - 1}, {b[0].Left + 1, b[0].Top + 1}};
  }
  static std::pair<Place, Place> Pressed(const std::array<Label, 3>& b) {
    return {{b[0].Left + 1, b[0].Top + 1}, {b[0].Left - 1, b[0].Top - 1}};
  }
  void Press(float x, float y, std::int16_t button = kLeftButton, int clicks = 1) {
    mouse.Press(button, x, y, clicks, 0);
  }
  void Release(float x, float y, std::int16_t button = kLeftButton) { mouse.Release(button, x, y, 0); }
  void Click(float x, float y) {
    Press(x, y);
    Release(x, y);
  }
  int Count(const char* cue) const {
    int n = 0;
    for (const auto& p : cues.played) n += p == cue;
    return n;
  }
};

// Points on each button's face text area.
constexpr float kAvslutaX = 50, kNyFärgX = 150, kGerUppX = 260, kButtonY = 220;

// ---- Buttons by mouse ----------------------------------------------------------------------

TEST(Buttons, NyFärgClickStartsOneColourAndRestartsStepping) {
  FormRig r({0, 0, 0, 4, 4, 4});
  r.c().Timer1.Enabled(false);
  r.Press(kNyFärgX, kButtonY);
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Pressed(r.c().LblNyFärg));
  EXPECT_EQ(r.g().NewColourDown, kTrue);
  EXPECT_EQ(r.g().Target[1], 4);
  EXPECT_TRUE(r.c().Timer1.Enabled());
  r.Release(kNyFärgX, kButtonY);
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Rest(r.c().LblNyFärg));
  EXPECT_EQ(r.g().NewColourDown, kFalse);
  EXPECT_EQ(r.Count("\\Ny.wav"), 1);
}

TEST(Buttons, NyFärgDoubleClickStartsTwoColoursAndEndsAtRest) {
  FormRig r({0, 0, 0, 1, 1, 1, 2, 2, 2});
  r.Press(kNyFärgX, kButtonY, kLeftButton, 1);
  r.Release(kNyFärgX, kButtonY);
  r.Press(kNyFärgX, kButtonY, kLeftButton, 2);
  r.Release(kNyFärgX, kButtonY);
  EXPECT_EQ(r.Count("\\Ny.wav"), 2);
  EXPECT_EQ(r.g().Target[1], 2);
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Rest(r.c().LblNyFärg));
  EXPECT_EQ(r.g().NewColourDown, kFalse);
}

TEST(Buttons, VisaMejRevealsOnThePressAndTheReleaseRestoresTheCopies) {
  FormRig r({3, 6, 9});
  r.Press(kGerUppX, kButtonY);
  EXPECT_EQ(r.g().Revealed, kTrue);
  EXPECT_EQ(r.c().imgPot[3].Top, 26);
  EXPECT_EQ(FormRig::Copies(r.c().lblGerUpp), (std::pair<Place, Place>{{219, 209}, {217, 207}}));
  r.Release(kGerUppX, kButtonY);
  EXPECT_EQ(FormRig::Copies(r.c().lblGerUpp), (std::pair<Place, Place>{{217, 207}, {219, 209}}));
  EXPECT_EQ(r.Count("\\Visa.wav"), 1);
  // Spent: a second press neither moves the copies nor reveals.
  r.Press(kGerUppX, kButtonY);
  EXPECT_EQ(FormRig::Copies(r.c().lblGerUpp), FormRig::Rest(r.c().lblGerUpp));
  r.Release(kGerUppX, kButtonY);
  EXPECT_EQ(r.Count("\\Visa.wav"), 1);
}

TEST(Buttons, AvslutaUnloadsOnTheReleaseOnlyEvenWhenReleasedOutside) {
  FormRig r;
  r.Press(kAvslutaX, kButtonY);
  EXPECT_FALSE(r.form.Unloaded());
  EXPECT_EQ(FormRig::Copies(r.c().lblAvsluta), FormRig::Pressed(r.c().lblAvsluta));
  r.mouse.Motion(400, -30);
  r.Release(400, -30);  // captured: the release still reaches the button
  EXPECT_TRUE(r.form.Unloaded());
  EXPECT_EQ(FormRig::Copies(r.c().lblAvsluta), FormRig::Rest(r.c().lblAvsluta));
}

TEST(Buttons, RightAndMiddleButtonsActLikeTheLeftOneOnAnyLayer) {
  for (std::int16_t button : {kRightButton, kMiddleButton}) {
    FormRig r({0, 0, 0, 7, 7, 7});
    // The highlight copy sticks out one pixel above the face's top-left corner.
    const Label& highlight = r.c().LblNyFärg[1];
    r.Press(highlight.Left + 0.5f, highlight.Top + 0.5f, button);
    EXPECT_EQ(r.g().Target[2], 7) << button;
    r.Release(highlight.Left + 0.5f, highlight.Top + 0.5f, button);
    EXPECT_EQ(r.g().NewColourDown, kFalse);
  }
}

TEST(Buttons, ASecondButtonOnAvslutaMovesTheCopiesTwoFurther) {
  FormRig r;
  const auto rest = FormRig::Copies(r.c().lblAvsluta);
  r.Press(kAvslutaX, kButtonY, kLeftButton);
  r.Press(kAvslutaX, kButtonY, kRightButton);
  EXPECT_EQ(r.c().lblAvsluta[2].Left, rest.second.left - 4);
  r.Release(kAvslutaX, kButtonY, kRightButton);
  EXPECT_TRUE(r.form.Unloaded());
  EXPECT_EQ(r.c().lblAvsluta[2].Left, rest.second.left - 2);
}

TEST(Buttons, PressesOffTheButtonsDoNothing) {
  FormRig r;
  r.Click(200, 100);  // on the canvas
  r.Click(60, 240);   // on an arrow
  r.Click(1, 1);
  EXPECT_FALSE(r.form.Unloaded());
  EXPECT_EQ(r.g().NewColourDown, kFalse);
  EXPECT_EQ(r.g().Revealed, kFalse);
  EXPECT_TRUE(r.cues.played.empty());
}

// ---- Mouse and keys together ---------------------------------------------------------------

TEST(MouseAndKeys, DownKeyHeldThenMousePressDoesNothingAndKeyUpRestsTheButton) {
  FormRig r({0, 0, 0, 1, 1, 1, 2, 2, 2});
  r.form.Form_KeyDown(kKeyDown, 0);
  EXPECT_EQ(r.Count("\\Ny.wav"), 1);
  r.Press(kNyFärgX, kButtonY);
  EXPECT_EQ(r.Count("\\Ny.wav"), 1);
  r.form.Form_KeyUp(kKeyDown, 0);
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Rest(r.c().LblNyFärg));
  EXPECT_EQ(r.g().NewColourDown, kFalse);
  r.Release(kNyFärgX, kButtonY);
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Rest(r.c().LblNyFärg));
  EXPECT_EQ(r.Count("\\Ny.wav"), 1);
}

TEST(MouseAndKeys, DownKeyWhileTheMouseHoldsNyFärgStartsNoColourButEnablesTimer1) {
  FormRig r({0, 0, 0, 1, 1, 1, 2, 2, 2});
  r.Press(kNyFärgX, kButtonY);
  r.c().Timer1.Enabled(false);
  r.form.Form_KeyDown(kKeyDown, 0);
  EXPECT_EQ(r.Count("\\Ny.wav"), 1);
  EXPECT_TRUE(r.c().Timer1.Enabled());
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Pressed(r.c().LblNyFärg));
}

TEST(MouseAndKeys, ANewColourWhileVisaMejIsHeldStaysPlayableAfterTheRelease) {
  FormRig r({1, 1, 1, 2, 0, 0});
  r.Press(kGerUppX, kButtonY);
  ASSERT_EQ(r.g().Revealed, kTrue);
  r.form.Form_KeyDown(kKeyDown, 0);
  r.form.Form_KeyUp(kKeyDown, 0);
  r.Release(kGerUppX, kButtonY);  // over the label: a click follows the release
  EXPECT_EQ(r.g().Revealed, kFalse);
  EXPECT_EQ(r.Count("\\Visa.wav"), 1);
  EXPECT_EQ(r.c().imgPot[1].Top, 170);
  // Playable: a red step twice reaches the target.
  r.form.Form_KeyDown(100, 0);
  r.g().Timer1_Timer();
  r.g().Timer1_Timer();
  EXPECT_EQ(r.Count("\\Boom.wav"), 1);
  // And the button is armed again.
  r.Press(kGerUppX, kButtonY);
  EXPECT_EQ(r.Count("\\Visa.wav"), 2);
}

// ---- Command keys --------------------------------------------------------------------------

TEST(Keys, EscShiftEscAndLeftQuitOnTheKeyDown) {
  for (auto [code, shift] : {std::pair<std::int16_t, std::int16_t>{kKeyEscape, 0},
                             {kKeyEscape, kShiftMask}, {kKeyLeft, 0}, {kKeyLeft, kCtrlMask}}) {
    FormRig r;
    r.form.Form_KeyUp(code, shift);
    EXPECT_FALSE(r.form.Unloaded());
    r.form.Form_KeyDown(code, shift);
    EXPECT_TRUE(r.form.Unloaded()) << code << " " << shift;
    EXPECT_EQ(FormRig::Copies(r.c().lblAvsluta), FormRig::Rest(r.c().lblAvsluta));
  }
}

TEST(Keys, HoldingDownThroughRepeatsStartsExactlyOneColour) {
  FormRig r({0, 0, 0, 3, 3, 3, 6, 6, 6});
  r.c().Timer1.Enabled(false);
  for (int i = 0; i < 10; ++i) r.form.Form_KeyDown(kKeyDown, 0);
  EXPECT_EQ(r.Count("\\Ny.wav"), 1);
  EXPECT_EQ(r.g().Target[1], 3);
  EXPECT_TRUE(r.c().Timer1.Enabled());
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Pressed(r.c().LblNyFärg));
  r.form.Form_KeyUp(kKeyDown, 0);
  EXPECT_EQ(FormRig::Copies(r.c().LblNyFärg), FormRig::Rest(r.c().LblNyFärg));
  EXPECT_EQ(r.g().NewColourDown, kFalse);
}

TEST(Keys, HoldingRightRevealsOnceAndItsKeyUpRestsTheCopies) {
  FormRig r({4, 5, 6});
  for (int i = 0; i < 5; ++i) r.form.Form_KeyDown(kKeyRight, 0);
  EXPECT_EQ(r.Count("\\Visa.wav"), 1);
  EXPECT_EQ(FormRig::Copies(r.c().lblGerUpp), FormRig::Pressed(r.c().lblGerUpp));
  r.form.Form_KeyUp(kKeyRight, 0);
  EXPECT_EQ(FormRig::Copies(r.c().lblGerUpp), FormRig::Rest(r.c().lblGerUpp));
  EXPECT_EQ(r.g().Revealed, kTrue);
}

TEST(Keys, OtherKeysChangeNothingOnKeyDownOrKeyUp) {
  FormRig r;
  r.form.Form_KeyDown(100, 0);  // a held raise key, to show other keys leave it alone
  const auto before = std::make_tuple(r.g().Channel[1].Motion, r.g().NewColourDown, r.g().Revealed,
                                      r.c().Timer1.Enabled(), r.c().lblGerUpp[1].Left);
  for (std::int16_t code : std::initializer_list<std::int16_t>{38, 65, 90, 48, 49, 54, 13, 32, 96, 103, 0}) {
    r.form.Form_KeyDown(code, kShiftMask);
    r.form.Form_KeyUp(code, kShiftMask);
  }
  EXPECT_EQ(before, std::make_tuple(r.g().Channel[1].Motion, r.g().NewColourDown, r.g().Revealed,
                                    r.c().Timer1.Enabled(), r.c().lblGerUpp[1].Left));
  EXPECT_FALSE(r.form.Unloaded());
  EXPECT_TRUE(r.cues.played.empty());
}

TEST(Keys, NumberPadRowsAreReachedThroughTheFormsHandlers) {
  FormRig r({9, 9, 9});
  r.form.Form_KeyDown(101, kShiftMask);
  r.g().Timer1_Timer();
  EXPECT_EQ(r.c().imgPot[2].Top, 154);
  r.form.Form_KeyUp(98, 0);
  EXPECT_EQ(r.g().Channel[2].Motion, 0);
}

TEST(Keys, DownAfterAMatchStartsAColourAndRestartsTimer1) {
  FormRig r({0, 0, 0, 8, 8, 8});
  r.g().Timer1_Timer();
  ASSERT_FALSE(r.c().Timer1.Enabled());
  r.form.Form_KeyDown(kKeyDown, 0);
  EXPECT_TRUE(r.c().Timer1.Enabled());
  EXPECT_EQ(r.g().Target[3], 8);
}

TEST(Keys, CloseFromThePlatformUnloads) {
  FormRig r;
  r.form.Form_KeyDown(100, 0);
  r.form.Close();
  EXPECT_TRUE(r.form.Unloaded());
}

}  // namespace
}  // namespace kromi
