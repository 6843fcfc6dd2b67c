#pragma once
// Finding a cue in what SDL's disk audio driver wrote: the game mixes 22,050 Hz mono cues into a
// 44,100 Hz stereo S16 stream; a cue was heard if some stretch of that stream has the cue's shape
// (normalised cross-correlation near 1) at about the cue's own loudness.
#include <optional>
#include <string>
#include <vector>

namespace kromi::e2e {

constexpr int kCaptureRate = 44100;
constexpr int kCaptureChannels = 2;
constexpr int kCaptureFrameBytes = 2 * kCaptureChannels;

// A 16-bit PCM WAV file as mono samples in [-1, 1); nothing unless it is 22,050 Hz mono 16-bit,
// the only kind the game ships.
std::optional<std::vector<float>> LoadCue(const std::string& path);

// The disk driver's raw output (interleaved S16 little-endian stereo) as mono samples.
std::vector<float> LoadCapture(const std::string& path);

// Best normalised correlation, 0..1, of the cue against any stretch of the capture whose energy is
// within a factor of four of the cue's; 0 when no stretch qualifies (silence, or far too quiet).
double CueMatch(const std::vector<float>& capture44k, const std::vector<float>& cue22k);

// Seconds of sound in a capture of that many bytes.
double CaptureSeconds(std::size_t bytes);

}  // namespace kromi::e2e
