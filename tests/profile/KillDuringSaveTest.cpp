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

#include "support/SaveLoop.h"
#include "support/Session.h"
#include "support/TestHost.h"
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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
  const auto WaitForTheLoop = [&] {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(Saving, Ignored) && std::chrono::steady_clock::now() < Deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(AMs));
  };
#ifdef _WIN32
  const std::wstring Program = (test::ProgramFolder() / L"save_loop.exe").wstring();
  std::wstring CommandLine = L"\"" + Program + L"\" \"" + APath.wstring() + L"\"";
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  PROCESS_INFORMATION Process{};
  ASSERT_EQ(test::StartProcess(Program, CommandLine, CREATE_NO_WINDOW, Startup, Process), 0u)
      << "the save loop did not start";
  WaitForTheLoop();
  TerminateProcess(Process.hProcess, 9);
  WaitForSingleObject(Process.hProcess, INFINITE);
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
#else
  const std::string Program = (test::ProgramFolder() / "save_loop").string();
  const std::string Target = APath.string();
  char* const Arguments[] = {const_cast<char*>(Program.c_str()), const_cast<char*>(Target.c_str()),
                             nullptr};
  pid_t Child = 0;
  ASSERT_EQ(posix_spawn(&Child, Program.c_str(), nullptr, nullptr, Arguments, environ), 0);
  WaitForTheLoop();
  kill(Child, SIGKILL);
  int Status = 0;
  waitpid(Child, &Status, 0);
#endif
}

TEST(KillDuringSave, TheStoreIsAlwaysTheOldOrTheNewRecord) {
  const fs::path Folder = fs::temp_directory_path() / test::UniqueName("kill-during-save-");
  fs::create_directories(Folder);
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
  std::error_code Ignored;
  fs::remove_all(Folder, Ignored);
}

} // namespace
