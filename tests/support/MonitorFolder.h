// The monitor's folder as a user has it, for tests that run the shipped programs in processes
// of their own under the real session (Windows only).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/SessionWindows.h"
#include "support/Process.h"
#include "support/TestPlatform.h"

namespace test {

// The monitor's tray hint in the shipped language file's first language and in its second,
// Simplified Chinese.
inline const std::wstring cEnglishHint = L"GAMING MOUSE DRIVER";
inline constexpr uint8_t cSimplifiedChinese = 1;
inline const std::wstring cChineseHint = L"\u6E38\u620F\u9F20\u6807\u9A71\u52A8";

// A test of the shipped programs under the real session whose profile store is apart from
// every other test's: the test's own registry key and a profile folder of its own in
// Documents (by default with a name that is not ASCII), removed at the end.
class TOwnStoreTest : public ::testing::Test {
protected:
  explicit TOwnStoreTest(
      const std::string& AProfilePrefix = "Profiles \xC5\x91\xE9\xBC\xA0\xE6\xA0\x87 ");
  ~TOwnStoreTest() override;

  static std::filesystem::path Path(const std::string& AUtf8);
  // The profile folder (no trailing delimiter).
  std::string Documents();
  // The store's key below HKEY_CURRENT_USER.
  const std::string& StoreKey() const { return FBackend->KeyPath(); }
  // The store's options as the first "options" section of a "config.ini" (the first section
  // of a name is the one read).
  std::string StoreOptions() const;
  platform::IDesktop& Desktop() { return FBackend->Platform().Desktop; }

  std::unique_ptr<TTestPlatform> FBackend;
  std::string FProfileFolder;
};

// The build's program folder copied below the test's own folder (a name with a space, below a
// folder whose name is not ASCII), TARNCFG.EXE beside it (the desktop peer, which leaves a file
// where it ran), and a "config.ini" (UTF-8 with its mark) with the store's options. What the
// test started and still runs at the end is closed as a logoff closes it, or ended.
class TMonitorFolderTest : public TOwnStoreTest {
protected:
  TMonitorFolderTest();
  ~TMonitorFolderTest() override;

  // Starts a program of the folder with another working folder than its own; the process's
  // index.
  std::size_t Start(const std::wstring& AProgram = L"TARNMON.EXE");
  DWORD Id(std::size_t AIndex) const { return FProcesses[AIndex].Id(); }
  // The exit code once the process has ended within AMs, else STILL_ACTIVE. Messages sent
  // from there are answered meanwhile.
  DWORD EndOf(std::size_t AIndex, int AMs);
  HWND MainWindowOf(std::size_t AIndex);
  // Waits until the monitor has made its first device check (3 s after its start), so that
  // what the test does meets it idle.
  void LetItSettle();

  // The program folder, with its delimiter (UTF-8).
  std::string FFolder;
  std::vector<TProcess> FProcesses;
};

// The configuration program's main window, recording what the monitor sends it.
struct TConfigWindow {
  std::vector<uint32_t> Received;
  platform::TWindowHandle Handle = 0;
  explicit TConfigWindow(platform::ISessionWindows& ASession);
};

} // namespace test
