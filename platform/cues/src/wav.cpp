#include "kromi/cues/wav.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kromi {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

// KSDATAFORMAT_SUBTYPE_PCM as it lies in the file.
constexpr std::array<std::uint8_t, 16> kPcmSubformat = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kPlainFmtBytes = 16;
constexpr std::size_t kExtensibleFmtBytes = 40;

// Every caller has checked that pos + 2 (or 4) bytes lie inside bytes.
std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t pos) {
  return static_cast<std::uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t pos) {
  return static_cast<std::uint32_t>(bytes[pos]) | (static_cast<std::uint32_t>(bytes[pos + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[pos + 2]) << 16) | (static_cast<std::uint32_t>(bytes[pos + 3]) << 24);
}

bool HasTag(std::span<const std::uint8_t> bytes, std::size_t pos, const char (&tag)[5]) {
  return std::memcmp(bytes.data() + pos, tag, 4) == 0;
}

// Writers into a buffer already sized for the whole header.
void PutLe16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

void PutTag(std::uint8_t* at, const char (&tag)[5]) { std::memcpy(at, tag, 4); }

// Fills the format fields of info from a fmt chunk body; false if the format is not one we play.
bool ReadFormat(std::span<const std::uint8_t> body, WavInfo& info) {
  if (body.size() < kPlainFmtBytes) return false;
  const std::uint16_t tag = Le16(body, 0);
  const std::uint16_t channels = Le16(body, 2);
  const std::uint32_t rate = Le32(body, 4);
  const std::uint32_t byteRate = Le32(body, 8);
  const std::uint16_t blockAlign = Le16(body, 12);
  const std::uint16_t bits = Le16(body, 14);

  if (tag == kFormatExtensible) {
    // Extensible PCM is the same samples under a longer header; valid bits below the container
    // size are left-justified, so playing the full container is right.
    if (body.size() < kExtensibleFmtBytes) return false;
    const std::uint16_t extraBytes = Le16(body, 16);
    const std::uint16_t validBits = Le16(body, 18);
    if (extraBytes < kExtensibleFmtBytes - 18) return false;
    if (validBits == 0 || validBits > bits) return false;
    if (!std::equal(kPcmSubformat.begin(), kPcmSubformat.end(), body.begin() + 24)) return false;
  } else if (tag != kFormatPcm) {
    return false;
  }

  if (channels < 1 || channels > 2) return false;
  if (bits != 8 && bits != 16) return false;
  if (rate < kMinWavRate || rate > kMaxWavRate) return false;
  if (blockAlign != channels * (bits / 8)) return false;
  if (byteRate != static_cast<std::uint64_t>(rate) * blockAlign) return false;

  info.channels = channels;
  info.bitsPerSample = bits;
  info.sampleRate = rate;
  info.blockAlign = blockAlign;
  return true;
}

}  // namespace

std::uint64_t DecodedBytes(const WavInfo& info) {
  if (info.blockAlign == 0 || info.sampleRate == 0) return 0;
  const std::uint64_t frames = info.dataBytes / info.blockAlign;
  const std::uint64_t outFrames = (frames * kMixRate + info.sampleRate - 1) / info.sampleRate;
  return outFrames * kMixBytesPerFrame;
}

std::optional<WavInfo> ValidateWav(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 12) return std::nullopt;
  if (!HasTag(bytes, 0, "RIFF") || !HasTag(bytes, 8, "WAVE")) return std::nullopt;

  // Sizes are 32-bit, so 64-bit sums of them cannot wrap.
  const std::uint64_t riffEnd = kChunkHeader + static_cast<std::uint64_t>(Le32(bytes, 4));
  if (riffEnd < 12 || riffEnd > bytes.size()) return std::nullopt;
  const std::size_t end = static_cast<std::size_t>(riffEnd);

  WavInfo info;
  bool haveFormat = false;
  bool haveData = false;
  std::size_t dataSize = 0;
  std::size_t pos = 12;
  // Fewer than eight bytes left cannot hold a chunk; they are ignored as slack.
  while (end - pos >= kChunkHeader) {
    const std::uint32_t size = Le32(bytes, pos + 4);
    const std::size_t body = pos + kChunkHeader;
    if (size > end - body) return std::nullopt;

    if (HasTag(bytes, pos, "fmt ")) {
      // A second format, or one after the samples, would leave it unclear what the samples are.
      if (haveFormat || haveData) return std::nullopt;
      if (!ReadFormat(bytes.subspan(body, size), info)) return std::nullopt;
      haveFormat = true;
    } else if (HasTag(bytes, pos, "data")) {
      if (!haveFormat || haveData) return std::nullopt;
      info.dataOffset = body;
      dataSize = size;
      haveData = true;
    }

    // Odd chunks carry a pad byte; writers that leave it off at the very end are tolerated.
    const std::size_t next = body + size + (size & 1u);
    pos = std::min(next, end);
  }

  if (!haveData) return std::nullopt;
  info.dataBytes = dataSize - dataSize % info.blockAlign;
  if (info.dataBytes == 0) return std::nullopt;
  if (DecodedBytes(info) > kMaxDecodedBytes) return std::nullopt;
  return info;
}

std::vector<std::uint8_t> MixSamples(std::span<const std::uint8_t> bytes, const WavInfo& info) {
  const std::uint8_t* data = bytes.data() + info.dataOffset;
  const std::size_t frames = info.dataBytes / info.blockAlign;
  const auto sample = [&](std::size_t frame, int channel) -> std::int32_t {
    const std::uint8_t* at = data + frame * info.blockAlign +
                             static_cast<std::size_t>(channel < info.channels ? channel : 0) * (info.bitsPerSample / 8u);
    if (info.bitsPerSample == 8) return (static_cast<std::int32_t>(at[0]) - 128) * 256;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(at[0] | at[1] << 8));
  };
  const auto outFrames = static_cast<std::size_t>(DecodedBytes(info) / kMixBytesPerFrame);
  std::vector<std::uint8_t> out(outFrames * kMixBytesPerFrame);
  for (std::size_t i = 0; i < outFrames; ++i) {
    // Source position i * rate / 44,100 as a whole frame and a fraction in 1/44,100ths.
    const std::uint64_t scaled = static_cast<std::uint64_t>(i) * info.sampleRate;
    const auto frame = static_cast<std::size_t>(scaled / kMixRate);
    const auto fraction = static_cast<std::int64_t>(scaled % kMixRate);
    const std::size_t next = frame + 1 < frames ? frame + 1 : frame;
    for (int channel = 0; channel < 2; ++channel) {
      const std::int64_t a = sample(frame, channel);
      const std::int64_t b = sample(next, channel);
      const auto value = static_cast<std::int16_t>(a + (b - a) * fraction / static_cast<std::int64_t>(kMixRate));
      std::memcpy(out.data() + i * kMixBytesPerFrame + static_cast<std::size_t>(channel) * 2, &value, 2);
    }
  }
  return out;
}

std::vector<std::uint8_t> CanonicalWav(std::span<const std::uint8_t> bytes, const WavInfo& info) {
  constexpr std::size_t kHeader = 44;
  const auto samples = bytes.subspan(info.dataOffset, info.dataBytes);
  const std::size_t pad = samples.size() & 1u;
  const auto dataSize = static_cast<std::uint32_t>(samples.size());

  std::vector<std::uint8_t> out(kHeader + samples.size() + pad, 0);
  // Only a wrapped size could be smaller; without this bound GCC 12's fortified memcpy and
  // stringop checks see a header written past the end and fail the build.
  if (out.size() < kHeader) return {};
  std::uint8_t* h = out.data();
  PutTag(h, "RIFF");
  PutLe32(h + 4, static_cast<std::uint32_t>(kHeader - 8 + samples.size() + pad));
  PutTag(h + 8, "WAVE");
  PutTag(h + 12, "fmt ");
  PutLe32(h + 16, static_cast<std::uint32_t>(kPlainFmtBytes));
  PutLe16(h + 20, kFormatPcm);
  PutLe16(h + 22, info.channels);
  PutLe32(h + 24, info.sampleRate);
  PutLe32(h + 28, info.sampleRate * info.blockAlign);
  PutLe16(h + 32, info.blockAlign);
  PutLe16(h + 34, info.bitsPerSample);
  PutTag(h + 36, "data");
  PutLe32(h + 40, dataSize);
  std::copy(samples.begin(), samples.end(), out.begin() + kHeader);
  return out;
}

}  // namespace kromi
