#include "kromi/draw/painter.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

namespace kromi {

namespace {

constexpr int kEmptyLo = INT_MAX;  // an empty pixel range [kEmptyLo, kEmptyHi]
constexpr int kEmptyHi = INT_MIN;

std::uint32_t Channel(std::uint32_t pixel, int shift) { return (pixel >> shift) & 0xFFu; }

// src over dst with weight a (0..255); the result stays opaque.
std::uint32_t Blend(std::uint32_t dst, std::uint32_t src, std::uint32_t a) {
  const std::uint32_t inv = 255u - a;
  const std::uint32_t r = (Channel(src, 16) * a + Channel(dst, 16) * inv + 127u) / 255u;
  const std::uint32_t g = (Channel(src, 8) * a + Channel(dst, 8) * inv + 127u) / 255u;
  const std::uint32_t b = (Channel(src, 0) * a + Channel(dst, 0) * inv + 127u) / 255u;
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

void BlendInto(std::uint32_t& dst, std::uint32_t argb, std::uint32_t a) {
  if (a >= 255u) {
    dst = argb | 0xFF000000u;
  } else if (a > 0u) {
    dst = Blend(dst, argb, a);
  }
}

// Pixel coverage as a 0..255 weight, already scaled by the colour's own alpha.
std::uint32_t Weight(double coverage, std::uint32_t alpha) {
  if (coverage <= 0.0) return 0u;
  if (coverage >= 1.0) return alpha;
  return static_cast<std::uint32_t>(coverage * static_cast<double>(alpha) + 0.5);
}

// Device pixels i with lo <= i + 0.5 <= hi, clamped to a clip range.
struct PixelRange {
  int lo = kEmptyLo, hi = kEmptyHi;
};

PixelRange CentresWithin(double lo, double hi) {
  if (!(lo <= hi)) return {};
  return {static_cast<int>(std::ceil(lo - 0.5)), static_cast<int>(std::floor(hi - 0.5))};
}

}  // namespace

Rect Intersect(const Rect& a, const Rect& b) {
  const int x0 = std::max(a.x, b.x);
  const int y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + std::max(a.w, 0), b.x + std::max(b.w, 0));
  const int y1 = std::min(a.y + std::max(a.h, 0), b.y + std::max(b.h, 0));
  if (x1 <= x0 || y1 <= y0) return Rect{x0, y0, 0, 0};
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

double CornerRadius(const ShapeRect& shape) {
  // About the look of a classic rounded rectangle: the corner grows with the shorter side.
  return std::max(0.0, std::min(shape.width, shape.height) / 6.0);
}

// A rounded box in device coordinates: centre, half extents and corner radius (r <= hx, hy).
// Coverage comes from the signed distance d to its edge: clamp(0.5 - d, 0, 1).
struct Painter::Box {
  double cx, cy, hx, hy, r;

  double Distance(double x, double y) const {
    const double qx = std::abs(x - cx) - (hx - r);
    const double qy = std::abs(y - cy) - (hy - r);
    const double ox = std::max(qx, 0.0);
    const double oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - r;
  }

  double Coverage(double x, double y) const { return std::clamp(0.5 - Distance(x, y), 0.0, 1.0); }

  // On the row whose pixel centres lie at y: the half-width (about cx) within which pixels are
  // fully covered, and the one beyond which they are not covered at all. Negative: none.
  // Derived from Distance so that only the pixels in between need it.
  void RowSpans(double y, double& full, double& any) const {
    const double qy = std::abs(y - cy) - (hy - r);
    if (qy <= 0.0) {
      any = hx + 0.5;
      full = qy <= r - 0.5 ? hx - 0.5 : -1.0;
      return;
    }
    const double outer = r + 0.5;
    any = qy < outer ? hx - r + std::sqrt(outer * outer - qy * qy) : -1.0;
    const double inner = r - 0.5;
    full = qy < inner ? hx - r + std::sqrt(inner * inner - qy * qy) : -1.0;
  }
};

Painter::Painter(PixelView target) : target_(target), clip_{0, 0, target.width, target.height} {}

void Painter::SetClip(const Rect& clip) { clip_ = Intersect(clip, Rect{0, 0, target_.width, target_.height}); }

void Painter::Clear(std::uint32_t argb) {
  for (int y = clip_.y; y < clip_.y + clip_.h; ++y) {
    std::uint32_t* row = target_.Row(y);
    std::fill(row + clip_.x, row + clip_.x + clip_.w, argb | 0xFF000000u);
  }
}

void Painter::BlendSpan(std::uint32_t* row, int x0, int x1, std::uint32_t argb) {
  const std::uint32_t alpha = argb >> 24;
  if (alpha == 255u) {
    std::fill(row + x0, row + x1, argb);
    return;
  }
  for (int x = x0; x < x1; ++x) BlendInto(row[x], argb, alpha);
}

void Painter::FillRect(const Rect& r, std::uint32_t argb) {
  const Rect area = Intersect(r, clip_);
  for (int y = area.y; y < area.y + area.h; ++y) BlendSpan(target_.Row(y), area.x, area.x + area.w, argb);
}

// Paints the coverage of outer minus that of inner (inner lies within outer). Pixels that are
// certainly fully inside or outside are settled per row without a distance.
void Painter::FillBoxes(const Box& outer, const Box* inner, std::uint32_t argb) {
  const std::uint32_t alpha = argb >> 24;
  if (alpha == 0u || clip_.w <= 0 || clip_.h <= 0) return;
  const int clipX1 = clip_.x + clip_.w - 1;
  const int rowLo = std::max(clip_.y, static_cast<int>(std::floor(outer.cy - outer.hy - 0.5)));
  const int rowHi = std::min(clip_.y + clip_.h - 1, static_cast<int>(std::ceil(outer.cy + outer.hy - 0.5)));
  for (int y = rowLo; y <= rowHi; ++y) {
    const double yc = y + 0.5;
    double outerFull = 0, outerAny = 0;
    outer.RowSpans(yc, outerFull, outerAny);
    if (outerAny < 0.0) continue;
    // Pixels that may be touched at all.
    const int xLo = std::max(clip_.x, static_cast<int>(std::floor(outer.cx - outerAny - 0.5)));
    const int xHi = std::min(clipX1, static_cast<int>(std::ceil(outer.cx + outerAny - 0.5)));
    const PixelRange solid = outerFull >= 0.0 ? CentresWithin(outer.cx - outerFull, outer.cx + outerFull)
                                              : PixelRange{};
    PixelRange hole, holeEdge;  // fully inside inner / touched by inner
    if (inner != nullptr) {
      double innerFull = 0, innerAny = 0;
      inner->RowSpans(yc, innerFull, innerAny);
      if (innerFull >= 0.0) hole = CentresWithin(inner->cx - innerFull, inner->cx + innerFull);
      if (innerAny >= 0.0) {
        holeEdge = {static_cast<int>(std::floor(inner->cx - innerAny - 0.5)),
                    static_cast<int>(std::ceil(inner->cx + innerAny - 0.5))};
      }
    }
    std::uint32_t* row = target_.Row(y);
    int x = xLo;
    while (x <= xHi) {
      if (x >= hole.lo && x <= hole.hi) {
        x = hole.hi + 1;
        continue;
      }
      const bool clearOfInner = x < holeEdge.lo || x > holeEdge.hi;
      if (x >= solid.lo && x <= solid.hi && clearOfInner) {
        int end = std::min(solid.hi, xHi);
        if (x < holeEdge.lo) end = std::min(end, holeEdge.lo - 1);
        BlendSpan(row, x, end + 1, argb);
        x = end + 1;
        continue;
      }
      const double xc = x + 0.5;
      double coverage = outer.Coverage(xc, yc);
      if (inner != nullptr && !clearOfInner) coverage -= inner->Coverage(xc, yc);
      BlendInto(row[x], argb, Weight(coverage, alpha));
      ++x;
    }
  }
}

Painter::Box Painter::SnappedBox(double left, double top, double right, double bottom, double radius, int scale) {
  // Outwards to whole logical pixels first, then to device pixels, so the edges fall on the same
  // pixels at every scale. The slack absorbs rounding in edges that are meant to be whole.
  constexpr double kSlack = 1e-9;
  const double s = scale;
  const double x0 = std::floor(left + kSlack) * s, y0 = std::floor(top + kSlack) * s;
  const double x1 = std::ceil(right - kSlack) * s, y1 = std::ceil(bottom - kSlack) * s;
  const double hx = std::max(0.0, (x1 - x0) / 2.0), hy = std::max(0.0, (y1 - y0) / 2.0);
  return Box{(x0 + x1) / 2.0, (y0 + y1) / 2.0, hx, hy, std::clamp(radius * s, 0.0, std::min(hx, hy))};
}

void Painter::FillRoundedRect(const ShapeRect& shape, int scale, std::uint32_t argb) {
  if (shape.width <= 0.0 || shape.height <= 0.0 || scale <= 0) return;
  // The rounding matches the outside of a one-pixel border's, so a border drawn over the fill
  // covers it to the last corner pixel.
  const Box box = SnappedBox(shape.left, shape.top, shape.left + shape.width, shape.top + shape.height,
                             CornerRadius(shape) + 0.5, scale);
  if (box.hx <= 0.0 || box.hy <= 0.0) return;
  FillBoxes(box, nullptr, argb);
}

void Painter::StrokeRoundedRect(const ShapeRect& shape, double borderWidth, int scale, std::uint32_t argb) {
  if (shape.width <= 0.0 || shape.height <= 0.0 || borderWidth <= 0.0 || scale <= 0) return;
  // The outline, in logical pixels, through the centres of the edge pixels.
  const double x0 = shape.left + 0.5, y0 = shape.top + 0.5;
  const double x1 = std::max(x0, shape.left + shape.width - 0.5), y1 = std::max(y0, shape.top + shape.height - 0.5);
  const double r = std::min({CornerRadius(shape), (x1 - x0) / 2.0, (y1 - y0) / 2.0});
  const double half = borderWidth / 2.0;
  const Box outer = SnappedBox(x0 - half, y0 - half, x1 + half, y1 + half, r + half, scale);
  if (x1 - x0 > borderWidth && y1 - y0 > borderWidth) {
    const Box inner = SnappedBox(x0 + half, y0 + half, x1 - half, y1 - half, std::max(r - half, 0.0), scale);
    FillBoxes(outer, &inner, argb);
  } else {
    FillBoxes(outer, nullptr, argb);  // the border closes the whole shape
  }
}

void Painter::BlitPalette(const PaletteImage& image, const Rect& dest) {
  if (image.width <= 0 || image.height <= 0 || dest.w <= 0 || dest.h <= 0) return;
  if (image.pixels.size() < static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) return;
  // Entry 0 of the alpha byte marks see-through indices, including any beyond the palette.
  std::array<std::uint32_t, 256> lut{};
  for (std::size_t i = 0; i < std::min<std::size_t>(image.palette.size(), lut.size()); ++i) {
    if (static_cast<int>(i) != image.transparent) lut[i] = PixelOf(image.palette[i]);
  }
  const Rect area = Intersect(dest, clip_);
  const long long w2 = 2LL * dest.w;
  const long long h2 = 2LL * dest.h;
  for (int y = area.y; y < area.y + area.h; ++y) {
    // Sample each source pixel at the centre of the destination pixel.
    const int sy = static_cast<int>((2LL * (y - dest.y) + 1) * image.height / h2);
    std::uint32_t* row = target_.Row(y);
    for (int x = area.x; x < area.x + area.w; ++x) {
      const int sx = static_cast<int>((2LL * (x - dest.x) + 1) * image.width / w2);
      const std::uint32_t pixel = lut[image.At(sx, sy)];
      if (pixel != 0u) row[x] = pixel;
    }
  }
}

void Painter::BlitPalette(const PaletteImage& image, int x, int y, int scale) {
  BlitPalette(image, Rect{x, y, image.width * scale, image.height * scale});
}

void Painter::BlendMask(const std::uint8_t* mask, int width, int height, int pitch, int x, int y,
                        std::uint32_t argb) {
  if (mask == nullptr || width <= 0 || height <= 0) return;
  const std::uint32_t alpha = argb >> 24;
  const Rect area = Intersect(Rect{x, y, width, height}, clip_);
  for (int py = area.y; py < area.y + area.h; ++py) {
    const std::uint8_t* src = mask + static_cast<std::ptrdiff_t>(py - y) * pitch;
    std::uint32_t* row = target_.Row(py);
    for (int px = area.x; px < area.x + area.w; ++px) {
      const std::uint32_t m = src[px - x];
      if (m != 0u) BlendInto(row[px], argb, (m * alpha + 127u) / 255u);
    }
  }
}

}  // namespace kromi
