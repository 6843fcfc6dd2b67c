// The game beside cue files made to hurt it.
#include <fstream>
#include <string>

#include "faults.h"

namespace kromi::e2e {
namespace {

// Cue files are untrusted: beside a copy of the game, Pot.wav claims 4 GiB of samples in a
// 108-byte file and Ny.wav is bigger than any cue may be. The game starts, moves its knobs (each
// step asks for Pot.wav), plays nothing of either, and quits as always.
TEST_F(Faults, HostileCueFilesAreSilentAndChangeNothing) {
  TempDir copy;
  const fs::path game = UnderWine() ? fs::path(EnvOrEmpty("KROMI_E2E_WINE_EXE")) : fs::path(GameProgram());
  fs::copy_file(game, copy / game.filename().string());
  for (const char* cue : {"Boom.wav", "Visa.wav"}) fs::copy_file(SoundsDir() + "/" + cue, copy / cue);
  std::string pot = ReadFile(SoundsDir() + "/Pot.wav").substr(0, 108);
  ASSERT_EQ(pot.size(), 108u);
  pot.replace(40, 4, "\xFF\xFF\xFF\xFF");  // the data chunk's size
  std::ofstream(copy / "Pot.wav", std::ios::binary) << pot;
  std::string ny = ReadFile(SoundsDir() + "/Ny.wav");
  ny.resize(600 * 1024, '\x80');  // past the largest cue the game reads
  std::ofstream(copy / "Ny.wav", std::ios::binary) << ny;

  if (UnderWine()) environment_["KROMI_E2E_WINE_EXE"] = copy / game.filename().string();
  Launch(96, UnderWine() ? GameProgram() : copy / game.filename().string());
  ExpectFirstFrame(1);
  AvoidSolvedStart();
  EXPECT_TRUE(HoldUntil(kRaiseKey[0], [&] { return KnobStep(0) >= 2; }, Limit(3000))) << "the knob stopped";
  const auto exit = Quit();
  ASSERT_TRUE(exit.has_value()) << "the game did not end on Esc";
  EXPECT_TRUE(exit->exited && exit->code == 0) << (exit->exited ? "exit " : "signal ") << exit->code;
  EXPECT_LT(CueScore("Ny.wav"), 0.5) << "the oversized Ny.wav was played";
}

}  // namespace
}  // namespace kromi::e2e
