// Writes the game's icon files from the 32 x 32 icon artwork, so the desktop icons and the
// Windows executable's icon can never drift from what the game itself draws:
//   kromi_icongen OUTDIR SIZE...   writes kromi-SIZE.png for each size, kromi.svg and kromi.ico
// there. Every size is a nearest-neighbour resampling of the artwork: it is pixel art, and any
// smoothing would invent colours the 16-colour original never had.
// kromi.ico holds the sizes Windows asks for. The 32 x 32 is the original 4-bit image and comes
// first, so a reader that takes the first image still gets what it always got; 16, 24 and 48
// are 4-bit BMP too (the artwork's 16 colours lose nothing there); 256 is PNG, as Windows Vista
// and later keep their large icons, and 8-bit RGBA, the only PNG form Windows reads in an icon.
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
constexpr int kIcoSizes[] = {32, 16, 24, 48, 256};
constexpr int kIcoPngSize = 256;

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
  if (icon.width != icon.height) return "not square";
  if (icon.pixels.size() != static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height)) {
    return "pixel count does not match the size";
  }
  if (icon.palette.empty() || icon.palette.size() > kIcoColours) return "palette does not fit 4 bits";
  for (std::uint8_t i : icon.pixels) {
    if (i >= icon.palette.size()) return "pixel outside the palette";
  }
  // The hicolor PNGs are RGB and the BMP masks all clear, so a see-through colour would come out
  // as a solid one.
  if (icon.transparent >= 0) return "see-through colour cannot be kept";
  return {};
}

// The artwork pixel that pixel i of a `to`-pixel row or column takes from `from` artwork pixels:
// the one under its centre, and when the centre lies exactly on the edge between two, the upper
// or left one. At whole multiples (64, 128, 256) that is plain repetition. At 16 every centre
// lies on an edge, so the first of each pair stays: that keeps the top row, whose black corner
// marks are one pixel tall. Between whole multiples some pixels must go or be doubled; this rule
// spreads them evenly and takes every one whole, so no colour is blended:
// - 24 drops every fourth artwork pixel (2, 6, ..., 30). The outermost rows and columns stay,
//   and no row or column of the grid loses a band. Dropping 3, 7, ..., 31 instead would lose
//   the rightmost column, and with it the one-pixel red end of row 24.
// - 48 keeps every artwork pixel, the even ones two pixels wide and the odd ones one: 1.5 cannot
//   be even, but each band's edge stays a step of whole pixels.
int SourceOf(int i, int from, int to) { return ((2 * i + 1) * from - 1) / (2 * to); }

kromi::PaletteImage Resample(const kromi::PaletteImage& icon, int size) {
  kromi::PaletteImage out;
  out.width = size;
  out.height = size;
  out.palette = icon.palette;
  out.transparent = icon.transparent;
  out.pixels.reserve(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      out.pixels.push_back(icon.At(SourceOf(x, icon.width, size), SourceOf(y, icon.height, size)));
    }
  }
  return out;
}

kromi::Frame ToFrame(const kromi::PaletteImage& image) {
  kromi::Frame frame(image.width, image.height);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) frame.At(x, y) = kromi::PixelOf(image.palette[image.At(x, y)]);
  }
  return frame;
}

// A 4-bit image as an ICO stores it. BMP rows run bottom-up and are padded to 4 bytes; the
// header's height counts the colour rows and the AND-mask rows together. The mask is all zero:
// the artwork is opaque everywhere.
std::vector<std::uint8_t> EncodeDib4(const kromi::PaletteImage& icon) {
  const auto width = static_cast<std::uint32_t>(icon.width);
  const auto height = static_cast<std::uint32_t>(icon.height);
  const std::uint32_t colourRow = (width * 4 + 31) / 32 * 4;
  const std::uint32_t maskRow = (width + 31) / 32 * 4;

  std::vector<std::uint8_t> out;
  out.reserve(40 + 4 * kIcoColours + (colourRow + maskRow) * height);
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

struct IcoImage {
  int size = 0;
  unsigned bits = 0;
  unsigned colours = 0;  // the directory's colour count: 0 for 8 bits and more
  std::vector<std::uint8_t> bytes;
};

// The icon directory, then the images in the same order.
std::vector<std::uint8_t> EncodeIco(const std::vector<IcoImage>& images) {
  std::vector<std::uint8_t> out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // icon, not cursor
  Put16(out, static_cast<unsigned>(images.size()));
  auto at = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (const IcoImage& image : images) {
    out.push_back(static_cast<std::uint8_t>(image.size & 0xFF));  // 256 is written as 0
    out.push_back(static_cast<std::uint8_t>(image.size & 0xFF));
    out.push_back(static_cast<std::uint8_t>(image.colours));
    out.push_back(0);
    Put16(out, 1);  // planes
    Put16(out, image.bits);
    Put32(out, static_cast<std::uint32_t>(image.bytes.size()));
    Put32(out, at);
    at += static_cast<std::uint32_t>(image.bytes.size());
  }
  for (const IcoImage& image : images) out.insert(out.end(), image.bytes.begin(), image.bytes.end());
  return out;
}

std::vector<IcoImage> IcoImages(const kromi::PaletteImage& icon) {
  std::vector<IcoImage> images;
  for (const int size : kIcoSizes) {
    const kromi::PaletteImage image = Resample(icon, size);
    if (size == kIcoPngSize) {
      images.push_back({size, 32, 0, kromi::EncodePng(ToFrame(image), kromi::PngChannels::kRgba)});
    } else {
      images.push_back({size, 4, static_cast<unsigned>(kIcoColours), EncodeDib4(image)});
    }
  }
  return images;
}

// The artwork as squares, one per run of a colour along a row, for desktops that scale their
// icons. crispEdges keeps a renderer from smoothing the squares into their neighbours.
std::string EncodeSvg(const kromi::PaletteImage& icon) {
  const std::string w = std::to_string(icon.width), h = std::to_string(icon.height);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
                    "\" viewBox=\"0 0 " + w + " " + h + "\" shape-rendering=\"crispEdges\">\n";
  for (int y = 0; y < icon.height; ++y) {
    for (int x = 0; x < icon.width;) {
      const std::uint8_t index = icon.At(x, y);
      int end = x + 1;
      while (end < icon.width && icon.At(end, y) == index) ++end;
      if (index != icon.transparent) {
        const kromi::Rgb8 c = icon.palette[index];
        char fill[8];
        std::snprintf(fill, sizeof fill, "#%02x%02x%02x", c.r, c.g, c.b);
        out += "  <rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
               std::to_string(end - x) + "\" height=\"1\" fill=\"" + fill + "\"/>\n";
      }
      x = end;
    }
  }
  out += "</svg>\n";
  return out;
}

bool WriteBytes(const std::string& bytes, const std::string& path) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
    // Below half the artwork's size the first pixel's centre lies past the artwork's top row,
    // and the black corner marks there would be lost.
    if (size == 0 || 2 * size < icon.width) {
      std::fprintf(stderr, "kromi_icongen: %s is no size from %d to 1024 pixels\n", argv[arg], icon.width / 2);
      return 1;
    }
    const std::string path = dir + "/kromi-" + std::to_string(size) + ".png";
    if (!kromi::WritePng(ToFrame(Resample(icon, size)), path)) {
      std::fprintf(stderr, "kromi_icongen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  const std::vector<IcoImage> images = IcoImages(icon);
  for (const IcoImage& image : images) {
    if (image.bytes.empty()) {
      std::fprintf(stderr, "kromi_icongen: cannot encode the %d-pixel icon image\n", image.size);
      return 1;
    }
  }
  const std::vector<std::uint8_t> ico = EncodeIco(images);
  for (const auto& [name, bytes] : {std::pair{"kromi.ico", std::string(ico.begin(), ico.end())},
                                    std::pair{"kromi.svg", EncodeSvg(icon)}}) {
    const std::string path = dir + "/" + name;
    if (!WriteBytes(bytes, path)) {
      std::fprintf(stderr, "kromi_icongen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
