#pragma once
// The game's sound cues on SDL_mixer: one channel, so a new cue always cuts off the one playing,
// and nothing that reaches SDL has not been read safely and validated first (cuefile.h, wav.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "kromi/core/sound.h"
#include "kromi/sdl/cuefile.h"

struct Mix_Chunk;

namespace kromi {

class MixerCues final : public SoundCues {
 public:
  // Cues are looked up in appDir (no trailing separator), which is used byte for byte as given.
  explicit MixerCues(std::string appDir);
  // Halts the cue playing, frees every decoded cue and closes audio if Open succeeded.
  ~MixerCues() override;
  MixerCues(const MixerCues&) = delete;
  MixerCues& operator=(const MixerCues&) = delete;

  // Opens the audio device (44,100 Hz stereo 16-bit, 512-frame buffer, one channel). False when
  // there is none; then the game runs silent and nothing is printed. Only one MixerCues may be
  // open at a time, since SDL_mixer's channels are global.
  bool Open();

  // True between a successful Open and destruction.
  bool IsOpen() const { return open_; }

  // Halts whatever plays, then starts the cue: 1 if it plays, 0 if audio is closed or the file is
  // missing, unreadable or malformed. Reads a file only when it is new or has changed.
  std::int32_t Play(std::string_view text) override;

  // The file a cue text names: appDir + "/" + text without its leading backslash, with every
  // other backslash turned into '/'.
  std::string CuePath(std::string_view text) const;

  // How many mixer channels are playing now (0 or 1).
  int PlayingCount() const;

  // How many times a cue file was decoded into a mixer chunk.
  std::size_t Decodes() const { return decodes_; }

  // How many times a cue file was read from disk.
  std::size_t FileReads() const { return files_.Reads(); }

 private:
  struct Decoded {
    FileIdentity identity;
    Mix_Chunk* chunk = nullptr;  // nullptr: SDL refused this file; not retried until it changes
  };

  // The chunk for file at path, decoding it only if it is new or changed. Audio must be halted.
  Mix_Chunk* ChunkFor(const std::string& path, const CueFile& file);
  // Frees the chunk remembered for path, if any. Audio must be halted.
  void Forget(const std::string& path);
  void FreeAll();

  std::string appDir_;
  bool open_ = false;
  CueFileCache files_;
  std::unordered_map<std::string, Decoded> chunks_;
  std::size_t decodes_ = 0;
};

}  // namespace kromi
