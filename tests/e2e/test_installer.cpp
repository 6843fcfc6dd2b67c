// The Windows installer under Wine, as a Windows user meets it: installed silently, the installed
// Kromi.exe played, then uninstalled silently, with nothing left behind.
#include <filesystem>

#include "game_fixture.h"

namespace kromi::e2e {
namespace {

namespace fs = std::filesystem;

class WineInstaller : public GameTest {
 protected:
  // Runs a Windows program to its end in the suite's prefix.
  static Exit RunWindows(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/lib/wine/wine64"};
    argv.insert(argv.end(), args.begin(), args.end());
    Process program(argv, ToEnvList(CurrentEnvironment()));
    const auto exit = program.WaitExit(milliseconds(60000));
    if (!exit) throw std::runtime_error(args[0] + " did not finish within a minute");
    return *exit;
  }
  static std::string Drive() { return EnvOrEmpty("WINEPREFIX") + "/drive_c"; }
  static bool UninstallEntry() {
    return RunWindows({"reg", "query", R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kromi)"}).code == 0;
  }
};

TEST_F(WineInstaller, InstallsPlaysAndLeavesNothingBehind) {
  if (!UnderWine()) GTEST_SKIP() << "only Kromi.exe has an installer";
  const std::string installer = EnvOrEmpty("KROMI_E2E_WINE_INSTALLER");
  if (!fs::exists(installer)) GTEST_SKIP() << installer << " is not built (scripts/windows builds it)";
  const fs::path dir = Drive() + "/Program Files/Kromi";
  const fs::path shortcut = Drive() + "/ProgramData/Microsoft/Windows/Start Menu/Programs/Kromi/Kromi.lnk";

  const Exit installed = RunWindows({installer, "/S"});
  ASSERT_TRUE(installed.exited && installed.code == 0) << "installer exit " << installed.code;
  for (const char* file : {"Kromi.exe", "Ny.wav", "Pot.wav", "Boom.wav", "Visa.wav"}) {
    EXPECT_TRUE(fs::is_regular_file(dir / file)) << file << " is not in Program Files\\Kromi";
  }
  EXPECT_TRUE(fs::exists(shortcut)) << "no Start-menu shortcut";
  EXPECT_TRUE(UninstallEntry()) << "no entry under Add or Remove Programs";

  // The installed game, from its own folder, with its own cues.
  environment_["KROMI_E2E_WINE_EXE"] = (dir / "Kromi.exe").string();
  Launch();
  ExpectFirstFrame(1);
  Pause(milliseconds(600));
  const auto exit = Quit();
  ASSERT_TRUE(exit.has_value() && exit->exited && exit->code == 0) << "the installed game did not end on Esc";
  EXPECT_GT(CueScore("Ny.wav"), 0.9) << "the installed game's Ny.wav was not heard";

  // The uninstaller copies itself away and returns at once; its work follows, the program folder
  // before the Start-menu folder and the registry, so the wait is for all of it.
  const Exit removed = RunWindows({R"(C:\Program Files\Kromi\Uninstall.exe)", "/S"});
  EXPECT_TRUE(removed.exited && removed.code == 0) << "uninstaller exit " << removed.code;
  WaitUntil([&] { return !fs::exists(dir) && !fs::exists(shortcut.parent_path()) && !UninstallEntry(); },
            milliseconds(20000), milliseconds(200));
  EXPECT_FALSE(fs::exists(dir)) << dir << " is still there";
  EXPECT_FALSE(fs::exists(shortcut.parent_path())) << "the Start-menu folder is still there";
  EXPECT_FALSE(UninstallEntry()) << "the entry under Add or Remove Programs is still there";
}

}  // namespace
}  // namespace kromi::e2e
