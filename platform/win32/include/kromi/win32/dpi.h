#pragma once
// The window's density on every Windows from 7 SP1 on. Windows 10 1607's per-window functions
// are found in USER32 at run time: imported, they would make the loader of any older Windows
// refuse Kromi.exe. Where they are missing, the program is made system-DPI aware and reads the
// one density the system has, as programs did before per-monitor awareness.
#include "kromi/win32/windows.h"

namespace kromi {

class WindowDpi {
 public:
  // The functions user32 has (GetModuleHandle of USER32 gives the system's).
  explicit WindowDpi(HMODULE user32);
  // The system's, looked up once.
  static const WindowDpi& System();

  // Whether the per-window functions are there (Windows 10 1607 on).
  bool PerWindow() const { return dpiForWindow_ != nullptr && adjustForDpi_ != nullptr; }
  // Where the manifest's per-monitor awareness was not taken (Windows 7), asks for system
  // awareness, so Windows neither stretches the frame nor hides the real density. Before any window.
  void BecomeAware() const;
  UINT ForWindow(HWND window) const;
  // The outer size of a window of style and exStyle whose client area is width x height at dpi.
  SIZE WindowSize(int width, int height, DWORD style, DWORD exStyle, UINT dpi) const;

 private:
  UINT(WINAPI* dpiForWindow_)(HWND) = nullptr;
  BOOL(WINAPI* adjustForDpi_)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
};

}  // namespace kromi
