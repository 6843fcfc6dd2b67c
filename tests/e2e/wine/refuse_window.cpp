// kromi_refuse_window PROGRAM: runs PROGRAM with the game's window refused by the CBT hook in
// kromi_refuse_window_hook.dll (beside this one), and ends with PROGRAM's exit status. Any
// failure of its own is status 100 and up, which no game gives.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kromi_refuse_window PROGRAM\n");
    return 100;
  }
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dll(self);
  dll.resize(dll.find_last_of(L"\\/") + 1);
  dll += L"kromi_refuse_window_hook.dll";
  const HMODULE hooks = LoadLibraryW(dll.c_str());
  const auto proc = hooks ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hooks, "RefuseGameWindow")))
                          : nullptr;
  // Every thread of the desktop, so the hook reaches the game's process.
  const HHOOK hook = proc ? SetWindowsHookExW(WH_CBT, proc, hooks, 0) : nullptr;
  if (hook == nullptr) {
    std::fprintf(stderr, "kromi_refuse_window: no hook (error %lu)\n", GetLastError());
    return 101;
  }
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "kromi_refuse_window: cannot start the program (error %lu)\n", GetLastError());
    return 102;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 103;
  GetExitCodeProcess(process.hProcess, &status);
  UnhookWindowsHookEx(hook);
  return static_cast<int>(status);
}
