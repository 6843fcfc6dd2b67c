#include "kromi/xdriver/xdriver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

extern char** environ;

namespace kromi::e2e {

bool WaitUntil(const std::function<bool()>& cond, milliseconds limit, Clock::duration every) {
  const auto end = Clock::now() + limit;
  for (;;) {
    if (cond()) return true;
    if (Clock::now() >= end) return cond();
    std::this_thread::sleep_for(every);
  }
}

void Pause(Clock::duration duration) { std::this_thread::sleep_for(duration); }

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kromi-e2e-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

namespace {

Exit Decode(int status) {
  if (WIFEXITED(status)) return Exit{true, WEXITSTATUS(status)};
  if (WIFSIGNALED(status)) return Exit{false, WTERMSIG(status)};
  return Exit{false, 0};
}

int OpenOutput(const std::string& path) {
  return ::open(path.empty() ? "/dev/null" : path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

// The file execve should run for program: itself when it names a directory, else the first
// executable of that name on PATH (or the name itself, for execve to fail on).
std::string Executable(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return program;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& stdoutPath, const std::string& stderrPath, const std::vector<int>& keepFds,
                 int orphanSignal)
    : Process(argv, env, ProcessOptions{stdoutPath, stderrPath, false, keepFds, orphanSignal, false}) {}

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const ProcessOptions& options)
    : ownGroup_(options.ownGroup) {
  if (argv.empty()) throw std::runtime_error("no program to start");
  // Everything the child needs is built before fork: after it only async-signal-safe calls.
  const std::string program = Executable(argv[0]);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const int out = options.inheritOutput ? -1 : OpenOutput(options.stdoutPath);
  const int err = options.inheritOutput ? -1 : OpenOutput(options.stderrPath);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if ((!options.inheritOutput && (out < 0 || err < 0)) || in < 0) {
    for (int fd : {out, err, in}) {
      if (fd >= 0) ::close(fd);
    }
    throw std::runtime_error("cannot open the output files of " + argv[0]);
  }
  const pid_t parent = ::getpid();
  started_ = Clock::now();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in, 0);
    if (!options.inheritOutput) {
      ::dup2(out, 1);
      ::dup2(err, 2);
    }
    for (int fd : options.keepFds) ::fcntl(fd, F_SETFD, 0);
    if (options.ownGroup) ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, options.orphanSignal);
    if (::getppid() != parent) ::_exit(127);  // the caller died before the line above took effect
    ::execve(program.c_str(), args.data(), envp.data());
    static const char kFailed[] = "exec failed\n";
    [[maybe_unused]] const auto n = ::write(2, kFailed, sizeof kFailed - 1);
    ::_exit(127);
  }
  // The group is set on both sides of the fork, so it exists before either goes on.
  if (pid_ > 0 && options.ownGroup) ::setpgid(pid_, pid_);
  for (int fd : {out, err, in}) {
    if (fd >= 0) ::close(fd);
  }
  if (pid_ < 0) throw std::runtime_error("fork failed: " + std::string(std::strerror(errno)));
}

Process::~Process() {
  if (pid_ > 0 && !exit_) Stop(SIGKILL, milliseconds(5000));
}

bool Process::Running() {
  if (exit_) return false;
  int status = 0;
  const pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    exit_ = Decode(status);
    return false;
  }
  return r == 0;
}

std::optional<Exit> Process::WaitExit(milliseconds limit) {
  WaitUntil([this] { return !Running(); }, limit, milliseconds(2));
  return exit_;
}

void Process::Stop(int signal, milliseconds limit) {
  // A reaped pid's group may belong to someone else by now, so an ended process is left alone.
  if (!Running()) return;
  ::kill(ownGroup_ ? -pid_ : pid_, signal);
  if (WaitExit(limit)) return;
  ::kill(ownGroup_ ? -pid_ : pid_, SIGKILL);
  int status = 0;
  if (::waitpid(pid_, &status, 0) == pid_) exit_ = Decode(status);
}

std::map<std::string, std::string> CurrentEnvironment() {
  std::map<std::string, std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry(*e);
    const auto eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  return env;
}

std::vector<std::string> ToEnvList(const std::map<std::string, std::string>& env) {
  std::vector<std::string> list;
  for (const auto& [name, value] : env) list.push_back(name + "=" + value);
  return list;
}

Xvfb::Xvfb(int dpi, milliseconds limit) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv = {"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                   "1280x1024x24", "-nolisten", "tcp", "-noreset"};
  if (dpi > 0) {
    argv.push_back("-dpi");
    argv.push_back(std::to_string(dpi));
  }
  try {
    // Orphaned, it is asked to go rather than killed, so it still removes its lock file.
    server_.emplace(argv, ToEnvList(CurrentEnvironment()), "", "", std::vector<int>{fds[1]}, SIGTERM);
  } catch (...) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw;
  }
  ::close(fds[1]);
  // The server writes its display number once it accepts connections; EOF means it gave up.
  std::string number;
  const auto end = Clock::now() + limit;
  bool done = false;
  while (!done && Clock::now() < end) {
    pollfd p{fds[0], POLLIN, 0};
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
    if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0) continue;
    char buf[32];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') done = true;
      else if (!done) number += buf[i];
    }
  }
  ::close(fds[0]);
  if (!done || number.empty()) {
    server_.reset();
    throw std::runtime_error("Xvfb did not report a display in time");
  }
  name_ = ":" + number;
}

Xvfb::~Xvfb() {
  if (server_) server_->Stop(SIGTERM, milliseconds(3000));
}

std::string ToString(const Rgb& c) {
  return "RGB(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

Rgb Image::At(int x, int y) const {
  const std::uint32_t p = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(x)];
  return Rgb{static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF), static_cast<int>(p & 0xFF)};
}

namespace {

// The game's window may go away between a look at its attributes and the next request; that is
// an answer (nothing to read), not a reason for Xlib's default handler to end the test.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

// Where one channel sits in a visual's pixel values, to widen or narrow it to 8 bits. Worked
// out once per image: a whole window is read pixel by pixel.
class ChannelMask {
 public:
  explicit ChannelMask(unsigned long mask) : mask_(mask) {
    if (mask == 0) return;
    while (!(mask >> shift_ & 1)) ++shift_;
    while (mask >> (shift_ + bits_) & 1) ++bits_;
  }
  int Of(unsigned long pixel) const {
    if (mask_ == 0) return 0;
    const unsigned long v = (pixel & mask_) >> shift_;
    if (bits_ >= 8) return static_cast<int>(v >> (bits_ - 8));
    return static_cast<int>(v * 255 / ((1ul << bits_) - 1));
  }

 private:
  unsigned long mask_;
  int shift_ = 0;
  int bits_ = 0;
};

std::string TextProperty(Display* d, Window w, Atom property, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(d, w, property, 0, 1024, False, type, &actual, &format, &count, &after, &data) ==
          Success &&
      data) {
    if (actual == type && format == 8) text.assign(reinterpret_cast<const char*>(data), count);
    XFree(data);
  }
  return text;
}

}  // namespace

XSession::XSession(const std::string& display) {
  XSetErrorHandler(IgnoreError);
  display_ = XOpenDisplay(display.c_str());
  if (!display_) throw std::runtime_error("cannot open display " + display);
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
    XCloseDisplay(display_);
    display_ = nullptr;
    throw std::runtime_error("the X server on " + display + " has no XTest");
  }
}

XSession::~XSession() {
  if (display_) XCloseDisplay(display_);
}

std::string XSession::Title(Window w) {
  std::string title = TextProperty(display_, w, XInternAtom(display_, "_NET_WM_NAME", False),
                                   XInternAtom(display_, "UTF8_STRING", False));
  if (title.empty()) title = TextProperty(display_, w, XA_WM_NAME, XA_STRING);
  return title;
}

std::optional<Window> XSession::FindWindow(const std::string& title) {
  // Without a window manager the game's window is a direct child of the root; a reparenting
  // manager would put it one level down, so look there too.
  std::vector<Window> queue{DefaultRootWindow(display_)};
  for (int depth = 0; depth < 3 && !queue.empty(); ++depth) {
    std::vector<Window> next;
    for (Window parent : queue) {
      Window root = 0, up = 0;
      Window* children = nullptr;
      unsigned int n = 0;
      if (!XQueryTree(display_, parent, &root, &up, &children, &n)) continue;
      for (unsigned int i = 0; i < n; ++i) {
        if (Title(children[i]) == title) {
          const Window found = children[i];
          XFree(children);
          return found;
        }
        next.push_back(children[i]);
      }
      if (children) XFree(children);
    }
    queue = std::move(next);
  }
  return std::nullopt;
}

std::optional<Window> XSession::WaitForWindow(const std::string& title, milliseconds limit) {
  std::optional<Window> found;
  WaitUntil(
      [&] {
        found = FindWindow(title);
        return found.has_value();
      },
      limit, milliseconds(10));
  return found;
}

SizeHints XSession::Hints(Window w) {
  SizeHints hints;
  XSizeHints* h = XAllocSizeHints();
  long supplied = 0;
  if (h && XGetWMNormalHints(display_, w, h, &supplied)) {
    if (h->flags & PMinSize) {
      hints.hasMin = true;
      hints.minWidth = h->min_width;
      hints.minHeight = h->min_height;
    }
    if (h->flags & PMaxSize) {
      hints.hasMax = true;
      hints.maxWidth = h->max_width;
      hints.maxHeight = h->max_height;
    }
  }
  if (h) XFree(h);
  return hints;
}

std::optional<Geometry> XSession::GeometryOf(Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display_, w, &a)) return std::nullopt;
  Geometry g;
  g.width = a.width;
  g.height = a.height;
  g.viewable = a.map_state == IsViewable;
  Window child = 0;
  XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &g.x, &g.y, &child);
  return g;
}

std::optional<Rgb> XSession::Pixel(Window w, int x, int y) {
  // The server itself refuses (BadMatch, no image) a window that is not viewable or a pixel
  // outside it, so no look at the attributes first.
  XImage* image = XGetImage(display_, w, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return std::nullopt;
  const unsigned long p = XGetPixel(image, 0, 0);
  const Rgb c{ChannelMask(image->red_mask).Of(p), ChannelMask(image->green_mask).Of(p),
              ChannelMask(image->blue_mask).Of(p)};
  XDestroyImage(image);
  return c;
}

std::optional<Image> XSession::Grab(Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable) return std::nullopt;
  XImage* image = XGetImage(display_, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                            AllPlanes, ZPixmap);
  if (!image) return std::nullopt;
  Image out;
  out.width = a.width;
  out.height = a.height;
  out.pixels.reserve(static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height));
  const ChannelMask red(image->red_mask), green(image->green_mask), blue(image->blue_mask);
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      out.pixels.push_back(static_cast<std::uint32_t>(red.Of(p)) << 16 | static_cast<std::uint32_t>(green.Of(p)) << 8 |
                           static_cast<std::uint32_t>(blue.Of(p)));
    }
  }
  XDestroyImage(image);
  return out;
}

void XSession::Focus(Window w) {
  XSetInputFocus(display_, w, RevertToParent, CurrentTime);
  XSync(display_, False);
}

KeyCode XSession::Code(KeySym sym) {
  const KeyCode code = XKeysymToKeycode(display_, sym);
  if (code == 0) throw std::runtime_error(std::string("no key for keysym ") + XKeysymToString(sym));
  return code;
}

void XSession::Key(KeySym sym, bool down) {
  XTestFakeKeyEvent(display_, Code(sym), down ? True : False, CurrentTime);
  XSync(display_, False);
}

void XSession::Tap(KeySym sym, milliseconds hold) {
  Key(sym, true);
  Pause(hold);
  Key(sym, false);
}

bool XSession::NumLockOn() {
  XkbStateRec state;
  if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return false;
  const unsigned int mask = XkbKeysymToModifiers(display_, XK_Num_Lock);
  return mask != 0 && (state.locked_mods & mask) != 0;
}

bool XSession::SetNumLock(bool on, milliseconds limit) {
  if (NumLockOn() != on) Tap(XK_Num_Lock);
  return WaitUntil([&] { return NumLockOn() == on; }, limit, milliseconds(5));
}

void XSession::MoveTo(Window w, int x, int y) {
  int rx = 0, ry = 0;
  Window child = 0;
  XTranslateCoordinates(display_, w, DefaultRootWindow(display_), x, y, &rx, &ry, &child);
  MoveToRoot(rx, ry);
}

void XSession::MoveToRoot(int x, int y) {
  XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
  XSync(display_, False);
}

void XSession::Button(unsigned button, bool down) {
  XTestFakeButtonEvent(display_, button, down ? True : False, CurrentTime);
  XSync(display_, False);
}

void XSession::SendDeleteWindow(Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, w, False, NoEventMask, &e);
  XSync(display_, False);
}

}  // namespace kromi::e2e
