#include "kromi/web/rules.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "kromi/core/form.h"

namespace kromi {

namespace {

constexpr std::array<std::pair<std::string_view, std::int16_t>, 36> kNamedCodes{{
    {"Numpad0", 96},     {"Numpad1", 97},      {"Numpad2", 98},        {"Numpad3", 99},
    {"Numpad4", 100},    {"Numpad5", 101},     {"Numpad6", 102},       {"Numpad7", 103},
    {"Numpad8", 104},    {"Numpad9", 105},     {"NumpadMultiply", 106}, {"NumpadAdd", 107},
    {"NumpadSubtract", 109}, {"NumpadDecimal", 110}, {"NumpadDivide", 111}, {"NumpadEnter", 13},
    {"Enter", 13},       {"Backspace", 8},     {"Tab", 9},             {"ShiftLeft", 16},
    {"ShiftRight", 16},  {"ControlLeft", 17},  {"ControlRight", 17},   {"AltLeft", 18},
    {"AltRight", 18},    {"Escape", 27},       {"Space", 32},          {"PageUp", 33},
    {"PageDown", 34},    {"End", 35},          {"Home", 36},           {"ArrowLeft", 37},
    {"ArrowUp", 38},     {"ArrowRight", 39},   {"ArrowDown", 40},      {"Delete", 46},
}};

}  // namespace

std::int16_t KeyCodeOfDomCode(std::string_view code) {
  if (code.size() == 4 && code.substr(0, 3) == "Key" && code[3] >= 'A' && code[3] <= 'Z') return code[3];
  if (code.size() == 6 && code.substr(0, 5) == "Digit" && code[5] >= '0' && code[5] <= '9') return code[5];
  if (code.size() >= 2 && code.size() <= 3 && code[0] == 'F') {
    int n = 0;
    for (const char c : code.substr(1)) {
      if (c < '0' || c > '9') return 0;
      n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= 12 ? static_cast<std::int16_t>(111 + n) : 0;
  }
  for (const auto& [name, keyCode] : kNamedCodes) {
    if (name == code) return keyCode;
  }
  return 0;
}

bool GameKey(std::int16_t keyCode) {
  return (keyCode >= 97 && keyCode <= 102) || keyCode == 27 || keyCode == 37 || keyCode == 39 || keyCode == 40;
}

std::int16_t ButtonOfDomButton(int button) {
  switch (button) {
    case 0: return kLeftButton;
    case 1: return kMiddleButton;
    case 2: return kRightButton;
    case 3: return 8;   // back, as X1 elsewhere
    case 4: return 16;  // forward, as X2
    default: return 0;
  }
}

int ScaleForPixelRatio(double ratio) {
  if (!std::isfinite(ratio) || ratio <= 0) return 1;
  return static_cast<int>(std::clamp(std::lround(ratio), 1L, 3L));
}

std::optional<std::string> CueFileName(std::string_view text) {
  if (!text.empty() && (text.front() == '\\' || text.front() == '/')) text.remove_prefix(1);
  if (text.empty() || text.size() > 64 || text.front() == '.') return std::nullopt;
  for (const char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '_' || c == '-';
    if (!plain) return std::nullopt;
  }
  return std::string(text);
}

std::string CssFont(const Font& font, int pixelSize) {
  std::string css = font.bold ? "bold " : "";
  css += std::to_string(pixelSize) + "px ";
  // The family names go in quotes; one with a quote or a backslash in it is left out rather
  // than let it end the list early.
  if (!font.name.empty() && font.name.find_first_of("\"\\;") == std::string::npos) css += '"' + font.name + "\", ";
  if (font.name == "Verdana") css += "\"DejaVu Sans\", ";
  if (font.name == "Arial") css += "\"Liberation Sans\", ";
  css += "sans-serif";
  return css;
}

}  // namespace kromi
