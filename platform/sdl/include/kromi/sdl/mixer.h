#pragma once
// The game's sound cues on SDL's own audio device: one voice, so a new cue always cuts off the
// one playing, and nothing reaches SDL that has not been read safely and validated first
// (cuefile.h, wav.h). No SDL_mixer: its decoders pull in some thirty shared libraries (MIDI,
// MP3, Ogg, FLAC ...) that cost start-up time and memory, for four small PCM files.
#include <SDL_audio.h>
#include <SDL_thread.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kromi/core/sound.h"
#include "kromi/sdl/cuefile.h"

namespace kromi {

class MixerCues final : public SoundCues {
 public:
  // Cues are looked up in appDir (no trailing separator), which is used byte for byte as given.
  // An open device keeps SDL's audio thread waking once per buffer even in silence, so it is
  // closed once nothing has played for rest, and opened again in the background by the next cue.
  explicit MixerCues(std::string appDir, std::chrono::milliseconds rest = std::chrono::seconds(3));
  // Waits for a background open, stops the cue playing and closes the device.
  ~MixerCues() override;
  MixerCues(const MixerCues&) = delete;
  MixerCues& operator=(const MixerCues&) = delete;

  // Opens the audio device (44,100 Hz stereo 16-bit, 512-frame buffer). False when there is
  // none; then the game runs silent and nothing is printed.
  bool Open();

  // Keeps cues asked for from now on until OpenInBackground opens the device, so a program can
  // play its start cue before it opens audio (after its first frame, say).
  void OpenLater();

  // Opens the device on a thread of its own, so the window need not wait for the sound system.
  // A cue asked for meanwhile (or since OpenLater) starts as soon as the device is ready.
  void OpenInBackground();

  // Waits for a background open; the same result as Open.
  bool WaitOpen();

  // True once the device is open (or resting, ready to open again for the next cue).
  bool IsOpen() const;

  // True while the device is closed for want of cues.
  bool Resting() const;

  // Stops whatever plays, then starts the cue: 1 if it plays (or, while the device is still being
  // opened, will play once it is), 0 if there is no device or the file is missing, unreadable or
  // malformed. Reads a file only when it is new or has changed.
  std::int32_t Play(std::string_view text) override;

  // The file a cue text names: appDir + "/" + text without its leading backslash, with every
  // other backslash turned into '/'.
  std::string CuePath(std::string_view text) const;

  // How many cues are playing now (0 or 1).
  int PlayingCount() const;

  // The length, in device bytes, of the cue playing now; 0 when none plays.
  std::size_t PlayingBytes() const;

  // The length, in device bytes, of the converted cue kept for text; 0 if none is kept.
  std::size_t CueBytes(std::string_view text) const;

  // How many times a cue file was converted to the device's format.
  std::size_t Decodes() const { return decodes_; }

  // How many times a cue file was read from disk.
  std::size_t FileReads() const { return files_.Reads(); }

 private:
  struct Decoded {
    FileIdentity identity;
    std::vector<std::uint8_t> pcm;  // 44,100 Hz stereo S16; empty: SDL could not convert it
  };
  enum class State { kClosed, kOpening, kOpen, kResting };

  static void SDLCALL Fill(void* self, Uint8* stream, int length);
  // Starts SDL's audio and opens the device; 0 when there is none. Touches no member.
  SDL_AudioDeviceID OpenDevice(bool startAudio);
  // Starts the opening thread. Call with mutex_ held and state_ just set to kOpening.
  void StartOpener(bool startAudio);
  // The keeper thread: closes the device once it has been quiet for rest_.
  void Keep();
  // Takes the outcome of OpenDevice and starts the cue asked for meanwhile.
  void Opened(SDL_AudioDeviceID device);
  // Stops the voice; afterwards no chunk is in use by the device.
  void Halt();
  // Starts the cue at path from the cache; false if it cannot play. Call with mutex_ held.
  bool Start(const std::string& path);
  // The converted samples for file at path, converting only if the file is new or changed.
  const std::vector<std::uint8_t>* ChunkFor(const std::string& path, const CueFile& file);

  std::string appDir_;
  mutable std::mutex mutex_;  // guards everything below against the opening thread
  State state_ = State::kClosed;
  // An SDL thread rather than std::thread: SDL frees what it keeps per thread (its error text)
  // only for threads it started.
  SDL_Thread* opener_ = nullptr;
  bool openerStartsAudio_ = true;
  SDL_Thread* keeper_ = nullptr;
  std::condition_variable wake_;  // tells the keeper a cue started or the end came
  bool quitting_ = false;
  bool audioStarted_ = false;  // SDL's audio subsystem is up (it stays up while resting)
  bool deferred_ = false;      // kOpening by OpenLater, with no opening thread yet
  std::chrono::milliseconds rest_;
  std::chrono::steady_clock::time_point restAt_;
  std::string pending_;  // the cue asked for while the device was opening
  bool hasPending_ = false;
  SDL_AudioDeviceID device_ = 0;
  CueFileCache files_;
  std::unordered_map<std::string, Decoded> chunks_;
  std::size_t decodes_ = 0;
  // Read by the device's callback under SDL's device lock.
  const std::vector<std::uint8_t>* voice_ = nullptr;
  std::size_t position_ = 0;
};

}  // namespace kromi
