#pragma once
// UTF-8, the game's own text, to the UTF-16 Windows takes, and back.
#include <string>

namespace kromi {

// A malformed byte becomes U+FFFD.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace kromi
