// A CBT hook that refuses to let the game's window be made, as a security program's hook may:
// loaded by Windows into every process on the desktop once kromi_refuse_window has set it.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK RefuseGameWindow(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    wchar_t name[32] = {};
    GetClassNameW(reinterpret_cast<HWND>(wParam), name, 32);
    // Only the game's own window: its message box must still be made.
    if (lstrcmpW(name, L"KromiForm") == 0) return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
