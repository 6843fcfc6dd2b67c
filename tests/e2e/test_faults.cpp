// The game when things go wrong around it: a long stretch of random input, the X server dying,
// no fonts, the process stopped and continued with a key held, the focus taken away in the middle
// of a press, and no sound device.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "game_fixture.h"

#include <X11/Xutil.h>  // after gtest, whose names some X macros would spoil

namespace kromi::e2e {
namespace {

namespace fs = std::filesystem;

// VmRSS of a live process in KiB; -1 once it is gone.
long RssKiB(pid_t pid) {
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Regular files the process holds open for writing, except those in allowed (as the kernel names
// them). Devices, pipes and sockets are not regular files; anonymous shared memory is, but it is
// no file anyone could find afterwards.
std::vector<std::string> FilesOpenForWriting(pid_t pid, const std::set<std::string>& allowed) {
  std::vector<std::string> found;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code ec;
  for (fs::directory_iterator it(proc + "/fd", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string fd = it->path().filename();
    struct stat st {};
    if (::stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::error_code linkError;
    const std::string target = fs::read_symlink(it->path(), linkError);
    if (linkError || target.rfind("/memfd:", 0) == 0 || allowed.count(target)) continue;
    std::istringstream info(ReadFile(proc + "/fdinfo/" + fd));
    std::string line;
    while (std::getline(info, line)) {
      if (line.rfind("flags:", 0) != 0) continue;
      const long flags = std::strtol(line.c_str() + 6, nullptr, 8);
      if ((flags & O_ACCMODE) == O_WRONLY || (flags & O_ACCMODE) == O_RDWR) {
        found.push_back(target + " (fd " + fd + ", flags " + line.substr(6) + ")");
      }
    }
  }
  return found;
}

// What this process would hand down to a child: its fds without close-on-exec (ctest's
// log, for one). The game did not open those.
std::set<std::string> InheritedFiles() {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec)) {
    const int fd = std::atoi(it->path().filename().c_str());
    const int flags = ::fcntl(fd, F_GETFD);
    std::error_code linkError;
    const std::string target = fs::read_symlink(it->path(), linkError);
    if (flags >= 0 && !(flags & FD_CLOEXEC) && !linkError) names.insert(target);
  }
  return names;
}

// Everything under dir, directories included.
std::vector<std::string> Contents(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().string());
  }
  return names;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += "  " + l + "\n";
  return all;
}

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

long EnvNumber(const char* name, long fallback) {
  const std::string v = EnvOrEmpty(name);
  return v.empty() ? fallback : std::strtol(v.c_str(), nullptr, 10);
}

// "Avsluta" and its copies, pressed or not, with a margin: the random player never goes near it.
bool NearAvsluta(int x, int y) { return x < 117 && y >= 198; }

// ---------------------------------------------------------------------------------------------
// Random input

class RandomInput : public GameTest {
 protected:
  Point RandomPoint() {
    for (;;) {
      const Point p{std::uniform_int_distribution<int>(0, kClientWidth - 1)(rng_),
                    std::uniform_int_distribution<int>(0, kClientHeight - 1)(rng_)};
      if (!NearAvsluta(p.x, p.y)) return p;
    }
  }
  int Percent() { return std::uniform_int_distribution<int>(0, 99)(rng_); }
  int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  void Move(Point p) {
    x_->MoveTo(window_, p.x, p.y);
    ++events_;
  }
  void SetKey(KeySym key, bool down) {
    x_->Key(key, down);
    ++events_;
  }
  void SetButton(int b, bool down) {
    x_->Button(static_cast<unsigned>(b), down);
    buttons_[static_cast<std::size_t>(b - 1)] = down;
    ++events_;
  }
  // Holding a key that is up, or letting go of one that is down; sometimes a quick tap instead.
  void ToggleKey(KeySym key, bool& held, int tapPercent) {
    if (held) {
      SetKey(key, false);
      held = false;
    } else if (Percent() < tapPercent) {
      SetKey(key, true);
      Pause(milliseconds(Between(0, 60)));
      SetKey(key, false);
    } else {
      SetKey(key, true);
      held = true;
    }
  }

  // One step of the random player: a key, a pointer move, a press or release, a click or a drag.
  void Step() {
    const int what = Percent();
    if (what < 30) {
      const int k = Between(0, 5);
      ToggleKey(k < 3 ? kRaiseKey[k] : kLowerKey[k - 3], numberPad_[static_cast<std::size_t>(k)], 30);
    } else if (what < 38) {
      ToggleKey(XK_Down, down_, 50);
    } else if (what < 43) {
      ToggleKey(XK_Right, right_, 50);
    } else if (what < 58) {
      Move(RandomPoint());
    } else if (what < 73) {
      const int b = Between(1, 3);
      SetButton(b, !buttons_[static_cast<std::size_t>(b - 1)]);
    } else if (what < 88) {
      const int b = Between(1, 3);
      Move(RandomPoint());
      if (!buttons_[static_cast<std::size_t>(b - 1)]) SetButton(b, true);
      Pause(milliseconds(Between(0, 60)));
      SetButton(b, false);
    } else {
      const int b = Between(1, 3);
      const Point from = RandomPoint(), to = RandomPoint();
      Move(from);
      if (!buttons_[static_cast<std::size_t>(b - 1)]) SetButton(b, true);
      const int legs = Between(1, 5);
      for (int i = 1; i <= legs; ++i) {
        const Point via{from.x + (to.x - from.x) * i / legs, from.y + (to.y - from.y) * i / legs};
        if (NearAvsluta(via.x, via.y)) continue;
        Move(via);
        Pause(milliseconds(Between(0, 30)));
      }
      SetButton(b, false);
    }
    // Mostly quick, sometimes long enough for the timers to tick with keys held.
    const int wait = Percent();
    Pause(milliseconds(wait < 80 ? Between(0, 10) : wait < 97 ? Between(10, 150) : Between(150, 500)));
  }

  void LetGoOfEverything() {
    for (int k = 0; k < 6; ++k) {
      if (numberPad_[static_cast<std::size_t>(k)]) SetKey(k < 3 ? kRaiseKey[k] : kLowerKey[k - 3], false);
      numberPad_[static_cast<std::size_t>(k)] = false;
    }
    if (down_) SetKey(XK_Down, false);
    if (right_) SetKey(XK_Right, false);
    down_ = right_ = false;
    for (int b = 1; b <= 3; ++b) {
      if (buttons_[static_cast<std::size_t>(b - 1)]) SetButton(b, false);
    }
  }

  std::mt19937_64 rng_;
  long events_ = 0;
  std::array<bool, 6> numberPad_{};
  std::array<bool, 3> buttons_{};
  bool down_ = false, right_ = false;
};

// Runs for KROMI_E2E_RANDOM_SECONDS (30 by default); KROMI_E2E_RANDOM_SEED repeats a run's input.
TEST_F(RandomInput, KeepsRunningWithoutGrowingOrWritingFiles) {
  const long seconds = std::max(6L, EnvNumber("KROMI_E2E_RANDOM_SECONDS", 30));
  const std::uint64_t seed = EnvOrEmpty("KROMI_E2E_RANDOM_SEED").empty()
                                 ? std::random_device{}()
                                 : std::strtoull(EnvOrEmpty("KROMI_E2E_RANDOM_SEED").c_str(), nullptr, 10);
  rng_.seed(seed);
  SCOPED_TRACE("KROMI_E2E_RANDOM_SEED=" + std::to_string(seed));
  RecordProperty("seed", std::to_string(seed));

  // The game gets empty settings folders of its own, and silence without any file behind it:
  // SDL's disk driver, which the rest of the suite listens through, writes one.
  TempDir home;
  for (const char* name : {"home", "config", "cache", "data"}) fs::create_directory(home / name);
  environment_ = {{"SDL_AUDIODRIVER", "dummy"},
                  {"HOME", home / "home"},
                  {"XDG_CONFIG_HOME", home / "config"},
                  {"XDG_CACHE_HOME", home / "cache"},
                  {"XDG_DATA_HOME", home / "data"}};
  Launch();
  const pid_t pid = game_->Pid();
  std::set<std::string> outputs = InheritedFiles();
  outputs.insert(fs::canonical(*dir_ / "stdout").string());
  outputs.insert(fs::canonical(*dir_ / "stderr").string());

  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  const auto warm = start + std::chrono::seconds(std::min(5L, seconds / 2));
  long rssWarm = -1;
  auto nextLook = start;
  std::set<std::string> writing;
  while (Clock::now() < end) {
    Step();
    if (Clock::now() < nextLook) continue;
    nextLook = Clock::now() + milliseconds(250);
    ASSERT_TRUE(game_->Running()) << "the game died after " << events_ << " input events";
    for (const std::string& f : FilesOpenForWriting(pid, outputs)) writing.insert(f);
    if (rssWarm < 0 && Clock::now() >= warm) rssWarm = RssKiB(pid);
  }
  LetGoOfEverything();
  Pause(milliseconds(300));
  ASSERT_TRUE(game_->Running()) << "the game died after " << events_ << " input events";
  for (const std::string& f : FilesOpenForWriting(pid, outputs)) writing.insert(f);
  const long rssEnd = RssKiB(pid);

  std::printf("random input: seed %" PRIu64 ", %ld s, %ld input events, VmRSS %ld KiB after warm-up, %ld KiB at the end\n",
              seed, seconds, events_, rssWarm, rssEnd);
  RecordProperty("seconds", std::to_string(seconds));
  RecordProperty("events", std::to_string(events_));
  RecordProperty("rss_warm_kib", std::to_string(rssWarm));
  RecordProperty("rss_end_kib", std::to_string(rssEnd));

  ASSERT_GT(rssWarm, 0);
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(rssEnd - rssWarm, 1024) << "VmRSS grew from " << rssWarm << " KiB to " << rssEnd << " KiB";
#else
  // Under ASan freed blocks wait in a quarantine of up to 256 MiB before reuse, so the resident
  // size climbs by design. Leaks are the sanitizer's to find there: it checks at the exit below.
#endif
  EXPECT_TRUE(writing.empty()) << "open for writing:\n" << Joined({writing.begin(), writing.end()});

  const auto exit = Quit();
  ASSERT_TRUE(exit.has_value()) << "Esc did not end the game";
  EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
  EXPECT_EQ(exit->code, 0);
  for (const char* name : {"home", "config", "cache", "data"}) {
    const std::vector<std::string> left = Contents(home / name);
    EXPECT_TRUE(left.empty()) << "written by the game:\n" << Joined(left);
  }
}

// ---------------------------------------------------------------------------------------------
// Faults

class Faults : public GameTest {
 protected:
  // The suite's X server: the one child of this process that is an Xvfb. (With -displayfd the
  // server writes no lock file to read its pid from.)
  static pid_t ServerPid() {
    pid_t found = 0;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
      // /proc/PID/stat: "pid (comm) state ppid ..."
      const std::string stat = ReadFile(it->path().string() + "/stat");
      const auto open = stat.find(" ("), close = stat.rfind(") ");
      if (open == std::string::npos || close == std::string::npos) continue;
      std::istringstream rest(stat.substr(close + 2));
      std::string state;
      long ppid = 0;
      rest >> state >> ppid;
      if (ppid == ::getpid() && stat.substr(open + 2, close - open - 2) == "Xvfb") {
        if (found) return 0;
        found = static_cast<pid_t>(std::strtol(stat.c_str(), nullptr, 10));
      }
    }
    return found;
  }

  // A window's pixels over the rectangle [x0, x1) x [y0, y1).
  std::vector<Rgb> Region(int x0, int y0, int x1, int y1) {
    const auto image = x_->Grab(window_);
    if (!image) throw std::runtime_error("the window is gone");
    std::vector<Rgb> out;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) out.push_back(image->At(x, y));
    }
    return out;
  }
  // "Ny färg" and its two copies, and nothing else that a new colour changes.
  std::vector<Rgb> NewColourButton() { return Region(112, 203, 214, 238); }
  // How many of its pixels differ from how it looked in was.
  int NewColourButtonChanges(const std::vector<Rgb>& was) {
    const std::vector<Rgb> now = NewColourButton();
    int changed = 0;
    for (std::size_t i = 0; i < now.size(); ++i) changed += now[i] != was[i];
    return changed;
  }

  // The knob's step read from one column of pixels: one request, so quick enough to time ticks.
  int FastKnobStep(int channel) {
    const int x = kKnobLeft[channel] + 6;
    XImage* column = XGetImage(x_->Raw(), window_, x, 0, 1, kClientHeight, AllPlanes, ZPixmap);
    if (!column) throw std::runtime_error("the window is gone");
    const Rgb body = kKnobBody[channel];
    const unsigned long want = (static_cast<unsigned long>(body.r) << 16) | (static_cast<unsigned long>(body.g) << 8) |
                               static_cast<unsigned long>(body.b);
    int found = -1;
    for (int step = 0; step < kSteps; ++step) {
      if ((XGetPixel(column, 0, 170 - 16 * step + 10) & 0xFFFFFF) == want) {
        found = found < 0 ? step : -2;
      }
    }
    XDestroyImage(column);
    return found;
  }

  // A plain window of the test's own, away from the game's, to take the focus and the pointer.
  Window OtherWindow() {
    Display* d = x_->Raw();
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 20, 20, 120, 120, 0, 0, 0xFFFFFF);
    XMapRaised(d, w);
    XSync(d, False);
    if (!WaitUntil([&] { const auto g = x_->GeometryOf(w); return g && g->viewable; }, Limit(2000))) {
      throw std::runtime_error("the other window never showed");
    }
    return w;
  }

  void ExpectCleanExit() {
    // Under Wine without a window manager, the X focus given back by hand does not make the
    // window active again, so its keys go nowhere: there it is closed as the desktop would.
    if (UnderWine()) x_->SendDeleteWindow(window_);
    const auto exit = Quit();
    ASSERT_TRUE(exit.has_value()) << "Esc did not end the game";
    EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
    EXPECT_EQ(exit->code, 0);
  }
};

// Xlib ends a client whose server is gone; the game must not be left waiting for events.
TEST_F(Faults, XServerKilledEndsTheGameWithAnError) {
  // Xlib's exit comes from deep inside the event loop, with nothing torn down; in the sanitised
  // build a leak report there would be about that, not about the game.
  environment_["ASAN_OPTIONS"] = "detect_leaks=0";
  Launch();
  Pause(milliseconds(300));
  const std::string display = xvfb_->Name();
  const pid_t server = ServerPid();
  ASSERT_GT(server, 0) << "cannot tell which process is the X server";
  x_.reset();  // the suite's own connection would end the test the same way
  ASSERT_EQ(::kill(server, SIGKILL), 0);
  const auto killed = Clock::now();
  const auto exit = game_->WaitExit(Limit(3000));
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - killed).count();
  // The killed server leaves its socket behind; no other server can have taken that name since.
  ::unlink(("/tmp/.X11-unix/X" + display.substr(1)).c_str());
  ASSERT_TRUE(exit.has_value()) << "still running three seconds after the X server died";
  RecordProperty("exit_ms", std::to_string(took));
  std::printf("the game ended %lld ms after the X server was killed\n", static_cast<long long>(took));
  EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
  EXPECT_EQ(exit->code, 1);
  const std::string err = ReadFile(*dir_ / "stderr");
  EXPECT_FALSE(err.empty());
  EXPECT_LE(CountLines(err), 2) << err;
  EXPECT_LT(err.size(), 300u) << err;
  std::printf("its stderr:\n%s", err.c_str());
}

// Cue files are untrusted: beside a copy of the game, Pot.wav claims 4 GiB of samples in a
// 108-byte file and Ny.wav is bigger than any cue may be. The game starts, moves its knobs (each
// step asks for Pot.wav), plays nothing of either, and quits as always.
TEST_F(Faults, HostileCueFilesAreSilentAndChangeNothing) {
  TempDir copy;
  const fs::path game = UnderWine() ? fs::path(EnvOrEmpty("KROMI_E2E_WINE_EXE")) : fs::path(GameProgram());
  fs::copy_file(game, copy / game.filename().string());
  for (const char* cue : {"Boom.wav", "Visa.wav"}) fs::copy_file(SoundsDir() + "/" + cue, copy / cue);
  std::string pot = ReadFile(SoundsDir() + "/Pot.wav").substr(0, 108);
  ASSERT_EQ(pot.size(), 108u);
  pot.replace(40, 4, "\xFF\xFF\xFF\xFF");  // the data chunk's size
  std::ofstream(copy / "Pot.wav", std::ios::binary) << pot;
  std::string ny = ReadFile(SoundsDir() + "/Ny.wav");
  ny.resize(600 * 1024, '\x80');  // past the largest cue the game reads
  std::ofstream(copy / "Ny.wav", std::ios::binary) << ny;

  if (UnderWine()) environment_["KROMI_E2E_WINE_EXE"] = copy / game.filename().string();
  Launch(96, UnderWine() ? GameProgram() : copy / game.filename().string());
  ExpectFirstFrame(1);
  AvoidSolvedStart();
  EXPECT_TRUE(HoldUntil(kRaiseKey[0], [&] { return KnobStep(0) >= 2; }, Limit(3000))) << "the knob stopped";
  const auto exit = Quit();
  ASSERT_TRUE(exit.has_value()) << "the game did not end on Esc";
  EXPECT_TRUE(exit->exited && exit->code == 0) << (exit->exited ? "exit " : "signal ") << exit->code;
  EXPECT_LT(CueScore("Ny.wav"), 0.5) << "the oversized Ny.wav was played";
}

TEST_F(Faults, NoFontsFailsWithOneLineAndNoWindow) {
  TempDir fc;
  fs::create_directory(fc / "cache");
  std::ofstream(fc / "fonts.conf") << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                                      "<fontconfig>\n  <cachedir>"
                                   << fc / "cache" << "</cachedir>\n</fontconfig>\n";
  environment_["FONTCONFIG_FILE"] = fc / "fonts.conf";
  StartGame();
  const auto exit = game_->WaitExit(Limit(5000));
  ASSERT_TRUE(exit.has_value()) << "still running five seconds later";
  std::printf("exit %lld ms after the start\n",
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(Clock::now() - started_).count()));
  EXPECT_TRUE(exit->exited) << "killed by signal " << exit->code;
  EXPECT_EQ(exit->code, 1);
  const std::string err = ReadFile(*dir_ / "stderr");
  EXPECT_EQ(err.rfind("kromi:", 0), 0u) << err;
  EXPECT_EQ(CountLines(err), 1) << err;
  EXPECT_FALSE(x_->FindWindow(kTitle).has_value()) << "the window is still there";
  std::printf("its stderr: %s", err.c_str());
}

// A channel whose raising alone cannot complete a match with ring.
int ChannelThatCannotMatch(const Rgb& ring) {
  for (int ch = 0; ch < 3; ++ch) {
    for (int other = 0; other < 3; ++other) {
      if (other != ch && ChannelOf(ring, other) != kCanvasStart.r) return ch;
    }
  }
  return -1;  // only (30, 30, 30), which is matched from the start
}

// Timer1 steps a held knob every 100 ms. After five seconds stopped, the ticks it missed are
// gone: one step at most on waking, then the usual pace.
TEST_F(Faults, StoppedWithAKeyHeldResumesWithoutABurst) {
  Launch();
  AvoidSolvedStart();
  const Rgb ring = Ring();
  const int ch = ChannelThatCannotMatch(ring);
  ASSERT_GE(ch, 0);
  x_->Key(kRaiseKey[ch], true);
  ASSERT_TRUE(WaitUntil([&] { return FastKnobStep(ch) >= 1; }, Limit(2000), milliseconds(1)));
  ASSERT_EQ(::kill(game_->Pid(), SIGSTOP), 0);
  const int before = FastKnobStep(ch);
  Pause(milliseconds(5000));
  ASSERT_EQ(FastKnobStep(ch), before) << "moved while stopped";
  ASSERT_EQ(::kill(game_->Pid(), SIGCONT), 0);
  const auto resumed = Clock::now();
  int early = before;
  while (Clock::now() - resumed < milliseconds(60)) {
    early = std::max(early, FastKnobStep(ch));
    Pause(milliseconds(1));
  }
  // Then the pace: the times of the next steps, until the top or a second has passed.
  std::vector<Clock::time_point> steps;
  int last = early;
  while (Clock::now() - resumed < Limit(1000) && last < kSteps - 1) {
    const int now = FastKnobStep(ch);
    if (now > last) {
      for (int s = last; s < now; ++s) steps.push_back(Clock::now());
      last = now;
    }
    Pause(milliseconds(1));
  }
  x_->Key(kRaiseKey[ch], false);
  std::printf("step %d when stopped, %d within 60 ms of waking, %d a second later\n", before, early, last);
  EXPECT_LE(early - before, 1) << "a burst of ticks on waking: from step " << before << " to " << early;
  ASSERT_GE(steps.size(), 3u) << "the knob hardly moved after waking: step " << last;
  const double gap =
      std::chrono::duration<double, std::milli>(steps.back() - steps.front()).count() / double(steps.size() - 1);
  std::printf("%zu steps after that, %.0f ms apart\n", steps.size(), gap);
  EXPECT_GT(gap, 70.0) << "steps came faster than Timer1 ticks";
  EXPECT_LT(gap, 130.0 * kSlow) << "steps came slower than Timer1 ticks";
  ExpectCleanExit();
}

// The game starts no other program. With no session bus named, libdbus would fork to launch one
// for SDL; a fork beside the font thread left a child stuck on a lock that thread held, and the
// game waiting for that child, about once in a hundred starts under ASan.
TEST_F(Faults, StartsNoOtherProcess) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed (scripts/setup installs it)";
  TempDir traced;
  const std::string trace = traced / "trace";
  const std::string wrapper = traced / "kromi-traced";
  std::ofstream(wrapper) << "#!/bin/sh\nexec /usr/bin/strace -f -qq -e trace=clone,clone3,fork,vfork -o '" << trace
                         << "' '" << GameProgram() << "'\n";
  fs::permissions(wrapper, fs::perms::owner_all);
  environment_.erase("DBUS_SESSION_BUS_ADDRESS");
  // LeakSanitizer stops the threads with ptrace at the exit, which strace already holds.
  environment_["ASAN_OPTIONS"] = "detect_leaks=0";
  Launch(96, wrapper);
  ExpectCleanExit();
  std::istringstream lines(ReadFile(trace));
  int threads = 0;
  for (std::string line; std::getline(lines, line);) {
    const bool creates = line.find("clone") != std::string::npos || line.find("fork(") != std::string::npos;
    if (!creates) continue;
    // A thread, or a helper sharing the game's memory, is not another program.
    if (line.find("CLONE_VM") != std::string::npos) {
      ++threads;
      continue;
    }
    ADD_FAILURE() << "a new process: " << line;
  }
  EXPECT_GT(threads, 0) << "the trace saw no thread either:\n" << ReadFile(trace);
}

// A press that ends while another window has the focus and the pointer must not leave the button
// sunk when the player comes back.
TEST_F(Faults, FocusLostWhileNyFargIsPressed) {
  Launch();
  const std::vector<Rgb> rest = NewColourButton();
  const Window other = OtherWindow();
  x_->Focus(window_);
  x_->MoveTo(window_, kNewColourButton.x, kNewColourButton.y);
  x_->Button(1, true);
  ASSERT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) > 0; }, Limit(2000))) << "the press did not sink it";
  x_->Focus(other);
  x_->MoveTo(other, 60, 60);
  Pause(milliseconds(100));
  x_->Button(1, false);
  Pause(milliseconds(200));
  x_->MoveTo(window_, 250, 150);
  x_->Focus(window_);
  const auto back = Clock::now();
  EXPECT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) == 0; }, Limit(2000))) << "stuck pressed";
  std::printf("at rest %lld ms after the focus came back\n",
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(Clock::now() - back).count()));
  Pause(milliseconds(300));
  EXPECT_EQ(NewColourButtonChanges(rest), 0) << "pressed again after the focus came back";
  ASSERT_TRUE(game_->Running()) << "losing the focus ended the game";
  ExpectCleanExit();
}

// The same with keys: Down and a number-pad key go up while the game cannot hear them.
TEST_F(Faults, FocusLostWhileKeysAreHeld) {
  Launch();
  const std::vector<Rgb> rest = NewColourButton();
  const Window other = OtherWindow();
  x_->Focus(window_);
  // Down holds "Ny färg" in and deals a colour; (30, 30, 30) would stop the knobs, so not that one.
  Rgb ring = kCanvasStart;
  for (int i = 0; i < 5 && ring == kCanvasStart; ++i) {
    if (i > 0) {
      x_->Key(XK_Down, false);
      WaitUntil([&] { return NewColourButtonChanges(rest) == 0; }, Limit(2000));
    }
    x_->Key(XK_Down, true);
    ASSERT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) > 0; }, Limit(2000))) << "Down did not sink it";
    ring = Ring();
  }
  const int ch = ChannelThatCannotMatch(ring);
  ASSERT_GE(ch, 0);
  x_->Key(kRaiseKey[ch], true);
  ASSERT_TRUE(WaitUntil([&] { return KnobStep(ch) >= 1; }, Limit(2000))) << "the knob did not move";
  x_->Focus(other);
  x_->Key(kRaiseKey[ch], false);
  x_->Key(XK_Down, false);
  Pause(milliseconds(100));
  x_->Focus(window_);
  EXPECT_TRUE(WaitUntil([&] { return NewColourButtonChanges(rest) == 0; }, Limit(2000))) << "stuck pressed";
  const int step = KnobStep(ch);
  Pause(milliseconds(450));  // four ticks
  EXPECT_EQ(KnobStep(ch), step) << "the knob kept moving with its key up";
  ASSERT_TRUE(game_->Running()) << "losing the focus ended the game";
  ExpectCleanExit();
}

// Without a sound device the game plays silently and says nothing about it.
class NoAudio : public Faults {
 protected:
  void PlayToARevealAndQuit() {
    Launch();
    AvoidSolvedStart();
    const Rgb ring = Ring();
    const int ch = StepOf(ChannelOf(ring, 0)) == 1 ? 1 : 0;  // one step here cannot be the match
    ASSERT_TRUE(HoldUntil(kRaiseKey[ch], [&] { return ChannelOf(Canvas(), ch) > 30; }, Limit(3000)));
    x_->Tap(XK_Right);
    EXPECT_TRUE(WaitUntil([&] { return Canvas() == ring; }, Limit(2000)))
        << "canvas " << ToString(Canvas()) << ", ring " << ToString(ring);
    const std::vector<int> answer{StepOf(ring.r), StepOf(ring.g), StepOf(ring.b)};
    EXPECT_TRUE(WaitUntil([&] { return KnobSteps() == answer; }, Limit(2000)));
    ExpectCleanExit();
    EXPECT_EQ(ReadFile(*dir_ / "stderr"), "");
  }
};

TEST_F(NoAudio, UnknownDriver) {
  environment_["SDL_AUDIODRIVER"] = "nosuchdriver";
  PlayToARevealAndQuit();
}

TEST_F(NoAudio, AlsaWithoutConfiguration) {
  TempDir alsa;
  std::ofstream(alsa / "empty.conf").flush();
  environment_["SDL_AUDIODRIVER"] = "alsa";
  environment_["ALSA_CONFIG_PATH"] = alsa / "empty.conf";
  PlayToARevealAndQuit();
}

}  // namespace
}  // namespace kromi::e2e
