#include "kromi/sdl/fonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>

namespace kromi {

namespace {

constexpr const char* kFallbackFamily = "sans-serif";

}  // namespace

std::unique_ptr<Fonts> Fonts::Open(std::string& error) {
  std::unique_ptr<Fonts> fonts(new Fonts());
  fonts->config_ = FcInitLoadConfigAndFonts();
  if (fonts->config_ == nullptr) {
    error = "cannot load the fontconfig configuration, so no font can be found";
    return nullptr;
  }
  if (TTF_Init() != 0) {
    error = std::string("cannot start SDL_ttf: ") + TTF_GetError();
    return nullptr;
  }
  fonts->ttfStarted_ = true;
  if (fonts->Get(Font{kFallbackFamily, 13, false}, 1) == nullptr) {
    error = "no usable font found (fontconfig matched no file SDL_ttf can open); install fonts-dejavu-core";
    return nullptr;
  }
  return fonts;
}

Fonts::~Fonts() {
  for (auto& entry : open_) {
    if (entry.second != nullptr) TTF_CloseFont(entry.second);
  }
  open_.clear();
  if (ttfStarted_) TTF_Quit();
  if (config_ != nullptr) FcConfigDestroy(config_);
}

FontFile Fonts::Match(const std::string& family, bool bold) const {
  FontFile found;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return found;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return found;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
    found.path = reinterpret_cast<const char*>(file);
    int index = 0;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) found.index = index;
    int weight = FC_WEIGHT_REGULAR;
    if (FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) == FcResultMatch) {
      found.boldFace = weight >= FC_WEIGHT_DEMIBOLD;
    }
  }
  FcPatternDestroy(match);
  return found;
}

const FontFile& Fonts::Resolve(const std::string& family, bool bold) {
  const auto key = std::make_pair(family, bold);
  auto it = resolved_.find(key);
  if (it == resolved_.end()) {
    FontFile file = Match(family, bold);
    if (file.path.empty() && family != kFallbackFamily) file = Match(kFallbackFamily, bold);
    it = resolved_.emplace(key, std::move(file)).first;
  }
  return it->second;
}

TTF_Font* Fonts::OpenFile(const FontFile& file, int pixelSize, bool bold) {
  if (file.path.empty()) return nullptr;
  // Ask for emboldening only where the face is not bold already.
  const bool synthetic = bold && !file.boldFace;
  const auto key = std::make_tuple(file.path, file.index, pixelSize, synthetic);
  if (const auto it = open_.find(key); it != open_.end()) return it->second;
  // SDL_ttf sizes are points at 72 dpi, which makes a point one pixel.
  TTF_Font* font = TTF_OpenFontIndex(file.path.c_str(), pixelSize, file.index);
  if (font != nullptr && synthetic) TTF_SetFontStyle(font, TTF_STYLE_BOLD);
  open_.emplace(key, font);  // a failure is remembered too, so it is not retried every frame
  return font;
}

TTF_Font* Fonts::Get(const Font& font, int scale) {
  const int pixelSize = std::max(1, font.pixelSize * std::max(1, scale));
  if (TTF_Font* opened = OpenFile(Resolve(font.name, font.bold), pixelSize, font.bold)) return opened;
  return OpenFile(Resolve(kFallbackFamily, font.bold), pixelSize, font.bold);
}

}  // namespace kromi
