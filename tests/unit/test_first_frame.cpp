#include <gtest/gtest.h>

#include "fakes.h"
#include "kromi/app/form1.h"
#include "kromi/draw/renderer.h"
#include "kromi/sdl/fonts.h"

namespace kromi {
namespace {

// The game window's first frame, drawn without a window, at scale 1 and 2.
class FirstFrame : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    std::string error;
    fonts_ = Fonts::Open(error);
    ASSERT_TRUE(fonts_) << error;
    form_.Form_Load();
    Render();
  }
  void Render() {
    Renderer renderer(*fonts_, GetParam());
    const std::span<const ControlRef> order(form_.controls.DrawingOrder());
    renderer.AutoSize(order);
    renderer.Draw(kForm1.BackColor, order, frame_);
  }
  // The pixel at logical (x, y), sampled at the centre of its device block.
  Rgb8 At(int x, int y) const {
    const int s = GetParam();
    return RgbOf(frame_.At(x * s + s / 2, y * s + s / 2));
  }

  test::ScriptedSteps random_{6, 2, 8};  // target RGB(180, 80, 230)
  test::RecordingCues cues_;
  Form1 form_{random_, cues_};
  std::unique_ptr<Fonts> fonts_;
  Frame frame_;
};

constexpr Rgb8 kBackground{192, 192, 192};

TEST_P(FirstFrame, IsTheClientAreaAtTheDeviceScale) {
  EXPECT_EQ(frame_.width, 328 * GetParam());
  EXPECT_EQ(frame_.height, 256 * GetParam());
}

TEST_P(FirstFrame, ShowsTheBackgroundCanvasAndTheTargetRing) {
  EXPECT_EQ(At(2, 100), kBackground);
  EXPECT_EQ(At(325, 130), kBackground);
  EXPECT_EQ(At(210, 109), (Rgb8{30, 30, 30}));   // canvas centre
  EXPECT_EQ(At(143, 109), (Rgb8{30, 30, 30}));   // canvas near its left edge
  EXPECT_EQ(At(112, 110), (Rgb8{180, 80, 230}));  // left band of the target ring
  EXPECT_EQ(At(290, 110), (Rgb8{180, 80, 230}));  // right band
  EXPECT_EQ(At(210, 30), (Rgb8{180, 80, 230}));   // top band
  EXPECT_EQ(At(210, 185), (Rgb8{180, 80, 230}));  // bottom band
  EXPECT_EQ(At(315, 110), (Rgb8{128, 128, 128}));  // the shadow ring's edge beyond the band
  EXPECT_EQ(At(210, 195), (Rgb8{128, 128, 128}));
}

TEST_P(FirstFrame, KnobsLieOverTheirSlotsAtTheBottom) {
  // Slot above the knob: grey border, black inside.
  EXPECT_EQ(At(19, 100), (Rgb8{128, 128, 128}));
  EXPECT_EQ(At(20, 100), (Rgb8{0, 0, 0}));
  // The red ball covers its slot; the green and blue balls are their colours.
  const Rgb8 red = At(21, 178), green = At(51, 178), blue = At(81, 178);
  EXPECT_GT(red.r, 200);
  EXPECT_LT(red.g, 150);
  EXPECT_GT(green.g, 150);
  EXPECT_LT(green.r, 50);
  EXPECT_GT(blue.b, 200);
  EXPECT_LT(blue.g, 150);
  // The knob's transparent corner shows the background, not its stored colour.
  EXPECT_EQ(At(8, 170), kBackground);
}

TEST_P(FirstFrame, ArrowsShowTheBackgroundThroughTheirTransparentPixels) {
  EXPECT_EQ(At(55, 236), kBackground);           // arrow left, top-left corner
  EXPECT_EQ(At(55 + 5, 236 + 5), (Rgb8{214, 231, 206}));
  EXPECT_EQ(At(55 + 0, 236 + 5), (Rgb8{0, 0, 0}));  // its tip
  EXPECT_EQ(At(157 + 5, 236 + 3), (Rgb8{214, 231, 206}));  // arrow down's shaft
  EXPECT_EQ(At(259 + 11, 236 + 0), kBackground);
}

TEST_P(FirstFrame, HidesTheHexLabelsUntilTheyAreShown) {
  auto labelBackground = [this](int left) {
    int light = 0;
    for (int x = left; x < left + 20; ++x) light += At(x, 2) == Rgb8{224, 224, 224};
    return light;
  };
  for (int left : {157, 197, 237}) EXPECT_EQ(labelBackground(left), 0) << left;
  form_.game.lblGerUpp_Click(0);
  Render();
  for (int left : {157, 197, 237}) EXPECT_GT(labelBackground(left), 3) << left;
  EXPECT_EQ(At(210, 109), (Rgb8{180, 80, 230}));  // the reveal fills the canvas too
}

TEST_P(FirstFrame, ButtonsAreEmbossedTextWithTheFaceOnTop) {
  // Somewhere in each caption the light copy and the dark copy both show.
  for (int left : {19, 119, 218}) {
    bool light = false, dark = false;
    for (int y = 208; y < 233; ++y) {
      for (int x = left; x < left + 80; ++x) {
        const Rgb8 p = At(x, y);
        light |= p == Rgb8{224, 224, 224};
        dark |= p == Rgb8{128, 128, 128};
      }
    }
    EXPECT_TRUE(light && dark) << left;
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, FirstFrame, ::testing::Values(1, 2));

}  // namespace
}  // namespace kromi
