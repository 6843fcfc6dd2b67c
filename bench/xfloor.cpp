// The plain Xlib client the game's start-up is compared with: one window of the game's size, one
// image put on its first Expose, then it waits for the X server. No toolkit, no extensions.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdio>
#include <vector>

int main() {
  constexpr int kWidth = 328;
  constexpr int kHeight = 256;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "kromi_xfloor: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  const int x = (DisplayWidth(display, screen) - kWidth) / 2;
  const int y = (DisplayHeight(display, screen) - kHeight) / 2;
  const Window window = XCreateSimpleWindow(display, root, x, y, kWidth, kHeight, 0, 0, 0);
  XStoreName(display, window, "xfloor");
  XSelectInput(display, window, ExposureMask);
  XMapWindow(display, window);

  // Same pixels as the SDL floor: the game's canvas colour, (30, 30, 30), as a 32-bit image.
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight, 0x1E1E1Eu);
  XImage* image = XCreateImage(display, DefaultVisual(display, screen), static_cast<unsigned>(DefaultDepth(display, screen)),
                               ZPixmap, 0, reinterpret_cast<char*>(pixels.data()), kWidth, kHeight, 32, 0);
  const GC gc = DefaultGC(display, screen);
  for (;;) {
    XEvent e;
    XNextEvent(display, &e);
    if (e.type == Expose && e.xexpose.count == 0) {
      XPutImage(display, window, gc, image, 0, 0, 0, 0, kWidth, kHeight);
      XFlush(display);
    }
  }
}
