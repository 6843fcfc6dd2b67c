#pragma once
// The game on its own display, seen through the pixels a player sees and driven through the keys
// and pointer a player uses. Each test gets a fresh X server and a fresh game process.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <X11/keysym.h>

#include "kromi/xdriver/xdriver.h"

namespace kromi::e2e {

// The sanitised build runs the game several times slower; its deadlines stretch with it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlow = 4;
#else
constexpr int kSlow = 1;
#endif

inline milliseconds Limit(int ms) { return milliseconds(ms * kSlow); }

inline constexpr const char* kTitle = " Kromi av Tallkvistar";
inline constexpr int kClientWidth = 328;
inline constexpr int kClientHeight = 256;

inline constexpr Rgb kBackground{192, 192, 192};
inline constexpr Rgb kCanvasStart{30, 30, 30};
inline constexpr Rgb kHexBack{224, 224, 224};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kShadowGrey{128, 128, 128};

struct Point {
  int x, y;
};

// Where things are at scale 1, away from anti-aliased edges and text.
inline constexpr Point kBackgroundPoint{5, 5};
inline constexpr Point kRingPoint{112, 110};    // left band of the target ring
inline constexpr Point kCanvasPoint{210, 109};  // middle of the canvas
inline constexpr Point kShadowPoints[] = {{315, 110}, {210, 195}};  // right and bottom of the shadow ring
inline constexpr Point kHexPoints[] = {{158, 1}, {198, 1}, {238, 1}};  // a corner of each hex label
// Buttons: a point well inside each face.
inline constexpr Point kQuitButton{63, 220};
inline constexpr Point kNewColourButton{162, 220};
inline constexpr Point kRevealButton{268, 220};

inline constexpr int kSteps = 10;  // knob positions 0..9
inline constexpr int kKnobLeft[3] = {8, 38, 68};
inline constexpr Rgb kKnobBody[3] = {{255, 0, 0}, {0, 170, 0}, {0, 0, 255}};
// Keys that raise and lower each channel, red, green, blue.
inline constexpr KeySym kRaiseKey[3] = {XK_KP_4, XK_KP_5, XK_KP_6};
inline constexpr KeySym kLowerKey[3] = {XK_KP_1, XK_KP_2, XK_KP_3};

int ChannelOf(const Rgb& c, int channel);
// True when every channel is 30 + 25k for some k in 0..9, the only intensities the game mixes.
bool OnGrid(const Rgb& c);
int StepOf(int intensity);  // (intensity - 30) / 25, or -1 off the grid

// Paths handed in by CMake.
std::string GameProgram();  // the built executable, from the test's environment
inline std::string SoundsDir() { return KROMI_E2E_SOUNDS; }  // the reference cues
std::string EnvOrEmpty(const char* name);

class PulseServer;

// Set when the suite plays Kromi.exe under Wine (KROMI_E2E_WINE_EXE names it): the game then
// plays its cues through a private PulseAudio daemon, recorded as the disk driver's file would be.
bool UnderWine();

class GameTest : public ::testing::Test {
 protected:
  GameTest();
  ~GameTest() override;
  void SetUp() override;
  void TearDown() override;

  // Starts a server (at dpi) and the program on it, and waits for its first frame. program
  // defaults to the built game.
  void Launch(int dpi = 96, const std::string& program = {});
  // Starts a server and the game on it, and returns at once.
  void StartGame(int dpi = 96, const std::string& program = {});
  // Runs program with no display at all.
  void LaunchWithoutDisplay(const std::string& program = {});
  // Ends the game with Esc if it still runs and keeps its exit.
  std::optional<Exit> Quit();

  // The game's environment; entries in environment_ are set last, over the suite's own.
  std::vector<std::string> GameEnvironment(const std::string& display) const;

  // Everything a freshly started game shows, with the window scaled by scale.
  void ExpectFirstFrame(int scale);
  // What the first frame shows inside the window, at the window's scale.
  void ExpectFirstPicture();
  // Plays to a match by the number pad alone, reading the target off the ring, and checks what
  // a match shows.
  void PlayToMatch();

  // The screen, at logical coordinates (multiplied by the window's scale here).
  Rgb At(Point p);
  Rgb Ring() { return At(kRingPoint); }
  Rgb Canvas() { return At(kCanvasPoint); }
  bool HexShown(int channel) { return At(kHexPoints[channel]) == kHexBack; }
  bool ShadowWhite();
  // The knob's step 0..9, or -1 when its body is at none or at more than one.
  int KnobStep(int channel);
  std::vector<int> KnobSteps() { return {KnobStep(0), KnobStep(1), KnobStep(2)}; }

  // New colours until the ring shows one the canvas does not already match. The start colour
  // (30, 30, 30) matches on the first tick, which would leave nothing to play.
  void AvoidSolvedStart();
  // Holds key until cond holds or limit passes; true if cond held.
  bool HoldUntil(KeySym key, const std::function<bool()>& cond, milliseconds limit);
  // Closes the loop on one canvas channel: raise or lower until it shows value.
  bool MixChannel(int channel, int value);
  void Click(Point p);

  // After the game has ended: how well a cue's shape shows in what it played.
  double CueScore(const std::string& cue);
  double CapturedSeconds();

  std::map<std::string, std::string> environment_;
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<Xvfb> xvfb_;
  std::unique_ptr<XSession> x_;
  std::unique_ptr<Process> game_;
  std::unique_ptr<TempDir> wineSoundDir_;
  std::unique_ptr<PulseServer> wineSound_;  // Wine's sound server, when under Wine
  Clock::time_point started_{};
  Window window_ = 0;
  Point origin_{0, 0};  // where the game's client area starts in window_, in window_'s pixels
  int scale_ = 1;

 private:
  std::optional<std::vector<float>> capture_;
};

}  // namespace kromi::e2e
