#include "kromi/core/sound.h"

namespace kromi {

std::int16_t SoundResult = 0;

void PlayCue(SoundCues& cues, std::string_view text) {
  SoundResult = static_cast<std::int16_t>(cues.Play(text));
}

}  // namespace kromi
