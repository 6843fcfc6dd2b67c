// The floor the game is measured against: the least an SDL2 program can do to put one software
// frame of the game's size in a window, with the same surface path as the game
// (SDL_HINT_FRAMEBUFFER_ACCELERATION "0"). Nothing else: no fonts, no audio, no artwork.
//
//   kromi_floor                  one frame, then sleeps in SDL_WaitEvent until closed
//   kromi_floor --redraw-ms N    redraws and presents the whole frame every N ms, as a program
//                                without change detection would on every timer tick
//
// The frame is one colour (30, 30, 30), the game's canvas colour, so an outside watcher can look
// for the same pixel in both programs.
#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 328;
constexpr int kHeight = 256;
constexpr std::uint32_t kCanvas = 0xFF1E1E1Eu;

void Present(SDL_Window* window, std::vector<std::uint32_t>& frame) {
  std::fill(frame.begin(), frame.end(), kCanvas);
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (surface == nullptr) return;
  SDL_LockSurface(surface);
  SDL_ConvertPixels(kWidth, kHeight, SDL_PIXELFORMAT_ARGB8888, frame.data(), kWidth * 4,
                    surface->format->format, surface->pixels, surface->pitch);
  SDL_UnlockSurface(surface);
  SDL_UpdateWindowSurface(window);
}

}  // namespace

int main(int argc, char** argv) {
  int redrawMs = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--redraw-ms") == 0) redrawMs = std::atoi(argv[i + 1]);
  }
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    SDL_Log("kromi_floor: %s", SDL_GetError());
    return 1;
  }
  SDL_Window* window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        kWidth, kHeight, SDL_WINDOW_HIDDEN);
  if (window == nullptr) {
    SDL_Log("kromi_floor: %s", SDL_GetError());
    return 1;
  }
  std::vector<std::uint32_t> frame(static_cast<std::size_t>(kWidth) * kHeight);
  SDL_ShowWindow(window);
  Present(window, frame);

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
      Present(window, frame);
      due += static_cast<Uint64>(redrawMs);
      if (due <= SDL_GetTicks64()) due = SDL_GetTicks64() + static_cast<Uint64>(redrawMs);
    }
  }
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
