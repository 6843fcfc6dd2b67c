// Takes a picture of the game's window as it first appears, on a private X server, as a PNG.
// Usage: kromi_screenshot_tool <game executable> <output.png>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <string>

#include <X11/keysym.h>

#include "kromi/draw/frame.h"
#include "kromi/png/png.h"
#include "kromi/xdriver/xdriver.h"

int main(int argc, char** argv) {
  using namespace kromi::e2e;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <game executable> <output.png>\n", argv[0]);
    return 2;
  }
  try {
    TempDir dir;
    Xvfb server(96);
    XSession x(server.Name());
    auto env = CurrentEnvironment();
    env.erase("SDL_VIDEODRIVER");
    env.erase("WAYLAND_DISPLAY");
    env["DISPLAY"] = server.Name();
    env["SDL_AUDIODRIVER"] = "dummy";  // a picture needs no sound
    Process game({argv[1]}, ToEnvList(env), dir / "stdout", dir / "stderr");
    const auto window = x.WaitForWindow(" Kromi av Tallkvistar", milliseconds(20000));
    if (!window) throw std::runtime_error("the game's window did not appear");
    // Drawn when the corner shows the form's grey rather than an empty window.
    std::optional<Image> image;
    const bool drawn = WaitUntil(
        [&] {
          const auto corner = x.Pixel(*window, 5, 5);
          return corner && *corner == Rgb{192, 192, 192};
        },
        milliseconds(20000), milliseconds(10));
    if (drawn) image = x.Grab(*window);
    if (!drawn || !image) throw std::runtime_error("the game never drew its window");

    kromi::Frame frame(image->width, image->height);
    for (std::size_t i = 0; i < image->pixels.size(); ++i) frame.pixels[i] = 0xFF000000u | image->pixels[i];
    x.Focus(*window);
    x.Tap(XK_Escape);
    if (!game.WaitExit(milliseconds(5000))) game.Stop(SIGKILL, milliseconds(2000));
    if (!kromi::WritePng(frame, argv[2])) throw std::runtime_error(std::string("cannot write ") + argv[2]);
    std::printf("%s: %dx%d\n", argv[2], frame.width, frame.height);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
}
