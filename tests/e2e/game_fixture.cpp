#include "game_fixture.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "audio_match.h"
#include "pulse.h"

namespace kromi::e2e {

int ChannelOf(const Rgb& c, int channel) { return channel == 0 ? c.r : channel == 1 ? c.g : c.b; }

int StepOf(int intensity) {
  const int k = (intensity - 30) / 25;
  return intensity >= 30 && (intensity - 30) % 25 == 0 && k < kSteps ? k : -1;
}

bool OnGrid(const Rgb& c) { return StepOf(c.r) >= 0 && StepOf(c.g) >= 0 && StepOf(c.b) >= 0; }

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string GameProgram() {
  const std::string path = EnvOrEmpty("KROMI_E2E_GAME");
  if (path.empty()) throw std::runtime_error("KROMI_E2E_GAME does not name the game to test");
  return path;
}

bool UnderWine() { return !EnvOrEmpty("KROMI_E2E_WINE_EXE").empty(); }

GameTest::GameTest() = default;
GameTest::~GameTest() = default;

void GameTest::SetUp() {
  if (UnderWine() && ::access(EnvOrEmpty("KROMI_E2E_WINE_EXE").c_str(), R_OK) != 0) {
    GTEST_SKIP() << EnvOrEmpty("KROMI_E2E_WINE_EXE") << " is not built (scripts/windows builds it)";
  }
}

std::vector<std::string> GameTest::GameEnvironment(const std::string& display) const {
  std::map<std::string, std::string> env = CurrentEnvironment();
  // The unit test presets pick SDL's dummy drivers; the game here must find the real display.
  for (const char* name : {"SDL_VIDEODRIVER", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE", "DISPLAY",
                           "WAYLAND_DISPLAY", "KROMI_E2E_GAME"}) {
    env.erase(name);
  }
  if (!display.empty()) env["DISPLAY"] = display;
  env["SDL_AUDIODRIVER"] = "disk";
  env["SDL_DISKAUDIOFILE"] = *dir_ / "audio.raw";
  const std::string suppressions = KROMI_E2E_LSAN_SUPPRESSIONS;
  if (!suppressions.empty()) env["LSAN_OPTIONS"] = "suppressions=" + suppressions + ":print_suppressions=0";
  const std::string raceSuppressions = KROMI_E2E_TSAN_SUPPRESSIONS;
  if (!raceSuppressions.empty()) {
    env["TSAN_OPTIONS"] = "suppressions=" + raceSuppressions + ":print_suppressions=0:second_deadlock_stack=1";
  }
  for (const auto& [name, value] : environment_) env[name] = value;
  return ToEnvList(env);
}

void GameTest::StartGame(int dpi, const std::string& program) {
  dir_ = std::make_unique<TempDir>();
  if (UnderWine()) {
    // Windows' sounds go to PulseAudio through Wine; the recording starts, and flows, before
    // the game does, so its start cue is in it.
    wineSoundDir_ = std::make_unique<TempDir>();
    wineSound_ = std::make_unique<PulseServer>(*wineSoundDir_);
    if (!wineSound_->Start(Limit(5000))) throw std::runtime_error("PulseAudio did not start for Wine");
    if (!wineSound_->Record(*dir_ / "audio.raw", Limit(8000))) throw std::runtime_error("nothing to record from PulseAudio");
    for (const auto& [name, value] : wineSound_->ClientEnvironment()) environment_[name] = value;
    environment_.erase("SDL_AUDIODRIVER");
  }
  xvfb_ = std::make_unique<Xvfb>(dpi);
  x_ = std::make_unique<XSession>(xvfb_->Name());
  started_ = Clock::now();
  game_ = std::make_unique<Process>(std::vector<std::string>{program.empty() ? GameProgram() : program},
                                    GameEnvironment(xvfb_->Name()), *dir_ / "stdout", *dir_ / "stderr");
}

void GameTest::Launch(int dpi, const std::string& program) {
  StartGame(dpi, program);
  const auto found = x_->WaitForWindow(kTitle, Limit(10000));
  if (!found) throw std::runtime_error("no window titled \"" + std::string(kTitle) + "\" appeared");
  window_ = *found;
  // The first frame is drawn whole before it is shown; the background at a corner means it is up.
  const bool shown = WaitUntil(
      [&] {
        const auto g = x_->GeometryOf(window_);
        if (!g || !g->viewable) return false;
        scale_ = std::max(1, g->width / kClientWidth);
        const auto p = x_->Pixel(window_, kBackgroundPoint.x * scale_, kBackgroundPoint.y * scale_);
        return p && *p == kBackground;
      },
      Limit(10000), milliseconds(5));
  if (!shown) throw std::runtime_error("the window never showed its first frame");
  x_->Focus(window_);
  // SDL drops a click that comes within 10 ms of the window gaining the focus (that click only
  // meant to focus it). No person is that quick; the suite must not be either.
  Pause(milliseconds(200));
}

void GameTest::LaunchWithoutDisplay(const std::string& program) {
  dir_ = std::make_unique<TempDir>();
  started_ = Clock::now();
  game_ = std::make_unique<Process>(std::vector<std::string>{program.empty() ? GameProgram() : program},
                                    GameEnvironment(""), *dir_ / "stdout", *dir_ / "stderr");
}

std::optional<Exit> GameTest::Quit() {
  // Under Wine a cue goes through winepulse's buffers and reaches the recording a few hundred
  // milliseconds after it starts, and quitting stops it: the cue's tail gets its time first.
  if (UnderWine() && game_->Running()) Pause(milliseconds(700));
  if (game_->Running()) x_->Tap(XK_Escape);
  return game_->WaitExit(Limit(5000));
}

void GameTest::TearDown() {
  if (game_ && game_->Running()) game_->Stop(SIGKILL, milliseconds(5000));
  if (HasFailure() && dir_) {
    const std::string err = ReadFile(*dir_ / "stderr");
    if (!err.empty()) std::fprintf(stderr, "--- the game's stderr ---\n%s\n", err.c_str());
  }
  game_.reset();
  x_.reset();
  xvfb_.reset();
  wineSound_.reset();
  wineSoundDir_.reset();
  dir_.reset();
}

void GameTest::ExpectFirstFrame(int scale) {
  EXPECT_EQ(x_->Title(window_), kTitle);
  const auto g = x_->GeometryOf(window_);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->width, kClientWidth * scale);
  EXPECT_EQ(g->height, kClientHeight * scale);
  ASSERT_EQ(scale_, scale);
  // Not resizable: the window manager is told the only size there is.
  const SizeHints hints = x_->Hints(window_);
  EXPECT_TRUE(hints.hasMin && hints.hasMax);
  EXPECT_EQ(hints.minWidth, kClientWidth * scale);
  EXPECT_EQ(hints.minHeight, kClientHeight * scale);
  EXPECT_EQ(hints.maxWidth, kClientWidth * scale);
  EXPECT_EQ(hints.maxHeight, kClientHeight * scale);
  ExpectFirstPicture();
}

void GameTest::ExpectFirstPicture() {
  for (const Point p : {kBackgroundPoint, Point{322, 250}, Point{110, 200}, Point{300, 20}}) {
    EXPECT_EQ(At(p), kBackground) << "at " << p.x << "," << p.y;
  }
  EXPECT_EQ(Canvas(), kCanvasStart);
  const Rgb ring = Ring();
  EXPECT_TRUE(OnGrid(ring)) << ToString(ring);
  EXPECT_EQ(KnobSteps(), (std::vector<int>{0, 0, 0}));
  for (const Point p : kShadowPoints) EXPECT_EQ(At(p), kShadowGrey) << "at " << p.x << "," << p.y;
  // (30, 30, 30) is matched by the untouched canvas on the first tick, and then they show.
  if (ring != kCanvasStart) {
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(At(kHexPoints[ch]), kBackground) << "hex label " << ch << " shows";
  }
}

void GameTest::PlayToMatch() {
  const Rgb ring = Ring();
  ASSERT_TRUE(OnGrid(ring)) << ToString(ring);
  ASSERT_NE(ring, kCanvasStart);
  int last = 2;
  while (ChannelOf(ring, last) == 30) --last;
  for (int ch = 0; ch < last; ++ch) {
    ASSERT_TRUE(MixChannel(ch, ChannelOf(ring, ch))) << "channel " << ch << " never reached " << ToString(ring);
    EXPECT_FALSE(HexShown(0)) << "matched before the last channel";
  }
  // The last step matches; the blink starts 50 ms later and each white lasts 50 ms, so watch at
  // once and closely.
  ASSERT_TRUE(MixChannel(last, ChannelOf(ring, last))) << "channel " << last << " never reached " << ToString(ring);
  const bool white = WaitUntil([&] { return ShadowWhite(); }, Limit(1500), milliseconds(1));
  EXPECT_TRUE(white) << "the shadow ring never blinked white";
  EXPECT_EQ(Canvas(), ring);
  for (int ch = 0; ch < 3; ++ch) EXPECT_TRUE(HexShown(ch)) << "hex label " << ch << " hidden after the match";
  EXPECT_EQ(KnobSteps(), (std::vector<int>{StepOf(ring.r), StepOf(ring.g), StepOf(ring.b)}));
  // Three blinks take 300 ms; well after them the ring rests grey, and stays so.
  Pause(milliseconds(600));
  for (int look = 0; look < 3; ++look) {
    for (const Point p : kShadowPoints) EXPECT_EQ(At(p), kShadowGrey) << "at " << p.x << "," << p.y;
    Pause(milliseconds(100));
  }
  // A match stops the knobs: holding a key moves nothing.
  const int red = StepOf(ring.r);
  x_->Key(red < kSteps - 1 ? kRaiseKey[0] : kLowerKey[0], true);
  Pause(milliseconds(450));
  x_->Key(red < kSteps - 1 ? kRaiseKey[0] : kLowerKey[0], false);
  EXPECT_EQ(Canvas(), ring);
  EXPECT_EQ(KnobStep(0), red);
}

Rgb GameTest::At(Point p) {
  const auto c = x_->Pixel(window_, origin_.x + p.x * scale_, origin_.y + p.y * scale_);
  if (!c) throw std::runtime_error("the window is gone");
  return *c;
}

bool GameTest::ShadowWhite() {
  for (const Point& p : kShadowPoints) {
    if (At(p) != kWhite) return false;
  }
  return true;
}

int GameTest::KnobStep(int channel) {
  int found = -1;
  for (int step = 0; step < kSteps; ++step) {
    const Point body{kKnobLeft[channel] + 6, 170 - 16 * step + 10};
    if (At(body) == kKnobBody[channel]) {
      if (found >= 0) return -1;
      found = step;
    }
  }
  return found;
}

void GameTest::AvoidSolvedStart() {
  for (int i = 0; i < 20 && Ring() == kCanvasStart; ++i) {
    x_->Tap(XK_Down);
    WaitUntil([&] { return Ring() != kCanvasStart; }, Limit(1000));
  }
  if (Ring() == kCanvasStart) throw std::runtime_error("twenty new colours were all (30, 30, 30)");
}

bool GameTest::HoldUntil(KeySym key, const std::function<bool()>& cond, milliseconds limit) {
  x_->Key(key, true);
  const bool ok = WaitUntil(cond, limit, milliseconds(1));
  x_->Key(key, false);
  return ok;
}

bool GameTest::MixChannel(int channel, int value) {
  // A tick moves one step every 100 ms; the key goes up the moment the canvas shows the value,
  // and should a tick slip in before that, the other key walks it back.
  for (int attempt = 0; attempt < 6; ++attempt) {
    const int now = ChannelOf(Canvas(), channel);
    if (now == value) return true;
    const KeySym key = now < value ? kRaiseKey[channel] : kLowerKey[channel];
    const bool up = now < value;
    HoldUntil(
        key, [&] { return up ? ChannelOf(Canvas(), channel) >= value : ChannelOf(Canvas(), channel) <= value; },
        Limit(3000));
  }
  return ChannelOf(Canvas(), channel) == value;
}

void GameTest::Click(Point p) {
  x_->MoveTo(window_, origin_.x + p.x * scale_, origin_.y + p.y * scale_);
  x_->Button(1, true);
  Pause(milliseconds(30));
  x_->Button(1, false);
}

double GameTest::CueScore(const std::string& cue) {
  if (game_ && game_->Running()) throw std::runtime_error("read the sound only after the game has ended");
  if (!capture_) capture_ = LoadCapture(*dir_ / "audio.raw");
  const auto samples = LoadCue(SoundsDir() + "/" + cue);
  if (!samples) throw std::runtime_error("cannot read the reference cue " + cue);
  return CueMatch(*capture_, *samples);
}

double GameTest::CapturedSeconds() { return CaptureSeconds(ReadFile(*dir_ / "audio.raw").size()); }

}  // namespace kromi::e2e
