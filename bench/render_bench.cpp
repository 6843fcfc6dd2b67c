// What one whole frame costs the host: Form1's real controls after Form_Load, the real fonts,
// AutoSize and Draw exactly as Runner::Draw runs them, at scale 1 and 2. The floor is filling the
// same buffer with one colour, the least any frame can cost; after the runs the ratio of each
// frame to that floor is printed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "kromi/app/form1.h"
#include "kromi/res/form1.h"
#include "kromi/sdl/fonts.h"
#include "kromi/draw/frame.h"
#include "kromi/draw/renderer.h"

namespace {

using namespace kromi;

// Keeps its seed, so every run draws the same target colour.
class FixedSeedSource final : public RandomSource {
 public:
  void Seed(std::uint64_t) override {}
  std::uint32_t Next() override { return inner_.Next(); }

 private:
  TwisterSource inner_;
};

Fonts& TheFonts() {
  static std::unique_ptr<Fonts> fonts = [] {
    std::string error;
    auto f = Fonts::Open(error);
    if (!f) {
      std::fprintf(stderr, "render_bench: %s\n", error.c_str());
      std::exit(1);
    }
    return f;
  }();
  return *fonts;
}

void BM_FullFrame(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  FixedSeedSource random;
  SilentCues cues;
  Form1 form(random, cues);
  form.Form_Load();
  Renderer renderer(TheFonts(), scale);
  Frame frame;
  const std::span<const ControlRef> order(form.controls.DrawingOrder());
  // The first frame renders every caption once; the host's later frames find them cached.
  renderer.AutoSize(order);
  renderer.Draw(kForm1.BackColor, order, frame);
  for (auto _ : state) {
    renderer.AutoSize(order);
    renderer.Draw(kForm1.BackColor, order, frame);
    benchmark::DoNotOptimize(frame.pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.pixels.size() * 4));
}
BENCHMARK(BM_FullFrame)->Arg(1)->Arg(2);

void BM_FillFrame(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  Frame frame;
  const std::uint32_t background = PixelOf(kForm1.BackColor);
  frame.Resize(Renderer::kWidth * scale, Renderer::kHeight * scale, background);
  for (auto _ : state) {
    frame.Resize(Renderer::kWidth * scale, Renderer::kHeight * scale, background);
    benchmark::DoNotOptimize(frame.pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.pixels.size() * 4));
}
BENCHMARK(BM_FillFrame)->Arg(1)->Arg(2);

// Prints as usual and remembers each run's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) ns_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
  }
  double Ns(const std::string& name) const {
    const auto it = ns_.find(name);
    return it == ns_.end() ? -1 : it->second;
  }

 private:
  std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const int scale : {1, 2}) {
    const double frame = reporter.Ns("BM_FullFrame/" + std::to_string(scale));
    const double fill = reporter.Ns("BM_FillFrame/" + std::to_string(scale));
    if (frame > 0 && fill > 0) {
      std::printf("frame_ratio scale=%d frame_us=%.2f fill_us=%.2f ratio=%.2f\n", scale, frame / 1000, fill / 1000,
                  frame / fill);
    }
  }
  return 0;
}
