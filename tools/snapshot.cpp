// Renders the game window's first frame to a PNG without opening a window.
//   kromi_snapshot OUT.png [--seed N] [--scale S]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kromi/app/form1.h"
#include "kromi/sdl/fonts.h"
#include "kromi/png/png.h"
#include "kromi/draw/renderer.h"

namespace {

// A source whose seed stays what the command line said, so a snapshot can be made again.
class FixedSeedSource final : public kromi::RandomSource {
 public:
  explicit FixedSeedSource(std::uint64_t seed) { inner_.Seed(seed); }
  void Seed(std::uint64_t) override {}
  std::uint32_t Next() override { return inner_.Next(); }

 private:
  kromi::TwisterSource inner_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kromi_snapshot OUT.png [--seed N] [--scale S]\n");
    return 2;
  }
  std::uint64_t seed = 1;
  int scale = 1;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seed")) seed = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--scale")) scale = std::atoi(argv[i + 1]);
  }
  if (scale < 1 || scale > 8) scale = 1;

  FixedSeedSource random(seed);
  kromi::SilentCues cues;
  kromi::Form1 form(random, cues);
  form.Form_Load();

  std::string error;
  auto fonts = kromi::Fonts::Open(error);
  if (!fonts) {
    std::fprintf(stderr, "kromi_snapshot: %s\n", error.c_str());
    return 1;
  }
  kromi::Renderer renderer(*fonts, scale);
  kromi::Frame frame;
  frame.width = kromi::kForm1.ClientWidth * scale;
  frame.height = kromi::kForm1.ClientHeight * scale;
  frame.pixels.assign(static_cast<std::size_t>(frame.width * frame.height), 0);
  const std::span<const kromi::ControlRef> order(form.controls.DrawingOrder());
  renderer.AutoSize(order);
  renderer.Draw(kromi::kForm1.BackColor, order, frame);
  if (!kromi::WritePng(frame, argv[1])) {
    std::fprintf(stderr, "kromi_snapshot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
