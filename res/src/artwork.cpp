// The game's pictures, pixel by pixel. Each character is one pixel; the legend of each picture
// gives its colours, and '-' is always the see-through colour.
#include <stdexcept>
#include <string>

#include "kromi/res/artwork.h"

namespace kromi {
namespace {

constexpr std::string_view kArrowLeft = R"(
|------------|
|----kk------|
|---kfk------|
|--kffk------|
|-kfffkkkkkkk|
|kffffffffffk|
|kffffffffffk|
|-kfffkkkkkkk|
|--kffk------|
|---kfk------|
|----kk------|
|------------|
)";

constexpr std::string_view kArrowDown = R"(
|----kkkk----|
|----kffk----|
|----kffk----|
|----kffk----|
|----kffk----|
|----kffk----|
|-kkkkffkkkk-|
|-kffffffffk-|
|--kffffffk--|
|---kffffk---|
|----kffk----|
|-----kk-----|
)";

constexpr std::string_view kArrowRight = R"(
|------------|
|------kk----|
|------kfk---|
|------kffk--|
|kkkkkkkfffk-|
|kffffffffffk|
|kffffffffffk|
|kkkkkkkfffk-|
|------kffk--|
|------kfk---|
|------kk----|
|------------|
)";

constexpr std::string_view kKnob = R"(
|--------kkkk-----------|
|-----kkkmmmdkkk--------|
|----kmmmmmmmdddk-------|
|---kmmlmmmmmmdddk------|
|--kmmlllmmmmmmdddk-----|
|-kmmlllllmmmmmddddk----|
|-kmmmlllmmmmmmmdddks---|
|-kmmmmlmmmmmmmmdddkss--|
|kdmmmmmmmmmmmmmddddks--|
|kddmmmmmmmmmmmdddddks--|
|kddmmmmmmmmmmmdddddkss-|
|kdddmmmmmmmmmddddddkss-|
|-kdddmmmmmmmddddddksss-|
|-kdddddmmmddddddddksss-|
|-kddddddddddddddddkss--|
|--kddddddddddddddksss--|
|---kddddddddddddkssss--|
|----kddddddddddkssss---|
|-----kkkddddkkkssss----|
|------sskkkkssssss-----|
|-------ssssssssss------|
|----------ssss---------|
|-----------------------|
)";

constexpr std::string_view kIcon = R"(
|KKBBBBBBBBBBBBBBBBBBBBBBBBBBBKKK|
|BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB|
|BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB|
|BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB|
|BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB|
|BBBBBBBBBBGGGGGGGGGBBBBBBBBBBBBB|
|BBBBBBBBBGGGGGGGGGGGGGBBBBBBBBBB|
|BBBBBBBGGGGGGGGGGGGGGGGGBBBBBBBB|
|BBBBBGGGGGGGGGGGGGGGGGGGGGGBBBBB|
|GGGGGGGGGGGGGGGGGGGGGGGGGGGGBBBB|
|GGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGG|
|GGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGG|
|GGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGG|
|GGGGGGGGGGGGGGRRRGGGGGGGGGGGGGGG|
|GGGGGGGRRRRRRRRRRRRGGGGGGGGGGGGG|
|GGGGGGRRRRRRRRRRRRRRRRGGGGGGGGGG|
|GGGGGRRRRRRRRRRRRRRRRRRRRRGGGGGG|
|GGGGGRRRRRRRRRRRRRRRRRRRRRRGGGGG|
|GGGGRRRRRRRRRRRRRRRRRRRRRRRRGGGG|
|RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR|
|RRRRRRRRRRRRRYYYYYRRRRRRRRRRRRRR|
|RRRRRRRRRRYYYYYYYYYYYYYRRRRRRRRR|
|RRRRRRRRYYYYYYYYYYYYYYYYYYRRRRRR|
|RRRRRRRYYYYYYYYYYYYYYYYYYYYYYRRR|
|RRRRRRYYYYYYYYYYYYYYYYYYYYYYYYYR|
|RRRRRYYYYYYYYYYYYYYYYYYYYYYYYYYY|
|RRRYYYYYYYYYCCCCCCCCCCYYYYYYYYYY|
|RYYYYYYYYYCCCCCCCCCCCCCCCYYYYYYY|
|YYYYYYYYCCCCCCCCCCCCCCCCCCYYYYYY|
|YYYYYYYCCCCCCCCCCCCCCCCCCCCYYYYY|
|YYYYYYYCCCCCCCCCCCCCCCCCCCCYYYYY|
|YYYYYYYCCCCCCCCCCCCCCCCCCCCYYYYY|
)";

constexpr Rgb8 kBlack{0, 0, 0};
constexpr Rgb8 kArrowFill{214, 231, 206};
constexpr Rgb8 kArrowSeeThrough{198, 198, 198};  // stored colour of the arrows' transparent pixels
constexpr Rgb8 kKnobOutline{0, 0, 0};
constexpr Rgb8 kKnobShadow{113, 111, 100};
constexpr Rgb8 kKnobSeeThrough{212, 208, 200};

struct KnobShades {
  Rgb8 base, lit, highlight;
};
constexpr KnobShades kKnobShades[4] = {
    {},                                                 // unused
    {{255, 0, 0}, {255, 128, 128}, {255, 192, 192}},    // red
    {{0, 170, 0}, {0, 204, 0}, {0, 238, 0}},            // green
    {{0, 0, 255}, {128, 128, 255}, {192, 192, 255}},    // blue
};

Artwork Decode() {
  Artwork art;
  const auto arrow = [](std::string_view grid) {
    return DecodeGrid(grid, {{'-', kArrowSeeThrough}, {'k', kBlack}, {'f', kArrowFill}}, '-');
  };
  art.arrowLeft = arrow(kArrowLeft);
  art.arrowDown = arrow(kArrowDown);
  art.arrowRight = arrow(kArrowRight);
  for (int i = 1; i <= 3; ++i) {
    const KnobShades& s = kKnobShades[i];
    art.knob[i] = DecodeGrid(kKnob,
                             {{'-', kKnobSeeThrough}, {'k', kKnobOutline}, {'s', kKnobShadow},
                              {'d', s.base}, {'m', s.lit}, {'l', s.highlight}},
                             '-');
  }
  // The icon's palette: its six colours first, the rest of its 16 entries black.
  art.icon = DecodeGrid(kIcon,
                        {{'B', {0, 0, 255}}, {'G', {0, 255, 0}}, {'R', {255, 0, 0}},
                         {'Y', {255, 255, 0}}, {'C', {0, 255, 255}}, {'K', kBlack}},
                        '\0');
  art.icon.palette.resize(16, kBlack);
  return art;
}

}  // namespace

PaletteImage DecodeGrid(std::string_view grid, std::initializer_list<LegendEntry> legend,
                        char transparentKey) {
  PaletteImage image;
  for (const LegendEntry& entry : legend) image.palette.push_back(entry.colour);
  int index = 0;
  for (const LegendEntry& entry : legend) {
    if (entry.key == transparentKey) image.transparent = index;
    ++index;
  }
  std::size_t pos = 0;
  while (pos < grid.size()) {
    std::size_t end = grid.find('\n', pos);
    if (end == std::string_view::npos) end = grid.size();
    std::string_view line = grid.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) continue;
    if (line.size() < 2 || line.front() != '|' || line.back() != '|')
      throw std::invalid_argument("grid row without bars: " + std::string(line));
    line = line.substr(1, line.size() - 2);
    if (image.height == 0) image.width = static_cast<int>(line.size());
    if (static_cast<int>(line.size()) != image.width)
      throw std::invalid_argument("grid rows differ in length");
    for (char c : line) {
      int found = -1, i = 0;
      for (const LegendEntry& entry : legend) {
        if (entry.key == c) found = i;
        ++i;
      }
      if (found < 0) throw std::invalid_argument(std::string("grid character not in legend: ") + c);
      image.pixels.push_back(static_cast<std::uint8_t>(found));
    }
    ++image.height;
  }
  return image;
}

const Artwork& TheArtwork() {
  static const Artwork art = Decode();
  return art;
}

}  // namespace kromi
