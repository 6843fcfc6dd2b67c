#include "kromi/win32/windows.h"

#include <string>

#include "kromi/core/runtime.h"
#include "kromi/win32/text.h"

namespace kromi {

std::string AppPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return ".";
    if (n < buffer.size()) {
      buffer.resize(n);
      const auto slash = buffer.find_last_of(L"\\/");
      return slash == std::wstring::npos ? std::string(".") : Narrow(buffer.substr(0, slash));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kromi
