#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "kromi/cues/cuefile.h"
#include "kromi/posix/cuefiles.h"
#include "kromi/cues/wav.h"

namespace kromi {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Put(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

Bytes Samples(std::size_t count) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return out;
}

// A chunk with its pad byte; claimed replaces the real size in the header when given.
Bytes Chunk(const char* tag, const Bytes& body, std::optional<std::uint32_t> claimed = {}) {
  Bytes out(tag, tag + 4);
  Put(out, claimed.value_or(static_cast<std::uint32_t>(body.size())), 4);
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2 != 0) out.push_back(0);
  return out;
}

// A fmt chunk body; byte rate and block align are consistent unless given.
struct Fmt {
  std::uint32_t tag = 1, channels = 1, rate = 22050;
  std::optional<std::uint32_t> byteRate = std::nullopt, align = std::nullopt;
  std::uint32_t bits = 16;

  std::uint32_t Align() const { return align.value_or(channels * bits / 8); }
  Bytes Body() const {
    Bytes out;
    Put(out, tag, 2), Put(out, channels, 2), Put(out, rate, 4), Put(out, byteRate.value_or(rate * Align()), 4);
    Put(out, Align(), 2), Put(out, bits, 2);
    return out;
  }
  // The extensible form, with the first byte of its subformat (1 = PCM, 3 = float).
  Bytes Extensible(std::uint8_t subformat = 1, std::uint32_t validBits = 16, std::uint32_t extra = 22) const {
    Fmt f = *this;
    f.tag = 0xFFFE;
    Bytes out = f.Body();
    Put(out, extra, 2), Put(out, validBits, 2), Put(out, 0x3, 4);
    const std::uint8_t guid[16] = {subformat, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    out.insert(out.end(), guid, guid + 16);
    return out;
  }
};

Bytes Riff(std::initializer_list<Bytes> chunks, std::optional<std::uint32_t> claimed = {}) {
  Bytes body = {'W', 'A', 'V', 'E'};
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes out = {'R', 'I', 'F', 'F'};
  Put(out, claimed.value_or(static_cast<std::uint32_t>(body.size())), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes PlainWav(const Fmt& f, std::size_t frames) {
  return Riff({Chunk("fmt ", f.Body()), Chunk("data", Samples(frames * f.Align()))});
}

const char* const kCueNames[] = {"Ny.wav", "Pot.wav", "Boom.wav", "Visa.wav"};
fs::path ShippedCue(const char* name) { return fs::path(KROMI_SOUNDS_DIR) / name; }

// ---- The validator ---------------------------------------------------------------------------

TEST(WavCheck, AcceptsTheShippedCuesAsShortMonoSoundsThatStartAndEndSilent) {
  const double minSeconds[] = {0.2, 0.03, 0.6, 0.25}, maxSeconds[] = {0.3, 0.065, 0.8, 0.35};
  for (int i = 0; i < 4; ++i) {
    const Bytes bytes = ReadAll(ShippedCue(kCueNames[i]));
    const auto info = ValidateWav(bytes);
    ASSERT_TRUE(info.has_value()) << kCueNames[i];
    EXPECT_EQ(info->channels, 1);
    EXPECT_EQ(info->bitsPerSample, 16);
    EXPECT_EQ(info->sampleRate, 22050u);
    EXPECT_EQ(info->dataOffset, 44u);
    EXPECT_EQ(info->dataBytes, bytes.size() - 44);
    const double seconds = static_cast<double>(info->dataBytes) / 2 / 22050;
    EXPECT_TRUE(seconds >= minSeconds[i] && seconds <= maxSeconds[i]) << kCueNames[i] << " lasts " << seconds;
    // Near-silent ends are what keep a start or a cut-off from clicking.
    const auto sample = [&](std::size_t at) { return static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8)); };
    EXPECT_LT(std::abs(sample(44)), 64) << kCueNames[i];
    EXPECT_LT(std::abs(sample(bytes.size() - 2)), 64) << kCueNames[i];
  }
}

TEST(WavCheck, AcceptsEveryPlayableLayoutAndReportsIt) {
  for (std::uint32_t channels : {1u, 2u}) {
    for (std::uint32_t bits : {8u, 16u}) {
      for (std::uint32_t rate : {8000u, 22050u, 44100u, 96000u}) {
        const auto info = ValidateWav(PlainWav({.channels = channels, .rate = rate, .bits = bits}, 301));
        ASSERT_TRUE(info.has_value()) << channels << " ch " << bits << " bit " << rate << " Hz";
        EXPECT_EQ(info->channels, channels);
        EXPECT_EQ(info->bitsPerSample, bits);
        EXPECT_EQ(info->sampleRate, rate);
        EXPECT_EQ(info->blockAlign, channels * bits / 8);
        EXPECT_EQ(info->dataBytes, 301u * channels * bits / 8);
      }
    }
  }
}

TEST(WavCheck, WalksOtherChunksPadBytesAndPartialFrames) {
  const Bytes wav = Riff({Chunk("LIST", Samples(5)), Chunk("fmt ", Fmt{.channels = 2, .rate = 44100}.Body()),
                          Chunk("fact", Samples(4)), Chunk("data", Samples(4 * 50 + 3)), Chunk("id3 ", Samples(3))});
  const auto info = ValidateWav(wav);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->dataOffset, 12u + (8 + 5 + 1) + (8 + 16) + (8 + 4) + 8);
  EXPECT_EQ(info->dataBytes, 200u);  // the partial last frame is dropped
  EXPECT_EQ(std::memcmp(wav.data() + info->dataOffset, Samples(200).data(), 200), 0);

  // A final odd chunk whose pad byte was left off still lies inside the file.
  Bytes unpadded = Riff({Chunk("fmt ", Fmt{}.Body()), Chunk("data", Samples(20)), Chunk("note", Samples(3))});
  unpadded.pop_back();
  unpadded[4] = static_cast<std::uint8_t>(unpadded.size() - 8);
  EXPECT_TRUE(ValidateWav(unpadded).has_value());
}

TEST(WavCheck, AcceptsExtensibleOnlyWhenItIsPcm) {
  const Fmt f{.channels = 2};
  const Bytes data = Chunk("data", Samples(400));
  const auto info = ValidateWav(Riff({Chunk("fmt ", f.Extensible()), data}));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->dataOffset, 12u + 8 + 40 + 8);
  EXPECT_TRUE(ValidateWav(Riff({Chunk("fmt ", f.Extensible(1, 12)), data})));  // 12 valid bits of 16
  EXPECT_FALSE(ValidateWav(Riff({Chunk("fmt ", f.Extensible(3)), data})));     // float
  EXPECT_FALSE(ValidateWav(Riff({Chunk("fmt ", f.Extensible(1, 0)), data})));
  EXPECT_FALSE(ValidateWav(Riff({Chunk("fmt ", f.Extensible(1, 17)), data})));
  EXPECT_FALSE(ValidateWav(Riff({Chunk("fmt ", f.Extensible(1, 16, 21)), data})));
  Bytes cut = f.Extensible();
  cut.resize(39);
  EXPECT_FALSE(ValidateWav(Riff({Chunk("fmt ", cut), data})));
}

TEST(WavCheck, RejectsFormatsItDoesNotPlay) {
  const std::pair<const char*, Fmt> cases[] = {
      {"IEEE float", {.tag = 3}},          {"ADPCM", {.tag = 2}},
      {"zero channels", {.channels = 0, .align = 2}}, {"three channels", {.channels = 3}},
      {"zero bits", {.align = 2, .bits = 0}},         {"12 bits", {.align = 2, .bits = 12}},
      {"24 bits", {.bits = 24}},            {"0 Hz", {.rate = 0}},
      {"1 Hz", {.rate = 1}},                {"7,999 Hz", {.rate = 7999}},
      {"96,001 Hz", {.rate = 96001}},       {"zero block align", {.align = 0}},
      {"block align too big", {.align = 4}}, {"block align too small", {.channels = 2, .align = 2}},
      {"byte rate off by one", {.byteRate = 44101}},
  };
  for (const auto& [what, fmt] : cases) {
    EXPECT_FALSE(ValidateWav(Riff({Chunk("fmt ", fmt.Body()), Chunk("data", Samples(64))}))) << what;
  }
}

TEST(WavCheck, RejectsBrokenStructure) {
  const Bytes fmt = Chunk("fmt ", Fmt{}.Body()), data = Chunk("data", Samples(64));
  const Bytes good = Riff({fmt, data});
  ASSERT_TRUE(ValidateWav(good));
  Bytes rifx = good, avi = good, shortFmt = Fmt{}.Body();
  rifx[3] = 'X';
  std::memcpy(avi.data() + 8, "AVI ", 4);
  shortFmt.resize(14);
  const std::pair<const char*, Bytes> cases[] = {
      {"empty", {}},
      {"eleven bytes", Bytes(good.begin(), good.begin() + 11)},
      {"RIFX", rifx},
      {"AVI", avi},
      {"no chunks", Riff({})},
      {"no fmt", Riff({data})},
      {"no data", Riff({fmt})},
      {"data before fmt", Riff({data, fmt})},
      {"two fmt", Riff({fmt, fmt, data})},
      {"two data", Riff({fmt, data, data})},
      {"fmt of 14 bytes", Riff({Chunk("fmt ", shortFmt), data})},
      {"empty data", Riff({fmt, Chunk("data", {})})},
      {"less than a frame", Riff({fmt, Chunk("data", Samples(1))})},
      {"data one frame past the end", Riff({fmt, Chunk("data", Samples(64), 66)})},
      {"chunk past the end", Riff({fmt, data, Chunk("LIST", Samples(10), 11)})},
      {"RIFF larger than the file", Riff({fmt, data}, 200)},
      {"RIFF smaller than WAVE", Riff({fmt, data}, 3)},
      {"data outside a short RIFF", Riff({fmt, data}, 4 + 24)},
      // 108 bytes whose data chunk claims 4 GiB, with an honest and a lying RIFF size.
      {"4 GiB claim", Riff({fmt, Chunk("data", Samples(64), 0xFFFFFFFFu)})},
      {"4 GiB claims", Riff({fmt, Chunk("data", Samples(64), 0xFFFFFFF0u)}, 0xFFFFFFF8u)},
  };
  ASSERT_EQ(cases[18].second.size(), 108u);
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(ValidateWav(bytes)) << what;
}

TEST(WavCheck, HoldsTheDecodedSizeToTheBudget) {
  // 11,025 Hz mono 8-bit grows exactly 16-fold: 4x the rate, 2x the channels, 2x the width.
  const Fmt lowRate{.rate = 11025, .bits = 8};
  const auto info = ValidateWav(PlainWav(lowRate, kMaxDecodedBytes / 16));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(DecodedBytes(*info), kMaxDecodedBytes);
  EXPECT_FALSE(ValidateWav(PlainWav(lowRate, kMaxDecodedBytes / 16 + 1)));
  // Rates that do not divide 44,100 round up to a whole output frame.
  EXPECT_EQ(DecodedBytes({.channels = 1, .bitsPerSample = 8, .sampleRate = 8000, .blockAlign = 1, .dataBytes = 1}), 24u);
  EXPECT_EQ(DecodedBytes({.channels = 2, .bitsPerSample = 16, .sampleRate = 96000, .blockAlign = 4, .dataBytes = 3840}),
            441u * 4);
}

// What the device plays: native S16 stereo at 44,100 Hz, exactly as long as the budget counts.
TEST(WavMix, ConvertsToTheDeviceFormatAtTheCountedLength) {
  const auto frameAt = [](const Bytes& pcm, std::size_t i) {
    std::int16_t lr[2];
    std::memcpy(lr, pcm.data() + 4 * i, 4);
    return std::pair<int, int>{lr[0], lr[1]};
  };
  // 16-bit stereo at the device rate passes through untouched.
  Bytes stereo = Riff({Chunk("fmt ", Fmt{.channels = 2, .rate = 44100}.Body()), Chunk("data", {0x01, 0x02, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F})});
  const auto same = ValidateWav(stereo);
  ASSERT_TRUE(same.has_value());
  const Bytes through = MixSamples(stereo, *same);
  ASSERT_EQ(through.size(), DecodedBytes(*same));
  EXPECT_EQ(frameAt(through, 0), (std::pair{0x0201, -1}));
  EXPECT_EQ(frameAt(through, 1), (std::pair{-32768, 32767}));
  // 8-bit mono at half the rate: unsigned samples centred, both channels alike, every other
  // frame halfway to the next sample, the last held.
  Bytes mono = Riff({Chunk("fmt ", Fmt{.rate = 22050, .bits = 8}.Body()), Chunk("data", {128, 0, 255})});
  const auto half = ValidateWav(mono);
  ASSERT_TRUE(half.has_value());
  const Bytes doubled = MixSamples(mono, *half);
  ASSERT_EQ(doubled.size(), DecodedBytes(*half));
  ASSERT_EQ(doubled.size(), 6u * 4);
  const std::pair<int, int> expected[] = {{0, 0}, {-16384, -16384}, {-32768, -32768},
                                          {-128, -128}, {32512, 32512}, {32512, 32512}};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(frameAt(doubled, i), expected[i]) << "frame " << i;
}

TEST(WavCheck, RejectsEveryTruncationOfARealCue) {
  const Bytes whole = ReadAll(ShippedCue("Boom.wav"));
  ASSERT_TRUE(ValidateWav(whole));
  for (std::size_t n = 0; n < whole.size(); n += n < 64 ? 1 : 97) {
    // An exact-size copy, so a read past the end leaves the allocation (and ASan sees it).
    EXPECT_FALSE(ValidateWav(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)))) << "cut at " << n;
  }
  EXPECT_FALSE(ValidateWav(Bytes(whole.begin(), whole.end() - 1)));
}

TEST(WavCheck, MutatedFilesAreRejectedOrDescribedConsistently) {
  const Fmt f{.channels = 2, .bits = 8};
  const Bytes original = Riff({Chunk("LIST", Samples(7)), Chunk("fmt ", f.Extensible(1, 8)),
                               Chunk("data", Samples(90)), Chunk("tail", Samples(6))});
  std::mt19937 rng(20240611);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes bytes = original;
    for (int k = static_cast<int>(rng() % 4); k >= 0; --k) {
      const std::size_t at = rng() % 4 != 0 ? rng() % 90 : rng() % bytes.size();  // mostly headers
      bytes[at] = static_cast<std::uint8_t>(rng() % 3 == 0 ? bytes[at] ^ (1u << (rng() % 8)) : rng());
    }
    if (rng() % 5 == 0) bytes.resize(rng() % (bytes.size() + 1));
    const auto info = ValidateWav(bytes);
    if (!info) continue;
    ++accepted;
    ASSERT_LE(info->dataOffset + info->dataBytes, bytes.size()) << "round " << round;
    ASSERT_TRUE(info->dataBytes > 0 && info->dataBytes % info->blockAlign == 0) << "round " << round;
    ASSERT_EQ(info->blockAlign, info->channels * info->bitsPerSample / 8) << "round " << round;
    const auto again = ValidateWav(CanonicalWav(bytes, *info));
    ASSERT_TRUE(again && again->dataBytes == info->dataBytes && again->sampleRate == info->sampleRate);
  }
  // Both outcomes must be common, or the loop tested little.
  EXPECT_GT(accepted, 500);
  EXPECT_LT(accepted, 19500);
}

TEST(WavCheck, CanonicalFormKeepsOnlyTheCheckedSamples) {
  const Bytes source = Riff({Chunk("LIST", Samples(9)), Chunk("fmt ", Fmt{.rate = 16000, .bits = 8}.Extensible(1, 8)),
                             Chunk("data", Samples(101)), Chunk("junk", Samples(12))});
  const auto info = ValidateWav(source);
  ASSERT_TRUE(info.has_value());
  const Bytes canon = CanonicalWav(source, *info);
  ASSERT_EQ(canon.size(), 44u + 101 + 1);  // odd data keeps its pad byte
  EXPECT_EQ(canon[4] | (canon[5] << 8), static_cast<int>(canon.size() - 8));
  EXPECT_EQ(canon[20] | (canon[21] << 8), 1);  // plain PCM, no longer extensible
  const auto again = ValidateWav(canon);
  ASSERT_TRUE(again.has_value());
  EXPECT_TRUE(again->channels == 1 && again->bitsPerSample == 8 && again->sampleRate == 16000);
  EXPECT_EQ(again->dataBytes, 101u);
  EXPECT_EQ(std::memcmp(canon.data() + 44, source.data() + info->dataOffset, 101), 0);
  for (const char* name : kCueNames) {  // already canonical
    const Bytes cue = ReadAll(ShippedCue(name));
    EXPECT_EQ(CanonicalWav(cue, *ValidateWav(cue)), cue) << name;
  }
}

// ---- Reading cue files -----------------------------------------------------------------------

// The rules every platform's reader shares, against files that misbehave while being read.
TEST(CueRead, FinishRefusesFilesThatGrowOrChangeOrFailWhileRead) {
  constexpr std::size_t kCap = 100;
  const FileIdentity small{.inode = 7, .size = 10};
  std::size_t handed = 0;
  // A file whose reads never end, like one being appended to.
  const auto endless = [&handed](std::uint8_t* into, std::size_t room) -> std::ptrdiff_t {
    std::memset(into, 'x', room);
    handed += room;
    return static_cast<std::ptrdiff_t>(room);
  };
  const auto same = [&] { return std::optional<FileIdentity>(small); };
  CueRead grown = FinishCueRead(CueRead{.identity = small, .bytes = {}}, kCap, endless, same);
  EXPECT_EQ(grown.status, CueReadStatus::kTooLarge);
  EXPECT_TRUE(grown.bytes.empty());
  EXPECT_EQ(handed, kCap + 1) << "reads one byte past the cap and no more";

  // Grown since the stat, but only to the cap: all of it, however small the stat said it was.
  std::size_t left = kCap;
  const auto toCap = [&left](std::uint8_t* into, std::size_t room) -> std::ptrdiff_t {
    const std::size_t n = std::min(room, left);
    std::memset(into, 'y', n);
    left -= n;
    return static_cast<std::ptrdiff_t>(n);
  };
  const CueRead atCap = FinishCueRead(CueRead{.identity = small, .bytes = {}}, kCap, toCap, same);
  EXPECT_EQ(atCap.status, CueReadStatus::kOk);
  EXPECT_EQ(atCap.bytes, Bytes(kCap, 'y'));

  handed = 0;
  EXPECT_EQ(FinishCueRead(CueRead{.identity = {.size = kCap + 1}, .bytes = {}}, kCap, endless, same).status,
            CueReadStatus::kTooLarge);
  EXPECT_EQ(handed, 0u) << "a file over the cap by its size is refused unread";

  // A fresh ten-byte file for each read.
  const auto tenBytes = [] {
    return [left = std::size_t{10}](std::uint8_t* into, std::size_t room) mutable -> std::ptrdiff_t {
      const std::size_t n = std::min(room, left);
      std::memset(into, 'z', n);
      left -= n;
      return static_cast<std::ptrdiff_t>(n);
    };
  };
  FileIdentity touched = small;
  touched.mtimeNsec = 1;
  const CueRead changed = FinishCueRead(CueRead{.identity = small, .bytes = {}}, kCap, tenBytes(), [&] { return std::optional(touched); });
  EXPECT_EQ(changed.status, CueReadStatus::kChanged);
  EXPECT_TRUE(changed.bytes.empty());
  EXPECT_EQ(FinishCueRead(CueRead{.identity = small, .bytes = {}}, kCap, tenBytes(), [] { return std::optional<FileIdentity>(); }).status,
            CueReadStatus::kChanged);
  const auto failing = [](std::uint8_t*, std::size_t) -> std::ptrdiff_t { return -1; };
  EXPECT_EQ(FinishCueRead(CueRead{.identity = small, .bytes = {}}, kCap, failing, same).status, CueReadStatus::kReadFailed);
  const CueRead whole = FinishCueRead(CueRead{.identity = small, .bytes = {}}, kCap, tenBytes(), same);
  EXPECT_EQ(whole.status, CueReadStatus::kOk);
  EXPECT_EQ(whole.bytes, Bytes(10, 'z'));
}

class CueFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "kromi-cuefile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  // Replaces name the way an installer would: a new file renamed over the old one.
  void Replace(const char* name, const Bytes& bytes) {
    WriteAll(dir_ / "incoming.tmp", bytes);
    fs::rename(dir_ / "incoming.tmp", dir_ / name);
  }
  fs::path dir_;
};

TEST_F(CueFileTest, RefusesWhatIsNotARegularFile) {
  EXPECT_EQ(ReadCueFile(Path("missing.wav")).status, CueReadStatus::kOpenFailed);
  fs::create_directory(dir_ / "folder.wav");
  EXPECT_EQ(ReadCueFile(Path("folder.wav")).status, CueReadStatus::kNotRegular);
  EXPECT_EQ(ReadCueFile("/dev/zero").status, CueReadStatus::kNotRegular);  // would never end

  const std::string fifo = Path("fifo.wav");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto pending = std::async(std::launch::async, [&] { return ReadCueFile(fifo).status; });
  // A hang guard, not a speed check: a blocking open would wait for a writer forever, so after a
  // long grace period one is provided to free it, and the test fails.
  if (pending.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "opening a FIFO blocked";
    ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
  }
  EXPECT_EQ(pending.get(), CueReadStatus::kNotRegular);
}

TEST_F(CueFileTest, ReadsUpToFourMebibytesAndNoMore) {
  for (const std::size_t size : {kMaxCueFileBytes, kMaxCueFileBytes + 1}) {  // sparse
    WriteAll(dir_ / std::to_string(size), {});
    fs::resize_file(dir_ / std::to_string(size), size);
  }
  const CueRead atCap = ReadCueFile(Path(std::to_string(kMaxCueFileBytes).c_str()));
  ASSERT_EQ(atCap.status, CueReadStatus::kOk);
  EXPECT_EQ(atCap.bytes.size(), kMaxCueFileBytes);
  EXPECT_EQ(ReadCueFile(Path(std::to_string(kMaxCueFileBytes + 1).c_str())).status, CueReadStatus::kTooLarge);

  WriteAll(dir_ / "small.wav", Samples(100));
  const CueRead small = ReadCueFile(Path("small.wav"), 100);
  EXPECT_EQ(small.status, CueReadStatus::kOk);
  EXPECT_EQ(small.bytes, Samples(100));
  EXPECT_EQ(ReadCueFile(Path("small.wav"), 99).status, CueReadStatus::kTooLarge);
}

TEST_F(CueFileTest, AnUnreadableFileIsRefusedUntilItIsFixed) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their permissions say";
  WriteAll(dir_ / "locked.wav", ReadAll(ShippedCue("Ny.wav")));
  fs::permissions(dir_ / "locked.wav", fs::perms::none);
  EXPECT_EQ(ReadCueFile(Path("locked.wav")).status, CueReadStatus::kOpenFailed);
  CueFileCache cache(PosixCueFiles());
  EXPECT_EQ(cache.Lookup(Path("locked.wav")), nullptr);
  // A chmod changes neither size nor mtime, so a refusal must not be remembered.
  fs::permissions(dir_ / "locked.wav", fs::perms::owner_read);
  EXPECT_NE(cache.Lookup(Path("locked.wav")), nullptr);
}

TEST_F(CueFileTest, CacheReadsAHeldCueOnceAndRemembersAMalformedOne) {
  const Bytes pot = ReadAll(ShippedCue("Pot.wav"));
  WriteAll(dir_ / "Pot.wav", pot);
  Replace("bad.wav", Samples(300));
  CueFileCache cache(PosixCueFiles());
  for (int tick = 0; tick < 10; ++tick) {
    const auto file = cache.Lookup(Path("Pot.wav"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->wav, pot);
    EXPECT_EQ(cache.Lookup(Path("bad.wav")), nullptr);
  }
  EXPECT_EQ(cache.Reads(), 2u);
  Replace("bad.wav", pot);
  EXPECT_NE(cache.Lookup(Path("bad.wav")), nullptr);
  // Not regular: refused on the stat alone, never opened.
  EXPECT_EQ(cache.Lookup("/dev/zero"), nullptr);
  EXPECT_EQ(cache.Reads(), 3u);
}

TEST_F(CueFileTest, CacheNoticesReplacedRewrittenAndRemovedFiles) {
  const Bytes ny = ReadAll(ShippedCue("Ny.wav")), visa = ReadAll(ShippedCue("Visa.wav"));
  CueFileCache cache(PosixCueFiles());
  Replace("cue.wav", ny);
  ASSERT_NE(cache.Lookup(Path("cue.wav")), nullptr);
  Replace("cue.wav", visa);
  ASSERT_NE(cache.Lookup(Path("cue.wav")), nullptr);
  EXPECT_EQ(cache.Lookup(Path("cue.wav"))->wav, visa);

  // Rewritten in place at the same size, so only the timestamps tell. The mtime is set well
  // apart, so the test does not depend on the clock ticking between two writes.
  Bytes altered = visa;
  for (std::size_t i = 44; i < altered.size(); ++i) altered[i] = static_cast<std::uint8_t>(~altered[i]);
  std::fstream(dir_ / "cue.wav", std::ios::binary | std::ios::in | std::ios::out)
      .write(reinterpret_cast<const char*>(altered.data()), static_cast<std::streamsize>(altered.size()));
  const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path("cue.wav").c_str(), times, 0), 0);
  ASSERT_NE(cache.Lookup(Path("cue.wav")), nullptr);
  EXPECT_EQ(cache.Lookup(Path("cue.wav"))->wav, altered);

  fs::remove(dir_ / "cue.wav");
  EXPECT_EQ(cache.Lookup(Path("cue.wav")), nullptr);
  Replace("cue.wav", ny);
  ASSERT_NE(cache.Lookup(Path("cue.wav")), nullptr);
  EXPECT_EQ(cache.Lookup(Path("cue.wav"))->wav, ny);
  EXPECT_EQ(cache.Reads(), 4u);
}

}  // namespace
}  // namespace kromi
