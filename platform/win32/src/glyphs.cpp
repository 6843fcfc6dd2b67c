#include "kromi/win32/glyphs.h"

#include "kromi/win32/windows.h"

#include <algorithm>
#include <vector>

#include "kromi/win32/text.h"

namespace kromi {

// One GDI font at one pixel size. Widths are plain advance sums: GDI applies no kerning unless
// asked, and the form's layout is made of advances.
class GdiFace final : public TextFace {
 public:
  GdiFace(HDC dc, HFONT font) : dc_(dc), font_(font) {
    const HGDIOBJ old = SelectObject(dc_, font_);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc_, &tm);
    ascent_ = tm.tmAscent;
    descent_ = tm.tmDescent;
    SelectObject(dc_, old);
  }
  ~GdiFace() override { DeleteObject(font_); }
  GdiFace(const GdiFace&) = delete;
  GdiFace& operator=(const GdiFace&) = delete;

  int Height() const override { return ascent_ + descent_; }

  int CachedWidth(const std::string& text) override {
    if (const auto found = widths_.find(text); found != widths_.end()) return found->second;
    const std::wstring wide = Widen(text);
    const HGDIOBJ old = SelectObject(dc_, font_);
    SIZE size{};
    GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc_, old);
    return widths_[text] = static_cast<int>(size.cx);
  }

  const TextMask& Text(const std::string& text) override {
    if (const auto found = masks_.find(text); found != masks_.end()) return found->second;
    TextMask mask;
    mask.width = CachedWidth(text);
    mask.height = Height();
    mask.alpha.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height), 0);
    const std::wstring wide = Widen(text);
    const HGDIOBJ old = SelectObject(dc_, font_);
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    std::vector<std::uint8_t> bitmap;
    int pen = 0;
    for (const wchar_t ch : wide) {
      GLYPHMETRICS gm{};
      const DWORD bytes = GetGlyphOutlineW(dc_, ch, GGO_GRAY8_BITMAP, &gm, 0, nullptr, &identity);
      if (bytes != GDI_ERROR && bytes > 0) {
        bitmap.resize(bytes);
        GetGlyphOutlineW(dc_, ch, GGO_GRAY8_BITMAP, &gm, bytes, bitmap.data(), &identity);
        // Rows are padded to four bytes; levels run 0..64.
        const int pitch = static_cast<int>((gm.gmBlackBoxX + 3) & ~3u);
        const int left = pen + gm.gmptGlyphOrigin.x;
        const int top = ascent_ - gm.gmptGlyphOrigin.y;
        for (int y = 0; y < static_cast<int>(gm.gmBlackBoxY); ++y) {
          const int row = top + y;
          if (row < 0 || row >= mask.height) continue;
          for (int x = 0; x < static_cast<int>(gm.gmBlackBoxX); ++x) {
            const int column = left + x;
            if (column < 0 || column >= mask.width) continue;
            const int level = std::min<int>(bitmap[static_cast<std::size_t>(y * pitch + x)], 64);
            auto& out = mask.alpha[static_cast<std::size_t>(row * mask.width + column)];
            out = static_cast<std::uint8_t>(std::max<int>(out, (level * 255 + 32) / 64));
          }
        }
      }
      pen += gm.gmCellIncX;
    }
    SelectObject(dc_, old);
    return masks_[text] = std::move(mask);
  }

 private:
  HDC dc_;
  HFONT font_;
  int ascent_ = 0;
  int descent_ = 0;
  std::unordered_map<std::string, int> widths_;
  std::unordered_map<std::string, TextMask> masks_;
};

GdiGlyphs::GdiGlyphs() : dc_(CreateCompatibleDC(nullptr)) {}

GdiGlyphs::~GdiGlyphs() {
  faces_.clear();
  if (dc_ != nullptr) DeleteDC(static_cast<HDC>(dc_));
}

TextFace* GdiGlyphs::Get(const Font& font, int scale) {
  if (dc_ == nullptr) return nullptr;
  const int pixels = std::clamp(font.pixelSize, 1, 1000) * std::clamp(scale, 1, 64);
  auto& face = faces_[{font.name, pixels, font.bold}];
  if (!face) {
    // A negative height asks for the character height, which is what a point size means.
    const HFONT handle = CreateFontW(-pixels, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                     DEFAULT_PITCH | FF_SWISS, Widen(font.name).c_str());
    if (handle == nullptr) return nullptr;
    face = std::make_unique<GdiFace>(static_cast<HDC>(dc_), handle);
  }
  return face.get();
}

}  // namespace kromi
