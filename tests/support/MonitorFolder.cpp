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

TOwnStoreTest::TOwnStoreTest(const std::string& AProfilePrefix)
    : FBackend(MakeTestPlatform("Win32")), FProfileFolder(UniqueName(AProfilePrefix)) {}

TOwnStoreTest::~TOwnStoreTest() {
  std::error_code Ignored;
  fs::remove_all(Path(Documents()), Ignored);
}

fs::path TOwnStoreTest::Path(const std::string& AUtf8) {
  return fs::path(ToWide(AUtf8));
}

std::string TOwnStoreTest::Documents() {
  return rtl::IncludeTrailingPathDelimiter(FBackend->Platform().Environment.DocumentsFolder()) +
         FProfileFolder;
}

std::string TOwnStoreTest::StoreOptions() const {
  // The programs put "software\" in front of the key they are given.
  return "[options]\r\nProfileRegFolder=" + FBackend->KeyPath().substr(sizeof("software\\") - 1) +
         "\r\nprofileFolder=" + FProfileFolder + "\r\n";
}

TMonitorFolderTest::TMonitorFolderTest() {
  FFolder = FBackend->Folder() + "Tarn Monitor\\";
  fs::copy(ProgramFolder().parent_path() / "program", Path(FFolder), fs::copy_options::recursive);
  fs::copy_file(ProgramFolder() / "desktop_peer.exe", Path(FFolder + app::cConfigProgramFile));
  std::ofstream(Path(FFolder + "config.ini")) << "\xEF\xBB\xBF" << StoreOptions();
}

TMonitorFolderTest::~TMonitorFolderTest() {
  PressEscape();
  SetCursorPos(cPointerAway.x, cPointerAway.y);
  // Closed as a user's logoff closes them, so that their tray icons go with them.
  for (TProcess& Process : FProcesses) {
    Process.Close(Desktop(), ToWide(app::cMainWindowClass));
  }
}

std::size_t TMonitorFolderTest::Start(const std::wstring& AProgram) {
  FProcesses.emplace_back(Path(FFolder) / AProgram, std::vector<TProcess::TArgument>{},
                          TProcessOptions{ProgramFolder()});
  EXPECT_TRUE(FProcesses.back().Started()) << "cannot start";
  return FProcesses.size() - 1;
}

DWORD TMonitorFolderTest::EndOf(std::size_t AIndex, int AMs) {
  return FProcesses[AIndex].End(std::chrono::milliseconds(AMs), &Desktop()).value_or(STILL_ACTIVE);
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
  PumpUntil(
      Desktop(), [] { return false; }, 3500); // the whole time
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
