#include <gtest/gtest.h>

#include <filesystem>

#include <limits>

#include "kromi/core/random.h"
#include "kromi/core/runtime.h"
#include "kromi/game/game.h"

namespace kromi {
namespace {

TEST(Runtime, StepTableOfHexTexts) {
  const char* hex[10] = {"1E", "37", "50", "69", "82", "9B", "B4", "CD", "E6", "FF"};
  for (int step = 0; step <= 9; ++step) {
    const double intensity = step * 25 + 30;
    EXPECT_EQ(modKromi::ToHex(intensity), hex[step]) << "step " << step;
  }
}

TEST(Runtime, HexRoundsHalvesToEvenAndWritesNoLeadingZeros) {
  EXPECT_EQ(Hex(30), "1E");
  EXPECT_EQ(Hex(0), "0");
  EXPECT_EQ(Hex(15), "F");
  EXPECT_EQ(Hex(2.5), "2");
  EXPECT_EQ(Hex(3.5), "4");
  EXPECT_EQ(Hex(254.5), "FE");
  EXPECT_EQ(Hex(255.5), "100");
  EXPECT_EQ(Hex(29.4999), "1D");
  EXPECT_EQ(Hex(-1), "FFFFFFFF");
}

TEST(Runtime, IntIsFloorAndCIntRoundsHalfEvenAndSaturates) {
  EXPECT_EQ(Int(9.999), 9);
  EXPECT_EQ(Int(-0.5), -1);
  EXPECT_EQ(Int(0), 0);
  EXPECT_EQ(CInt(0.5), 0);
  EXPECT_EQ(CInt(1.5), 2);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(1e9), 32767);
}

TEST(Runtime, RgbPacksRedLowBlueHighAndClampsToAByte) {
  EXPECT_EQ(RGB(30, 30, 30), 0x1E1E1Eu);
  EXPECT_EQ(RGB(255, 0, 0), 0x0000FFu);
  EXPECT_EQ(RGB(0, 0, 255), 0xFF0000u);
  EXPECT_EQ(RGB(255, 255, 255), 16777215u);
  EXPECT_EQ(RGB(128, 128, 128), 8421504u);
  EXPECT_EQ(RGB(300, -5, 127.5), 0x8000FFu);  // 255, 0, 128: clamped, half to even
  EXPECT_EQ(Split(RGB(1, 2, 3)), (Rgb8{1, 2, 3}));
}

TEST(Runtime, SystemColoursResolveToGreysAndPlainColoursPassThrough) {
  EXPECT_EQ(SystemColour(kSysButtonShadow), RGB(128, 128, 128));
  EXPECT_NE(SystemColour(kSys3DDarkShadow), kSys3DDarkShadow);
  EXPECT_EQ(SystemColour(RGB(1, 2, 3)), RGB(1, 2, 3));
}

class ConstantSource final : public RandomSource {
 public:
  explicit ConstantSource(std::uint32_t v) : v_(v) {}
  void Seed(std::uint64_t) override {}
  std::uint32_t Next() override { return v_; }

 private:
  std::uint32_t v_;
};

TEST(Rnd, StaysBelowOneForTheLargestDrawAndReachesZero) {
  ConstantSource top(std::numeric_limits<std::uint32_t>::max());
  const float r = Rnd(top);
  EXPECT_LT(r, 1.0f);
  EXPECT_EQ(Int(r * 10), 9);  // never step 10
  ConstantSource bottom(0);
  EXPECT_EQ(Rnd(bottom), 0.0f);
}

TEST(Rnd, IsRoughlyUniformOverTheTenSteps) {
  TwisterSource source;
  source.Seed(42);
  int counts[10] = {};
  for (int i = 0; i < 100000; ++i) {
    const double step = Int(Rnd(source) * 10);
    ASSERT_GE(step, 0);
    ASSERT_LE(step, 9);
    ++counts[static_cast<int>(step)];
  }
  for (int c : counts) EXPECT_NEAR(c, 10000, 500);
}

TEST(Rnd, RandomizeSeedsFromTheClockSoTwoRunsDiffer) {
  TwisterSource a, b;
  Randomize(a);
  Randomize(b);
  bool differ = false;
  for (int i = 0; i < 4; ++i) differ |= a.Next() != b.Next();
  EXPECT_TRUE(differ);
}

TEST(Runtime, AppPathIsTheTestBinarysDirectory) {
  const std::string dir = AppPath();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(dir))) << dir;
  EXPECT_NE(dir.back(), '/');
  EXPECT_NE(dir.back(), '\\');
}

}  // namespace
}  // namespace kromi
