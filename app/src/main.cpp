// Kromi: mix the target colour with three knobs.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "kromi/app/form1.h"
#include "kromi/core/runtime.h"
#include "kromi/sdl/fonts.h"
#include "kromi/sdl/host.h"
#include "kromi/sdl/mixer.h"
#include "kromi/posix/process.h"
#include "kromi/draw/renderer.h"

int main(int, char**) {
  using namespace kromi;
  Host::PrepareEnvironment();
  // Font matching is not needed to connect to the display, so it runs beside it and the first
  // frame waits only for what it draws with.
  TwisterSource random;
  MixerCues cues(AppPath());
  Form1 form(random, cues);
  const FormView view = form.View();
  std::string fontError;
  std::unique_ptr<Fonts> fonts;
  std::thread fontLoader([&fonts, &fontError, &view] {
    // SDL's X11 start-up switches the process's locale back and forth while this runs, and
    // fontconfig parses numbers by the locale: this thread keeps its own, "C".
    UseOwnCLocale();
    fonts = Fonts::Open(fontError);
    // The first frame's faces and captions, ready before it is drawn (at scale 1; at another
    // scale the open faces are reused and only the captions are drawn again).
    if (fonts) Renderer::Prepare(*fonts, *view.drawingOrder, 1);
  });
  Host host(view);
  std::string error;
  const bool video = host.OpenVideo(error);
  fontLoader.join();
  if (!video) {
    std::fprintf(stderr, "kromi: %s\n", error.c_str());
    return 1;
  }
  if (!fonts) {
    std::fprintf(stderr, "kromi: %s\n", fontError.c_str());
    return 1;
  }
  // Opening audio takes a while (probing sound servers and cards, loading their libraries) and
  // would compete with the first frame for the CPU, so it starts once that frame is on screen. The
  // start cue asked for by Form_Load is kept until then and plays as soon as the device is ready.
  // Without a device the game plays silently.
  cues.OpenLater();
  form.Form_Load();
  const bool ran = host.Run(*fonts, error, [&cues] { cues.OpenInBackground(); });
  if (!ran) std::fprintf(stderr, "kromi: %s\n", error.c_str());
  const int status = !ran ? 1 : host.EndingSignal() != 0 ? ExitStatusForSignal(host.EndingSignal()) : 0;
  // The window goes at once; then the audio thread closes the device and SDL's audio itself, which
  // takes up to half a second with PulseAudio even when all is well. A sound server that hangs
  // can keep it inside SDL for good: then it is left behind, and so is the rest of SDL's
  // shutdown, which must not run beside it.
  host.CloseWindow();
  if (!cues.Shutdown(std::chrono::milliseconds(800))) {
    std::fflush(nullptr);
    _exit(status);
  }
  return status;
}
