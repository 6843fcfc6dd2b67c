// Reading and checking a cue file, for every crafted hostile file and the four real cues: the
// time per file (goal: under 10 ms) and the most memory held at once while doing it (goal: no
// more than the file itself plus 64 KiB, and never more than the decode budget, whatever sizes
// the file claims). Then the largest cues the checks accept, played through the real player on
// SDL's dummy device: the time Play takes on the thread that asks (goal: under 5 ms) and the
// most memory held at once until the audio thread has converted and started it (goal: under
// 8 MiB). The program exits 1 when a goal is missed, so the `bench` CTest entry fails with it.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>
#include <new>
#include <string>
#include <vector>

#include "../tests/data/wav/crafted.h"
#include "kromi/cues/cuefile.h"
#include "kromi/posix/cuefiles.h"
#include "kromi/sdl/mixer.h"
#include "kromi/cues/wav.h"

// ---- Allocation accounting -------------------------------------------------------------------
// Every operator new of the process is counted by its usable size, so a peak covers the reader's
// buffer, the vector growth and anything the standard library does on the way.

namespace {

std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  const std::size_t live = gLive.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
  std::size_t peak = gPeak.load(std::memory_order_relaxed);
  while (live > peak && !gPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return p;
}

void Free(void* p) {
  if (p == nullptr) return;
  gLive.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }

namespace {

namespace fs = std::filesystem;
using kromi::crafted::Bytes;

constexpr double kGoalMicros = 10'000;
constexpr std::size_t kSlackBytes = 64 * 1024;
constexpr double kPlayGoalMicros = 5'000;
constexpr double kPlayGoalBytes = 8.0 * 1024 * 1024;

struct Subject {
  std::string name;
  fs::path path;
  std::size_t fileBytes = 0;
  bool playable = false;  // the real cues: checked and rebuilt, the full work of a first play
};

// What the cache does for a file it has not seen: read it, check it, rebuild it if it passed.
std::size_t ReadAndCheck(const Subject& s) {
  const kromi::CueRead read = kromi::ReadCueFile(s.path.string());
  std::size_t out = read.bytes.size();
  if (read.status == kromi::CueReadStatus::kOk) {
    if (const auto info = kromi::ValidateWav(read.bytes)) out += kromi::CanonicalWav(read.bytes, *info).size();
  }
  return out;
}

void BM_ReadAndCheck(benchmark::State& state, const Subject& s) {
  // The peak of one pass, measured outside the timed loop so the accounting costs it nothing.
  const std::size_t before = gLive.load();
  gPeak.store(before);
  const std::size_t produced = ReadAndCheck(s);
  const std::size_t peak = gPeak.load() - before;
  if ((produced > s.fileBytes) != s.playable) state.SkipWithError("a hostile file was accepted");
  for (auto _ : state) benchmark::DoNotOptimize(ReadAndCheck(s));
  state.counters["file_bytes"] = static_cast<double>(s.fileBytes);
  state.counters["peak_alloc_bytes"] = static_cast<double>(peak);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.fileBytes));
}

// A first Play of a cue on a fresh player (nothing cached), timed on the calling thread; the
// conversion on the audio thread is waited for untimed, and counted in the peak.
void BM_PlayLargest(benchmark::State& state, const Subject& s) {
  const std::string text = "\\" + s.path.filename().string();
  double peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto cues = std::make_unique<kromi::MixerCues>(s.path.parent_path().string());
    if (!cues->Open()) {
      state.SkipWithError("no dummy audio device");
      break;
    }
    const std::size_t before = gLive.load();
    gPeak.store(before);
    state.ResumeTiming();
    const std::int32_t played = cues->Play(text);
    state.PauseTiming();
    if (played != 1 || cues->PlayingBytes() == 0) state.SkipWithError("the largest accepted cue did not play");
    peak = std::max(peak, static_cast<double>(gPeak.load() - before));
    cues.reset();
    state.ResumeTiming();
  }
  state.counters["file_bytes"] = static_cast<double>(s.fileBytes);
  state.counters["peak_alloc_bytes"] = peak;
}

// Collects the runs for the goal check after the console has shown them.
class GoalReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) {
        misses_.push_back(run.benchmark_name() + ": " + run.error_message);
        continue;
      }
      const double micros = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kMicrosecond) /
                            benchmark::GetTimeUnitMultiplier(run.time_unit);
      const double file = run.counters.at("file_bytes").value;
      const double peak = run.counters.at("peak_alloc_bytes").value;
      if (run.benchmark_name().rfind("PlayLargest/", 0) == 0) {
        if (micros >= kPlayGoalMicros) misses_.push_back(run.benchmark_name() + ": " + std::to_string(micros) + " us");
        if (peak >= kPlayGoalBytes) misses_.push_back(run.benchmark_name() + ": held " + std::to_string(peak) + " bytes");
        continue;
      }
      if (micros >= kGoalMicros) misses_.push_back(run.benchmark_name() + ": " + std::to_string(micros) + " us");
      if (peak > file + kSlackBytes || peak > static_cast<double>(kromi::kMaxDecodedBytes)) {
        misses_.push_back(run.benchmark_name() + ": held " + std::to_string(peak) + " bytes for a file of " +
                          std::to_string(file));
      }
      worstMicros_ = std::max(worstMicros_, micros);
      worstOverFile_ = std::max(worstOverFile_, peak - file);
    }
  }
  const std::vector<std::string>& Misses() const { return misses_; }
  double WorstMicros() const { return worstMicros_; }
  double WorstOverFile() const { return worstOverFile_; }

 private:
  std::vector<std::string> misses_;
  double worstMicros_ = 0, worstOverFile_ = 0;
};

std::string Slug(const std::string& name) {
  std::string out;
  for (const char c : name) out += (std::isalnum(static_cast<unsigned char>(c)) != 0) ? c : '_';
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string templ = (fs::temp_directory_path() / "kromi-bench-wav-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) return 2;
  const fs::path dir = templ;

  std::vector<Subject> subjects;
  const auto cases = kromi::crafted::Cases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Subject s{Slug(cases[i].name), dir / ("case" + std::to_string(i) + ".wav"), cases[i].bytes.size(), false};
    std::ofstream(s.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(cases[i].bytes.data()), static_cast<std::streamsize>(cases[i].bytes.size()));
    subjects.push_back(std::move(s));
  }
  for (const char* name : {"Ny.wav", "Pot.wav", "Boom.wav", "Visa.wav"}) {
    const fs::path path = fs::path(KROMI_SOUNDS_DIR) / name;
    subjects.push_back({std::string("shipped_") + name, path, static_cast<std::size_t>(fs::file_size(path)), true});
  }
  for (const Subject& s : subjects) {
    benchmark::RegisterBenchmark(("ReadAndCheck/" + s.name).c_str(), BM_ReadAndCheck, s)->Unit(benchmark::kMicrosecond);
  }
  // The decode budget binds the slowest format, the file cap the fastest.
  const kromi::crafted::Format slow = kromi::crafted::kBudgetFormats[0];
  const kromi::crafted::Format fast{.channels = 2, .rate = 96000, .bits = 16};
  const std::pair<const char*, Bytes> largest[] = {
      {"8000_Hz_mono_8_bit", kromi::crafted::PlainWav(slow, kromi::crafted::FramesAtBudget(slow))},
      {"96000_Hz_stereo_16_bit", kromi::crafted::PlainWav(fast, (kromi::kMaxCueFileBytes - 44) / fast.Align())}};
  for (const auto& [name, bytes] : largest) {
    const Subject s{name, dir / (std::string(name) + ".wav"), bytes.size(), true};
    std::ofstream(s.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    benchmark::RegisterBenchmark(("PlayLargest/" + s.name).c_str(), BM_PlayLargest, s)
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(20);
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  GoalReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(dir, ignored);

  std::printf("worst: %.1f us per file (goal %.0f us), %.0f bytes held beyond the file (goal %zu)\n",
              reporter.WorstMicros(), kGoalMicros, reporter.WorstOverFile(), kSlackBytes);
  for (const std::string& miss : reporter.Misses()) std::printf("goal missed: %s\n", miss.c_str());
  return reporter.Misses().empty() ? 0 : 1;
}
