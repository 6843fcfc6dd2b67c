// The Windows floor Kromi.exe is measured against: the least a Win32 program does to show one
// frame of the game's size. A window whose client area is 328x256, painted once in the canvas
// colour RGB(30, 30, 30) from a 32-bit DIB, then asleep in GetMessage until closed. Nothing else:
// no fonts, no sound, no artwork.
#include <windows.h>

#include <vector>

namespace {

constexpr int kWidth = 328;
constexpr int kHeight = 256;

std::vector<DWORD> frame(static_cast<std::size_t>(kWidth) * kHeight, 0x001E1E1E);

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window, &paint);
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = kWidth;
      info.bmiHeader.biHeight = -kHeight;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      SetDIBitsToDevice(dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, frame.data(), &info, DIB_RGB_COLORS);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"floor";
  RegisterClassExW(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rect{0, 0, kWidth, kHeight};
  AdjustWindowRectEx(&rect, style, FALSE, 0);
  const HWND window = CreateWindowExW(0, L"floor", L"floor", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                      rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance,
                                      nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
