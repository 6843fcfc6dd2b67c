#pragma once
// The game's cues the way Windows plays them: PlaySoundW from memory, asynchronous, each new
// call cutting off the cue before it. The bytes are the checked, capped, cached cue files
// (kromi/cues), never a path handed to Windows. PlaySound runs on a thread of its own: the first
// call starts the whole sound stack, and a sound service that hangs must not stop the game.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "kromi/core/sound.h"
#include "kromi/cues/cuefile.h"

namespace kromi {

class Win32Cues final : public SoundCues {
 public:
  // Cues are read from appDir. Nothing is played until Start: the first PlaySound loads the whole
  // sound stack, which would compete with the first frame; a cue asked for before is kept and
  // plays then.
  explicit Win32Cues(std::string appDir);
  ~Win32Cues() override;
  Win32Cues(const Win32Cues&) = delete;
  Win32Cues& operator=(const Win32Cues&) = delete;

  std::int32_t Play(std::string_view text) override;

  // Starts the sound thread (once the first frame is on screen).
  void Start();

  // Stops the cue and ends the sound thread, waiting at most grace; false if the thread is still
  // inside Windows' sound calls then (the process may exit without it).
  bool Shutdown(std::chrono::milliseconds grace);

 private:
  void Work();
  std::string CuePath(std::string_view text) const;

  std::string appDir_;
  CueFileCache files_;  // only the thread that plays cues touches it
  std::mutex mutex_;
  std::condition_variable wake_;
  std::shared_ptr<const CueFile> pending_;  // under mutex_: the latest cue asked for, or none
  bool asked_ = false;                       // under mutex_: pending_ is new
  bool quitting_ = false;                    // under mutex_
  bool done_ = false;                        // under mutex_: the thread has stopped the sound
  std::thread worker_;
};

}  // namespace kromi
