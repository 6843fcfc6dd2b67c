#pragma once
// Font files found through fontconfig and opened with SDL_ttf, cached for the program's life.
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include "kromi/core/controls.h"

namespace kromi {

// The font file chosen for a family and weight.
struct FontFile {
  std::string path;       // empty when nothing was found
  int index = 0;          // face index inside the file
  bool boldFace = false;  // the face itself is bold, so no synthetic emboldening is needed
};

// Owns SDL_ttf (initialised by Open, shut down by the destructor), a fontconfig configuration of
// its own (so nothing global is left behind) and every font it opened.
class Fonts {
 public:
  // Starts SDL_ttf and checks that at least one font can be opened; on failure returns null and
  // puts a one-line reason in error.
  static std::unique_ptr<Fonts> Open(std::string& error);
  ~Fonts();
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  // fontconfig's closest installed match for family (falling back to "sans-serif").
  const FontFile& Resolve(const std::string& family, bool bold);

  // The font for font at device scale (its pixel size times scale), opened once and kept;
  // null only if no usable font file exists.
  TTF_Font* Get(const Font& font, int scale);

 private:
  Fonts() = default;
  FontFile Match(const std::string& family, bool bold) const;
  TTF_Font* OpenFile(const FontFile& file, int pixelSize, bool bold);

  std::map<std::pair<std::string, bool>, FontFile> resolved_;
  std::map<std::tuple<std::string, int, int, bool>, TTF_Font*> open_;  // path, index, px, bold
  FcConfig* config_ = nullptr;
  bool ttfStarted_ = false;
};

}  // namespace kromi
