// Writes the game's icon files from the 32 x 32 icon artwork, so the desktop icons and the
// Windows executable's icon can never drift from what the game itself draws:
//   kromi_icongen OUTDIR SIZE...   writes kromi-SIZE.png for each size, and kromi.ico, there.
// The PNGs are whole-factor nearest-neighbour enlargements: the artwork is pixel art, and any
// smoothing would invent colours the 16-colour original never had. The .ico keeps the original
// 4-bit form (BMP inside ICO), which every Windows version reads.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "kromi/res/artwork.h"
#include "kromi/png/png.h"

namespace {

constexpr std::size_t kIcoColours = 16;

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFFu);
  Put16(out, value >> 16);
}

// Why the artwork cannot be written faithfully, or empty when it can.
std::string Unsuitable(const kromi::PaletteImage& icon) {
  if (icon.width <= 0 || icon.height <= 0 || icon.width > 256 || icon.height > 256) return "size out of range";
  if (icon.pixels.size() != static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height)) {
    return "pixel count does not match the size";
  }
  if (icon.palette.empty() || icon.palette.size() > kIcoColours) return "palette does not fit 4 bits";
  for (std::uint8_t i : icon.pixels) {
    if (i >= icon.palette.size()) return "pixel outside the palette";
  }
  // The PNG writer is RGB only, so a see-through colour would come out as a solid one.
  if (icon.transparent >= 0) return "see-through colour cannot be kept";
  return {};
}

kromi::Frame Enlarge(const kromi::PaletteImage& icon, int factor) {
  kromi::Frame frame(icon.width * factor, icon.height * factor);
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      frame.At(x, y) = kromi::PixelOf(icon.palette[icon.At(x / factor, y / factor)]);
    }
  }
  return frame;
}

// One 4-bit image in an ICO container. BMP rows run bottom-up and are padded to 4 bytes; the
// header's height counts the colour rows and the AND-mask rows together. The mask is all zero:
// the artwork is opaque everywhere.
std::vector<std::uint8_t> EncodeIco(const kromi::PaletteImage& icon) {
  const auto width = static_cast<std::uint32_t>(icon.width);
  const auto height = static_cast<std::uint32_t>(icon.height);
  const std::uint32_t colourRow = (width * 4 + 31) / 32 * 4;
  const std::uint32_t maskRow = (width + 31) / 32 * 4;
  const std::uint32_t imageBytes = 40 + 4 * kIcoColours + (colourRow + maskRow) * height;
  constexpr std::uint32_t kImageOffset = 6 + 16;

  std::vector<std::uint8_t> out;
  out.reserve(kImageOffset + imageBytes);
  Put16(out, 0);  // reserved
  Put16(out, 1);  // icon, not cursor
  Put16(out, 1);  // one image
  out.push_back(static_cast<std::uint8_t>(width & 0xFFu));  // 256 is written as 0
  out.push_back(static_cast<std::uint8_t>(height & 0xFFu));
  out.push_back(static_cast<std::uint8_t>(kIcoColours));
  out.push_back(0);
  Put16(out, 1);  // planes
  Put16(out, 4);  // bits per pixel
  Put32(out, imageBytes);
  Put32(out, kImageOffset);

  Put32(out, 40);
  Put32(out, width);
  Put32(out, height * 2);
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);  // BI_RGB
  Put32(out, (colourRow + maskRow) * height);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, kIcoColours);
  Put32(out, 0);
  for (std::size_t i = 0; i < kIcoColours; ++i) {
    // Unused entries stay black, as the original 16-colour palette had them.
    const kromi::Rgb8 c = i < icon.palette.size() ? icon.palette[i] : kromi::Rgb8{0, 0, 0};
    out.insert(out.end(), {c.b, c.g, c.r, 0});
  }
  for (int y = icon.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(colourRow, 0);
    for (int x = 0; x < icon.width; ++x) {
      const auto nibble = static_cast<std::uint8_t>(icon.At(x, y) & 0x0F);
      row[static_cast<std::size_t>(x / 2)] |= (x % 2 == 0) ? static_cast<std::uint8_t>(nibble << 4) : nibble;
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  out.insert(out.end(), static_cast<std::size_t>(maskRow) * height, 0);
  return out;
}

bool WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: kromi_icongen OUTDIR SIZE...\n");
    return 2;
  }
  const std::string dir = argv[1];
  const kromi::PaletteImage& icon = kromi::TheArtwork().icon;
  if (const std::string why = Unsuitable(icon); !why.empty()) {
    std::fprintf(stderr, "kromi_icongen: icon artwork unusable: %s\n", why.c_str());
    return 1;
  }
  for (int arg = 2; arg < argc; ++arg) {
    char* end = nullptr;
    const long parsed = std::strtol(argv[arg], &end, 10);
    const int size = (*end == '\0' && parsed > 0 && parsed <= 1024) ? static_cast<int>(parsed) : 0;
    // Square icons only, and only whole factors: a fractional one would smear the pixel art.
    if (size == 0 || icon.width != icon.height || size % icon.width != 0) {
      std::fprintf(stderr, "kromi_icongen: %s is no whole multiple of the %dx%d artwork\n", argv[arg], icon.width,
                   icon.height);
      return 1;
    }
    const std::string path = dir + "/kromi-" + std::to_string(size) + ".png";
    if (!kromi::WritePng(Enlarge(icon, size / icon.width), path)) {
      std::fprintf(stderr, "kromi_icongen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  const std::string ico = dir + "/kromi.ico";
  if (!WriteBytes(EncodeIco(icon), ico)) {
    std::fprintf(stderr, "kromi_icongen: cannot write %s\n", ico.c_str());
    return 1;
  }
  return 0;
}
