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
#include "kromi/win32/text.h"

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
      const std::string line = "Kromi: " + error;
      std::fprintf(stderr, "%s\n", line.c_str());
      std::fflush(stderr);
      // Started from Explorer the game has no stderr: without a window of its own, the player
      // would see nothing at all.
      MessageBoxW(nullptr, Widen(line).c_str(), Widen(view.caption).c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
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
