#pragma once
// The fixture of the game when things go wrong around it, shared by test_lost_services.cpp,
// test_hostile_cues.cpp, test_process.cpp and test_focus.cpp: the X server to kill, a window
// to take the focus, the knobs read fast enough to time ticks.
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "game_fixture.h"

#include <X11/Xutil.h>  // after gtest, whose names some X macros would spoil

namespace kromi::e2e {

namespace fs = std::filesystem;

// A channel whose raising alone cannot complete a match with ring.
inline int ChannelThatCannotMatch(const Rgb& ring) {
  for (int ch = 0; ch < 3; ++ch) {
    for (int other = 0; other < 3; ++other) {
      if (other != ch && ChannelOf(ring, other) != kCanvasStart.r) return ch;
    }
  }
  return -1;  // only (30, 30, 30), which is matched from the start
}

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

}  // namespace kromi::e2e
