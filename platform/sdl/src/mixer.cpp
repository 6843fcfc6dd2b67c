#include "kromi/sdl/mixer.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "kromi/sdl/wav.h"

namespace kromi {
namespace {

constexpr std::size_t kMaxChunks = 16;
// How often an open device is asked whether SDL still has it. Only while a device is open, which
// is while a cue plays and for the rest time after it.
constexpr std::chrono::milliseconds kLostCheck{250};

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

// The samples of a canonical cue WAV converted to 44,100 Hz stereo S16; empty if SDL cannot.
std::vector<std::uint8_t> Convert(const std::vector<std::uint8_t>& wav) {
  const std::optional<WavInfo> info = ValidateWav(wav);
  if (!info) return {};
  SDL_AudioCVT cvt;
  const SDL_AudioFormat from = info->bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  if (SDL_BuildAudioCVT(&cvt, from, static_cast<Uint8>(info->channels), static_cast<int>(info->sampleRate),
                        AUDIO_S16SYS, 2, static_cast<int>(kMixRate)) < 0) {
    return {};
  }
  const auto length = static_cast<int>(info->dataBytes);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(length) * static_cast<std::size_t>(cvt.len_mult));
  std::memcpy(buffer.data(), wav.data() + info->dataOffset, info->dataBytes);
  cvt.buf = buffer.data();
  cvt.len = length;
  if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) return {};
  const int converted = cvt.needed ? cvt.len_cvt : length;
  // Whole device frames only: a stray byte would shift every later sample of the voice.
  buffer.resize(static_cast<std::size_t>(converted) / kMixBytesPerFrame * kMixBytesPerFrame);
  buffer.shrink_to_fit();
  return buffer;
}

}  // namespace

MixerCues::MixerCues(std::string appDir, std::chrono::milliseconds rest) : appDir_(std::move(appDir)), rest_(rest) {}

MixerCues::~MixerCues() {
  WaitOpen();
  {
    const std::lock_guard lock(mutex_);
    quitting_ = true;
  }
  wake_.notify_all();
  if (keeper_ != nullptr) SDL_WaitThread(keeper_, nullptr);
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void MixerCues::Keep() {
  std::unique_lock lock(mutex_);
  while (!quitting_) {
    if (state_ != State::kOpen) {
      wake_.wait(lock);
    } else if (const auto now = std::chrono::steady_clock::now();
               now >= restAt_ || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED) {
      // A device SDL has lost (its sound server gone, a USB headset pulled) stops calling Fill, so
      // the voice would never end; it is closed like a quiet one, and the next cue tries afresh.
      // The callback takes only SDL's device lock, so closing under mutex_ cannot deadlock.
      SDL_CloseAudioDevice(device_);
      device_ = 0;
      voice_ = nullptr;
      position_ = 0;
      state_ = State::kResting;
    } else {
      wake_.wait_until(lock, std::min(restAt_, now + kLostCheck));
    }
  }
}

void SDLCALL MixerCues::Fill(void* self, Uint8* stream, int length) {
  auto& cues = *static_cast<MixerCues*>(self);
  const auto wanted = static_cast<std::size_t>(length);
  std::size_t copied = 0;
  if (const std::vector<std::uint8_t>* voice = cues.voice_) {
    copied = std::min(wanted, voice->size() - cues.position_);
    std::memcpy(stream, voice->data() + cues.position_, copied);
    cues.position_ += copied;
    if (cues.position_ >= voice->size()) cues.voice_ = nullptr;
  }
  std::memset(stream + copied, 0, wanted - copied);  // S16 silence
}

SDL_AudioDeviceID MixerCues::OpenDevice(bool startAudio) {
  const QuietStderr quiet;
  if (startAudio && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  SDL_AudioSpec want{};
  want.freq = static_cast<int>(kMixRate);
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  // 512 frames is about 12 ms: a knob tick's blip starts with the key, not a beat later.
  want.samples = 512;
  want.callback = &MixerCues::Fill;
  want.userdata = this;
  // No changes allowed: SDL converts to whatever the device really takes.
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (device == 0) {
    if (startAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  SDL_PauseAudioDevice(device, 0);
  return device;
}

void MixerCues::Opened(SDL_AudioDeviceID device) {
  {
    const std::lock_guard lock(mutex_);
    device_ = device;
    if (device != 0) {
      audioStarted_ = true;
      state_ = State::kOpen;
      restAt_ = std::chrono::steady_clock::now() + rest_;
      if (hasPending_) Start(pending_);
      if (keeper_ == nullptr) {
        keeper_ = SDL_CreateThread(
            [](void* self) {
              static_cast<MixerCues*>(self)->Keep();
              return 0;
            },
            "kromi-audio-rest", this);
      }
    } else {
      // A device that came back from rest and will not open again may next time.
      state_ = audioStarted_ ? State::kResting : State::kClosed;
    }
    hasPending_ = false;
    pending_.clear();
  }
  wake_.notify_all();
}

bool MixerCues::Open() {
  if (opener_ != nullptr) return WaitOpen();
  {
    const std::lock_guard lock(mutex_);
    if (state_ != State::kClosed && !deferred_) return state_ == State::kOpen;
    state_ = State::kOpening;
    deferred_ = false;
  }
  Opened(OpenDevice(true));
  return IsOpen();
}

void MixerCues::OpenLater() {
  const std::lock_guard lock(mutex_);
  if (state_ != State::kClosed || opener_ != nullptr) return;
  state_ = State::kOpening;
  deferred_ = true;
}

void MixerCues::OpenInBackground() {
  const std::lock_guard lock(mutex_);
  if (opener_ != nullptr || (state_ != State::kClosed && !deferred_)) return;
  // Marked opening now, so a cue asked for before the thread gets going is kept.
  state_ = State::kOpening;
  deferred_ = false;
  StartOpener(true);
}

void MixerCues::StartOpener(bool startAudio) {
  // A finished opener may still be on its way out; it needs no lock for that.
  if (opener_ != nullptr) SDL_WaitThread(opener_, nullptr);
  openerStartsAudio_ = startAudio;  // read by the new thread, which starts after this write
  opener_ = SDL_CreateThread(
      [](void* self) {
        auto& cues = *static_cast<MixerCues*>(self);
        cues.Opened(cues.OpenDevice(cues.openerStartsAudio_));
        return 0;
      },
      "kromi-audio-open", this);
  // No thread: no sound, as with no device (or rest until the next cue tries again).
  if (opener_ == nullptr) state_ = audioStarted_ ? State::kResting : State::kClosed;
}

bool MixerCues::WaitOpen() {
  if (opener_ != nullptr) {
    SDL_WaitThread(opener_, nullptr);
    opener_ = nullptr;
  }
  return IsOpen();
}

bool MixerCues::IsOpen() const {
  const std::lock_guard lock(mutex_);
  return state_ == State::kOpen || state_ == State::kResting;
}

bool MixerCues::Resting() const {
  const std::lock_guard lock(mutex_);
  return state_ == State::kResting;
}

std::string MixerCues::CuePath(std::string_view text) const {
  if (!text.empty() && text.front() == '\\') text.remove_prefix(1);
  std::string path = appDir_;
  path += '/';
  for (const char c : text) path += c == '\\' ? '/' : c;
  return path;
}

int MixerCues::PlayingCount() const { return PlayingBytes() > 0 ? 1 : 0; }

std::size_t MixerCues::PlayingBytes() const {
  const std::lock_guard lock(mutex_);
  if (device_ == 0) return 0;
  SDL_LockAudioDevice(device_);
  const std::size_t bytes = voice_ != nullptr ? voice_->size() : 0;
  SDL_UnlockAudioDevice(device_);
  return bytes;
}

std::size_t MixerCues::CueBytes(std::string_view text) const {
  const std::lock_guard lock(mutex_);
  const auto found = chunks_.find(CuePath(text));
  return found != chunks_.end() ? found->second.pcm.size() : 0;
}

void MixerCues::Halt() {
  if (device_ == 0) return;
  SDL_LockAudioDevice(device_);
  voice_ = nullptr;
  position_ = 0;
  SDL_UnlockAudioDevice(device_);
}

std::int32_t MixerCues::Play(std::string_view text) {
  const std::lock_guard lock(mutex_);
  if (state_ == State::kClosed) return 0;
  // Every call cuts off the cue before it, whether or not the new one can play.
  Halt();
  hasPending_ = false;
  // A NUL would cut the path short inside the C calls and name some other file.
  if (text.find('\0') != std::string_view::npos) return 0;
  const std::string path = CuePath(text);
  if (state_ == State::kResting) {
    if (files_.Lookup(path) == nullptr) return 0;
    state_ = State::kOpening;
    pending_ = path;
    hasPending_ = true;
    StartOpener(false);
    return 1;
  }
  if (state_ == State::kOpening) {
    // Read and checked now, so the answer is the one the open device will give.
    if (files_.Lookup(path) == nullptr) return 0;
    pending_ = path;
    hasPending_ = true;
    return 1;
  }
  return Start(path) ? 1 : 0;
}

bool MixerCues::Start(const std::string& path) {
  const CueFile* file = files_.Lookup(path);
  if (file == nullptr) {
    chunks_.erase(path);
    return false;
  }
  const std::vector<std::uint8_t>* chunk = ChunkFor(path, *file);
  if (chunk == nullptr) return false;
  SDL_LockAudioDevice(device_);
  voice_ = chunk;
  position_ = 0;
  SDL_UnlockAudioDevice(device_);
  const auto length = std::chrono::microseconds(chunk->size() * 1'000'000 / (kMixRate * kMixBytesPerFrame));
  restAt_ = std::chrono::steady_clock::now() + length + rest_;
  wake_.notify_all();
  return true;
}

const std::vector<std::uint8_t>* MixerCues::ChunkFor(const std::string& path, const CueFile& file) {
  // Only called with the voice halted, so any chunk may be dropped here.
  auto found = chunks_.find(path);
  if (found == chunks_.end() || !(found->second.identity == file.identity)) {
    if (found != chunks_.end()) chunks_.erase(found);
    if (chunks_.size() >= kMaxChunks) chunks_.clear();
    ++decodes_;
    found = chunks_.emplace(path, Decoded{file.identity, Convert(file.wav)}).first;
  }
  return found->second.pcm.empty() ? nullptr : &found->second.pcm;
}

}  // namespace kromi
