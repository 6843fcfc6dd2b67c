#pragma once
// WAV header checks for cue files. Cues are untrusted input and SDL believes whatever a header
// claims (a 108-byte file can make it allocate 4 GiB, a 1 Hz rate can make it resample for
// seconds), so nothing reaches SDL unless it passed ValidateWav and was rebuilt by CanonicalWav.
// No SDL here: this is plain byte parsing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kromi {

// What the mixer turns every cue into: 44,100 Hz, stereo, 16-bit.
inline constexpr std::uint32_t kMixRate = 44100;
inline constexpr std::uint32_t kMixBytesPerFrame = 4;

// The most memory a cue may need once converted to the mixer's format: 11.9 s of sound.
inline constexpr std::uint64_t kMaxDecodedBytes = 2u * 1024u * 1024u;

// The accepted sample rates, inclusive.
inline constexpr std::uint32_t kMinWavRate = 8000;
inline constexpr std::uint32_t kMaxWavRate = 96000;

// The facts of an accepted file. dataOffset and dataBytes always lie inside the bytes checked.
struct WavInfo {
  std::uint16_t channels = 0;       // 1 or 2
  std::uint16_t bitsPerSample = 0;  // 8 or 16
  std::uint32_t sampleRate = 0;     // kMinWavRate..kMaxWavRate
  std::uint16_t blockAlign = 0;     // channels * bitsPerSample / 8
  std::size_t dataOffset = 0;       // where the samples start
  std::size_t dataBytes = 0;        // whole frames only, never 0
};

// Accepts only a sound SDL can play cheaply and safely: RIFF/WAVE, plain PCM (format 1, or
// WAVE_FORMAT_EXTENSIBLE whose subformat is PCM), 1-2 channels, 8 or 16 bits, 8,000-96,000 Hz,
// consistent block align and byte rate, one fmt chunk before one data chunk, every chunk inside
// the RIFF extent and the RIFF extent inside the bytes, whole frames (a partial last frame is
// dropped) and at most kMaxDecodedBytes once converted. Reads nothing outside bytes.
std::optional<WavInfo> ValidateWav(std::span<const std::uint8_t> bytes);

// Bytes the samples of info take at 44,100 Hz stereo 16-bit (rounded up to a whole frame).
std::uint64_t DecodedBytes(const WavInfo& info);

// The samples of an accepted file (bytes and info from one successful ValidateWav call) at
// 44,100 Hz stereo S16 in native byte order: exactly DecodedBytes(info) bytes, and no other
// allocation of any size. Rates are converted by linear interpolation: cues are short sounds,
// and a windowed resampler would cost a working buffer many times the size of the result.
std::vector<std::uint8_t> MixSamples(std::span<const std::uint8_t> bytes, const WavInfo& info);

// A minimal WAV (44-byte header, plain PCM, then the samples) holding exactly the samples info
// describes; bytes and info must come from one successful ValidateWav call. Hands SDL only the
// fields that were checked: no extra chunks, no extensible format, no header it could misread.
std::vector<std::uint8_t> CanonicalWav(std::span<const std::uint8_t> bytes, const WavInfo& info);

}  // namespace kromi
