#pragma once
// Sound cues: wave files beside the executable, played without waiting.
#include <cstdint>
#include <string_view>

namespace kromi {

class SoundCues {
 public:
  virtual ~SoundCues() = default;
  // Starts the cue named by text ("\Ny.wav": the file name after the application directory),
  // cutting off any cue still playing. Returns 1 when it plays, 0 when the file is missing,
  // unreadable or malformed; never blocks and never raises.
  virtual std::int32_t Play(std::string_view text) = 0;
};

// The result of the last cue, narrowed to 16 bits. Nothing reads it.
extern std::int16_t SoundResult;

// Plays text on cues and stores the result in SoundResult.
void PlayCue(SoundCues& cues, std::string_view text);

// Plays nothing, for runs without sound.
class SilentCues final : public SoundCues {
 public:
  std::int32_t Play(std::string_view) override { return 0; }
};

}  // namespace kromi
