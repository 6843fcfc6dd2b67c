// libFuzzer target: arbitrary bytes as a cue file, through the platform-free part of the path the
// game takes: the cue cache's read (FinishCueRead, with its cap), the WAV checks, the canonical
// rebuild and the conversion to the device's format (MixSamples, what the SDL mixer calls). The
// file lives in memory, behind a CueFiles of its own, so no disk, thread or audio device slows an
// input down. The POSIX reader keeps its unit tests (tests/unit/test_wav.cpp). Besides the
// sanitizers it checks that the layers agree: a file the checks accept comes out of the cache
// and converts, one they refuse is nullptr, a second play of the same file is not read again and
// is the very same rebuilt file, and no converted cue differs in size from what the checks
// promised.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kromi/cues/cuefile.h"
#include "kromi/cues/wav.h"

namespace {

// The one cue file there is: the bytes of the input being run, and who the file is.
struct MemoryFile {
  std::span<const std::uint8_t> bytes;
  kromi::FileIdentity identity;
  std::size_t served = 0;  // bytes handed to read calls, over all inputs
};

MemoryFile& File() {
  static MemoryFile file;
  return file;
}

const std::string kPath = "/cues/Pot.wav";

std::optional<kromi::FileIdentity> IdentifyMemory(const std::string& path) {
  if (path != kPath) return std::nullopt;
  return File().identity;
}

// As the POSIX reader does once the file is open: the real capping and change checks, fed by
// read calls over the input.
kromi::CueRead ReadMemory(const std::string& path, std::size_t cap) {
  kromi::CueRead result;
  if (path != kPath) return result;
  MemoryFile& file = File();
  result.identity = file.identity;
  std::size_t at = 0;
  return kromi::FinishCueRead(
      std::move(result), cap,
      [&file, &at](std::uint8_t* into, std::size_t room) -> std::ptrdiff_t {
        const std::size_t n = std::min(room, file.bytes.size() - at);
        if (n > 0) std::memcpy(into, file.bytes.data() + at, n);
        at += n;
        file.served += n;
        return static_cast<std::ptrdiff_t>(n);
      },
      [&file]() -> std::optional<kromi::FileIdentity> { return file.identity; });
}

kromi::CueFileCache& Cache() {
  // Kept across inputs, as the game keeps it across plays: each input replaces the file.
  static kromi::CueFileCache cache(kromi::CueFiles{&ReadMemory, &IdentifyMemory});
  return cache;
}

// MixSamples is built without coverage (coverage.ignore), so nothing else would make the corpus
// keep a stereo, 8-bit or faster-than-the-device cue for the conversion's sake; a branch each
// here does.
void NoteLayout(const kromi::WavInfo& info) {
  static volatile std::size_t seen[3];
  if (info.channels == 2) seen[0] = seen[0] + 1;
  if (info.bitsPerSample == 8) seen[1] = seen[1] + 1;
  if (info.sampleRate > kromi::kMixRate) seen[2] = seen[2] + 1;
}

[[noreturn]] void Disagree(const char* what, std::size_t size) {
  std::fprintf(stderr, "fuzz_cue: %s (input of %zu bytes)\n", what, size);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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

  // A new inode for every input: the file was replaced, as an installer would replace it.
  static std::uint64_t serial = 0;
  MemoryFile& file = File();
  file.bytes = bytes;
  file.identity = kromi::FileIdentity{.device = 1, .inode = ++serial, .size = static_cast<std::int64_t>(size)};

  kromi::CueFileCache& cache = Cache();
  const std::size_t reads = cache.Reads(), served = file.served;
  // A file over the cap is refused on its size, unread.
  const std::size_t whole = size <= kromi::kMaxCueFileBytes ? size : 0;
  const std::shared_ptr<const kromi::CueFile> cue = cache.Lookup(kPath);
  const bool playable = info.has_value() && size <= kromi::kMaxCueFileBytes;
  if ((cue != nullptr) != playable) Disagree(playable ? "an accepted cue did not play" : "a refused cue played", size);
  if (cache.Reads() != reads + 1 || file.served != served + whole) {
    Disagree("the file was not read exactly once", size);
  }
  if (cue) {
    if (!(cue->identity == file.identity)) Disagree("the cue carries another file's identity", size);
    // What the mixer does with a cue from the cache before it reaches the device.
    const std::optional<kromi::WavInfo> played = kromi::ValidateWav(cue->wav);
    if (!played) Disagree("the rebuilt cue fails the checks", size);
    NoteLayout(*played);
    const std::vector<std::uint8_t> pcm = kromi::MixSamples(cue->wav, *played);
    if (pcm.empty() || pcm.size() != kromi::DecodedBytes(*info) || pcm.size() > kromi::kMaxDecodedBytes) {
      Disagree("the converted cue is not the size the checks allowed for", size);
    }
  }
  // Held knob keys replay a cue ten times a second: it must come from memory, the same file.
  if (cache.Lookup(kPath) != cue) Disagree("a second play differs", size);
  if (cache.Reads() != reads + 1 || file.served != served + whole) {
    Disagree("a second play read the file again", size);
  }
  file.bytes = {};
  return 0;
}
