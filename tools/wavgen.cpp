// Writes the game's four sound cues, so they can be remade and tuned instead of being opaque
// binaries: kromi_wavgen OUTDIR writes Ny.wav, Pot.wav, Boom.wav and Visa.wav there.
// Output is 16-bit PCM mono at 22,050 Hz and identical on every run (no randomness, no clock).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct Partial {
  double ratio;  // of the fundamental
  double gain;
};

// One struck note: a raised-cosine attack (no click at the start), an exponential decay, and a
// raised-cosine release that brings it to exactly zero at its end (no click there either).
struct Note {
  double start;    // seconds
  double length;   // seconds, attack to silence
  double freq;     // Hz at the start
  double glideTo;  // Hz at the end; the pitch slides exponentially, 0 for a steady pitch
  double glideTau;
  double gain;
  double attack;   // seconds
  double decayTau; // seconds
  double release;  // seconds
  std::vector<Partial> partials;
};

double RaisedCosine(double x) { return 0.5 - 0.5 * std::cos(std::numbers::pi * std::clamp(x, 0.0, 1.0)); }

void AddNote(std::vector<double>& out, const Note& note) {
  const auto first = static_cast<std::size_t>(std::lround(note.start * kRate));
  const auto count = static_cast<std::size_t>(std::lround(note.length * kRate));
  if (out.size() < first + count) out.resize(first + count, 0.0);
  double phase = 0.0;  // of the fundamental, in cycles
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double env = RaisedCosine(t / note.attack) * std::exp(-std::max(0.0, t - note.attack) / note.decayTau);
    env *= RaisedCosine((note.length - t) / note.release);
    double sample = 0.0;
    for (const Partial& p : note.partials) {
      // Partials above Nyquist would fold back as harsh tones.
      if (p.ratio * note.freq >= kRate / 2.0) continue;
      sample += p.gain * std::sin(kTwoPi * p.ratio * phase);
    }
    out[first + i] += note.gain * env * sample;
    double freq = note.freq;
    if (note.glideTo > 0.0) freq = note.glideTo + (note.freq - note.glideTo) * std::exp(-t / note.glideTau);
    phase += freq / kRate;
    phase -= std::floor(phase);
  }
}

// Scales to the given peak (as a fraction of full scale) and rounds to 16 bits.
std::vector<std::int16_t> Finish(const std::vector<double>& mix, double peak) {
  double loudest = 0.0;
  for (const double s : mix) loudest = std::max(loudest, std::fabs(s));
  const double scale = loudest > 0.0 ? peak * 32767.0 / loudest : 0.0;
  std::vector<std::int16_t> pcm;
  pcm.reserve(mix.size());
  for (const double s : mix) {
    pcm.push_back(static_cast<std::int16_t>(std::clamp(std::lround(s * scale), -32767L, 32767L)));
  }
  return pcm;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

bool WriteWav(const std::string& path, const std::vector<std::int16_t>& pcm) {
  const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
  std::vector<std::uint8_t> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutLe(out, 36 + dataBytes, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, 1, 2);  // mono
  PutLe(out, kRate, 4);
  PutLe(out, kRate * 2, 4);
  PutLe(out, 2, 2);
  PutLe(out, 16, 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutLe(out, dataBytes, 4);
  for (const std::int16_t s : pcm) PutLe(out, static_cast<std::uint16_t>(s), 2);

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(file.flush());
}

// A bell-like timbre: the slightly stretched upper partial gives it shimmer.
const std::vector<Partial> kChime = {{1.0, 1.0}, {2.0, 0.32}, {3.0, 0.1}, {4.16, 0.06}};
const std::vector<Partial> kSoft = {{1.0, 1.0}, {2.0, 0.14}, {3.0, 0.03}};
const std::vector<Partial> kPure = {{1.0, 1.0}};

// A new colour: a fifth upwards, A5 then E6.
std::vector<double> Ny() {
  std::vector<double> mix;
  AddNote(mix, {0.000, 0.170, 880.00, 0, 1, 0.8, 0.004, 0.080, 0.060, kChime});
  AddNote(mix, {0.085, 0.165, 1318.51, 0, 1, 0.9, 0.004, 0.070, 0.080, kChime});
  return mix;
}

// A knob step, ten a second: short and soft, a blip that drops a little in pitch.
std::vector<double> Pot() {
  std::vector<double> mix;
  AddNote(mix, {0.0, 0.045, 1250.0, 850.0, 0.012, 1.0, 0.002, 0.010, 0.020, kSoft});
  return mix;
}

// A match: a low thump under a C major arpeggio that rings out.
std::vector<double> Boom() {
  std::vector<double> mix;
  AddNote(mix, {0.000, 0.260, 150.0, 48.0, 0.030, 1.2, 0.003, 0.070, 0.080, kPure});
  const double arpeggio[] = {523.25, 659.26, 783.99, 1046.50};
  for (int i = 0; i < 4; ++i) {
    const double start = 0.030 + 0.085 * i;
    AddNote(mix, {start, 0.720 - start, arpeggio[i], 0, 1, 0.45, 0.005, 0.220, 0.150, kChime});
  }
  return mix;
}

// The answer revealed: a gentle fourth downwards, G5 then D5.
std::vector<double> Visa() {
  std::vector<double> mix;
  AddNote(mix, {0.000, 0.180, 783.99, 0, 1, 0.8, 0.010, 0.100, 0.070, kSoft});
  AddNote(mix, {0.120, 0.180, 587.33, 0, 1, 0.8, 0.010, 0.090, 0.100, kSoft});
  return mix;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argc > 0 ? argv[0] : "kromi_wavgen");
    return 2;
  }
  const std::string dir = argv[1];
  struct Cue {
    const char* name;
    std::vector<double> mix;
    double peak;
  };
  const Cue cues[] = {{"Ny.wav", Ny(), 0.55}, {"Pot.wav", Pot(), 0.30}, {"Boom.wav", Boom(), 0.70},
                      {"Visa.wav", Visa(), 0.50}};
  for (const Cue& cue : cues) {
    const std::string path = dir + "/" + cue.name;
    if (!WriteWav(path, Finish(cue.mix, cue.peak))) {
      std::fprintf(stderr, "kromi_wavgen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
