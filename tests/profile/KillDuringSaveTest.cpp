// A save interrupted by the end of the saving process, at any point: the store is then the
// old record or the new one, never a mixture or a part. The saving process is a program of
// its own (save_loop) killed a hundred times at random moments.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "support/Process.h"
#include "support/SaveLoop.h"
#include "support/TempFolder.h"
#include "support/TestHost.h"
#include "support/Wait.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> FileBytes(const fs::path& APath) {
  std::ifstream File(APath, std::ios::binary);
  return {std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
}

// Runs the save loop on APath until it has saved once and AMs milliseconds more, then kills it.
void SaveAndKill(const fs::path& APath, int AMs) {
  const fs::path Saving = APath.string() + ".saving";
  std::error_code Ignored;
  fs::remove(Saving, Ignored);
#ifdef _WIN32
  const fs::path Program = test::ProgramFolder() / L"save_loop.exe";
  test::TProcess Loop(Program, {L"\"" + APath.wstring() + L"\""});
#else
  test::TProcess Loop(test::ProgramFolder() / "save_loop", {APath.native()});
#endif
  ASSERT_TRUE(Loop.Started()) << "the save loop did not start";
  test::WaitUntil([&] { return fs::exists(Saving, Ignored); }, std::chrono::seconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(AMs));
  Loop.Kill();
}

TEST(KillDuringSave, TheStoreIsAlwaysTheOldOrTheNewRecord) {
  const test::TTempFolder Folder("kill-during-save-");
  const fs::path Store = Folder / "ZQProfile1.pfd";
  const std::vector<uint8_t> Records[2] = {test::SavedRecord(0), test::SavedRecord(1)};
  std::ofstream(Store, std::ios::binary)
      .write(reinterpret_cast<const char*>(Records[0].data()),
             static_cast<std::streamsize>(Records[0].size()));
  std::mt19937 Random(20261209);
  int Changed = 0;
  std::vector<uint8_t> Last = Records[0];
  for (int Kill = 0; Kill < 100; ++Kill) {
    SaveAndKill(Store, static_cast<int>(Random() % 20));
    const std::vector<uint8_t> Now = FileBytes(Store);
    ASSERT_TRUE(Now == Records[0] || Now == Records[1])
        << "kill " << Kill << ": " << Now.size() << " bytes of neither record";
    Changed += Now != Last;
    Last = Now;
  }
  // The positive control: the loop did save between the kills.
  EXPECT_GT(Changed, 0);
}

} // namespace
