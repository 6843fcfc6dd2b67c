// The page's rules: which key the game hears, which file a cue may fetch, the device scale and
// the font asked of the browser.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kromi/web/rules.h"

namespace kromi {
namespace {

TEST(WebRules, KeysGoByThePhysicalKeyWhateverNumLockSays) {
  // A browser names the number pad's 4 "Numpad4" both as "4" and as "ArrowLeft".
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(KeyCodeOfDomCode("Numpad" + std::to_string(i)), 96 + i);
  EXPECT_EQ(KeyCodeOfDomCode("ArrowLeft"), 37);
  EXPECT_EQ(KeyCodeOfDomCode("ArrowRight"), 39);
  EXPECT_EQ(KeyCodeOfDomCode("ArrowDown"), 40);
  EXPECT_EQ(KeyCodeOfDomCode("Escape"), 27);
  // The top row's digits are not the knob keys.
  EXPECT_EQ(KeyCodeOfDomCode("Digit4"), '4');
  EXPECT_EQ(KeyCodeOfDomCode("KeyQ"), 'Q');
  EXPECT_EQ(KeyCodeOfDomCode("F5"), 116);
  for (const char* odd : {"", "F0", "F13", "F1x", "Key", "Keya", "Numpad", "IntlBackslash", "Numpad44"}) {
    EXPECT_EQ(KeyCodeOfDomCode(odd), 0) << odd;
  }
  // Only the game's own keys lose their browser meaning.
  EXPECT_TRUE(GameKey(100));
  EXPECT_TRUE(GameKey(40));
  EXPECT_FALSE(GameKey(116));  // F5 still reloads
  EXPECT_FALSE(GameKey(9));    // Tab still moves the focus
}

TEST(WebRules, ACueFetchesOnlyAPlainFileBesideThePage) {
  EXPECT_EQ(CueFileName("\\Ny.wav"), "Ny.wav");
  EXPECT_EQ(CueFileName("/Boom.wav"), "Boom.wav");
  for (const char* bad : {"", "\\", "\\..\\x.wav", "\\../x.wav", "\\.hidden", "\\a/b.wav", "\\a\\b.wav",
                          "\\x.wav?y", "\\x.wav#y", "\\%2e%2e/x", "\\//evil.example/x.wav", "\\http:x",
                          "\\f\xc3\xa4rg.wav", "\\x y.wav"}) {
    EXPECT_FALSE(CueFileName(bad).has_value()) << bad;
  }
  EXPECT_FALSE(CueFileName(std::string(100, 'a')).has_value());
}

TEST(WebRules, TheScaleIsAWholeOneToThree) {
  EXPECT_EQ(ScaleForPixelRatio(1.0), 1);
  EXPECT_EQ(ScaleForPixelRatio(1.25), 1);
  EXPECT_EQ(ScaleForPixelRatio(1.5), 2);
  EXPECT_EQ(ScaleForPixelRatio(2.0), 2);
  EXPECT_EQ(ScaleForPixelRatio(3.0), 3);
  EXPECT_EQ(ScaleForPixelRatio(5.0), 3);
  EXPECT_EQ(ScaleForPixelRatio(0.5), 1);
  EXPECT_EQ(ScaleForPixelRatio(0.0), 1);
  EXPECT_EQ(ScaleForPixelRatio(-2.0), 1);
  EXPECT_EQ(ScaleForPixelRatio(std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_EQ(ScaleForPixelRatio(std::numeric_limits<double>::infinity()), 1);
}

TEST(WebRules, TheFontListNamesTheLinuxFallbacksAndCannotBeBrokenOutOf) {
  EXPECT_EQ(CssFont(Font{"Verdana", 13, true}, 26), "bold 26px \"Verdana\", \"DejaVu Sans\", sans-serif");
  EXPECT_EQ(CssFont(Font{"Arial", 13, false}, 13), "13px \"Arial\", \"Liberation Sans\", sans-serif");
  EXPECT_EQ(CssFont(Font{"x\", serif; a", 13, false}, 13), "13px sans-serif");
}

}  // namespace
}  // namespace kromi
