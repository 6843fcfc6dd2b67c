#include "kromi/sdl/mixer.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace kromi {
namespace {

constexpr int kCueChannel = 0;
constexpr std::size_t kMaxChunks = 16;

// ALSA reports a missing sound card on stderr from inside SDL, where no hook reaches it. A game
// without sound is normal, so that noise is sent to /dev/null while the device is being opened.
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace

MixerCues::MixerCues(std::string appDir) : appDir_(std::move(appDir)) {}

MixerCues::~MixerCues() {
  if (!open_) return;
  Mix_HaltChannel(-1);
  FreeAll();
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool MixerCues::Open() {
  if (open_) return true;
  const QuietStderr quiet;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  // 512 frames is about 12 ms: a knob tick's blip starts with the key, not a beat later.
  if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 512) != 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  if (Mix_AllocateChannels(1) != 1) {
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  open_ = true;
  return true;
}

std::string MixerCues::CuePath(std::string_view text) const {
  if (!text.empty() && text.front() == '\\') text.remove_prefix(1);
  std::string path = appDir_;
  path += '/';
  for (const char c : text) path += c == '\\' ? '/' : c;
  return path;
}

int MixerCues::PlayingCount() const { return open_ ? Mix_Playing(-1) : 0; }

std::int32_t MixerCues::Play(std::string_view text) {
  if (!open_) return 0;
  // Every call cuts off the cue before it, whether or not the new one can play; halting first
  // also makes every chunk safe to free below.
  Mix_HaltChannel(-1);
  // A NUL would cut the path short inside the C calls and name some other file.
  if (text.find('\0') != std::string_view::npos) return 0;

  const std::string path = CuePath(text);
  const CueFile* file = files_.Lookup(path);
  if (file == nullptr) {
    Forget(path);
    return 0;
  }
  Mix_Chunk* chunk = ChunkFor(path, *file);
  if (chunk == nullptr) return 0;
  return Mix_PlayChannel(kCueChannel, chunk, 0) == kCueChannel ? 1 : 0;
}

Mix_Chunk* MixerCues::ChunkFor(const std::string& path, const CueFile& file) {
  const auto found = chunks_.find(path);
  if (found != chunks_.end() && found->second.identity == file.identity) return found->second.chunk;

  Forget(path);
  if (chunks_.size() >= kMaxChunks) FreeAll();
  SDL_RWops* rw = SDL_RWFromConstMem(file.wav.data(), static_cast<int>(file.wav.size()));
  Mix_Chunk* chunk = rw != nullptr ? Mix_LoadWAV_RW(rw, 1) : nullptr;
  ++decodes_;
  chunks_[path] = Decoded{file.identity, chunk};
  return chunk;
}

void MixerCues::Forget(const std::string& path) {
  const auto found = chunks_.find(path);
  if (found == chunks_.end()) return;
  if (found->second.chunk != nullptr) Mix_FreeChunk(found->second.chunk);
  chunks_.erase(found);
}

void MixerCues::FreeAll() {
  for (auto& [path, decoded] : chunks_) {
    if (decoded.chunk != nullptr) Mix_FreeChunk(decoded.chunk);
  }
  chunks_.clear();
}

}  // namespace kromi
