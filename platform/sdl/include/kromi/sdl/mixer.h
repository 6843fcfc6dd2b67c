#pragma once
// The game's sound cues on SDL's own audio device: one voice, so a new cue always cuts off the
// one playing, and nothing reaches SDL that has not been read safely and validated first
// (cuefile.h, wav.h). No SDL_mixer: its decoders pull in some thirty shared libraries (MIDI,
// MP3, Ogg, FLAC ...) that cost start-up time and memory, for four small PCM files.
//
// Every SDL audio call (starting the subsystem, opening, closing, converting) happens on one
// audio thread of the player's own. A sound server that hangs can keep that thread inside SDL
// for as long as it likes; the thread that plays cues only leaves a request under a lock the
// audio thread never holds across an SDL call, so playing costs microseconds whatever the
// server does.
#include <SDL_audio.h>
#include <SDL_thread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kromi/core/sound.h"
#include "kromi/cues/cuefile.h"
#include "kromi/posix/cuefiles.h"

namespace kromi {

class MixerCues final : public SoundCues {
 public:
  // Cues are looked up in appDir (no trailing separator), which is used byte for byte as given.
  // An open device keeps SDL's audio thread waking once per buffer even in silence, so it is
  // closed once nothing has played for rest, and opened again by the next cue.
  explicit MixerCues(std::string appDir, std::chrono::milliseconds rest = std::chrono::seconds(3));
  // Shuts the audio thread down, waiting for it without a limit: call Shutdown first wherever a
  // sound server might hang.
  ~MixerCues() override;
  MixerCues(const MixerCues&) = delete;
  MixerCues& operator=(const MixerCues&) = delete;

  // Opens the audio device (44,100 Hz stereo 16-bit, 512-frame buffer) and waits for the
  // outcome. False when there is none; then the game runs silent and nothing is printed.
  bool Open();

  // Keeps cues asked for from now on until OpenInBackground opens the device, so a program can
  // play its start cue before it opens audio (after its first frame, say).
  void OpenLater();

  // Starts the audio thread, which opens the device; the caller does not wait. A cue asked for
  // meanwhile (or since OpenLater) starts as soon as the device is ready.
  void OpenInBackground();

  // Waits, without a limit, until the first open has succeeded or failed; the same result as Open.
  bool WaitOpen();

  // Stops the cue, closes the device and SDL's audio, and ends the audio thread, waiting at most
  // grace. False if the thread is still inside the sound system then: it is left to itself, and
  // the process must end without shutting SDL down (SDL's subsystems are not safe to stop while
  // another thread is starting one).
  bool Shutdown(std::chrono::milliseconds grace);

  // True once the device is open (or resting, ready to open again for the next cue).
  bool IsOpen() const;

  // True while the device is closed for want of cues.
  bool Resting() const;

  // Cuts off the cue playing and asks for the new one: 1 if it will play (its file is there and
  // passed the checks), 0 if there is no device or the file is missing, unreadable or
  // malformed. Reads a file only when it is new or has changed; never waits for the audio thread.
  std::int32_t Play(std::string_view text) override;

  // The file a cue text names: appDir + "/" + text without its leading backslash, with every
  // other backslash turned into '/'.
  std::string CuePath(std::string_view text) const;

  // For tests and the bench: these first wait (at most 5 s) until the audio thread has acted on
  // every cue asked for so far.
  // How many cues are playing now (0 or 1).
  int PlayingCount();
  // The length, in device bytes, of the cue playing now; 0 when none plays.
  std::size_t PlayingBytes();
  // The length, in device bytes, of the converted cue kept for text; 0 if none is kept.
  std::size_t CueBytes(std::string_view text);
  // How many times a cue file was converted to the device's format.
  std::size_t Decodes();

  // How many times a cue file was read from disk.
  std::size_t FileReads() const { return files_.Reads(); }

 private:
  struct Chunk {
    FileIdentity identity;
    std::shared_ptr<const std::vector<std::uint8_t>> pcm;  // 44,100 Hz stereo S16; null: unplayable
  };
  // What the audio thread is asked to do next; only the latest request counts.
  struct Request {
    std::string path;
    std::shared_ptr<const CueFile> file;  // null: only cut off the cue playing
  };
  enum class Phase { kIdle, kDeferred, kOpening, kOpen, kResting, kNone };

  static void SDLCALL Fill(void* self, Uint8* stream, int length);
  // Starts the audio thread. Call with mutex_ held.
  void StartThread();
  // The audio thread.
  void Work();
  // Starts SDL's audio; false when there is none. Audio thread only.
  static bool StartAudio();
  // Opens the device; 0 when it cannot. Audio thread only.
  SDL_AudioDeviceID OpenDevice();
  // Closes the device and forgets the voice. Audio thread only.
  void CloseDevice();
  // Hands the device a new voice (null: silence). Audio thread only.
  void SetVoice(std::shared_ptr<const std::vector<std::uint8_t>> pcm);
  // Acts on one request. Audio thread only.
  void Serve(Request request);
  // The converted samples for a request, converting only if the file is new or changed.
  std::shared_ptr<const std::vector<std::uint8_t>> ChunkFor(const Request& request);
  // Waits until every request so far has been served or the thread is gone.
  void Settle();

  std::string appDir_;
  std::chrono::milliseconds rest_;
  CueFileCache files_{PosixCueFiles()};  // only the thread that plays cues touches it

  mutable std::mutex mutex_;  // guards the fields below; never held across an SDL call
  std::condition_variable wake_;     // the audio thread: a request or the end
  std::condition_variable changed_;  // waiters: a phase change, a request served, the end
  Phase phase_ = Phase::kIdle;
  Request request_;
  std::uint64_t asked_ = 0;   // requests made
  std::uint64_t served_ = 0;  // requests the audio thread has acted on
  bool quitting_ = false;
  bool finished_ = false;
  bool detached_ = false;  // Shutdown gave up on the thread: it is never joined
  // An SDL thread rather than std::thread: SDL frees what it keeps per thread (its error text)
  // only for threads it started.
  SDL_Thread* thread_ = nullptr;

  // The audio thread's own.
  SDL_AudioDeviceID device_ = 0;
  std::chrono::steady_clock::time_point restAt_;
  std::shared_ptr<const std::vector<std::uint8_t>> playing_;  // keeps the voice's samples alive

  std::mutex chunksMutex_;  // the audio thread converts; tests read sizes
  std::unordered_map<std::string, Chunk> chunks_;
  std::atomic<std::size_t> decodes_{0};

  // Read by the device's callback under SDL's device lock.
  const std::vector<std::uint8_t>* voice_ = nullptr;
  std::size_t position_ = 0;
  std::atomic<std::size_t> playingBytes_{0};
};

}  // namespace kromi
