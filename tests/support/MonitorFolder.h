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
#include "support/TestPlatform.h"

namespace test {

// The monitor's tray hint in the shipped language file's first language and in its second,
// Simplified Chinese.
inline const std::wstring cEnglishHint = L"GAMING MOUSE DRIVER";
inline constexpr uint8_t cSimplifiedChinese = 1;
inline const std::wstring cChineseHint = L"\u6E38\u620F\u9F20\u6807\u9A71\u52A8";

// The build's program folder copied below the test's own folder (a name with a space, below a
// folder whose name is not ASCII), TARNCFG.EXE beside it (the desktop peer, which leaves a file
// where it ran), and a "config.ini" (UTF-8 with its mark) that keeps the profile store apart
// from every other test's: the test's own registry key and a profile folder in Documents whose
// name is not ASCII either. What the test started and still runs at the end is closed as a
// logoff closes it, or ended; the profile folder goes.
class TMonitorFolderTest : public ::testing::Test {
protected:
  TMonitorFolderTest();
  ~TMonitorFolderTest() override;

  static std::filesystem::path Path(const std::string& AUtf8);
  // The profile folder (no trailing delimiter).
  std::string Documents();
  // The store's key below HKEY_CURRENT_USER.
  const std::string& StoreKey() const { return FBackend->KeyPath(); }
  platform::IDesktop& Desktop() { return FBackend->Platform().Desktop; }

  // Starts a program of the folder with another working folder than its own; the process's
  // index.
  std::size_t Start(const std::wstring& AProgram = L"TARNMON.EXE");
  DWORD Id(std::size_t AIndex) const { return FProcesses[AIndex].dwProcessId; }
  // The exit code once the process has ended within AMs, else STILL_ACTIVE. Messages sent
  // from there are answered meanwhile.
  DWORD EndOf(std::size_t AIndex, int AMs);
  HWND MainWindowOf(std::size_t AIndex);
  // Waits until the monitor has made its first device check (3 s after its start), so that
  // what the test does meets it idle.
  void LetItSettle();

  std::unique_ptr<TTestPlatform> FBackend;
  // The program folder, with its delimiter (UTF-8).
  std::string FFolder;
  std::string FProfileFolder;
  std::vector<PROCESS_INFORMATION> FProcesses;
};

// The configuration program's main window, recording what the monitor sends it.
struct TConfigWindow {
  std::vector<uint32_t> Received;
  platform::TWindowHandle Handle = 0;
  explicit TConfigWindow(platform::ISessionWindows& ASession);
};

} // namespace test
