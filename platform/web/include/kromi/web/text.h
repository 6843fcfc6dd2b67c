#pragma once
// Text from the browser's own fonts: widths from measureText, coverage from fillText into an
// offscreen 2D canvas, read back as an 8-bit mask, at whole device scales.
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>

#include "kromi/draw/glyphs.h"

namespace kromi {

class WebFace final : public TextFace {
 public:
  explicit WebFace(std::string css);
  int Height() const override { return ascent_ + descent_; }
  int CachedWidth(const std::string& text) override;
  const TextMask& Text(const std::string& text) override;

 private:
  std::string css_;
  int ascent_ = 0;
  int descent_ = 0;
  std::unordered_map<std::string, int> widths_;
  std::unordered_map<std::string, TextMask> masks_;
};

class WebGlyphs final : public Glyphs {
 public:
  TextFace* Get(const Font& font, int scale) override;

 private:
  std::map<std::tuple<std::string, int, bool>, std::unique_ptr<WebFace>> faces_;
};

}  // namespace kromi
