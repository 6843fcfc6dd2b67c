#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kromi/res/artwork.h"
#include "kromi/res/form1.h"

namespace kromi {
namespace {

std::string NameOf(const ControlRef& ref) {
  return std::visit(
      [](const auto* c) {
        return c->name + (c->index >= 0 ? "(" + std::to_string(c->index) + ")" : std::string());
      },
      ref);
}

TEST(Table, TheWindowsOwnProperties) {
  EXPECT_EQ(kForm1.Caption, " Kromi av Tallkvistar");
  EXPECT_EQ(kForm1.ClientWidth, 328);
  EXPECT_EQ(kForm1.ClientHeight, 256);
  EXPECT_EQ(kForm1.BackColor, RGB(192, 192, 192));
}

TEST(Table, PlacesSizesAndColoursOfTheCanvasRingsKnobsAndSlots) {
  Form1Controls c;
  EXPECT_EQ(c.shpDuk.Left, 141);
  EXPECT_EQ(c.shpDuk.Height, 106);
  EXPECT_FALSE(c.shpDuk.borderSolid);
  EXPECT_TRUE(c.shpDuk.fillSolid);
  EXPECT_EQ(c.shpRam[0].BorderColor, kSysButtonShadow);
  EXPECT_EQ(c.shpRam[1].Left, 124);
  EXPECT_EQ(c.shpRam[2].Top, 45);
  for (const Shape& ring : c.shpRam) {
    EXPECT_EQ(ring.BorderWidth, 40);
    EXPECT_FALSE(ring.fillSolid);
  }
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(c.imgPot[i].Left, 8 + 30 * (i - 1));
    EXPECT_EQ(c.imgPot[i].Top, 170);
    EXPECT_TRUE(c.imgPot[i].stretch);
    EXPECT_EQ(c.imgPot[i].image, &TheArtwork().knob[i]);
    EXPECT_EQ(c.shpBar[i].Left, 19 + 30 * (i - 1));
    EXPECT_EQ(c.shpBar[i].BorderColor, RGB(128, 128, 128));
    EXPECT_EQ(c.shpBar[i].FillColor, 0u);
  }
  EXPECT_EQ(c.Image2.image, &TheArtwork().arrowDown);
  EXPECT_EQ(c.Image3.Left, 259);
}

TEST(Table, LabelsCaptionsFontsAndButtonLayers) {
  Form1Controls c;
  EXPECT_EQ(c.lblSiffra[4].Caption, "4");
  EXPECT_EQ(c.lblSiffra[1].Top, 185);
  EXPECT_EQ(c.lblSiffra[6].ForeColor, kSys3DDarkShadow);
  EXPECT_EQ(c.lblHex[2].ForeColor, RGB(0, 192, 0));
  EXPECT_TRUE(c.lblHex[3].opaque);
  EXPECT_EQ(c.lblHex[3].BackColor, RGB(224, 224, 224));
  EXPECT_EQ(c.lblHex[1].font, (Font{"Verdana", 15, true}));
  EXPECT_EQ(c.lblHex[0].font, (Font{"Arial", 24, false}));
  EXPECT_FALSE(c.lblHex[0].opaque);
  EXPECT_EQ(c.LblNyFärg[0].Caption, "Ny f\xC3\xA4rg");
  EXPECT_EQ(c.lblGerUpp[2].Caption, "Visa mej");
  EXPECT_EQ(c.lblAvsluta[1].font, (Font{"Verdana", 21, true}));
  // Face, highlight one up-left, shadow one down-right.
  for (auto* b : {&c.lblAvsluta, &c.LblNyFärg, &c.lblGerUpp}) {
    EXPECT_EQ((*b)[1].Left, (*b)[0].Left - 1);
    EXPECT_EQ((*b)[1].Top, (*b)[0].Top - 1);
    EXPECT_EQ((*b)[2].Left, (*b)[0].Left + 1);
    EXPECT_EQ((*b)[2].Top, (*b)[0].Top + 1);
    EXPECT_EQ((*b)[0].ForeColor, RGB(192, 192, 192));
    EXPECT_EQ((*b)[1].ForeColor, RGB(224, 224, 224));
    EXPECT_EQ((*b)[2].ForeColor, RGB(128, 128, 128));
  }
  EXPECT_EQ(c.lblGerUpp[0].Left, 218);
  EXPECT_EQ(c.lblGerUpp[0].group, kGroupGerUpp);
  EXPECT_EQ(c.lblHex[1].group, -1);
}

TEST(Table, TimersAtCreation) {
  Form1Controls c;
  EXPECT_EQ(c.Timer1.Interval, 100);
  EXPECT_TRUE(c.Timer1.Enabled());
  EXPECT_EQ(c.Timer2.Interval, 50);
  EXPECT_FALSE(c.Timer2.Enabled());
}

// The whole stack, top first: each button's face over its copies, the canvas over the rings, the
// target ring over the other two, the knobs over their slots and digits.
TEST(Table, DrawingOrderTopFirstIsTheWindowsStack) {
  Form1Controls c;
  std::vector<std::string> names;
  for (const ControlRef& control : c.DrawingOrder()) names.push_back(NameOf(control));
  const std::vector<std::string> expected{
      "lblHex(3)",     "lblHex(2)",     "lblHex(1)",     "Image3",        "Image2",        "Image1",
      "imgPot(3)",     "imgPot(2)",     "imgPot(1)",     "lblSiffra(3)",  "lblSiffra(2)",  "lblSiffra(1)",
      "lblSiffra(6)",  "lblSiffra(5)",  "lblSiffra(4)",  "shpDuk",        "lblGerUpp(0)",  "lblGerUpp(2)",
      "LblNyFärg(0)",  "lblAvsluta(0)", "lblAvsluta(2)", "lblAvsluta(1)", "shpRam(0)",     "lblGerUpp(1)",
      "shpBar(1)",     "shpBar(2)",     "shpBar(3)",     "LblNyFärg(1)",  "LblNyFärg(2)",  "shpRam(1)",
      "shpRam(2)",     "lblHex(0)"};
  EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace kromi
