#include "audio_match.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "kromi/xdriver/xdriver.h"

namespace kromi::e2e {

namespace {

std::uint32_t U32(const std::string& s, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

std::uint16_t U16(const std::string& s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                    static_cast<unsigned char>(s[at + 1]) << 8);
}

float S16(const std::string& s, std::size_t at) {
  return static_cast<float>(static_cast<std::int16_t>(U16(s, at))) / 32768.0f;
}

using ComplexSignal = std::vector<std::complex<double>>;

// In-place iterative radix-2 FFT; a.size() is a power of two. inverse leaves the 1/n to the caller.
void Fft(ComplexSignal& a, bool inverse) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double angle = 2 * std::numbers::pi / static_cast<double>(len) * (inverse ? 1 : -1);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (std::size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (std::size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k];
        const auto v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= step;
      }
    }
  }
}

// corr[k] = sum over i of x[k + i] * y[i], for every k where y fits inside x.
std::vector<double> CrossCorrelate(const std::vector<float>& x, const std::vector<float>& y) {
  std::size_t n = 1;
  while (n < x.size() + y.size()) n <<= 1;
  ComplexSignal fx(n), fy(n);
  for (std::size_t i = 0; i < x.size(); ++i) fx[i] = x[i];
  for (std::size_t i = 0; i < y.size(); ++i) fy[i] = y[i];
  Fft(fx, false);
  Fft(fy, false);
  for (std::size_t i = 0; i < n; ++i) fx[i] *= std::conj(fy[i]);
  Fft(fx, true);
  std::vector<double> corr(x.size() - y.size() + 1);
  for (std::size_t k = 0; k < corr.size(); ++k) corr[k] = fx[k].real() / static_cast<double>(n);
  return corr;
}

double BestMatch(const std::vector<float>& x, const std::vector<float>& cue) {
  if (cue.empty() || x.size() < cue.size()) return 0;
  double cueEnergy = 0;
  for (float v : cue) cueEnergy += double{v} * v;
  if (cueEnergy <= 0) return 0;
  std::vector<double> prefix(x.size() + 1, 0.0);  // running energy, for every window at once
  for (std::size_t i = 0; i < x.size(); ++i) prefix[i + 1] = prefix[i] + double{x[i]} * x[i];
  const std::vector<double> corr = CrossCorrelate(x, cue);
  double best = 0;
  for (std::size_t k = 0; k < corr.size(); ++k) {
    const double energy = prefix[k + cue.size()] - prefix[k];
    if (energy < cueEnergy / 4 || energy > cueEnergy * 4) continue;
    best = std::max(best, corr[k] / std::sqrt(energy * cueEnergy));
  }
  return best;
}

}  // namespace

std::optional<std::vector<float>> LoadCue(const std::string& path) {
  const std::string wav = ReadFile(path);
  if (wav.size() < 12 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(8, 4, "WAVE") != 0) return std::nullopt;
  bool formatOk = false;
  for (std::size_t at = 12; at + 8 <= wav.size();) {
    const std::string id = wav.substr(at, 4);
    const std::size_t size = U32(wav, at + 4);
    const std::size_t body = at + 8;
    if (body + size > wav.size()) return std::nullopt;
    if (id == "fmt " && size >= 16) {
      formatOk = U16(wav, body) == 1 && U16(wav, body + 2) == 1 && U32(wav, body + 4) == 22050 &&
                 U16(wav, body + 14) == 16;
    } else if (id == "data") {
      if (!formatOk) return std::nullopt;
      std::vector<float> samples;
      for (std::size_t i = 0; i + 1 < size; i += 2) samples.push_back(S16(wav, body + i));
      return samples;
    }
    at = body + size + (size & 1);
  }
  return std::nullopt;
}

std::vector<float> LoadCapture(const std::string& path) {
  const std::string raw = ReadFile(path);
  std::vector<float> mono;
  mono.reserve(raw.size() / kCaptureFrameBytes);
  for (std::size_t at = 0; at + kCaptureFrameBytes <= raw.size(); at += kCaptureFrameBytes) {
    mono.push_back((S16(raw, at) + S16(raw, at + 2)) / 2);
  }
  return mono;
}

double CueMatch(const std::vector<float>& capture44k, const std::vector<float>& cue22k) {
  // Doubling the rate puts the cue's own samples at every other output sample, on one phase or
  // the other depending on the resampler; the samples between them carry nothing new.
  double best = 0;
  for (std::size_t phase = 0; phase < 2; ++phase) {
    std::vector<float> half;
    half.reserve(capture44k.size() / 2 + 1);
    for (std::size_t i = phase; i < capture44k.size(); i += 2) half.push_back(capture44k[i]);
    best = std::max(best, BestMatch(half, cue22k));
  }
  return best;
}

double CaptureSeconds(std::size_t bytes) {
  return static_cast<double>(bytes) / (kCaptureRate * kCaptureFrameBytes);
}

}  // namespace kromi::e2e
