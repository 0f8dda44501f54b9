#include "support/MonitorFolder.h"

#include <chrono>
#include <fstream>

#include "app/ConfigProgramProtocol.h"
#include "backend/win32/Win32Text.h"
#include "platform/DesktopPeer.h"
#include "rtl/Paths.h"
#include "support/Session.h"
#include "support/TestHost.h"

namespace test {

namespace fs = std::filesystem;
using platform::win32::ToWide;

TMonitorFolderTest::TMonitorFolderTest() : FBackend(MakeTestPlatform("Win32")) {
  FFolder = FBackend->Folder() + "Tarn Monitor\\";
  fs::copy(ProgramFolder().parent_path() / "program", Path(FFolder), fs::copy_options::recursive);
  fs::copy_file(ProgramFolder() / "desktop_peer.exe", Path(FFolder + app::cConfigProgramFile));
  FProfileFolder = UniqueName("Profiles \xC5\x91\xE9\xBC\xA0\xE6\xA0\x87 ");
  // The programs put "software\" in front of the key they are given.
  std::ofstream(Path(FFolder + "config.ini"))
      << "\xEF\xBB\xBF[options]\nProfileRegFolder="
      << FBackend->KeyPath().substr(sizeof("software\\") - 1)
      << "\nprofileFolder=" << FProfileFolder << "\n";
}

TMonitorFolderTest::~TMonitorFolderTest() {
  PressEscape();
  SetCursorPos(cPointerAway.x, cPointerAway.y);
  for (PROCESS_INFORMATION& Process : FProcesses) {
    // Closed as a user's logoff closes it, so that its tray icon goes with it; ended by
    // force only when it does not end.
    for (HWND Main : WindowsOf(Process.dwProcessId, ToWide(app::cMainWindowClass))) {
      PostMessageW(Main, WM_CLOSE, 0, 0);
    }
    PumpUntil(
        Desktop(), [&] { return WaitForSingleObject(Process.hProcess, 0) == WAIT_OBJECT_0; },
        10000);
    if (WaitForSingleObject(Process.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(Process.hProcess, 1);
      WaitForSingleObject(Process.hProcess, 5000);
    }
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
  }
  std::error_code Ignored;
  fs::remove_all(Path(Documents()), Ignored);
}

fs::path TMonitorFolderTest::Path(const std::string& AUtf8) {
  return fs::path(ToWide(AUtf8));
}

std::string TMonitorFolderTest::Documents() {
  return rtl::IncludeTrailingPathDelimiter(FBackend->Platform().Environment.DocumentsFolder()) +
         FProfileFolder;
}

std::size_t TMonitorFolderTest::Start(const std::wstring& AProgram) {
  const std::wstring Program = ToWide(FFolder) + AProgram;
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  PROCESS_INFORMATION Process{};
  EXPECT_EQ(
      StartProcess(Program, L"\"" + Program + L"\"", 0, Startup, Process, ProgramFolder().c_str()),
      0u);
  FProcesses.push_back(Process);
  return FProcesses.size() - 1;
}

DWORD TMonitorFolderTest::EndOf(std::size_t AIndex, int AMs) {
  const HANDLE Process = FProcesses[AIndex].hProcess;
  PumpUntil(
      Desktop(), [&] { return WaitForSingleObject(Process, 0) == WAIT_OBJECT_0; }, AMs);
  DWORD Code = STILL_ACTIVE;
  GetExitCodeProcess(Process, &Code);
  return Code;
}

HWND TMonitorFolderTest::MainWindowOf(std::size_t AIndex) {
  HWND Main = nullptr;
  PumpUntil(
      Desktop(),
      [&] {
        const auto Found = WindowsOf(Id(AIndex), ToWide(app::cMainWindowClass));
        Main = Found.empty() ? nullptr : Found.front();
        return Main != nullptr;
      },
      20000);
  return Main;
}

void TMonitorFolderTest::LetItSettle() {
  const auto Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);
  PumpUntil(
      Desktop(), [&] { return std::chrono::steady_clock::now() >= Until; }, 4000);
}

TConfigWindow::TConfigWindow(platform::ISessionWindows& ASession) {
  Handle = ASession.CreateMainWindow(app::cConfigWindowClass,
                                     [this](platform::TWindowMessage& AMessage) {
                                       if (AMessage.Msg >= app::WM_MONITOR_RELOAD_PROFILES &&
                                           AMessage.Msg <= app::WM_CONFIG_DEVICE_EVENT_7) {
                                         Received.push_back(AMessage.Msg);
                                         return true;
                                       }
                                       return false;
                                     });
}

} // namespace test
