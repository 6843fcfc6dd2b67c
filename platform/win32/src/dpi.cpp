#include "kromi/win32/dpi.h"

namespace kromi {

namespace {

// GetProcAddress gives a FARPROC for every function; the cast is to the function's real type.
template <typename F>
F Find(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

WindowDpi::WindowDpi(HMODULE user32)
    : dpiForWindow_(Find<decltype(dpiForWindow_)>(user32, "GetDpiForWindow")),
      adjustForDpi_(Find<decltype(adjustForDpi_)>(user32, "AdjustWindowRectExForDpi")) {}

const WindowDpi& WindowDpi::System() {
  static const WindowDpi dpi(GetModuleHandleW(L"user32.dll"));
  return dpi;
}

void WindowDpi::BecomeAware() const {
  // Windows 10 and 8.1 take per-monitor awareness from the manifest, and it stays as they set
  // it. Windows 7 may not read its "true/pm": a program it takes as unaware is told 96 DPI and
  // stretched.
  if (PerWindow() || IsProcessDPIAware()) return;
  SetProcessDPIAware();
}

UINT WindowDpi::ForWindow(HWND window) const {
  if (dpiForWindow_ != nullptr) {
    if (const UINT dpi = dpiForWindow_(window); dpi != 0) return dpi;
  }
  // One density for every monitor: the screen's, true once the process is DPI aware.
  UINT dpi = 96;
  if (const HDC screen = GetDC(nullptr)) {
    const int pixels = GetDeviceCaps(screen, LOGPIXELSX);
    if (pixels > 0) dpi = static_cast<UINT>(pixels);
    ReleaseDC(nullptr, screen);
  }
  return dpi;
}

SIZE WindowDpi::WindowSize(int width, int height, DWORD style, DWORD exStyle, UINT dpi) const {
  RECT rect{0, 0, width, height};
  // Without per-window scaling the frame is drawn at the system's density whatever dpi says.
  if (adjustForDpi_ == nullptr || !adjustForDpi_(&rect, style, FALSE, exStyle, dpi)) {
    rect = RECT{0, 0, width, height};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace kromi
