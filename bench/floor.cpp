// The floor the game is measured against: the least an SDL2 program can do to put one frame of
// the game's size in a window. Nothing else: no fonts, no audio, no artwork.
//
//   kromi_floor                  one frame, then sleeps in SDL_WaitEvent until closed
//   kromi_floor --redraw-ms N    redraws and presents the whole frame every N ms, as a program
//                                without change detection would on every timer tick
//   --present software           (default) the software window surface, the game's path on X11
//                                (SDL_HINT_FRAMEBUFFER_ACCELERATION "0")
//   --present accelerated        the window surface SDL backs with a renderer of its choice
//   --present renderer           a renderer and a streaming texture, the game's path on Wayland
//
// The frame is one colour (30, 30, 30), the game's canvas colour, so an outside watcher can look
// for the same pixel in both programs. The window asks for high density, as the game's does, so
// on a scaled output the frame has as many pixels as the game's.
#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 328;
constexpr int kHeight = 256;
constexpr std::uint32_t kCanvas = 0xFF1E1E1Eu;

struct Target {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
};

bool Present(const Target& t, std::vector<std::uint32_t>& frame, int w, int h) {
  frame.resize(static_cast<std::size_t>(w) * h);
  std::fill(frame.begin(), frame.end(), kCanvas);
  if (t.texture != nullptr) {
    return SDL_UpdateTexture(t.texture, nullptr, frame.data(), w * 4) == 0 &&
           SDL_RenderCopy(t.renderer, t.texture, nullptr, nullptr) == 0 && (SDL_RenderPresent(t.renderer), true);
  }
  SDL_Surface* surface = SDL_GetWindowSurface(t.window);
  if (surface == nullptr) return false;
  SDL_LockSurface(surface);
  SDL_ConvertPixels(std::min(w, surface->w), std::min(h, surface->h), SDL_PIXELFORMAT_ARGB8888, frame.data(),
                    w * 4, surface->format->format, surface->pixels, surface->pitch);
  SDL_UnlockSurface(surface);
  return SDL_UpdateWindowSurface(t.window) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int redrawMs = 0;
  std::string present = "software";
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--redraw-ms") == 0) redrawMs = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--present") == 0) present = argv[i + 1];
  }
  if (present == "software") SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    SDL_Log("kromi_floor: %s", SDL_GetError());
    return 1;
  }
  Target t;
  t.window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth, kHeight,
                              SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
  if (t.window == nullptr) {
    SDL_Log("kromi_floor: %s", SDL_GetError());
    return 1;
  }
  int w = kWidth, h = kHeight;
  if (present == "renderer") {
    t.renderer = SDL_CreateRenderer(t.window, -1, 0);
    if (t.renderer == nullptr || SDL_GetRendererOutputSize(t.renderer, &w, &h) != 0) {
      SDL_Log("kromi_floor: %s", SDL_GetError());
      return 1;
    }
    t.texture = SDL_CreateTexture(t.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
    if (t.texture == nullptr) {
      SDL_Log("kromi_floor: %s", SDL_GetError());
      return 1;
    }
  } else {
    SDL_GetWindowSizeInPixels(t.window, &w, &h);
  }
  std::vector<std::uint32_t> frame;
  SDL_ShowWindow(t.window);
  if (!Present(t, frame, w, h)) {
    SDL_Log("kromi_floor: cannot present a frame: %s", SDL_GetError());
    return 1;
  }

  Uint64 due = SDL_GetTicks64() + static_cast<Uint64>(redrawMs);
  for (;;) {
    SDL_Event e;
    int got = 0;
    if (redrawMs > 0) {
      const Uint64 now = SDL_GetTicks64();
      got = now < due ? SDL_WaitEventTimeout(&e, static_cast<int>(due - now)) : SDL_PollEvent(&e);
    } else {
      got = SDL_WaitEvent(&e);
    }
    if (got != 0 && e.type == SDL_QUIT) break;
    if (redrawMs > 0 && SDL_GetTicks64() >= due) {
      Present(t, frame, w, h);
      due += static_cast<Uint64>(redrawMs);
      if (due <= SDL_GetTicks64()) due = SDL_GetTicks64() + static_cast<Uint64>(redrawMs);
    }
  }
  if (t.renderer != nullptr) SDL_DestroyRenderer(t.renderer);
  SDL_DestroyWindow(t.window);
  SDL_Quit();
  return 0;
}
