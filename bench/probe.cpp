// Watches a program from outside, the way a player would see it: through the X server, the audio
// it writes and the kernel's accounting. It starts the program itself so every time is counted
// from the fork that execs it.
//
//   kromi_probe startup X Y RRGGBB -- PROGRAM [ARGS...]
//       when the first window maps and when pixel (X, Y) of it turns RRGGBB; then ends it
//   kromi_probe idle [--match] [--settle MS] [--window MS] [--hwm-at MS] [--strace FILE]
//                    -- PROGRAM [ARGS...]
//       the game (or a floor program) left alone: CPU, wake-ups, threads and peak memory over a
//       window; --match first plays the game to a match with synthetic keys
//   kromi_probe latency N -- PROGRAM [ARGS...]
//       N times: mix a little, then time the Down key from its XTest send to the canvas on screen
//   kromi_probe cue N AUDIOFILE -- PROGRAM [ARGS...]
//       runs the program on SDL's disk audio driver and times N cues from key to audio file
//   kromi_probe ticks TRACEFILE -- PROGRAM [ARGS...]
//       Timer1's ticks while a number-pad key keeps red's knob moving, seen in a trace of the
//       main thread's waits (a tick is the end of a wait after which the next wait aims a whole
//       interval later), while another process keeps a core busy; then a 5 s stop with the key
//       held and what follows it, in the trace and on screen
//
// With KROMI_PROBE_NESTED set to the X window of a nested Wayland compositor (weston on its x11
// backend), startup and idle watch a Wayland client instead: the program runs without DISPLAY,
// and its first frame is the first time rgb shows anywhere in that window.
//
// Every report is one line of key=value pairs on stdout, for scripts/bench. Exit status 0 when
// the measurement ran, 1 when it could not.
//
// The program is started, its screen read and its keys typed through the end-to-end tests' X
// driver; what is here is the measuring.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kromi/xdriver/xdriver.h"

namespace {

using kromi::e2e::Clock;
using kromi::e2e::Process;
using kromi::e2e::ProcessOptions;
using kromi::e2e::XSession;
using std::chrono::milliseconds;

// Where the game draws what the probe looks at, in window pixels at scale 1.
constexpr int kCanvasX = 210, kCanvasY = 109;    // the canvas, shpDuk
constexpr int kRingX = 112, kRingY = 110;        // the target ring's broad band, shpRam(0)
constexpr int kHexX = 158, kHexY = 1;            // the first hex label's opaque box, hidden until a match
constexpr std::uint32_t kStartCanvas = 0x1E1E1E;  // RGB(30, 30, 30)
constexpr std::uint32_t kHexBack = 0xE0E0E0;      // RGB(224, 224, 224)

double MsOf(Clock::time_point t) { return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count(); }

double NowMs() { return MsOf(Clock::now()); }

Clock::duration Span(double ms) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
}

void SleepMs(double ms) {
  if (ms > 0) kromi::e2e::Pause(Span(ms));
}

double Median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A figure for the report, or n/a when there is none.
std::string Ms(double v, int digits) {
  if (!std::isfinite(v)) return "n/a";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, v);
  return buf;
}

double Max(const std::vector<double>& v) { return v.empty() ? NAN : *std::max_element(v.begin(), v.end()); }

std::vector<std::string> Environment() { return kromi::e2e::ToEnvList(kromi::e2e::CurrentEnvironment()); }

// ---------------------------------------------------------------------------------------------
// The program under test.

// The nested compositor's window from KROMI_PROBE_NESTED, or 0.
Window NestedOutput() {
  const char* v = std::getenv("KROMI_PROBE_NESTED");
  return v != nullptr ? static_cast<Window>(std::strtoul(v, nullptr, 0)) : 0;
}

// In a process group of its own, so ending it also ends anything it started; its output is the
// probe's own.
struct Child {
  std::unique_ptr<Process> process;
  double startMs = 0;  // just before the fork

  pid_t Pid() const { return process->Pid(); }
};

Child Launch(char** argv, const std::vector<std::pair<std::string, std::string>>& env = {}) {
  std::map<std::string, std::string> vars = kromi::e2e::CurrentEnvironment();
  if (NestedOutput() != 0) vars.erase("DISPLAY");
  for (const auto& [k, v] : env) vars[k] = v;
  std::vector<std::string> args;
  for (char** a = argv; *a != nullptr; ++a) args.emplace_back(*a);
  ProcessOptions options;
  options.inheritOutput = true;
  options.ownGroup = true;
  Child c;
  c.process = std::make_unique<Process>(args, kromi::e2e::ToEnvList(vars), options);
  c.startMs = MsOf(c.process->Started());
  return c;
}

bool Exited(Child& c) { return !c.process->Running(); }

void End(Child& c) { c.process->Stop(SIGKILL, milliseconds(5000)); }

// ---------------------------------------------------------------------------------------------
// The X server.

// The display of DISPLAY, with every window mapped at the top level reported, so the program's
// is seen at once.
struct Screen {
  std::unique_ptr<XSession> x;
  Display* display = nullptr;
  Window root = 0;
};

Screen OpenScreen() {
  Screen s;
  const char* name = std::getenv("DISPLAY");
  try {
    s.x = std::make_unique<XSession>(name != nullptr ? name : "");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kromi_probe: %s\n", e.what());
    return s;
  }
  s.display = s.x->Raw();
  s.root = DefaultRootWindow(s.display);
  XSelectInput(s.display, s.root, SubstructureNotifyMask);
  XSync(s.display, False);
  return s;
}

// The colour of one window pixel as 0xRRGGBB; nothing while the window cannot be read.
std::optional<std::uint32_t> Pixel(XSession& xs, Window w, int x, int y) {
  const auto c = xs.Pixel(w, x, y);
  if (!c) return std::nullopt;
  return static_cast<std::uint32_t>(c->r) << 16 | static_cast<std::uint32_t>(c->g) << 8 |
         static_cast<std::uint32_t>(c->b);
}

// True when rgb shows anywhere in w.
bool Shows(XSession& xs, Window w, std::uint32_t rgb) {
  const auto image = xs.Grab(w);
  if (!image) return false;
  const auto is = [&](int x, int y) {
    return image->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(image->width) +
                         static_cast<std::size_t>(x)] == rgb;
  };
  // A 4x4 square of it, so the compositor's pointer sprite, with a pixel or two of any dark
  // grey, does not count.
  bool found = false;
  for (int y = 0; y + 3 < image->height && !found; ++y) {
    for (int x = 0; x + 3 < image->width && !found; ++x) {
      found = true;
      for (int dy = 0; dy < 4 && found; ++dy) {
        for (int dx = 0; dx < 4 && found; ++dx) found = is(x + dx, y + dy);
      }
    }
  }
  return found;
}

// Before a nested run: waits for the compositor to take the last program's frame off its output.
bool NestedClear(Screen& s, std::uint32_t rgb) {
  const Window nested = NestedOutput();
  if (nested == 0) return true;
  for (const double end = NowMs() + 3000; NowMs() < end; SleepMs(10)) {
    if (!Shows(*s.x, nested, rgb)) return true;
  }
  std::fprintf(stderr, "kromi_probe: %06X already shows before the program runs\n", rgb);
  return false;
}

// Waits for the X connection or timeoutMs, whichever comes first.
void WaitX(Display* d, double timeoutMs) {
  if (XPending(d)) return;
  pollfd pfd{ConnectionNumber(d), POLLIN, 0};
  const timespec ts{static_cast<time_t>(timeoutMs / 1000), static_cast<long>(std::fmod(timeoutMs, 1000.0) * 1e6)};
  ppoll(&pfd, 1, &ts, nullptr);
}

struct FirstFrame {
  Window window = 0;
  double mapMs = -1;    // first top-level map, from the fork
  double frameMs = -1;  // the pixel seen, from the fork
};

// The process that says it owns w (_NET_WM_PID, which SDL sets), or 0 when it does not say.
long WindowPid(Display* d, Window w) {
  static const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  long pid = 0;
  if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) == Success &&
      data != nullptr && format == 32 && items == 1) {
    pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
  }
  if (data != nullptr) XFree(data);
  return pid;
}

// True when pid is ancestor or one of its descendants (a wrapper such as strace may sit between).
bool Descends(long pid, long ancestor) {
  for (int depth = 0; pid > 1 && depth < 16; ++depth) {
    if (pid == ancestor) return true;
    const std::string all = kromi::e2e::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = all.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream rest(all.substr(close + 2));
    std::string state;
    rest >> state >> pid;
  }
  return false;
}

// Waits until a window of the child shows rgb at (x, y). Before any window maps it sleeps on the
// X connection; after that it looks every fifth of a millisecond. Ends the child when giving up.
std::optional<FirstFrame> WaitFirstFrame(Screen& s, Child& child, int x, int y, std::uint32_t rgb,
                                         double timeoutMs = 10000,
                                         const std::function<void()>& meanwhile = {}) {
  FirstFrame f;
  std::vector<Window> mapped;
  const Window nested = NestedOutput();
  for (;;) {
    if (nested != 0) {
      // A Wayland client maps no X window; the compositor's is looked at whole, every turn.
      if (Shows(*s.x, nested, rgb)) {
        f.frameMs = f.mapMs = NowMs() - child.startMs;
        f.window = nested;
        return f;
      }
      mapped.clear();
    }
    while (XPending(s.display)) {
      XEvent e;
      XNextEvent(s.display, &e);
      if (e.type == MapNotify && e.xmap.event == s.root) {
        // Another program's window (when several run at once) is not this one's first frame.
        const long owner = WindowPid(s.display, e.xmap.window);
        if (owner != 0 && !Descends(owner, child.Pid())) continue;
        mapped.push_back(e.xmap.window);
        if (f.mapMs < 0) f.mapMs = NowMs() - child.startMs;
      }
    }
    for (const Window w : mapped) {
      const auto p = Pixel(*s.x, w, x, y);
      if (p && *p == rgb) {
        f.frameMs = NowMs() - child.startMs;
        f.window = w;
        return f;
      }
    }
    if (meanwhile) meanwhile();
    if (Exited(child)) {
      std::fprintf(stderr, "kromi_probe: the program ended before its first frame\n");
      return std::nullopt;
    }
    if (NowMs() - child.startMs > timeoutMs) {
      std::fprintf(stderr, "kromi_probe: no frame with %06X at (%d, %d) within %.0f ms\n", rgb, x, y, timeoutMs);
      End(child);
      return std::nullopt;
    }
    WaitX(s.display, nested != 0 ? 1.0 : mapped.empty() && !meanwhile ? 5.0 : 0.2);
  }
}

std::uint32_t Part(std::uint32_t rgb, int channel) { return (rgb >> (16 - 8 * channel)) & 0xFF; }

// Polls the pixel until pred holds or timeoutMs passes; the time it held, or nothing.
std::optional<double> Until(XSession& xs, Window w, int x, int y, const std::function<bool(std::uint32_t)>& pred,
                            double timeoutMs, double stepMs = 0.05) {
  double heldMs = 0;
  const bool held = kromi::e2e::WaitUntil(
      [&] {
        const auto p = Pixel(xs, w, x, y);
        if (!p || !pred(*p)) return false;
        heldMs = NowMs();
        return true;
      },
      milliseconds(static_cast<long>(timeoutMs)), Span(stepMs));
  if (!held) return std::nullopt;
  return heldMs;
}

// Plays to a match: holds each channel's key until the canvas shows the ring's intensity. A busy
// machine can let one more tick through before the release arrives, so a channel that went past
// is brought back in the next round.
bool PlayToMatch(XSession& xs, Window w) {
  const KeySym up[3] = {XK_KP_4, XK_KP_5, XK_KP_6};
  const KeySym down[3] = {XK_KP_1, XK_KP_2, XK_KP_3};
  const auto ring = Pixel(xs, w, kRingX, kRingY);
  if (!ring) return false;
  for (int round = 0; round < 4; ++round) {
    bool all = true;
    for (int c = 0; c < 3; ++c) {
      const auto canvas = Pixel(xs, w, kCanvasX, kCanvasY);
      if (!canvas) return false;
      const std::uint32_t want = Part(*ring, c);
      if (Part(*canvas, c) == want) continue;
      all = false;
      const KeySym key = want > Part(*canvas, c) ? up[c] : down[c];
      xs.Key(key, true);
      const auto reached = Until(xs, w, kCanvasX, kCanvasY, [&](std::uint32_t p) { return Part(p, c) == want; }, 3000, 1);
      xs.Key(key, false);
      if (!reached) std::fprintf(stderr, "kromi_probe: channel %d did not stop at %u, again\n", c, want);
      SleepMs(20);
    }
    // The match shows the hex labels at the next tick.
    if (Until(xs, w, kHexX, kHexY, [](std::uint32_t p) { return p == kHexBack; }, all ? 1000 : 300, 1)) return true;
  }
  const auto canvas = Pixel(xs, w, kCanvasX, kCanvasY);
  std::fprintf(stderr, "kromi_probe: no match: ring %06X, canvas %06X\n", *ring, canvas ? *canvas : 0u);
  return false;
}

// ---------------------------------------------------------------------------------------------
// The kernel's view of a process.

// One thread's run time and context switches so far.
struct TaskUsage {
  double cpuMs = 0;
  long switches = 0;
};

struct Usage {
  double cpuMs = 0;       // every live thread's run time, from schedstat (nanoseconds)
  double statCpuMs = 0;   // utime + stime of the whole process from /proc/PID/stat (clock ticks)
  long switches = 0;      // voluntary + involuntary context switches of the live threads
  long threads = 0;
  long hwmKib = 0;
  long rssKib = 0;
  std::map<std::string, TaskUsage> tasks;  // by thread id
};

long StatusField(const std::string& path, const char* name) {
  std::ifstream in(path);
  std::string line;
  const std::size_t n = std::strlen(name);
  while (std::getline(in, line)) {
    if (line.compare(0, n, name) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
  }
  return -1;
}

Usage ReadUsage(pid_t pid) {
  Usage u;
  const std::string dir = "/proc/" + std::to_string(pid);
  {
    const std::string all = kromi::e2e::ReadFile(dir + "/stat");
    const std::size_t close = all.rfind(')');
    if (close != std::string::npos) {
      std::istringstream rest(all.substr(close + 2));
      std::vector<std::string> f;
      std::string tok;
      while (rest >> tok) f.push_back(tok);
      // After the name: state is field 3, utime field 14, stime field 15.
      if (f.size() > 12) {
        const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
        u.statCpuMs = (std::atof(f[11].c_str()) + std::atof(f[12].c_str())) * 1000.0 / tick;
      }
    }
  }
  if (DIR* tasks = opendir((dir + "/task").c_str())) {
    while (dirent* t = readdir(tasks)) {
      if (t->d_name[0] == '.') continue;
      const std::string task = dir + "/task/" + t->d_name;
      std::ifstream sched(task + "/schedstat");
      double ns = 0;
      TaskUsage one;
      if (sched >> ns) one.cpuMs = ns / 1e6;
      const long v = StatusField(task + "/status", "voluntary_ctxt_switches");
      const long i = StatusField(task + "/status", "nonvoluntary_ctxt_switches");
      one.switches = std::max(0L, v) + std::max(0L, i);
      u.cpuMs += one.cpuMs;
      u.switches += one.switches;
      u.tasks[t->d_name] = one;
    }
    closedir(tasks);
  }
  u.threads = StatusField(dir + "/status", "Threads");
  u.hwmKib = StatusField(dir + "/status", "VmHWM");
  u.rssKib = StatusField(dir + "/status", "VmRSS");
  return u;
}

// A tracer, its output the probe's own.
std::unique_ptr<Process> Spawn(const std::vector<std::string>& args) {
  ProcessOptions options;
  options.inheritOutput = true;
  return std::make_unique<Process>(args, Environment(), options);
}

// Ends a tracer the way a user at its terminal would; true when it ended as one does on ^C
// (strace detaches, writes its summary and exits with 128 + SIGINT).
bool Interrupt(Process* tracer) {
  if (tracer == nullptr) return false;
  tracer->Stop(SIGINT, milliseconds(30000));
  const auto exit = tracer->WaitExit(milliseconds(0));
  if (!exit) return false;
  if (!exit->exited) return exit->code == SIGINT;
  return exit->code == 0 || exit->code == 128 + SIGINT;
}

// How many of the process's threads a tracer is attached to (TracerPid in their status).
int TracedThreads(pid_t pid, int* threads) {
  int traced = 0, all = 0;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* tasks = opendir(dir.c_str())) {
    while (dirent* t = readdir(tasks)) {
      if (t->d_name[0] == '.') continue;
      ++all;
      if (StatusField(dir + "/" + t->d_name + "/status", "TracerPid") > 0) ++traced;
    }
    closedir(tasks);
  }
  if (threads != nullptr) *threads = all;
  return traced;
}

// ---------------------------------------------------------------------------------------------
// Commands.

int Startup(int x, int y, std::uint32_t rgb, char** argv) {
  Screen s = OpenScreen();
  if (!s.x || !NestedClear(s, rgb)) return 1;
  Child child = Launch(argv);
  const auto f = WaitFirstFrame(s, child, x, y, rgb);
  End(child);
  if (!f) return 1;
  std::printf("map_ms=%.2f frame_ms=%.2f\n", f->mapMs, f->frameMs);
  return 0;
}

struct IdleOptions {
  bool match = false;
  double settleMs = 1000;
  double windowMs = 10000;
  double hwmAtMs = -1;
  std::string strace;
  int x = kCanvasX, y = kCanvasY;
  std::uint32_t rgb = kStartCanvas;
};

int Idle(const IdleOptions& o, char** argv) {
  Screen s = OpenScreen();
  if (!s.x || !NestedClear(s, o.rgb)) return 1;
  Child child = Launch(argv);
  const auto f = WaitFirstFrame(s, child, o.x, o.y, o.rgb);
  if (!f) return 1;
  long hwmAt = -1;
  auto sleepUntil = [&](double untilFromStart) {
    for (;;) {
      const double now = NowMs() - child.startMs;
      if (o.hwmAtMs >= 0 && hwmAt < 0 && now >= o.hwmAtMs) hwmAt = ReadUsage(child.Pid()).hwmKib;
      if (now >= untilFromStart) return;
      double next = untilFromStart;
      if (o.hwmAtMs >= 0 && hwmAt < 0) next = std::min(next, o.hwmAtMs);
      SleepMs(std::max(0.1, next - now));
    }
  };
  double matchMs = -1;
  if (o.match) {
    s.x->Focus(f->window);
    const double t = NowMs();
    if (!PlayToMatch(*s.x, f->window)) {
      std::fprintf(stderr, "kromi_probe: could not play to a match\n");
      End(child);
      return 1;
    }
    matchMs = NowMs() - t;
  }
  sleepUntil(NowMs() - child.startMs + o.settleMs);
  std::unique_ptr<Process> tracer;
  int traced = 0, threads = 0;
  if (!o.strace.empty()) {
    unlink(o.strace.c_str());
    tracer = Spawn({"strace", "-f", "-c", "-q", "-o", o.strace, "-p", std::to_string(child.Pid())});
    // Attached to every thread before the window opens. A game that makes no system call at all
    // in the window leaves strace -c with nothing to write, so being attached is what shows that
    // an empty summary means none.
    for (const double end = NowMs() + 3000; NowMs() < end;) {
      traced = TracedThreads(child.Pid(), &threads);
      if (threads > 0 && traced == threads) break;
      SleepMs(10);
    }
    SleepMs(100);
    if (threads == 0 || traced < threads) {
      std::fprintf(stderr, "kromi_probe: strace attached to %d of %d threads\n", traced, threads);
      Interrupt(tracer.get());
      End(child);
      return 1;
    }
  }
  const Usage a = ReadUsage(child.Pid());
  const double t0 = NowMs();
  // Threads come and go in the window (the audio device's, say), and a thread's counts vanish
  // from /proc with it; each is sampled every 20 ms and counted from its first sample (or from
  // zero, when born in the window) to its last.
  std::map<std::string, TaskUsage> first = a.tasks, last = a.tasks;
  Usage b;
  for (const double end = t0 + o.windowMs;;) {
    SleepMs(std::min(20.0, std::max(0.0, end - NowMs())));
    b = ReadUsage(child.Pid());
    if (o.hwmAtMs >= 0 && hwmAt < 0 && NowMs() - child.startMs >= o.hwmAtMs) hwmAt = b.hwmKib;
    for (const auto& [tid, u] : b.tasks) {
      first.try_emplace(tid, TaskUsage{});
      last[tid] = u;
    }
    if (NowMs() >= end) break;
  }
  double cpuMs = 0;
  long switches = 0;
  for (const auto& [tid, u] : last) {
    cpuMs += u.cpuMs - first[tid].cpuMs;
    switches += u.switches - first[tid].switches;
  }
  const double seconds = (NowMs() - t0) / 1000;
  const bool straceOk = Interrupt(tracer.get());
  const bool alive = !Exited(child);
  End(child);
  if (!alive) {
    std::fprintf(stderr, "kromi_probe: the program ended during the window\n");
    return 1;
  }
  if (tracer && !straceOk) {
    std::fprintf(stderr, "kromi_probe: strace did not end cleanly\n");
    return 1;
  }
  std::printf("frame_ms=%.2f match_ms=%.0f window_s=%.2f cpu_ms=%.3f stat_cpu_ms=%.0f wakeups_per_s=%.2f "
              "threads=%ld hwm_kib=%ld hwm_at_kib=%ld rss_kib=%ld",
              f->frameMs, matchMs, seconds, cpuMs, b.statCpuMs - a.statCpuMs,
              static_cast<double>(switches) / seconds, b.threads, b.hwmKib, hwmAt, b.rssKib);
  if (tracer) std::printf(" strace_threads=%d", traced);
  std::printf("\n");
  return 0;
}

int Latency(int n, char** argv) {
  Screen s = OpenScreen();
  if (!s.x) return 1;
  Child child = Launch(argv);
  const auto f = WaitFirstFrame(s, child, kCanvasX, kCanvasY, kStartCanvas);
  if (!f) return 1;
  XSession& xs = *s.x;
  const Window w = f->window;
  xs.Focus(w);
  std::vector<double> lat;
  unsigned seed = 12345;
  for (int i = 0; i < n; ++i) {
    // A new colour (which also restarts Timer1 after a match), then one tick of red: the canvas
    // leaves (30, 30, 30) so the next Down has something to show.
    xs.Key(XK_Down, true);
    SleepMs(30);
    xs.Key(XK_Down, false);
    if (!Until(xs, w, kCanvasX, kCanvasY, [](std::uint32_t p) { return p == kStartCanvas; }, 1000, 1)) break;
    xs.Key(XK_KP_4, true);
    const auto moved = Until(xs, w, kCanvasX, kCanvasY, [](std::uint32_t p) { return p != kStartCanvas; }, 1000, 1);
    xs.Key(XK_KP_4, false);
    if (!moved) break;
    // Away from the tick phase, so the key lands anywhere between two ticks.
    seed = seed * 1103515245u + 12345u;
    SleepMs(10 + (seed >> 16) % 60);
    const double sent = NowMs();
    xs.Key(XK_Down, true);
    const auto seen = Until(xs, w, kCanvasX, kCanvasY, [](std::uint32_t p) { return p == kStartCanvas; }, 1000, 0);
    xs.Key(XK_Down, false);
    if (!seen) break;
    lat.push_back(*seen - sent);
    SleepMs(50);
  }
  End(child);
  if (static_cast<int>(lat.size()) < n) {
    std::fprintf(stderr, "kromi_probe: only %zu of %d key presses were seen\n", lat.size(), n);
    return 1;
  }
  std::printf("n=%d median_ms=%.2f max_ms=%.2f\n", n, Median(lat), Max(lat));
  return 0;
}

// The offset of the first sample that is not silence at or after from (S16 stereo), or -1.
long FirstSound(int fd, long from, long to) {
  std::vector<std::int16_t> buf(8192);
  long at = from & ~3L;
  while (at < to) {
    const long want = std::min<long>(static_cast<long>(buf.size() * 2), to - at);
    const ssize_t got = pread(fd, buf.data(), static_cast<std::size_t>(want), at);
    if (got <= 0) return -1;
    for (long i = 0; i < got / 2; ++i) {
      if (buf[static_cast<std::size_t>(i)] != 0) return at + i * 2;
    }
    at += got;
  }
  return -1;
}

long FileSize(int fd) {
  struct stat st{};
  return fstat(fd, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// SDL's disk driver mixes one 512-frame buffer, writes it with stdio and sleeps about a buffer's
// time; stdio hands the file two buffers at once. Each time the file grows to S bytes, the buffer
// that starts at S has just been mixed (it sits in stdio's buffer). From those moments and the
// driver's measured pace, the moment any buffer was mixed, that is handed to the "device", follows.
class DiskAudio {
 public:
  static constexpr long kBufferBytes = 512 * 4;  // the game's device: 512 frames, 16-bit stereo
  static constexpr double kBytesPerMs = 44100.0 * 4 / 1000;

  explicit DiskAudio(std::string path) : path_(std::move(path)) {}
  ~DiskAudio() {
    if (fd_ >= 0) close(fd_);
  }
  DiskAudio(const DiskAudio&) = delete;
  DiskAudio& operator=(const DiskAudio&) = delete;

  // Notes any growth of the file; call it often (every 0.1 ms or so).
  void Watch() {
    if (fd_ < 0) fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    const long size = FileSize(fd_);
    if (size > (growth_.empty() ? 0 : growth_.back().second)) growth_.emplace_back(NowMs(), size);
  }
  long Size() const { return growth_.empty() ? 0 : growth_.back().second; }
  int Fd() const { return fd_; }

  // When the buffer holding byte offset was mixed, or nothing until the file shows it.
  std::optional<double> MixedAt(long offset) const {
    if (growth_.size() < 2) return std::nullopt;
    const double pace = Pace();
    for (const auto& [at, size] : growth_) {
      if (size > offset) {
        const long buffersLater = size / kBufferBytes - offset / kBufferBytes;
        return at - static_cast<double>(buffersLater) * pace;
      }
    }
    return std::nullopt;
  }

  // Milliseconds per buffer, from the first to the last growth seen.
  double Pace() const {
    const auto& [t0, s0] = growth_.front();
    const auto& [t1, s1] = growth_.back();
    return s1 > s0 ? (t1 - t0) / (static_cast<double>(s1 - s0) / kBufferBytes) : kBufferBytes / kBytesPerMs;
  }

 private:
  std::string path_;
  int fd_ = -1;
  std::vector<std::pair<double, long>> growth_;  // when, new size
};

int Cue(int n, const std::string& file, char** argv) {
  Screen s = OpenScreen();
  if (!s.x) return 1;
  unlink(file.c_str());
  Child child = Launch(argv, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", file}});
  DiskAudio audio(file);
  const auto f = WaitFirstFrame(s, child, kCanvasX, kCanvasY, kStartCanvas, 10000, [&] { audio.Watch(); });
  if (!f) return 1;
  // The start cue, played by Form_Load before the window shows, must be in the stream.
  long startCueAt = -1;
  for (const double end = NowMs() + 1500; NowMs() < end;) {
    audio.Watch();
    SleepMs(0.1);
  }
  if (audio.Fd() >= 0) startCueAt = FirstSound(audio.Fd(), 0, audio.Size());
  const auto startCueMixed = startCueAt >= 0 ? audio.MixedAt(startCueAt) : std::nullopt;

  XSession& xs = *s.x;
  xs.Focus(f->window);
  std::vector<double> inFile, device;
  unsigned seed = 4321;
  for (int i = 0; i < n && audio.Fd() >= 0; ++i) {
    // The loop below ends on a write of the driver; without a random pause every key would land
    // at the same point of its cycle.
    seed = seed * 1103515245u + 12345u;
    for (const double end = NowMs() + (seed >> 16) % 23; NowMs() < end;) {
      audio.Watch();
      SleepMs(0.1);
    }
    const long before = audio.Size();
    const double sent = NowMs();
    xs.Key(XK_Down, true);
    long at = -1;
    double seen = -1;
    while (NowMs() - sent < 500 && at < 0) {
      audio.Watch();
      if (audio.Size() > before) at = FirstSound(audio.Fd(), before, audio.Size());
      if (at >= 0) seen = NowMs();
      SleepMs(0.1);
    }
    xs.Key(XK_Down, false);
    if (at < 0) break;
    // A little more of the stream, so the pace is known past the cue.
    for (const double end = NowMs() + 400; NowMs() < end;) {
      audio.Watch();
      SleepMs(0.1);
    }
    const auto mixed = audio.MixedAt(at);
    if (!mixed) break;
    inFile.push_back(seen - sent);
    device.push_back(*mixed - sent);
  }
  End(child);
  if (static_cast<int>(device.size()) < n) {
    std::fprintf(stderr, "kromi_probe: only %zu of %d cues reached the audio file\n", device.size(), n);
    return 1;
  }
  // The start cue: when its buffer went to the device, from the fork, and where it sits in the stream.
  std::printf("n=%d start_cue_ms=%s start_cue_stream_ms=%s frame_ms=%.1f pace_ms=%.2f median_file_ms=%.2f "
              "max_file_ms=%.2f median_device_ms=%.2f max_device_ms=%.2f\n",
              n, startCueMixed ? Ms(*startCueMixed - child.startMs, 1).c_str() : "n/a",
              startCueAt < 0 ? "n/a" : Ms(static_cast<double>(startCueAt) / DiskAudio::kBytesPerMs, 1).c_str(),
              f->frameMs, audio.Pace(), Median(inFile), Max(inFile), Median(device), Max(device));
  return 0;
}

// One wait of the main thread, from a trace: strace -ttt -T lines or perf trace lines. Times are
// milliseconds on the tracer's own clock.
struct Wait {
  double start = 0;
  double end = 0;
  double timeoutMs = -1;  // what the poll asked for (-1: no limit); a restart's is not shown
  bool restart = false;   // restart_syscall: the resumption of a poll a signal (or the tracer) cut
  bool ended = false;     // returned on its own (0 or an event count), not cut by a signal
};

std::vector<Wait> ParseWaits(const std::string& file) {
  std::vector<Wait> waits;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const bool restart = line.find("restart_syscall(") != std::string::npos;
    const bool poll = !restart && line.find("poll(") != std::string::npos;
    if (!poll && !restart) continue;
    const std::size_t eq = line.rfind(" = ");
    if (eq == std::string::npos) continue;
    Wait w;
    w.restart = restart;
    std::istringstream result(line.substr(eq + 3));
    std::string value;
    result >> value;
    w.ended = !value.empty() && value != "?" && value[0] != '-';
    const std::size_t paren = line.find(" ms): ");
    if (paren != std::string::npos) {
      // perf trace: "  199.660 (100.169 ms): poll(ufds: ..., nfds: 1, timeout_msecs: 100) = 0 (Timeout)".
      // A call that was under way when perf attached has "?" for its start: no use.
      const char* p = line.c_str();
      while (*p == ' ') ++p;
      if (*p < '0' || *p > '9') continue;
      w.start = std::atof(p);
      w.end = w.start + std::atof(line.c_str() + line.find('(') + 1);
      if (poll) {
        // perf leaves out arguments that are zero and shows -1 as unsigned.
        const std::size_t t = line.find("timeout_msecs: ");
        const long long ms = t == std::string::npos ? 0 : std::atoll(line.c_str() + t + 15);
        w.timeoutMs = ms > 0x7FFFFFFF ? -1.0 : static_cast<double>(ms);
      }
    } else {
      // strace -ttt -T: "1700000000.123456 poll([...], 1, 100) = 0 (Timeout) <0.100170>"
      w.start = std::atof(line.c_str()) * 1000;
      const std::size_t lt = line.rfind('<');
      if (lt == std::string::npos) continue;
      w.end = w.start + std::atof(line.c_str() + lt + 1) * 1000;
      if (poll) {
        const std::size_t comma = line.rfind(',', line.rfind(')', eq));
        if (comma == std::string::npos) continue;
        w.timeoutMs = std::atoi(line.c_str() + comma + 1);
      }
    }
    // An endless poll is Xlib's own (waiting to write or for a reply), never the host's wait for
    // a timer that is running.
    if (poll && w.timeoutMs < 0) continue;
    waits.push_back(w);
  }
  return waits;
}

// Timer1's ticks among the waits. Every wait of the host aims at the moment the next timer is
// due (its start plus its timeout). A wait that ends early (an event, or SDL's whole-millisecond
// rounding) is followed by one aiming at the same moment; after a tick the next aims a whole
// interval later. So wait i ended in a tick when wait i+1 aims clearly later than it did. A glance
// (timeout 0) keeps the aim of the wait before it, and a wait cut by a signal (the stop) is never
// a tick; its restart after the stop (whatever ended it: the moment it aimed at has long passed)
// aims at once and is one when the next wait aims further.
std::vector<double> TicksOf(const std::vector<Wait>& waits, double intervalMs) {
  std::vector<double> ticks;
  std::vector<double> aim(waits.size());
  for (std::size_t i = 0; i < waits.size(); ++i) {
    const Wait& w = waits[i];
    if (w.restart) aim[i] = w.end;
    else if (w.timeoutMs > 0) aim[i] = w.start + w.timeoutMs;
    else aim[i] = i > 0 ? std::max(w.start, aim[i - 1]) : w.start;
  }
  for (std::size_t i = 0; i + 1 < waits.size(); ++i) {
    const Wait& w = waits[i];
    if (!w.ended) continue;
    if (aim[i + 1] > aim[i] + intervalMs / 2) ticks.push_back(w.end);
  }
  return ticks;
}

bool PerfTraceWorks() {
  Process perf({"perf", "trace", "-e", "poll", "--", "true"}, Environment());
  const auto exit = perf.WaitExit(milliseconds(30000));
  return exit && exit->exited && exit->code == 0;
}

int Ticks(const std::string& trace, char** argv) {
  constexpr double kInterval = 100;  // Timer1
  Screen s = OpenScreen();
  if (!s.x) return 1;
  Child child = Launch(argv);
  const auto f = WaitFirstFrame(s, child, kCanvasX, kCanvasY, kStartCanvas);
  if (!f) return 1;
  // The other core (or one of them) is kept busy for the whole measurement.
  const pid_t spinner = fork();
  if (spinner == 0) {
    for (;;) __asm__ volatile("" ::: "memory");
  }
  SleepMs(300);
  // perf trace takes its times in the kernel; strace takes them when the tracer gets to run,
  // which a busy machine delays. Both watch only the main thread, where the ticks fire.
  const bool perf = PerfTraceWorks();
  const std::string pid = std::to_string(child.Pid());
  const std::unique_ptr<Process> tracer =
      perf ? Spawn({"perf", "trace", "-e", "poll,ppoll,restart_syscall", "-o", trace, "--tid", pid})
           : Spawn({"strace", "-ttt", "-T", "-q", "-e", "trace=poll,ppoll,restart_syscall", "-o", trace, "-p", pid});
  SleepMs(500);
  // Timer1 only wakes the game while a tick would move something, so red's knob is kept moving:
  // up (4) until one step short of its end, then down (1) until one step short of the other, so
  // it never stops and every beat is a tick. The key is turned within a few milliseconds of the
  // step; a turn later than a whole interval would show as a beat passed over (a 200 ms interval).
  XSession& xs = *s.x;
  xs.Focus(f->window);
  const auto red = [&]() -> int {
    const auto p = Pixel(xs, f->window, kCanvasX, kCanvasY);
    return p ? static_cast<int>(Part(*p, 0)) : -1;
  };
  KeySym held = 0;
  const auto hold = [&](KeySym k) {
    if (held != 0) xs.Key(held, false);
    xs.Key(k, true);
    held = k;
  };
  bool up = true;
  const int red0 = red();
  hold(XK_KP_4);
  // A little over 100 ticks, then on until red has just stepped up to 80: the stop below starts
  // with the up key held and room for seven more steps.
  const double driveEnd = NowMs() + 11200;
  bool ready = false;
  while (NowMs() < driveEnd + 5000) {
    const int r = red();
    if (up && r >= 230) {
      hold(XK_KP_1);
      up = false;
    } else if (!up && r >= 0 && r <= 55) {
      hold(XK_KP_4);
      up = true;
    } else if (up && r == 80 && NowMs() >= driveEnd) {
      ready = true;
      break;
    }
    SleepMs(5);
  }
  // A burst of overdue ticks fired in one pass of the loop would leave one wait in the trace, so
  // the stop is also watched on screen: each tick moves red one step (25), a burst several at
  // once.
  const bool stepped = ready && red0 == 30;
  SleepMs(30);  // the step drawn and shown, the game back in its wait
  const int redStopped = red();
  kill(child.Pid(), SIGSTOP);
  SleepMs(5000);
  kill(child.Pid(), SIGCONT);
  const double contMs = NowMs();
  std::vector<std::pair<double, int>> seen;  // when, red
  int last = redStopped;
  for (const double end = contMs + 600; NowMs() < end;) {
    const int r = red();
    if (r >= 0 && r != last) {
      seen.emplace_back(NowMs() - contMs, r);
      last = r;
    }
    SleepMs(0.5);
  }
  if (held != 0) xs.Key(held, false);
  SleepMs(900);
  Interrupt(tracer.get());
  kill(spinner, SIGKILL);
  waitpid(spinner, nullptr, 0);
  End(child);

  const std::vector<Wait> waits = ParseWaits(trace);
  // The stop is the one long silence in the trace: from the end of one call to the start of the
  // next (the restart, at SIGCONT) more than two seconds pass.
  std::size_t resumed = 0;
  for (std::size_t i = 1; i < waits.size(); ++i) {
    if (waits[i].start - waits[i - 1].end > 2000) resumed = i;
  }
  if (resumed == 0) {
    std::fprintf(stderr, "kromi_probe: no stop seen in the trace (%zu waits)\n", waits.size());
    return 1;
  }
  const double contAt = waits[resumed].start;
  // A restart before the stop is the tracer's attach cutting a wait, whose start is unknown.
  std::vector<Wait> beforeWaits(waits.begin(), waits.begin() + static_cast<std::ptrdiff_t>(resumed));
  while (!beforeWaits.empty() && beforeWaits.front().restart) beforeWaits.erase(beforeWaits.begin());
  const std::vector<Wait> afterWaits(waits.begin() + static_cast<std::ptrdiff_t>(resumed), waits.end());
  const std::vector<double> allBefore = TicksOf(beforeWaits, kInterval);
  const std::vector<double> after = TicksOf(afterWaits, kInterval);
  if (allBefore.size() < 101) {
    std::fprintf(stderr, "kromi_probe: %zu ticks before the stop (%zu waits)\n", allBefore.size(), beforeWaits.size());
    return 1;
  }
  const std::vector<double> before(allBefore.begin(), allBefore.begin() + 101);  // 100 intervals
  std::vector<double> intervals;
  for (std::size_t i = 1; i < before.size(); ++i) intervals.push_back(before[i] - before[i - 1]);
  // Lateness against the schedule the first tick sets: tick i is due i intervals after it.
  double latest = -INFINITY, earliest = INFINITY;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const double late = before[i] - before[0] - kInterval * static_cast<double>(i);
    latest = std::max(latest, late);
    earliest = std::min(earliest, late);
  }
  // After the stop: how soon the first tick came, the ticks of the first second and the closest
  // two of them (a burst of overdue ticks would show as many, close together).
  double closest = INFINITY;
  int inFirstSecond = 0;
  for (std::size_t i = 0; i < after.size() && after[i] - contAt < 1000; ++i) {
    ++inFirstSecond;
    if (i > 0) closest = std::min(closest, after[i] - after[i - 1]);
  }
  std::printf("tracer=%s n=%zu median_interval_ms=%.3f min_interval_ms=%.3f max_interval_ms=%.3f max_late_ms=%.3f "
              "max_early_ms=%.3f stop_gap_ms=%.0f after_stop_first_ms=%s after_stop_ticks_1s=%d "
              "after_stop_closest_ms=%s",
              perf ? "perf" : "strace", intervals.size(), Median(intervals),
              *std::min_element(intervals.begin(), intervals.end()), Max(intervals), latest, std::max(0.0, -earliest),
              contAt - waits[resumed - 1].end, after.empty() ? "n/a" : Ms(after[0] - contAt, 1).c_str(),
              inFirstSecond, Ms(closest, 1).c_str());
  // The screen: steps of red in the 600 ms after the stop, the most in one change, the first.
  if (!stepped) {
    std::printf(" screen_steps_600ms=n/a screen_max_jump=n/a screen_first_ms=n/a\n");
    return 0;
  }
  int maxJump = 0;
  int prev = redStopped;
  for (const auto& [at, r] : seen) {
    maxJump = std::max(maxJump, (r - prev) / 25);
    prev = r;
  }
  std::printf(" screen_steps_600ms=%d screen_max_jump=%d screen_first_ms=%s\n", (last - redStopped) / 25, maxJump,
              seen.empty() ? "n/a" : Ms(seen.front().first, 1).c_str());
  return 0;
}

int Complain(const char* why) {
  std::fprintf(stderr, "kromi_probe: %s\nsee the top of bench/probe.cpp for the commands\n", why);
  return 2;
}

std::uint32_t ParseHex(const char* s) { return static_cast<std::uint32_t>(std::strtoul(s, nullptr, 16)); }

}  // namespace

int Run(int argc, char** argv) {
  if (argc < 2) return Complain("no command");
  signal(SIGPIPE, SIG_IGN);
  const std::string cmd = argv[1];
  int dash = 2;
  while (dash < argc && std::strcmp(argv[dash], "--") != 0) ++dash;
  if (dash + 1 >= argc) return Complain("no program after --");
  char** program = argv + dash + 1;
  std::vector<std::string> args(argv + 2, argv + dash);

  if (cmd == "startup") {
    if (args.size() != 3) return Complain("startup X Y RRGGBB -- PROGRAM");
    return Startup(std::atoi(args[0].c_str()), std::atoi(args[1].c_str()), ParseHex(args[2].c_str()), program);
  }
  if (cmd == "idle") {
    IdleOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const bool more = i + 1 < args.size();
      if (args[i] == "--match") o.match = true;
      else if (args[i] == "--settle" && more) o.settleMs = std::atof(args[++i].c_str());
      else if (args[i] == "--window" && more) o.windowMs = std::atof(args[++i].c_str());
      else if (args[i] == "--hwm-at" && more) o.hwmAtMs = std::atof(args[++i].c_str());
      else if (args[i] == "--strace" && more) o.strace = args[++i];
      else return Complain(("unknown idle option " + args[i]).c_str());
    }
    return Idle(o, program);
  }
  if (cmd == "latency") {
    if (args.size() != 1) return Complain("latency N -- PROGRAM");
    return Latency(std::atoi(args[0].c_str()), program);
  }
  if (cmd == "cue") {
    if (args.size() != 2) return Complain("cue N AUDIOFILE -- PROGRAM");
    return Cue(std::atoi(args[0].c_str()), args[1], program);
  }
  if (cmd == "ticks") {
    if (args.size() != 1) return Complain("ticks TRACEFILE -- PROGRAM");
    return Ticks(args[0], program);
  }
  return Complain(("unknown command " + cmd).c_str());
}

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    // A program or tracer that could not be started.
    std::fprintf(stderr, "kromi_probe: %s\n", e.what());
    return 1;
  }
}
