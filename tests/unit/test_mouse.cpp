#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kromi/core/mouse.h"

namespace kromi {
namespace {

// Records the label events the router delivers.
struct Recorder final : FormEvents {
  std::vector<std::string> log;
  void KeyDown(std::int16_t, std::int16_t) override {}
  void KeyUp(std::int16_t, std::int16_t) override {}
  void MouseDown(EventGroup g, std::int16_t i, std::int16_t b, std::int16_t, float x, float y) override {
    log.push_back("down " + std::to_string(g) + "/" + std::to_string(i) + " b" + std::to_string(b) +
                  " @" + std::to_string(static_cast<int>(x)) + "," + std::to_string(static_cast<int>(y)));
  }
  void MouseUp(EventGroup g, std::int16_t i, std::int16_t b, std::int16_t, float, float) override {
    log.push_back("up " + std::to_string(g) + "/" + std::to_string(i) + " b" + std::to_string(b));
  }
  void Click(EventGroup g, std::int16_t i) override {
    log.push_back("click " + std::to_string(g) + "/" + std::to_string(i));
  }
  void DblClick(EventGroup g, std::int16_t i) override {
    log.push_back("dbl " + std::to_string(g) + "/" + std::to_string(i));
  }
  void Close() override {}
  bool Unloaded() const override { return false; }
};

using Log = std::vector<std::string>;

// Two buttons of two layers, a picture over part of the second, and a shape that takes no input.
Label MakeLabel(EventGroup group, std::int16_t index, float left, float top, float width, float height) {
  Label l;
  l.group = group;
  l.index = index;
  l.Left = left;
  l.Top = top;
  l.Width = width;
  l.Height = height;
  return l;
}

struct Scene {
  Label a0 = MakeLabel(0, 0, 10, 10, 20, 10);
  Label a1 = MakeLabel(0, 1, 9, 9, 20, 10);
  Label b0 = MakeLabel(1, 0, 50, 10, 20, 10);
  Picture pic = [] {
    Picture p;
    p.Left = 60, p.Top = 10, p.Width = 5, p.Height = 5;
    return p;
  }();
  Shape over = [] {
    Shape sh;
    sh.Width = 100, sh.Height = 100;
    return sh;
  }();
  Label plain = MakeLabel(-1, -1, 80, 40, 10, 10);
  std::vector<ControlRef> order;
  Recorder rec;
  MouseRouter mouse{order, rec};
  Scene() { order = {&over, &pic, &a0, &b0, &a1, &plain}; }
};

TEST(Mouse, PressReleaseClickOnTheTopmostLabelWithPositionsRelativeToIt) {
  Scene s;
  s.mouse.Press(kLeftButton, 12, 15, 1, 0);
  s.mouse.Release(kLeftButton, 13, 15, 0);
  EXPECT_EQ(s.rec.log, (Log{"down 0/0 b1 @2,5", "up 0/0 b1", "click 0/0"}));
}

TEST(Mouse, TheLowerLayerGetsThePixelsTheUpperOneLeaves) {
  Scene s;
  s.mouse.Press(kLeftButton, 9.5f, 9.5f, 1, 0);
  s.mouse.Release(kLeftButton, 9.5f, 9.5f, 0);
  EXPECT_EQ(s.rec.log, (Log{"down 0/1 b1 @0,0", "up 0/1 b1", "click 0/1"}));
}

TEST(Mouse, CaptureKeepsEveryEventUntilTheLastButtonAndNoClickOutside) {
  Scene s;
  s.mouse.Press(kLeftButton, 15, 15, 1, 0);
  s.mouse.Press(kRightButton, 200, 300, 1, 0);  // anywhere: still the captured label
  s.mouse.Release(kLeftButton, 55, 15, 0);      // over another label: still ours
  s.mouse.Release(kRightButton, -20, -20, 0);
  EXPECT_EQ(s.rec.log, (Log{"down 0/0 b1 @5,5", "down 0/0 b2 @190,290", "up 0/0 b1", "up 0/0 b2"}));
  EXPECT_FALSE(s.mouse.Captured());
}

TEST(Mouse, DoubleClickIsPressReleaseClickDoubleClickRelease) {
  Scene s;
  s.mouse.Press(kLeftButton, 55, 15, 1, 0);
  s.mouse.Release(kLeftButton, 55, 15, 0);
  s.mouse.Press(kLeftButton, 55, 15, 2, 0);
  s.mouse.Release(kLeftButton, 55, 15, 0);
  EXPECT_EQ(s.rec.log, (Log{"down 1/0 b1 @5,5", "up 1/0 b1", "click 1/0", "dbl 1/0", "up 1/0 b1"}));
  s.rec.log.clear();
  s.mouse.Press(kLeftButton, 55, 15, 3, 0);  // a third press starts afresh
  EXPECT_EQ(s.rec.log, (Log{"down 1/0 b1 @5,5"}));
}

TEST(Mouse, ASecondPressOnAnotherLabelIsNoDoubleClick) {
  Scene s;
  s.mouse.Press(kLeftButton, 15, 15, 1, 0);
  s.mouse.Release(kLeftButton, 15, 15, 0);
  s.mouse.Press(kLeftButton, 55, 15, 2, 0);
  EXPECT_EQ(s.rec.log.back(), "down 1/0 b1 @5,5");
}

TEST(Mouse, PicturesAndPlainLabelsHideWhatIsBeneathButShapesDoNot) {
  Scene s;
  s.mouse.Press(kLeftButton, 62, 12, 1, 0);  // the picture covers label b
  s.mouse.Release(kLeftButton, 62, 12, 0);
  s.mouse.Press(kLeftButton, 85, 45, 1, 0);  // a label with no handlers
  s.mouse.Release(kLeftButton, 85, 45, 0);
  EXPECT_TRUE(s.rec.log.empty());
  s.a0.Visible = false;  // hidden labels take no clicks
  s.mouse.Press(kLeftButton, 25, 15, 1, 0);
  EXPECT_EQ(s.rec.log, (Log{"down 0/1 b1 @16,6"}));
}

TEST(Mouse, APressOnTheBackgroundKeepsTheMouseFromTheLabels) {
  Scene s;
  s.mouse.Press(kLeftButton, 200, 200, 1, 0);  // nothing there: the window itself has the mouse
  s.mouse.Press(kRightButton, 15, 15, 1, 0);
  s.mouse.Release(kLeftButton, 15, 15, 0);
  s.mouse.Release(kRightButton, 15, 15, 0);
  EXPECT_TRUE(s.rec.log.empty());
  s.mouse.Press(kLeftButton, 15, 15, 1, 0);  // all up again: the next press is the label's
  EXPECT_EQ(s.rec.log, (Log{"down 0/0 b1 @5,5"}));
}

TEST(Mouse, ReleasesWithoutAPressAndRepeatedPressesAreIgnored) {
  Scene s;
  s.mouse.Release(kLeftButton, 15, 15, 0);
  s.mouse.Press(kLeftButton, 15, 15, 1, 0);
  s.mouse.Press(kLeftButton, 15, 15, 1, 0);
  EXPECT_EQ(s.rec.log, (Log{"down 0/0 b1 @5,5"}));
}

TEST(Mouse, ReleaseAllEndsTheCaptureWhereThePointerWasLastSeen) {
  Scene s;
  s.mouse.Press(kLeftButton, 15, 15, 1, 0);
  s.mouse.Press(kMiddleButton, 15, 15, 1, 0);
  s.mouse.Motion(300, 300);
  s.mouse.ReleaseAll(0);
  EXPECT_EQ(s.rec.log, (Log{"down 0/0 b1 @5,5", "down 0/0 b4 @5,5", "up 0/0 b1", "up 0/0 b4"}));
  EXPECT_FALSE(s.mouse.Captured());
}

}  // namespace
}  // namespace kromi
