#pragma once
// Hostile cue files, built in code so each one's trick is readable here rather than hidden in a
// binary. Every one must be refused by the WAV checks and be silent when played; the unit tests
// hold them to that and the WAV benchmark times them. The two over the decode budget are
// megabytes long, which is one more reason not to keep them as files.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "kromi/cues/wav.h"

namespace kromi::crafted {

using Bytes = std::vector<std::uint8_t>;

struct Case {
  std::string name;
  Bytes bytes;
};

inline void Put(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

// Samples that are not silence, so nothing can pass for want of content.
inline Bytes Samples(std::size_t count) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(i * 29 + 7);
  return out;
}

// A chunk header claiming claimed bytes (the body's size if not given), the body, and the pad
// byte an odd body needs unless pad is false.
inline Bytes Chunk(const char* tag, const Bytes& body, std::optional<std::uint32_t> claimed = {}, bool pad = true) {
  Bytes out(tag, tag + 4);
  Put(out, claimed.value_or(static_cast<std::uint32_t>(body.size())), 4);
  out.insert(out.end(), body.begin(), body.end());
  if (pad && body.size() % 2 != 0) out.push_back(0);
  return out;
}

struct Format {
  std::uint32_t tag = 1, channels = 1, rate = 22050, bits = 16;
  std::optional<std::uint32_t> align = std::nullopt, byteRate = std::nullopt;  // consistent unless given

  std::uint32_t Align() const { return align.value_or(channels * bits / 8); }
  Bytes Body() const {
    Bytes out;
    Put(out, tag, 2);
    Put(out, channels, 2);
    Put(out, rate, 4);
    Put(out, byteRate.value_or(rate * Align()), 4);
    Put(out, Align(), 2);
    Put(out, bits, 2);
    return out;
  }
};

// RIFF/WAVE around the chunks; claimed replaces the honest RIFF size.
inline Bytes Riff(std::initializer_list<Bytes> chunks, std::optional<std::uint32_t> claimed = {}) {
  Bytes body = {'W', 'A', 'V', 'E'};
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes out = {'R', 'I', 'F', 'F'};
  Put(out, claimed.value_or(static_cast<std::uint32_t>(body.size())), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The most frames of f that fit the decode budget once converted; one more is too many.
inline std::size_t FramesAtBudget(const Format& f) {
  const std::uint64_t perSecond = static_cast<std::uint64_t>(kMixRate) * kMixBytesPerFrame;
  std::uint64_t frames = kMaxDecodedBytes * f.rate / perSecond + 2;
  while (DecodedBytes({.channels = static_cast<std::uint16_t>(f.channels),
                       .bitsPerSample = static_cast<std::uint16_t>(f.bits),
                       .sampleRate = f.rate,
                       .blockAlign = static_cast<std::uint16_t>(f.Align()),
                       .dataBytes = static_cast<std::size_t>(frames * f.Align())}) > kMaxDecodedBytes) {
    --frames;
  }
  return static_cast<std::size_t>(frames);
}

inline Bytes PlainWav(const Format& f, std::size_t frames) {
  return Riff({Chunk("fmt ", f.Body()), Chunk("data", Samples(frames * f.Align()))});
}

// The formats whose small files grow past the budget.
inline constexpr Format kBudgetFormats[] = {Format{.rate = 8000, .bits = 8}, Format{.rate = 16000, .bits = 8}};

// Every crafted file; each must be refused.
inline std::vector<Case> Cases() {
  const Format pcm;
  const Bytes fmt = Chunk("fmt ", pcm.Body());
  const Bytes data = Chunk("data", Samples(64));
  std::vector<Case> cases;
  const auto add = [&](std::string name, Bytes bytes) { cases.push_back({std::move(name), std::move(bytes)}); };

  // Sizes that claim far more than there is.
  add("108 bytes claiming 4 GiB of samples", Riff({fmt, Chunk("data", Samples(64), 0xFFFFFFFFu)}));
  add("4 GiB claims in both RIFF and data", Riff({fmt, Chunk("data", Samples(64), 0xFFFFFFF0u)}, 0xFFFFFFF8u));
  add("data claiming one byte past the end", Riff({fmt, Chunk("data", Samples(64), 65)}));
  add("a chunk of 0xFFFFFFFF bytes before fmt", Riff({Chunk("LIST", Samples(6), 0xFFFFFFFFu), fmt, data}));
  add("a chunk of 2 GiB before fmt", Riff({Chunk("LIST", Samples(6), 0x80000000u), fmt, data}));
  // 12 + 8 + 0xFFFFFFF4 wraps to 0 in 32 bits: a reader that adds in 32 bits starts over.
  add("a chunk size that wraps back to the header", Riff({Chunk("LIST", Samples(6), 0xFFFFFFF4u), fmt, data}));
  add("a fmt chunk running past the end of the file", Riff({Chunk("fmt ", pcm.Body(), 0x100)}));
  add("a fmt chunk of 0xFFFFFFFF bytes", Riff({Chunk("fmt ", pcm.Body(), 0xFFFFFFFFu), data}));
  add("a fmt chunk running past the RIFF extent", Riff({fmt, data}, 4 + 8 + 10));
  add("RIFF larger than the file", Riff({fmt, data}, 1000));
  add("RIFF of 0xFFFFFFFF", Riff({fmt, data}, 0xFFFFFFFFu));
  add("an odd chunk without its pad byte before fmt", Riff({Chunk("LIST", Samples(5), {}, false), fmt, data}));
  add("a data size that is odd and unpadded before another chunk",
      Riff({fmt, Chunk("data", Samples(63), {}, false), Chunk("LIST", Samples(4))}));

  // Formats SDL would take too far.
  add("1 Hz", Riff({Chunk("fmt ", Format{.rate = 1}.Body()), data}));
  add("0 Hz", Riff({Chunk("fmt ", Format{.rate = 0}.Body()), data}));
  add("4 GHz", Riff({Chunk("fmt ", Format{.rate = 0xFFFFFFFFu, .byteRate = 0xFFFFFFFEu}.Body()), data}));
  add("zero channels", Riff({Chunk("fmt ", Format{.channels = 0}.Body()), data}));
  add("65,535 channels", Riff({Chunk("fmt ", Format{.channels = 0xFFFF, .align = 0xFFFE}.Body()), data}));
  add("zero block align", Riff({Chunk("fmt ", Format{.align = 0}.Body()), data}));
  add("zero bits", Riff({Chunk("fmt ", Format{.bits = 0, .align = 2}.Body()), data}));
  add("zero byte rate", Riff({Chunk("fmt ", Format{.byteRate = 0}.Body()), data}));
  Bytes shortFmt = pcm.Body();
  shortFmt.resize(14);
  add("a fmt chunk of 14 bytes", Riff({Chunk("fmt ", shortFmt), data}));
  add("an extensible fmt cut to 24 bytes", [] {
    Format f{.tag = 0xFFFE};
    Bytes body = f.Body();
    Put(body, 22, 2);
    Put(body, 16, 2);
    Put(body, 0x3, 4);
    return Riff({Chunk("fmt ", body), Chunk("data", Samples(64))});
  }());

  // Structure.
  add("an empty data chunk", Riff({fmt, Chunk("data", {})}));
  add("data smaller than one frame", Riff({Chunk("fmt ", Format{.channels = 2}.Body()), Chunk("data", Samples(3))}));
  add("data before fmt", Riff({data, fmt}));
  add("no data", Riff({fmt, Chunk("LIST", Samples(8))}));
  add("header only", Riff({}));

  // Small files that grow past the 32 MiB budget once converted.
  for (const Format& f : kBudgetFormats) {
    add(std::to_string(f.rate) + " Hz 8-bit mono, one frame over the budget", PlainWav(f, FramesAtBudget(f) + 1));
  }
  return cases;
}

// whole cut short at every offset below 96 and then every step bytes; all but whole itself.
inline std::vector<Case> Truncations(const std::string& name, const Bytes& whole, std::size_t step = 257) {
  std::vector<Case> out;
  for (std::size_t n = 0; n < whole.size(); n += n < 96 ? 1 : step) {
    out.push_back({name + " cut to " + std::to_string(n) + " bytes", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n))});
  }
  out.push_back({name + " without its last byte", Bytes(whole.begin(), whole.end() - 1)});
  return out;
}

}  // namespace kromi::crafted
