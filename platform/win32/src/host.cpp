#include "kromi/win32/host.h"

#include "kromi/win32/windows.h"
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "kromi/win32/dpi.h"
#include "kromi/win32/text.h"

namespace kromi {

namespace {

constexpr wchar_t kClassName[] = L"KromiForm";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // fixed size, no maximise
constexpr DWORD kExStyle = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (auto* host = reinterpret_cast<Win32Host*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
    return host->Message(window, message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

std::int16_t ShiftNow() {
  std::int16_t shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftMask;
  if (GetKeyState(VK_CONTROL) < 0) shift |= kCtrlMask;
  if (GetKeyState(VK_MENU) < 0) shift |= kAltMask;
  return shift;
}

int ScaleForDpi(UINT dpi) { return std::clamp(static_cast<int>(std::lround(dpi / 96.0)), 1, 8); }

// The button a mouse message is about, as the handlers count buttons (0: none).
std::int16_t ButtonOf(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: return kLeftButton;
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return kRightButton;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return kMiddleButton;
    case WM_XBUTTONDOWN: case WM_XBUTTONUP: case WM_XBUTTONDBLCLK:
      return GET_XBUTTON_WPARAM(wParam) == XBUTTON1 ? 8 : 16;
    default: return 0;
  }
}

}  // namespace

std::int16_t KeyCodeOf(unsigned virtualKey, bool extended) {
  switch (virtualKey) {
    case VK_END: return extended ? VK_END : 97;
    case VK_DOWN: return extended ? VK_DOWN : 98;
    case VK_NEXT: return extended ? VK_NEXT : 99;
    case VK_LEFT: return extended ? VK_LEFT : 100;
    case VK_CLEAR: return 101;
    case VK_RIGHT: return extended ? VK_RIGHT : 102;
    default: return static_cast<std::int16_t>(virtualKey & 0xFF);
  }
}

Win32Host::Win32Host(FormView view) : view_(std::move(view)) {}

// The window is not destroyed: it goes with the process, which ends right after. Destroying it
// first buys nothing, and under Wine without a window manager each unmap waits 2 s for one.
Win32Host::~Win32Host() = default;

bool Win32Host::CreateMainWindow(std::string& error) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  // The executable's first icon: the artwork's, as Explorer shows it too.
  const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    error = "cannot register the window class (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  const HWND window = CreateWindowExW(kExStyle, kClassName, Widen(view_.caption).c_str(), kStyle, CW_USEDEFAULT,
                                      CW_USEDEFAULT, view_.clientWidth, view_.clientHeight, nullptr, nullptr,
                                      instance, this);
  if (window == nullptr) {
    error = "cannot open the window (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  window_ = window;
  return true;
}

void Win32Host::SetScale(int scale) {
  const HWND window = static_cast<HWND>(window_);
  runner_->ScaleChanged(scale);
  scale_ = runner_->Scale();
  // The client area is the form's size at this scale; the frame around it is what Windows adds.
  const WindowDpi& dpi = WindowDpi::System();
  const SIZE size = dpi.WindowSize(view_.clientWidth * scale_, view_.clientHeight * scale_, kStyle, kExStyle,
                                   dpi.ForWindow(window));
  const int width = size.cx;
  const int height = size.cy;
  // Centred on the monitor's work area.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const int x = work.left + std::max(0L, (work.right - work.left - width) / 2);
  const int y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
  SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Host::Present(const Frame& frame) {
  const HWND window = static_cast<HWND>(window_);
  const HDC dc = GetDC(window);
  if (dc == nullptr) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = frame.width;
  info.bmiHeader.biHeight = -frame.height;  // top-down, as the frame is stored
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(frame.width), static_cast<DWORD>(frame.height), 0, 0, 0,
                    static_cast<UINT>(frame.height), frame.pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(window, dc);
}

std::intptr_t Win32Host::Message(void* handle, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  const HWND window = static_cast<HWND>(handle);
  // Messages sent while the window is being made come before the game runs.
  if (!runner_) return DefWindowProcW(window, message, wParam, lParam);
  Runner& runner = *runner_;
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP: {
      const std::int16_t code = KeyCodeOf(static_cast<unsigned>(wParam), (lParam & (1 << 24)) != 0);
      // A held key's repeats arrive as further key-downs.
      if (message == WM_KEYDOWN) {
        runner.KeyDown(code, ShiftNow());
      } else {
        runner.KeyUp(code, ShiftNow());
      }
      return 0;
    }
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK: case WM_XBUTTONDBLCLK: {
      const bool twice = message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK ||
                         message == WM_MBUTTONDBLCLK || message == WM_XBUTTONDBLCLK;
      // Pressed, the window keeps the mouse until the last button is up, wherever it goes.
      if (GetCapture() != window) SetCapture(window);
      runner.MouseDown(ButtonOf(message, wParam), ToForm(GET_X_LPARAM(lParam)), ToForm(GET_Y_LPARAM(lParam)),
                       twice ? 2 : 1, ShiftNow());
      return message == WM_XBUTTONDOWN || message == WM_XBUTTONDBLCLK ? TRUE : 0;
    }
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: case WM_XBUTTONUP:
      runner.MouseUp(ButtonOf(message, wParam), ToForm(GET_X_LPARAM(lParam)), ToForm(GET_Y_LPARAM(lParam)),
                     ShiftNow());
      if (runner.ButtonsHeld() == 0 && GetCapture() == window) ReleaseCapture();
      return message == WM_XBUTTONUP ? TRUE : 0;
    case WM_MOUSEMOVE:
      runner.MouseMove(ToForm(GET_X_LPARAM(lParam)), ToForm(GET_Y_LPARAM(lParam)));
      return 0;
    case WM_CANCELMODE:
    case WM_CAPTURECHANGED:
      runner.ButtonsUpExcept(0, ShiftNow());
      break;
    case WM_KILLFOCUS:
      // The window no longer hears about buttons and keys: what is held now must not stay held.
      runner.FocusLost(ShiftNow());
      break;
    case WM_CLOSE:
      runner.Close();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      if (frame_ != nullptr) Present(*frame_);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the frame covers every pixel
    case WM_DPICHANGED: {
      // Moved to a monitor of another density: the frame is drawn afresh at its scale, text
      // rasterised anew, never stretched, and painted once Windows asks.
      const int scale = ScaleForDpi(HIWORD(wParam));
      if (scale != scale_) {
        SetScale(scale);
        frame_ = &runner.Draw();
        InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool Win32Host::Run(Glyphs& glyphs, std::string& error, const std::function<void()>& shown) {
  WindowDpi::System().BecomeAware();
  if (!CreateMainWindow(error)) return false;
  const HWND window = static_cast<HWND>(window_);
  Runner runner(view_, glyphs, ScaleForDpi(WindowDpi::System().ForWindow(window)), clock_);
  runner_ = &runner;
  SetScale(runner.Scale());
  frame_ = &runner.Draw();
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  Present(*frame_);
  if (shown) shown();
  for (Next next = runner.Peek(); !next.unloaded;) {
    const int ms = next.SleepMs();
    MsgWaitForMultipleObjectsEx(0, nullptr, ms < 0 ? INFINITE : static_cast<DWORD>(ms), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG msg;
    while (!view_.events->Unloaded() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) runner.Close();
      else DispatchMessageW(&msg);
    }
    next = runner.Wake();
    if (next.frameDue) {
      frame_ = &runner.Draw();
      Present(*frame_);
      next = runner.Peek();
    }
  }
  runner_ = nullptr;
  return true;
}

}  // namespace kromi
