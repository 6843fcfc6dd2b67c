// The Windows layer's own rules, run under Wine: which key code a key message gives, the window's
// density with and without Windows 10's functions, and reading cue files through Win32 the way
// the Linux reader does through POSIX.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "kromi/cues/cuefile.h"
#include "kromi/win32/cuefiles.h"
#include "kromi/win32/dpi.h"
#include "kromi/win32/host.h"
#include "kromi/win32/text.h"
#include "kromi/win32/windows.h"

namespace kromi {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

TEST(Win32Keys, NumberPadGivesItsCodesWhateverNumLockSays) {
  // NumLock on: the number-pad keys themselves.
  for (unsigned k = 0; k < 6; ++k) EXPECT_EQ(KeyCodeOf(VK_NUMPAD1 + k, false), 97 + static_cast<int>(k));
  // NumLock off: navigation keys without the extended flag.
  EXPECT_EQ(KeyCodeOf(VK_END, false), 97);
  EXPECT_EQ(KeyCodeOf(VK_DOWN, false), 98);
  EXPECT_EQ(KeyCodeOf(VK_NEXT, false), 99);
  EXPECT_EQ(KeyCodeOf(VK_LEFT, false), 100);
  EXPECT_EQ(KeyCodeOf(VK_CLEAR, false), 101);
  EXPECT_EQ(KeyCodeOf(VK_RIGHT, false), 102);
}

TEST(Win32Keys, ArrowKeysAndEscapeKeepTheirCodes) {
  EXPECT_EQ(KeyCodeOf(VK_LEFT, true), 37);
  EXPECT_EQ(KeyCodeOf(VK_RIGHT, true), 39);
  EXPECT_EQ(KeyCodeOf(VK_DOWN, true), 40);
  EXPECT_EQ(KeyCodeOf(VK_ESCAPE, false), 27);
  // The separate End and Page Down keys are no number-pad keys.
  EXPECT_EQ(KeyCodeOf(VK_END, true), VK_END);
  EXPECT_EQ(KeyCodeOf(VK_NEXT, true), VK_NEXT);
}

TEST(Win32Text, SwedishLettersSurviveTheRoundTrip) {
  const std::string caption = "Ny f\xC3\xA4rg";  // "Ny färg"
  const std::wstring wide = Widen(caption);
  ASSERT_EQ(wide.size(), 7u);
  EXPECT_EQ(wide[4], L'\x00E4');
  EXPECT_EQ(Narrow(wide), caption);
}

// A misspelt name would quietly drop Windows 10 to one density for every monitor.
TEST(Win32Dpi, FindsWindows10sFunctionsWhereUser32HasThem) {
  EXPECT_TRUE(WindowDpi(GetModuleHandleW(L"user32.dll")).PerWindow()) << "Wine's USER32 has both";
  EXPECT_TRUE(WindowDpi::System().PerWindow());
}

// Windows 7's way, taken here from a module without the functions: the system's density, and at
// it the same frame as the per-window functions give.
TEST(Win32Dpi, WithoutThemTheSystemsDensityAndFrame) {
  const WindowDpi old(GetModuleHandleW(L"kernel32.dll"));
  ASSERT_FALSE(old.PerWindow());
  const HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  const UINT system = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(old.ForWindow(nullptr), system);

  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const SIZE was = old.WindowSize(328, 256, kStyle, 0, system);
  const SIZE now = WindowDpi::System().WindowSize(328, 256, kStyle, 0, system);
  EXPECT_EQ(was.cx, now.cx);
  EXPECT_EQ(was.cy, now.cy);
  // A caption and borders around the form, not the form's size alone.
  EXPECT_GT(was.cx, 328);
  EXPECT_GT(was.cy - 256, was.cx - 328);
}

class Win32CueFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    dir_ = fs::temp_directory_path() / ("kromi-cues-" + std::to_string(seed()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const Bytes& bytes) {
    std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
  }
  fs::path dir_;
};

// A playable cue: 8-bit mono at 11,025 Hz, a tenth of a second of a square wave.
Bytes SmallWav() {
  Bytes samples(1102);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 20) % 2 ? 200 : 56;
  const auto u32 = [](Bytes& b, std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i))); };
  const auto u16 = [](Bytes& b, std::uint16_t v) { b.push_back(static_cast<std::uint8_t>(v)); b.push_back(static_cast<std::uint8_t>(v >> 8)); };
  Bytes b{'R', 'I', 'F', 'F'};
  u32(b, static_cast<std::uint32_t>(36 + samples.size()));
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<std::uint8_t>(c));
  u32(b, 16);
  u16(b, 1);
  u16(b, 1);
  u32(b, 11025);
  u32(b, 11025);
  u16(b, 1);
  u16(b, 8);
  for (char c : std::string("data")) b.push_back(static_cast<std::uint8_t>(c));
  u32(b, static_cast<std::uint32_t>(samples.size()));
  b.insert(b.end(), samples.begin(), samples.end());
  return b;
}

TEST_F(Win32CueFileTest, RefusesWhatIsNotARegularFile) {
  EXPECT_EQ(ReadCueFile(Path("missing.wav")).status, CueReadStatus::kOpenFailed);
  fs::create_directory(dir_ / "folder.wav");
  EXPECT_EQ(ReadCueFile(Path("folder.wav")).status, CueReadStatus::kNotRegular);
  // The null device opens and reads like an empty file, but it is no file.
  EXPECT_EQ(ReadCueFile("NUL").status, CueReadStatus::kNotRegular);
  EXPECT_FALSE(IdentifyCueFile("NUL").has_value());
  EXPECT_FALSE(IdentifyCueFile(Path("folder.wav")).has_value());
}

TEST_F(Win32CueFileTest, ReadsUpToTheCapAndNoMore) {
  const Bytes wav = SmallWav();
  Write("small.wav", wav);
  const CueRead read = ReadCueFile(Path("small.wav"), wav.size());
  ASSERT_EQ(read.status, CueReadStatus::kOk);
  EXPECT_EQ(read.bytes, wav);
  EXPECT_EQ(ReadCueFile(Path("small.wav"), wav.size() - 1).status, CueReadStatus::kTooLarge);
}

TEST_F(Win32CueFileTest, CacheNoticesARewrittenFile) {
  CueFileCache cache(Win32CueFiles());
  Write("cue.wav", SmallWav());
  const auto first = cache.Lookup(Path("cue.wav"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.Lookup(Path("cue.wav")), first);  // the same file is not read again
  EXPECT_EQ(cache.Reads(), 1u);
  Write("cue.wav", Bytes{'R', 'I', 'F', 'F', 0, 0});  // now malformed
  EXPECT_EQ(cache.Lookup(Path("cue.wav")), nullptr);
  fs::remove(dir_ / "cue.wav");
  EXPECT_EQ(cache.Lookup(Path("cue.wav")), nullptr);
}

}  // namespace
}  // namespace kromi
