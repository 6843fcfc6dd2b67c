// Kromi.exe: mix the target colour with three knobs.
#include "kromi/win32/windows.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "kromi/app/form1.h"
#include "kromi/core/runtime.h"
#include "kromi/win32/cues.h"
#include "kromi/win32/glyphs.h"
#include "kromi/win32/host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace kromi;
  TwisterSource random;
  Win32Cues cues(AppPath());
  Form1 form(random, cues);
  const FormView view = form.View();
  GdiGlyphs glyphs;
  int status = 0;
  {
    Win32Host host(view);
    form.Form_Load();
    std::string error;
    if (!host.Run(glyphs, error, [&cues] { cues.Start(); })) {
      std::fprintf(stderr, "Kromi: %s\n", error.c_str());
      status = 1;
    }
  }
  // A sound service that hangs may keep the sound thread inside PlaySound; the game ends anyway.
  if (!cues.Shutdown(std::chrono::milliseconds(800))) {
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(status));
  }
  return status;
}
