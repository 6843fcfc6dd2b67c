#pragma once
// The game's cues in a page: each file is fetched from beside the page once, read up to the same
// cap as a file, checked and converted by kromi/cues as on the desktop, and played through Web
// Audio from those samples (never the browser's decoder on untrusted bytes). One voice: a new cue
// stops the one playing. Until the page has had a key press or a click, browsers keep sound
// locked; a cue asked for then is dropped rather than heard late.
#include <cstdint>
#include <string>
#include <string_view>

#include "kromi/core/sound.h"

namespace kromi {

class WebCues final : public SoundCues {
 public:
  // Returns 1 when the cue plays or is on its way (its file still being fetched), 0 when its
  // file is known to be missing or unplayable, or its name is not a plain file name.
  std::int32_t Play(std::string_view text) override;
  // Sets up the page's sound (the context may start locked) and plays the latest cue asked for
  // before. Creating an audio context can take a tenth of a second in a fresh browser, so it
  // waits until the first frame is on screen.
  static void Open();
  // Stops the voice and closes the audio context: nothing plays after.
  static void Close();

 private:
  static bool open_;
  static std::string early_;  // the latest cue asked for before Open
};

}  // namespace kromi
