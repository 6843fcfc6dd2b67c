#include "kromi/web/cues.h"

#include <emscripten.h>

#include <cstring>
#include <string>
#include <vector>

#include "kromi/cues/cuefile.h"
#include "kromi/cues/wav.h"
#include "kromi/web/rules.h"

namespace {

// The last cue converted, for the page to copy into its AudioBuffer straight after.
std::vector<std::uint8_t> converted;

}  // namespace

extern "C" {

// Checks a fetched cue file as the desktop checks one read from disk and converts it to the
// mixer's 44,100 Hz stereo 16-bit samples: the number of frames, 0 when it is not playable.
EMSCRIPTEN_KEEPALIVE int kromi_cue_convert(const std::uint8_t* bytes, int length) {
  converted.clear();
  converted.shrink_to_fit();
  if (bytes == nullptr || length <= 0 || static_cast<std::size_t>(length) > kromi::kMaxCueFileBytes) return 0;
  const std::span<const std::uint8_t> file(bytes, static_cast<std::size_t>(length));
  const auto info = kromi::ValidateWav(file);
  if (!info) return 0;
  converted = kromi::MixSamples(file, *info);
  return static_cast<int>(converted.size() / kromi::kMixBytesPerFrame);
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* kromi_cue_samples() { return converted.data(); }

EMSCRIPTEN_KEEPALIVE int kromi_cue_cap() { return static_cast<int>(kromi::kMaxCueFileBytes); }

}  // extern "C"

namespace kromi {

namespace {

// The page's sound: one AudioContext, the cues by file name (an AudioBuffer; the time it failed,
// when it could not be had; 'loading' while on the way), the voice playing, and the latest cue
// asked for while its file was still on the way. A fetch that has not finished within a few seconds (a server
// that trickles forever) is given up, and so is any body past the cap.
EM_JS(int, kromi_cue_play, (const char* cname), {
  var s = Module.kromiSound;
  if (!s || s.closed) return 0;
  var name = UTF8ToString(cname);
  if (s.voice) {
    try { s.voice.stop(); } catch (e) {}
    s.voice = null;
  }
  s.pending = null;
  if (!name) return 0;
  var entry = s.cues.get(name);
  // A cue that could not be had is asked of the server again once a while has passed: the
  // network may have come back, or the file been mended.
  if (typeof entry === 'number' && performance.now() - entry > 10000) entry = undefined;
  if (entry === undefined) {
    s.cues.set(name, 'loading');
    s.load(name);
    entry = 'loading';
  }
  if (entry === 'loading') {
    if (s.allowed()) s.pending = name;
    return 1;
  }
  if (typeof entry === 'number') return 0;
  s.start(entry);
  return 1;
});

EM_JS(void, kromi_cue_open, (), {
  var s = Module.kromiSound = {cues: new Map(), voice: null, pending: null, closed: false, unlocked: false};
  try {
    s.ctx = new AudioContext({latencyHint: 'interactive', sampleRate: 44100});
  } catch (e) {
    try { s.ctx = new AudioContext(); } catch (e2) { s.ctx = null; }
  }
  // Sound is allowed once the context runs, or from the first key press or click on, which
  // resumes it: that gesture's own cue is started at once and heard as the context wakes. Some
  // browsers start even an allowed context suspended and run it a moment later, so for its first
  // half second a cue is started on it all the same; if the context was in fact locked, the
  // first gesture stops that cue rather than let it be heard late.
  s.born = performance.now();
  s.allowed = function() {
    if (!s.ctx) return false;
    if (s.unlocked || s.ctx.state === 'running') return true;
    return s.ctx.state === 'suspended' && performance.now() - s.born < 500;
  };
  s.unlock = function() {
    if (s.closed || !s.ctx) return;
    if (!s.unlocked && s.ctx.state !== 'running' && s.voice) {
      try { s.voice.stop(); } catch (e) {}
      s.voice = null;
    }
    s.unlocked = true;
    if (s.ctx.state !== 'running') s.ctx.resume().catch(function() {});
  };
  window.addEventListener('keydown', s.unlock, true);
  window.addEventListener('pointerdown', s.unlock, true);
  s.start = function(buffer) {
    if (!s.allowed() || s.closed) return;
    var voice = s.ctx.createBufferSource();
    voice.buffer = buffer;
    voice.connect(s.ctx.destination);
    voice.onended = function() { if (s.voice === voice) s.voice = null; };
    s.voice = voice;
    voice.start();
  };
  s.read = async function(name) {
    var cap = _kromi_cue_cap();
    var abort = new AbortController();
    var timer = setTimeout(function() { abort.abort(); }, 5000);
    try {
      var response = await fetch(name, {signal: abort.signal});
      if (!response.ok || !response.body) return null;
      var length = Number(response.headers.get('Content-Length'));
      if (length > cap) {
        abort.abort();
        return null;
      }
      var reader = response.body.getReader();
      var parts = [], total = 0;
      for (;;) {
        var part = await reader.read();
        if (part.done) break;
        total += part.value.length;
        if (total > cap) {
          abort.abort();
          return null;
        }
        parts.push(part.value);
      }
      var bytes = new Uint8Array(total), at = 0;
      for (var i = 0; i < parts.length; ++i) {
        bytes.set(parts[i], at);
        at += parts[i].length;
      }
      return bytes;
    } catch (e) {
      return null;
    } finally {
      clearTimeout(timer);
    }
  };
  s.convert = function(bytes) {
    if (!bytes || bytes.length === 0 || s.closed) return null;
    var at = _malloc(bytes.length);
    if (!at) return null;
    HEAPU8.set(bytes, at);
    var frames = _kromi_cue_convert(at, bytes.length);
    _free(at);
    if (frames <= 0) return null;
    var buffer = new AudioBuffer({length: frames, numberOfChannels: 2, sampleRate: 44100});
    var left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    var samples = new Int16Array(HEAPU8.buffer, _kromi_cue_samples(), frames * 2);
    for (var f = 0; f < frames; ++f) {
      left[f] = samples[2 * f] / 32768;
      right[f] = samples[2 * f + 1] / 32768;
    }
    return buffer;
  };
  s.load = function(name) {
    s.read(name).then(function(bytes) {
      var buffer = null;
      try { buffer = s.convert(bytes); } catch (e) { buffer = null; }
      if (buffer) buffer.kromiCue = name;
      s.cues.set(name, buffer || performance.now());
      if (s.pending === name) {
        s.pending = null;
        if (buffer) s.start(buffer);
      }
    });
  };
});

EM_JS(void, kromi_cue_close, (), {
  var s = Module.kromiSound;
  if (!s || s.closed) return;
  s.closed = true;
  if (s.voice) {
    try { s.voice.stop(); } catch (e) {}
  }
  s.voice = null;
  window.removeEventListener('keydown', s.unlock, true);
  window.removeEventListener('pointerdown', s.unlock, true);
  if (s.ctx) s.ctx.close().catch(function() {});
});

}  // namespace

bool WebCues::open_ = false;
std::string WebCues::early_;

std::int32_t WebCues::Play(std::string_view text) {
  const auto name = CueFileName(text);
  if (!open_) {
    // Kept until the sound opens, the latest only, as a new cue cuts off the one before.
    early_ = name.value_or("");
    return name ? 1 : 0;
  }
  // Every call cuts off the cue before it, whether or not the new one can play.
  return kromi_cue_play(name ? name->c_str() : "");
}

void WebCues::Open() {
  if (open_) return;
  open_ = true;
  kromi_cue_open();
  if (!early_.empty()) kromi_cue_play(early_.c_str());
  early_.clear();
}

void WebCues::Close() { kromi_cue_close(); }

}  // namespace kromi
