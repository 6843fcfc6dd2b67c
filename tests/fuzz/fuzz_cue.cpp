// libFuzzer target: arbitrary bytes as a cue file, through the same path the game takes, the
// file reader, the WAV checks, the canonical rebuild and the conversion to the device's format, on the dummy
// audio driver. Besides the sanitizers it checks that the layers agree: a file the checks accept
// plays, one they refuse is silent, a second play of the same file neither reads nor decodes
// again, and no decoded cue is larger than the checks promised.
#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>

#include "kromi/cues/cuefile.h"
#include "kromi/posix/cuefiles.h"
#include "kromi/sdl/mixer.h"
#include "kromi/cues/wav.h"

namespace {

namespace fs = std::filesystem;

fs::path& Dir() {
  static fs::path dir;
  return dir;
}

kromi::MixerCues*& Cues() {
  static kromi::MixerCues* cues = nullptr;
  return cues;
}

void CleanUp() {
  delete Cues();
  Cues() = nullptr;
  std::error_code ignored;
  if (!Dir().empty()) fs::remove_all(Dir(), ignored);
  SDL_Quit();
}

[[noreturn]] void Disagree(const char* what, std::size_t size) {
  std::fprintf(stderr, "fuzz_cue: %s (input of %zu bytes)\n", what, size);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Never a real sound card, whatever the environment says.
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::string templ = (fs::temp_directory_path() / "kromi-fuzz-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) std::abort();
  Dir() = templ;
  Cues() = new kromi::MixerCues(templ);
  if (!Cues()->Open()) {
    std::fprintf(stderr, "fuzz_cue: no dummy audio device: %s\n", SDL_GetError());
    std::abort();
  }
  std::atexit(CleanUp);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A new name every time: the cue cache knows a file by its identity, and a file rewritten
  // within one clock tick at the same size and inode would look unchanged.
  static std::uint64_t serial = 0;
  const std::string name = "cue" + std::to_string(serial++) + ".wav";
  const fs::path path = Dir() / name;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }

  const std::span<const std::uint8_t> bytes(data, size);
  const std::optional<kromi::WavInfo> info = kromi::ValidateWav(bytes);
  if (info) {
    if (info->dataOffset + info->dataBytes > size) Disagree("accepted samples lie outside the file", size);
    if (info->dataBytes == 0 || info->dataBytes % info->blockAlign != 0) Disagree("accepted a partial frame", size);
    if (kromi::DecodedBytes(*info) > kromi::kMaxDecodedBytes) Disagree("accepted a cue over the budget", size);
    const auto again = kromi::ValidateWav(kromi::CanonicalWav(bytes, *info));
    if (!again || again->dataBytes != info->dataBytes || again->sampleRate != info->sampleRate ||
        again->channels != info->channels || again->bitsPerSample != info->bitsPerSample) {
      Disagree("the canonical form does not describe the same sound", size);
    }
  }

  kromi::MixerCues& cues = *Cues();
  const std::string text = "\\" + name;
  const std::size_t reads = cues.FileReads(), decodes = cues.Decodes();
  const std::int32_t played = cues.Play(text);
  const bool playable = info.has_value() && size <= kromi::kMaxCueFileBytes;
  if (played != (playable ? 1 : 0)) Disagree(playable ? "an accepted cue did not play" : "a refused cue played", size);
  if (played == 1) {
    const std::size_t converted = cues.CueBytes(text);
    // SDL's resampler may round a few frames differently from the budget's arithmetic.
    if (converted == 0 || converted > kromi::DecodedBytes(*info) + 64 * kromi::kMixBytesPerFrame) {
      Disagree("the decoded cue is larger than the checks allowed for", size);
    }
  }
  if (cues.FileReads() != reads + 1) Disagree("the file was not read exactly once", size);
  if (cues.Decodes() != decodes + (played == 1 ? 1 : 0)) Disagree("a refused cue reached the decoder", size);
  // Held knob keys replay a cue ten times a second: it must come from memory, with the same result.
  if (cues.Play(text) != played) Disagree("a second play differs", size);
  if (cues.FileReads() != reads + 1 || cues.Decodes() != decodes + (played == 1 ? 1 : 0)) {
    Disagree("a second play read or decoded again", size);
  }

  std::error_code ignored;
  fs::remove(path, ignored);
  return 0;
}
