#include "kromi/sdl/mixer.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "kromi/posix/process.h"
#include "kromi/cues/wav.h"

namespace kromi {
namespace {

constexpr std::size_t kMaxChunks = 16;
// How often an open device is asked whether SDL still has it. Only while a device is open, which
// is while a cue plays and for the rest time after it.
constexpr std::chrono::milliseconds kLostCheck{250};
// How long a test or the bench waits for the audio thread to catch up.
constexpr std::chrono::seconds kSettleLimit{5};

// SDL's own audio messages (the disk driver's warning that it writes a file, say) are about sound
// the game can do without; SDL's other messages still reach the default output.
SDL_LogOutputFunction sdlLog = nullptr;
void* sdlLogData = nullptr;

void SDLCALL LogAllButAudio(void* data, int category, SDL_LogPriority priority, const char* message) {
  if (category != SDL_LOG_CATEGORY_AUDIO && sdlLog != nullptr) sdlLog(data, category, priority, message);
}

void QuietSdlAudioLog() {
  SDL_LogOutputFunction current = nullptr;
  SDL_LogGetOutputFunction(&current, &sdlLogData);
  if (current == &LogAllButAudio) return;
  sdlLog = current;
  SDL_LogSetOutputFunction(&LogAllButAudio, sdlLogData);
}

// ALSA reports a missing sound card through its error handler, which prints to stderr unless
// told otherwise. A game without sound is normal, so the handler is made silent, in the library
// SDL has loaded, if it loaded one. Nothing else of the process's stderr is touched.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  void* alsa = ::dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
  if (alsa == nullptr) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  if (auto set = reinterpret_cast<int (*)(Handler)>(::dlsym(alsa, "snd_lib_error_set_handler"))) {
    set(&IgnoreAlsaError);
  }
  ::dlclose(alsa);  // only drops the reference this call took; SDL keeps the library loaded
}

}  // namespace

MixerCues::MixerCues(std::string appDir, std::chrono::milliseconds rest) : appDir_(std::move(appDir)), rest_(rest) {}

MixerCues::~MixerCues() {
  {
    std::unique_lock lock(mutex_);
    quitting_ = true;
    wake_.notify_all();
    changed_.wait(lock, [this] { return thread_ == nullptr || finished_; });
  }
  if (thread_ != nullptr && !detached_) SDL_WaitThread(thread_, nullptr);
}

bool MixerCues::Shutdown(std::chrono::milliseconds grace) {
  {
    std::unique_lock lock(mutex_);
    quitting_ = true;
    wake_.notify_all();
    if (thread_ == nullptr) return true;
    if (!changed_.wait_for(lock, grace, [this] { return finished_; })) {
      // Given up on: detached, so nothing joins it later and the process may end with it still
      // inside the sound system.
      if (!detached_) SDL_DetachThread(thread_);
      detached_ = true;
      return false;
    }
    if (detached_) return true;  // SDL lets go of a detached thread itself
  }
  // Finished: all that is left of the thread is its return.
  SDL_WaitThread(thread_, nullptr);
  const std::lock_guard lock(mutex_);
  thread_ = nullptr;
  return true;
}

void MixerCues::StartThread() {
  phase_ = Phase::kOpening;
  // SDL's log settings are not guarded: changed here, before the audio thread exists.
  QuietSdlAudioLog();
  thread_ = SDL_CreateThread(
      [](void* self) {
        static_cast<MixerCues*>(self)->Work();
        return 0;
      },
      "kromi-audio", this);
  // No thread: no sound, as with no device.
  if (thread_ == nullptr) phase_ = Phase::kNone;
}

bool MixerCues::Open() {
  OpenInBackground();
  return WaitOpen();
}

void MixerCues::OpenLater() {
  const std::lock_guard lock(mutex_);
  if (phase_ == Phase::kIdle) phase_ = Phase::kDeferred;
}

void MixerCues::OpenInBackground() {
  const std::lock_guard lock(mutex_);
  if (thread_ == nullptr && !finished_ && (phase_ == Phase::kIdle || phase_ == Phase::kDeferred)) StartThread();
}

bool MixerCues::WaitOpen() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return phase_ != Phase::kOpening || finished_; });
  return phase_ == Phase::kOpen || phase_ == Phase::kResting;
}

bool MixerCues::IsOpen() const {
  const std::lock_guard lock(mutex_);
  return phase_ == Phase::kOpen || phase_ == Phase::kResting;
}

bool MixerCues::Resting() const {
  const std::lock_guard lock(mutex_);
  return phase_ == Phase::kResting;
}

std::int32_t MixerCues::Play(std::string_view text) {
  {
    const std::lock_guard lock(mutex_);
    if (phase_ == Phase::kIdle || phase_ == Phase::kNone || quitting_) return 0;
  }
  // A NUL would cut the path short inside the C calls and name some other file.
  const bool named = text.find('\0') == std::string_view::npos;
  Request request;
  if (named) {
    request.path = CuePath(text);
    request.file = files_.Lookup(request.path);
  }
  const bool plays = request.file != nullptr;
  const std::lock_guard lock(mutex_);
  // Every call cuts off the cue before it, whether or not the new one can play.
  request_ = std::move(request);
  ++asked_;
  wake_.notify_all();
  return plays ? 1 : 0;
}

void MixerCues::Work() {
  // Nothing another thread does to the process's locale reaches the sound libraries.
  UseOwnCLocale();

  bool started = false;
  {
    const std::lock_guard lock(mutex_);
    started = !quitting_;
  }
  started = started && StartAudio();
  if (started) device_ = OpenDevice();
  std::unique_lock lock(mutex_);
  if (device_ == 0) {
    phase_ = Phase::kNone;
    served_ = asked_;
    request_ = {};
  } else {
    phase_ = Phase::kOpen;
    restAt_ = std::chrono::steady_clock::now() + rest_;
  }
  changed_.notify_all();

  while (phase_ != Phase::kNone && !quitting_) {
    if (served_ != asked_) {
      const std::uint64_t asked = asked_;
      Request request = std::move(request_);
      request_ = {};
      lock.unlock();
      Serve(std::move(request));
      lock.lock();
      served_ = asked;
      phase_ = device_ != 0 ? Phase::kOpen : Phase::kResting;
      changed_.notify_all();
      continue;
    }
    if (device_ == 0) {  // resting until the next cue
      wake_.wait(lock);
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    bool close = now >= restAt_;
    if (!close) {
      wake_.wait_until(lock, std::min(restAt_, now + kLostCheck));
      if (quitting_ || served_ != asked_) continue;
      // A device SDL has lost (its sound server gone, a USB headset pulled) stops calling Fill,
      // so the voice would never end; it is closed like a quiet one, and the next cue tries
      // afresh.
      lock.unlock();
      close = SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED;
      lock.lock();
      if (!close) continue;
    }
    lock.unlock();
    CloseDevice();
    lock.lock();
    phase_ = Phase::kResting;
    changed_.notify_all();
  }
  lock.unlock();

  if (device_ != 0) CloseDevice();
  if (started) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  lock.lock();
  finished_ = true;
  changed_.notify_all();
}

bool MixerCues::StartAudio() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SilenceAlsa();
  return true;
}

SDL_AudioDeviceID MixerCues::OpenDevice() {
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
  if (device != 0) SDL_PauseAudioDevice(device, 0);
  return device;
}

void MixerCues::CloseDevice() {
  SDL_CloseAudioDevice(device_);
  device_ = 0;
  voice_ = nullptr;
  position_ = 0;
  playingBytes_ = 0;
  playing_.reset();
}

void MixerCues::SetVoice(std::shared_ptr<const std::vector<std::uint8_t>> pcm) {
  SDL_LockAudioDevice(device_);
  voice_ = pcm.get();
  position_ = 0;
  playingBytes_ = pcm ? pcm->size() : 0;
  SDL_UnlockAudioDevice(device_);
  playing_ = std::move(pcm);  // the samples let go only once the callback cannot be reading them
}

void MixerCues::Serve(Request request) {
  std::shared_ptr<const std::vector<std::uint8_t>> pcm;
  if (request.file) pcm = ChunkFor(request);
  if (!pcm) {
    if (device_ != 0) SetVoice(nullptr);
    return;
  }
  // A device that rested, or that will not open again now, may next time.
  if (device_ == 0 && (device_ = OpenDevice()) == 0) return;
  const auto length = std::chrono::microseconds(pcm->size() * 1'000'000 / (kMixRate * kMixBytesPerFrame));
  SetVoice(std::move(pcm));
  restAt_ = std::chrono::steady_clock::now() + length + rest_;
}

void SDLCALL MixerCues::Fill(void* self, Uint8* stream, int length) {
  auto& cues = *static_cast<MixerCues*>(self);
  const auto wanted = static_cast<std::size_t>(length);
  std::size_t copied = 0;
  if (const std::vector<std::uint8_t>* voice = cues.voice_) {
    copied = std::min(wanted, voice->size() - cues.position_);
    std::memcpy(stream, voice->data() + cues.position_, copied);
    cues.position_ += copied;
    if (cues.position_ >= voice->size()) {
      cues.voice_ = nullptr;
      cues.playingBytes_ = 0;
    }
  }
  std::memset(stream + copied, 0, wanted - copied);  // S16 silence
}

std::shared_ptr<const std::vector<std::uint8_t>> MixerCues::ChunkFor(const Request& request) {
  const std::lock_guard lock(chunksMutex_);
  const auto found = chunks_.find(request.path);
  if (found != chunks_.end() && found->second.identity == request.file->identity) return found->second.pcm;
  ++decodes_;
  std::vector<std::uint8_t> converted;
  if (const std::optional<WavInfo> info = ValidateWav(request.file->wav)) converted = MixSamples(request.file->wav, *info);
  std::shared_ptr<const std::vector<std::uint8_t>> pcm;
  if (!converted.empty()) pcm = std::make_shared<const std::vector<std::uint8_t>>(std::move(converted));
  if (found == chunks_.end() && chunks_.size() >= kMaxChunks) chunks_.clear();
  chunks_[request.path] = Chunk{request.file->identity, pcm};
  return pcm;
}

std::string MixerCues::CuePath(std::string_view text) const {
  if (!text.empty() && text.front() == '\\') text.remove_prefix(1);
  std::string path = appDir_;
  path += '/';
  for (const char ch : text) path += ch == '\\' ? '/' : ch;
  return path;
}

void MixerCues::Settle() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, kSettleLimit, [this] { return thread_ == nullptr || finished_ || served_ == asked_; });
}

int MixerCues::PlayingCount() { return PlayingBytes() > 0 ? 1 : 0; }

std::size_t MixerCues::PlayingBytes() {
  Settle();
  return playingBytes_;
}

std::size_t MixerCues::CueBytes(std::string_view text) {
  Settle();
  const std::lock_guard lock(chunksMutex_);
  const auto found = chunks_.find(CuePath(text));
  return found != chunks_.end() && found->second.pcm ? found->second.pcm->size() : 0;
}

std::size_t MixerCues::Decodes() {
  Settle();
  return decodes_;
}

}  // namespace kromi
