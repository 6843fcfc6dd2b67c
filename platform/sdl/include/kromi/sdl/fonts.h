#pragma once
// Font files found through fontconfig and drawn with FreeType, cached for the program's life.
// FreeType alone, without a text-shaping layer: the game's captions are a few Latin words and hex
// digits, and a shaper (HarfBuzz and GLib behind it) costs more start-up time and memory than the
// rest of the text path together.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "kromi/core/controls.h"
#include "kromi/draw/glyphs.h"

// FreeType's and fontconfig's handles, kept out of every file that includes this one.
using FT_Library = struct FT_LibraryRec_*;
using FT_Face = struct FT_FaceRec_*;
using FT_Size = struct FT_SizeRec_*;
using FcConfig = struct _FcConfig;

namespace kromi {

// The font file chosen for a family and weight.
struct FontFile {
  std::string path;       // empty when nothing was found
  int index = 0;          // face index inside the file
  bool boldFace = false;  // the face itself is bold, so no synthetic emboldening is needed
};

// One face at one pixel size. Text is UTF-8; a malformed byte is drawn as U+FFFD.
class Face : public TextFace {
 public:
  // Takes size, one of face's sizes; face stays its owner's. Synthetic bold when embolden.
  Face(FT_Face face, FT_Size size, bool embolden);
  ~Face() override;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;

  // The line height in pixels: ascent plus descent, each rounded to the nearest pixel.
  int Height() const override { return ascent_ + descent_; }
  int Ascent() const { return ascent_; }

  // The width of text on one line: the sum of its letters' advances, each rounded to a whole
  // pixel, with no kerning.
  int Width(std::string_view text) const;

  // Text on one line: Width(text) by Height(), the baseline Ascent() from the top; ink beyond
  // that box is clipped.
  TextMask Render(std::string_view text) const;

  // Width and Render, kept per caption: a game shows few captions, again and again. A reference
  // from Text stays valid until the next call that adds a caption.
  int CachedWidth(const std::string& text) override;
  const TextMask& Text(const std::string& text) override;

 private:
  struct Placed;
  // Lays text out along the baseline, ending with the pen's end; with bitmaps, each glyph is
  // rendered and placed too.
  std::vector<Placed> Layout(std::string_view text, bool bitmaps) const;

  FT_Face face_;
  FT_Size size_;
  bool embolden_;
  int ascent_ = 0;
  int descent_ = 0;
  std::unordered_map<std::string, int> widths_;
  std::unordered_map<std::string, TextMask> masks_;
};

// Owns a FreeType library and a fontconfig configuration of its own (so nothing global is left
// behind), and every face it opened.
class Fonts : public Glyphs {
 public:
  // Starts FreeType and checks that at least one font can be opened; on failure returns null and
  // puts a one-line reason in error.
  static std::unique_ptr<Fonts> Open(std::string& error);
  ~Fonts() override;
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  // fontconfig's closest installed match for family (falling back to "sans-serif").
  const FontFile& Resolve(const std::string& family, bool bold);

  // The face for font at device scale (its pixel size times scale), opened once and kept;
  // null only if no usable font file exists.
  Face* Get(const Font& font, int scale) override;

  // The face of one font file at pixelSize (a bitmap font: its nearest size), opened once and
  // kept; null if the file will not open.
  Face* OpenFile(const FontFile& file, int pixelSize, bool bold);

 private:
  Fonts() = default;
  FontFile Match(const std::string& family, bool bold) const;

  std::map<std::pair<std::string, bool>, FontFile> resolved_;
  // path and index; a null entry remembers a file that would not open
  std::map<std::pair<std::string, int>, FT_Face> faces_;
  // path, index, px, synthetic bold; a null entry remembers a size that would not open
  std::map<std::tuple<std::string, int, int, bool>, std::unique_ptr<Face>> sized_;
  FcConfig* config_ = nullptr;
  FT_Library library_ = nullptr;
};

}  // namespace kromi
