// The long soak: millions of random events against Form1 and the model of its rules, no window.
//   kromi_soak [--events N] [--seed S] [--keep-going]
// Defaults: 10,000,000 events, seed 1. Prints the seed, the figures and, on a broken rule, the
// shortest event sequence that still breaks it; exits 1 then. --keep-going counts every broken
// rule (a fresh form replaces each failing one) and shrinks only the first.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "soak.h"

namespace {

int Usage() {
  std::cerr << "usage: kromi_soak [--events N] [--seed S] [--keep-going]\n";
  return 2;
}

bool Number(const char* text, std::uint64_t& out) {
  char* end = nullptr;
  out = std::strtoull(text, &end, 0);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  kromi::soak::Options options;
  options.events = 10'000'000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--keep-going") {
      options.maxViolations = ~0ull;
    } else if ((arg == "--events" || arg == "--seed") && i + 1 < argc) {
      if (!Number(argv[++i], arg == "--events" ? options.events : options.seed)) return Usage();
    } else {
      return Usage();
    }
  }

  std::cout << "soak: seed " << options.seed << ", " << options.events << " events" << std::endl;
  const auto start = std::chrono::steady_clock::now();
  const kromi::soak::Result r = kromi::soak::Soak(options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const kromi::soak::Stats& s = r.stats;
  std::printf(
      "events %llu in %.1f s (%.0f per second), runs %llu, violations %llu\n"
      "colours %llu, knob steps %llu, matches %llu, reveals %llu, blinks ended %llu\n"
      "Timer1 ticks %llu, Timer2 ticks %llu (%llu of them from the scheduler)\n"
      "mouse downs %llu, ups %llu, clicks %llu, double clicks %llu\n"
      "unloads: %llu by key, %llu by Avsluta, %llu closes\n",
      static_cast<unsigned long long>(s.events), seconds, static_cast<double>(s.events) / seconds,
      static_cast<unsigned long long>(s.runs), static_cast<unsigned long long>(r.violations),
      static_cast<unsigned long long>(s.colours), static_cast<unsigned long long>(s.steps),
      static_cast<unsigned long long>(s.matches), static_cast<unsigned long long>(s.reveals),
      static_cast<unsigned long long>(s.blinksEnded), static_cast<unsigned long long>(s.timer1Ticks),
      static_cast<unsigned long long>(s.timer2Ticks), static_cast<unsigned long long>(s.scheduledTicks),
      static_cast<unsigned long long>(s.mouseDowns), static_cast<unsigned long long>(s.mouseUps),
      static_cast<unsigned long long>(s.clicks), static_cast<unsigned long long>(s.doubleClicks),
      static_cast<unsigned long long>(s.unloadsByKey), static_cast<unsigned long long>(s.unloadsByButton),
      static_cast<unsigned long long>(s.closes));
  if (r.first) {
    std::cout << kromi::soak::Report(options, *r.first);
    return 1;
  }
  return 0;
}
