#pragma once
// Drives the real game the way a person at an X display would: a private Xvfb, the game as a
// child process, synthetic keys and pointer through XTest, and the screen read back pixel by pixel.
// Every wait here has a deadline; nothing blocks for good. The end-to-end tests, the screenshot
// tool and the bench probe all see the game through it.
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <X11/Xlib.h>

namespace kromi::e2e {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls cond every `every` (zero: without a pause) until it holds (true) or `limit` has passed
// (false). cond is always asked at least once, and once more at the deadline, so a slow poll
// never loses the last look.
bool WaitUntil(const std::function<bool()>& cond, milliseconds limit, Clock::duration every = milliseconds(2));

// Sleeps the calling thread.
void Pause(Clock::duration duration);

// A scratch directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// How a child process ended.
struct Exit {
  bool exited = false;  // false: killed by a signal
  int code = 0;         // exit code, or the signal number
};

// How a Process starts, beyond its program and environment.
struct ProcessOptions {
  std::string stdoutPath;  // empty: /dev/null
  std::string stderrPath;  // empty: /dev/null
  bool inheritOutput = false;  // stdout and stderr stay the caller's; the paths are not used
  std::vector<int> keepFds;    // left open for it
  // Should the caller die, the child gets this, so nothing outlives a crashed or timed-out test.
  int orphanSignal = SIGKILL;
  // A process group of its own, which Stop signals whole: whatever the child starts (a wrapper's
  // program, Wine's processes) ends with it.
  bool ownGroup = false;
};

// A child process started with fork/exec.
class Process {
 public:
  // Starts argv[0] (looked up in PATH when it names no directory) with exactly env
  // (NAME=value strings). Throws std::runtime_error if it cannot be started.
  Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const ProcessOptions& options);
  // The same with stdout and stderr written to the given files (empty: /dev/null).
  Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& stdoutPath = {}, const std::string& stderrPath = {},
          const std::vector<int>& keepFds = {}, int orphanSignal = SIGKILL);
  ~Process();  // kills the process (its group, with ownGroup) if it is still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t Pid() const { return pid_; }
  // The moment just before the fork: a start-up time counted from here includes the exec.
  Clock::time_point Started() const { return started_; }
  bool Running();
  // The exit status once it has ended within limit; nothing if it is still running then.
  std::optional<Exit> WaitExit(milliseconds limit);
  // Sends signal (to the group, with ownGroup) and reaps the process; SIGKILL after limit if it
  // does not end.
  void Stop(int signal, milliseconds limit);

 private:
  pid_t pid_ = -1;
  bool ownGroup_ = false;
  Clock::time_point started_{};
  std::optional<Exit> exit_;
};

// The calling process's environment as a map, for building a child's.
std::map<std::string, std::string> CurrentEnvironment();
std::vector<std::string> ToEnvList(const std::map<std::string, std::string>& env);

// A private X server on a free display number, gone with the object.
class Xvfb {
 public:
  // dpi 0 leaves the server's default. Throws std::runtime_error if no server comes up in time.
  explicit Xvfb(int dpi = 96, milliseconds limit = milliseconds(10000));
  ~Xvfb();  // asks the server to go first, so it removes its lock file and socket
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  const std::string& Name() const { return name_; }  // ":N"

 private:
  std::string name_;
  std::optional<Process> server_;
};

struct Rgb {
  int r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
std::string ToString(const Rgb& c);

// A grabbed window picture, packed 0xRRGGBB.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  Rgb At(int x, int y) const;
};

struct SizeHints {
  bool hasMin = false, hasMax = false;
  int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
};

struct Geometry {
  int x = 0, y = 0;  // on the root window
  int width = 0, height = 0;
  bool viewable = false;
};

// One client connection to a display, with XTest for input.
class XSession {
 public:
  explicit XSession(const std::string& display);  // throws if it cannot connect or lacks XTest
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  Display* Raw() const { return display_; }

  // The first top-level window whose _NET_WM_NAME (or WM_NAME) is title.
  std::optional<Window> FindWindow(const std::string& title);
  std::optional<Window> WaitForWindow(const std::string& title, milliseconds limit);
  std::string Title(Window w);
  SizeHints Hints(Window w);
  std::optional<Geometry> GeometryOf(Window w);

  // Window pixels; nothing if the window is gone or not viewable, or (x, y) lies outside it.
  // A pixel costs one round trip to the server, so it can be polled fast.
  std::optional<Rgb> Pixel(Window w, int x, int y);
  std::optional<Image> Grab(Window w);

  // Keyboard focus to w. With no window manager nobody else gives it.
  void Focus(Window w);
  KeyCode Code(KeySym sym);  // throws if the keymap has no such key
  void Key(KeySym sym, bool down);
  void Tap(KeySym sym, milliseconds hold = milliseconds(30));
  bool NumLockOn();
  // Sets NumLock by tapping its key; true once the server reports the wanted state.
  bool SetNumLock(bool on, milliseconds limit = milliseconds(2000));

  // Pointer, in w's coordinates (which may lie outside w), or on the root window.
  void MoveTo(Window w, int x, int y);
  void MoveToRoot(int x, int y);
  void Button(unsigned button, bool down);

  // What a window manager sends when the user closes the window.
  void SendDeleteWindow(Window w);

 private:
  Display* display_ = nullptr;
};

}  // namespace kromi::e2e
