#include <gtest/gtest.h>

#include <array>
#include <vector>

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

// Every device pixel of the logical pixel (x, y) is colour: an edge half a logical pixel off
// would split the block at scale 2 and blend the pixel at scale 1.
::testing::AssertionResult WholeBlock(const Frame& frame, int scale, int x, int y, Rgb8 colour) {
  for (int dy = 0; dy < scale; ++dy) {
    for (int dx = 0; dx < scale; ++dx) {
      const Rgb8 got = RgbOf(frame.At(x * scale + dx, y * scale + dy));
      if (got != colour) {
        return ::testing::AssertionFailure() << "logical " << x << "," << y << " device +" << dx << ",+" << dy
                                             << " is " << int{got.r} << "," << int{got.g} << "," << int{got.b};
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// The highlight ring lies one pixel up and left of the target ring and the shadow ring three down
// and right, each a 40-pixel band centred on its outline: a one-pixel light edge at the top and
// left, a three-pixel dark edge at the bottom and right, on the same pixels at every scale.
TEST_P(FirstFrame, RingsShowAOnePixelLightEdgeAndAThreePixelDarkEdge) {
  const Rgb8 light{224, 224, 224}, dark{128, 128, 128}, target{180, 80, 230};
  struct Run {
    int from, to;  // logical pixels, inclusive
    Rgb8 colour;
  };
  // Row 100, across the left and right bands.
  for (const Run& run : {Run{100, 103, kBackground}, Run{104, 104, light}, Run{105, 140, target},
                         Run{279, 313, target}, Run{314, 316, dark}, Run{317, 320, kBackground}}) {
    for (int x = run.from; x <= run.to; ++x) EXPECT_TRUE(WholeBlock(frame_, GetParam(), x, 100, run.colour));
  }
  // Column 210, across the top and bottom bands.
  for (const Run& run : {Run{17, 20, kBackground}, Run{21, 21, light}, Run{22, 55, target},
                         Run{162, 193, target}, Run{194, 196, dark}, Run{197, 200, kBackground}}) {
    for (int y = run.from; y <= run.to; ++y) EXPECT_TRUE(WholeBlock(frame_, GetParam(), 210, y, run.colour));
  }
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

// Embossed text: the face, in the window's own grey, lies over a light copy one pixel up and left
// and a dark copy one pixel down and right. Where the face alone inks fully, the window shows the
// face's grey; where only the light copy can ink it shows light, and where only the dark can, dark.
TEST_P(FirstFrame, ButtonsAreEmbossedTextWithTheFaceOnTop) {
  const int s = GetParam();
  for (std::array<Label, 3>* button : {&form_.controls.lblAvsluta, &form_.controls.LblNyFärg, &form_.controls.lblGerUpp}) {
    Label face = (*button)[0];
    face.ForeColor = RGB(0, 0, 0);
    Frame alone;  // the face's ink alone: black where full, white where none
    Renderer(*fonts_, s).Draw(RGB(255, 255, 255), std::vector<ControlRef>{&face}, alone);
    auto ink = [&](int x, int y) -> char {
      const std::uint32_t p = alone.Contains(x, y) ? alone.At(x, y) : PixelOf(RGB(255, 255, 255));
      return p == PixelOf(RGB(0, 0, 0)) ? 'F' : p == PixelOf(RGB(255, 255, 255)) ? 'N' : '~';
    };
    int onFace = 0, lightOnly = 0, darkOnly = 0;
    const int x0 = static_cast<int>(face.Left - 2) * s, x1 = static_cast<int>(face.Left + face.Width + 2) * s;
    const int y0 = static_cast<int>(face.Top - 2) * s, y1 = static_cast<int>(face.Top + face.Height + 2) * s;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const Rgb8 shown = RgbOf(frame_.At(x, y));
        const char here = ink(x, y), fromLight = ink(x + s, y + s), fromDark = ink(x - s, y - s);
        if (here == 'F') {
          ++onFace;
          ASSERT_EQ(shown, kBackground) << face.Caption << " face at " << x << "," << y;
        } else if (here == 'N' && fromLight == 'F' && fromDark == 'N') {
          ++lightOnly;
          ASSERT_EQ(shown, (Rgb8{224, 224, 224})) << face.Caption << " light edge at " << x << "," << y;
        } else if (here == 'N' && fromDark == 'F' && fromLight == 'N') {
          ++darkOnly;
          ASSERT_EQ(shown, (Rgb8{128, 128, 128})) << face.Caption << " dark edge at " << x << "," << y;
        }
      }
    }
    EXPECT_GT(onFace, 20 * s * s) << face.Caption;
    EXPECT_GT(lightOnly, 5 * s) << face.Caption;
    EXPECT_GT(darkOnly, 5 * s) << face.Caption;
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, FirstFrame, ::testing::Values(1, 2));

}  // namespace
}  // namespace kromi
