#pragma once
// Text from GDI: the fonts Windows has ("Verdana" bold, "Arial"), or the substitute Windows
// itself picks where one is missing, rasterised one glyph at a time at 65 grey levels.
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>

#include "kromi/draw/glyphs.h"

namespace kromi {

class GdiFace;

class GdiGlyphs final : public Glyphs {
 public:
  GdiGlyphs();
  ~GdiGlyphs() override;
  GdiGlyphs(const GdiGlyphs&) = delete;
  GdiGlyphs& operator=(const GdiGlyphs&) = delete;

  TextFace* Get(const Font& font, int scale) override;

 private:
  void* dc_;  // a memory device context the faces measure and rasterise on
  std::map<std::tuple<std::string, int, bool>, std::unique_ptr<GdiFace>> faces_;
};

}  // namespace kromi
