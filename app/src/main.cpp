// Kromi: mix the target colour with three knobs.
#include <SDL.h>

#include <cstdio>
#include <string>

#include "kromi/app/form1.h"
#include "kromi/core/runtime.h"
#include "kromi/sdl/fonts.h"
#include "kromi/sdl/host.h"
#include "kromi/sdl/mixer.h"

int main(int, char**) {
  using namespace kromi;
  std::string error;
  TwisterSource random;
  MixerCues cues(AppPath());
  Form1 form(random, cues);
  Host host(form.View());
  if (!host.OpenVideo(error)) {
    std::fprintf(stderr, "kromi: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<Fonts> fonts = Fonts::Open(error);
  if (!fonts) {
    std::fprintf(stderr, "kromi: %s\n", error.c_str());
    return 1;
  }
  cues.Open();  // without an audio device the game plays silently
  form.Form_Load();
  if (!host.Run(*fonts, error)) {
    std::fprintf(stderr, "kromi: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
