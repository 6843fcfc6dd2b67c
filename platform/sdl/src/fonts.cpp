#include "kromi/sdl/fonts.h"

#include <fontconfig/fontconfig.h>
#include <fcntl.h>
#include <ft2build.h>
#include <sys/stat.h>
#include <unistd.h>
#include FT_BITMAP_H
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace kromi {

namespace {

constexpr const char* kFallbackFamily = "sans-serif";
constexpr char32_t kReplacement = 0xFFFD;
// Captions seen in one game are few (hex values, a handful of words); the bound only guards
// against a caller that invents new ones forever.
constexpr std::size_t kMaxCachedTexts = 2048;

// 26.6 fixed point to whole pixels.
int Floor26(FT_Pos v) { return static_cast<int>(v >= 0 ? v / 64 : -((-v + 63) / 64)); }
int Round26(FT_Pos v) { return Floor26(v + 32); }

// The next code point of text from at, which it moves past; a malformed or overlong sequence,
// a surrogate or anything past U+10FFFF takes one byte and gives U+FFFD.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  int extra = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1Fu, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0Fu, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07u, least = 0x10000;
  } else {
    ++at;
    return kReplacement;
  }
  if (text.size() - at <= static_cast<std::size_t>(extra)) {
    ++at;
    return kReplacement;
  }
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return kReplacement;
    }
    cp = (cp << 6) | (next & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++at;
    return kReplacement;
  }
  at += static_cast<std::size_t>(extra) + 1;
  return cp;
}

// FreeType maps a font file it opens by name, and reading its tables then faults in most of the
// file: 700 KiB of resident memory for a bold face of which a few glyphs are drawn. Read through a
// stream instead, FreeType copies only the tables and glyphs it uses.
unsigned long ReadFontFile(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count) {
  const int fd = static_cast<int>(stream->descriptor.value);
  // A zero count is a seek, which pread needs no help with; FreeType expects 0 for success then.
  if (count == 0) return offset > stream->size ? 1 : 0;
  unsigned long done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<unsigned long>(got);
  }
  return done;
}

void CloseFontFile(FT_Stream stream) {
  ::close(static_cast<int>(stream->descriptor.value));
  delete stream;
}

// Opens face index of the font file at path, read through a stream; null if it will not open.
FT_Face OpenFace(FT_Library library, const std::string& path, int index) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
    ::close(fd);
    return nullptr;
  }
  auto* stream = new FT_StreamRec{};
  stream->size = static_cast<unsigned long>(info.st_size);
  stream->descriptor.value = fd;
  stream->read = &ReadFontFile;
  stream->close = &CloseFontFile;
  FT_Open_Args args{};
  args.flags = FT_OPEN_STREAM;
  args.stream = stream;
  FT_Face face = nullptr;
  // FreeType calls close on the stream whether or not the face opens.
  if (FT_Open_Face(library, &args, index, &face) != 0) return nullptr;
  return face;
}

}  // namespace

// A glyph on the line: where its bitmap goes relative to the pen's start on the baseline.
struct Face::Placed {
  int left = 0;  // bitmap's left edge
  int top = 0;   // bitmap's top row, above the baseline
  int width = 0;
  int rows = 0;
  std::vector<std::uint8_t> coverage;  // width * rows, when rendered
};

Face::Face(FT_Face face, FT_Size size, bool embolden) : face_(face), size_(size), embolden_(embolden) {
  FT_Activate_Size(size_);
  const FT_Size_Metrics& m = size_->metrics;
  // Each to the nearest pixel, as the layout's label heights are measured.
  if (FT_IS_SCALABLE(face_)) {
    ascent_ = Round26(FT_MulFix(face_->ascender, m.y_scale));
    descent_ = Round26(-FT_MulFix(face_->descender, m.y_scale));
  } else {
    ascent_ = Round26(m.ascender);
    descent_ = Round26(-m.descender);
  }
  descent_ = std::max(descent_, 0);
}

Face::~Face() { FT_Done_Size(size_); }

namespace {

// The glyph slot's bitmap as 8-bit coverage: FreeType gives outlines as grey levels, but a bitmap
// font or an outline font's embedded strike comes as one bit a pixel (or 2 or 4).
bool Coverage(FT_GlyphSlot slot, int& width, int& rows, std::vector<std::uint8_t>& out) {
  const FT_Bitmap& bitmap = slot->bitmap;
  width = static_cast<int>(bitmap.width);
  rows = static_cast<int>(bitmap.rows);
  if (width <= 0 || rows <= 0) return true;
  out.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
  if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.num_grays == 256) {
    for (int y = 0; y < rows; ++y) {
      const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
      std::copy_n(row, width, out.begin() + static_cast<std::ptrdiff_t>(y) * width);
    }
    return true;
  }
  FT_Bitmap grey;
  FT_Bitmap_Init(&grey);
  const bool converted = FT_Bitmap_Convert(slot->library, &bitmap, &grey, 1) == 0 &&
                         static_cast<int>(grey.width) == width && static_cast<int>(grey.rows) == rows;
  if (converted) {
    // Converted levels run from 0 to num_grays - 1 (0 and 1 for one bit a pixel).
    const unsigned levels = std::max(2u, static_cast<unsigned>(grey.num_grays)) - 1u;
    for (int y = 0; y < rows; ++y) {
      const unsigned char* row = grey.buffer + static_cast<std::ptrdiff_t>(y) * grey.pitch;
      for (int x = 0; x < width; ++x) {
        const unsigned level = std::min<unsigned>(row[x], levels);
        out[static_cast<std::size_t>(y * width + x)] = static_cast<std::uint8_t>((level * 255u + levels / 2) / levels);
      }
    }
  }
  FT_Bitmap_Done(slot->library, &grey);
  return converted;
}

}  // namespace

std::vector<Face::Placed> Face::Layout(std::string_view text, bool bitmaps) const {
  std::vector<Placed> placed;
  FT_Activate_Size(size_);  // the face is shared by every size of it
  // Whole pixels: each letter advances the pen by its own rounded advance, with no kerning, so a
  // caption is exactly as wide as its letters and each letter starts on a pixel.
  int pen = 0;
  // Emboldening widens each stroke by a twenty-fourth of the em, as a bold face would.
  const FT_Pos strength = FT_MulFix(face_->units_per_EM, face_->size->metrics.y_scale) / 24;
  for (std::size_t at = 0; at < text.size();) {
    const char32_t cp = NextCodePoint(text, at);
    FT_UInt index = FT_Get_Char_Index(face_, cp);
    if (index == 0 && cp != kReplacement) index = FT_Get_Char_Index(face_, kReplacement);
    if (FT_Load_Glyph(face_, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) != 0) continue;
    FT_GlyphSlot slot = face_->glyph;
    FT_Pos advance = slot->advance.x;
    const bool emboldened = embolden_ && slot->format == FT_GLYPH_FORMAT_OUTLINE;
    if (emboldened) advance += strength;
    // A width needs only the advances; the glyphs are rendered for a mask alone.
    if (bitmaps) {
      if (emboldened) FT_Outline_Embolden(&slot->outline, strength);
      if (slot->format == FT_GLYPH_FORMAT_BITMAP || FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
        Placed glyph;
        glyph.left = pen + slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        if (Coverage(slot, glyph.width, glyph.rows, glyph.coverage)) placed.push_back(std::move(glyph));
      }
    }
    pen += Round26(advance);
  }
  // The pen's end is the caption's width, so trailing spaces take their room.
  Placed end;
  end.left = pen;
  placed.push_back(std::move(end));
  return placed;
}

int Face::Width(std::string_view text) const {
  if (text.empty()) return 0;
  return std::max(0, Layout(text, false).back().left);
}

TextMask Face::Render(std::string_view text) const {
  TextMask mask;
  if (text.empty()) return mask;
  const std::vector<Placed> placed = Layout(text, true);
  // Ink beyond the pen's start and end, above the ascent or below the descent is clipped, as a
  // label clips its text: every caption of a face has its width and height and rests on the same
  // baseline.
  mask.width = std::max(0, placed.back().left);
  mask.height = Height();
  mask.alpha.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height), 0);
  for (const Placed& g : placed) {
    if (g.coverage.empty()) continue;
    const int x0 = std::max(0, -g.left), x1 = std::min(g.width, mask.width - g.left);
    for (int y = 0; y < g.rows; ++y) {
      const int row = ascent_ - g.top + y;
      if (row < 0 || row >= mask.height) continue;
      std::uint8_t* out = mask.alpha.data() + static_cast<std::ptrdiff_t>(row) * mask.width + g.left;
      const std::uint8_t* in = g.coverage.data() + static_cast<std::ptrdiff_t>(y) * g.width;
      // Overlapping letters keep the darker coverage, so a touching pair does not show a seam.
      for (int x = x0; x < x1; ++x) out[x] = std::max(out[x], in[x]);
    }
  }
  return mask;
}

int Face::CachedWidth(const std::string& text) {
  if (const auto it = widths_.find(text); it != widths_.end()) return it->second;
  if (widths_.size() >= kMaxCachedTexts) widths_.clear();
  return widths_.emplace(text, Width(text)).first->second;
}

const TextMask& Face::Text(const std::string& text) {
  if (const auto it = masks_.find(text); it != masks_.end()) return it->second;
  if (masks_.size() >= kMaxCachedTexts) masks_.clear();
  return masks_.emplace(text, Render(text)).first->second;
}

std::unique_ptr<Fonts> Fonts::Open(std::string& error) {
  std::unique_ptr<Fonts> fonts(new Fonts());
  fonts->config_ = FcInitLoadConfigAndFonts();
  if (fonts->config_ == nullptr) {
    error = "cannot load the fontconfig configuration, so no font can be found";
    return nullptr;
  }
  if (FT_Init_FreeType(&fonts->library_) != 0) {
    fonts->library_ = nullptr;
    error = "cannot start FreeType";
    return nullptr;
  }
  if (fonts->Get(Font{kFallbackFamily, 13, false}, 1) == nullptr) {
    error = "no usable font found (fontconfig matched no file FreeType can open); install fonts-dejavu-core";
    return nullptr;
  }
  return fonts;
}

Fonts::~Fonts() {
  sized_.clear();  // the sizes go before their faces, and the faces before the library
  for (auto& entry : faces_) {
    if (entry.second != nullptr) FT_Done_Face(entry.second);
  }
  faces_.clear();
  if (library_ != nullptr) FT_Done_FreeType(library_);
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

Face* Fonts::OpenFile(const FontFile& file, int pixelSize, bool bold) {
  if (file.path.empty()) return nullptr;
  // Ask for emboldening only where the face is not bold already.
  const bool synthetic = bold && !file.boldFace;
  const auto key = std::make_tuple(file.path, file.index, pixelSize, synthetic);
  if (const auto it = sized_.find(key); it != sized_.end()) return it->second.get();
  // One FreeType face per file, shared by all its sizes, so its tables are read and kept once.
  auto faceIt = faces_.find({file.path, file.index});
  if (faceIt == faces_.end()) {
    faceIt = faces_.emplace(std::make_pair(file.path, file.index), OpenFace(library_, file.path, file.index)).first;
  }
  std::unique_ptr<Face> opened;
  FT_Size size = nullptr;
  if (FT_Face face = faceIt->second; face != nullptr && FT_New_Size(face, &size) == 0) {
    FT_Activate_Size(size);
    // Sizes are pixels: a Font's pixelSize is its em at one device pixel per logical pixel. A
    // bitmap font has only its own sizes; the nearest stands in.
    FT_Error error = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    if (error != 0 && !FT_IS_SCALABLE(face) && face->num_fixed_sizes > 0) {
      int nearest = 0;
      for (int i = 1; i < face->num_fixed_sizes; ++i) {
        if (std::abs(face->available_sizes[i].height - pixelSize) <
            std::abs(face->available_sizes[nearest].height - pixelSize)) {
          nearest = i;
        }
      }
      error = FT_Select_Size(face, nearest);
    }
    if (error == 0) {
      opened = std::make_unique<Face>(face, size, synthetic);
    } else {
      FT_Done_Size(size);
    }
  }
  // A failure is remembered too, so it is not retried every frame.
  return sized_.emplace(key, std::move(opened)).first->second.get();
}

Face* Fonts::Get(const Font& font, int scale) {
  const int pixelSize = std::clamp(font.pixelSize, 1, 1000) * std::clamp(scale, 1, 64);
  if (Face* opened = OpenFile(Resolve(font.name, font.bold), pixelSize, font.bold)) return opened;
  return OpenFile(Resolve(kFallbackFamily, font.bold), pixelSize, font.bold);
}

}  // namespace kromi
