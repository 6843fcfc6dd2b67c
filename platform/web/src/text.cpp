#include "kromi/web/text.h"

#include <emscripten.h>

#include <algorithm>

#include "kromi/web/rules.h"

namespace kromi {

namespace {

// Every caption a game shows is short; the bound only keeps a caller that invents captions
// forever from growing the caches without end.
constexpr std::size_t kMaxCachedTexts = 2048;

// One offscreen canvas measures and draws all text. Its 2D context is asked to stay readable
// (willReadFrequently), since every caption drawn is read straight back.
EM_JS(void, kromi_text_metrics, (const char* css, int* ascent, int* descent), {
  var k = Module.kromiText || (Module.kromiText = {});
  if (!k.ctx) {
    k.canvas = document.createElement('canvas');
    k.ctx = k.canvas.getContext('2d', {willReadFrequently: true});
  }
  k.ctx.font = UTF8ToString(css);
  var m = k.ctx.measureText('Hg');
  var a = m.fontBoundingBoxAscent, d = m.fontBoundingBoxDescent;
  if (!(a >= 0)) a = m.actualBoundingBoxAscent || 0;
  if (!(d >= 0)) d = m.actualBoundingBoxDescent || 0;
  HEAP32[ascent >> 2] = Math.round(a);
  HEAP32[descent >> 2] = Math.max(0, Math.round(d));
});

EM_JS(int, kromi_text_width, (const char* css, const char* text), {
  var k = Module.kromiText;
  k.ctx.font = UTF8ToString(css);
  return Math.ceil(k.ctx.measureText(UTF8ToString(text)).width);
});

// White text on a clear canvas: the alpha channel is the coverage.
EM_JS(void, kromi_text_mask, (const char* css, const char* text, int width, int height, int ascent,
                              unsigned char* out), {
  var k = Module.kromiText;
  if (k.canvas.width < width) k.canvas.width = width;
  if (k.canvas.height < height) k.canvas.height = height;
  var ctx = k.ctx;
  ctx.clearRect(0, 0, width, height);
  ctx.font = UTF8ToString(css);
  ctx.textBaseline = 'alphabetic';
  ctx.textAlign = 'left';
  ctx.fillStyle = '#fff';
  ctx.fillText(UTF8ToString(text), 0, ascent);
  var px = ctx.getImageData(0, 0, width, height).data;
  for (var i = 0, n = width * height; i < n; ++i) HEAPU8[out + i] = px[i * 4 + 3];
});

}  // namespace

WebFace::WebFace(std::string css) : css_(std::move(css)) { kromi_text_metrics(css_.c_str(), &ascent_, &descent_); }

int WebFace::CachedWidth(const std::string& text) {
  if (const auto it = widths_.find(text); it != widths_.end()) return it->second;
  if (widths_.size() >= kMaxCachedTexts) widths_.clear();
  const int width = text.empty() ? 0 : std::max(0, kromi_text_width(css_.c_str(), text.c_str()));
  widths_.emplace(text, width);
  return width;
}

const TextMask& WebFace::Text(const std::string& text) {
  if (const auto it = masks_.find(text); it != masks_.end()) return it->second;
  if (masks_.size() >= kMaxCachedTexts) masks_.clear();
  TextMask mask;
  mask.width = CachedWidth(text);
  mask.height = Height();
  mask.alpha.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height), 0);
  if (!mask.alpha.empty()) {
    kromi_text_mask(css_.c_str(), text.c_str(), mask.width, mask.height, ascent_, mask.alpha.data());
  }
  return masks_.emplace(text, std::move(mask)).first->second;
}

TextFace* WebGlyphs::Get(const Font& font, int scale) {
  const int pixelSize = std::clamp(font.pixelSize, 1, 1000) * std::clamp(scale, 1, 8);
  auto& face = faces_[{font.name, pixelSize, font.bold}];
  if (!face) face = std::make_unique<WebFace>(CssFont(font, pixelSize));
  return face.get();
}

}  // namespace kromi
