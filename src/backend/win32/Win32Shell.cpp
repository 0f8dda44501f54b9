#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "platform/SysError.h"

namespace platform::win32 {

namespace {

// Waits for the process while dispatching what is sent to this thread: the removal query of a
// device the program restarts, another process's messages and the other threads' hand-overs
// all arrive as sent messages, and a thread that leaves them unanswered has the removal
// vetoed and its readers stalled until the program ends. Nothing posted is taken.
void WaitServingSentMessages(HANDLE AProcess) {
  for (;;) {
    MSG Message;
    PeekMessageW(&Message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    const DWORD Woken = MsgWaitForMultipleObjectsEx(1, &AProcess, INFINITE, QS_SENDMESSAGE, 0);
    if (Woken == WAIT_OBJECT_0) {
      return;
    }
    if (Woken == WAIT_FAILED) {
      WaitForSingleObject(AProcess, INFINITE);
      return;
    }
  }
}

class TWin32Shell : public IShell {
public:
  intptr_t Open(TWindowHandle AOwner, const std::string& AFile, const std::string& AFolder,
                int32_t AShowCommand) override {
    const std::wstring File = ToWide(AFile);
    const std::wstring Folder = ToWide(AFolder);
    const HINSTANCE Result =
        ShellExecuteW(reinterpret_cast<HWND>(AOwner), L"open", File.c_str(), nullptr,
                      Folder.empty() ? nullptr : Folder.c_str(), AShowCommand);
    return reinterpret_cast<intptr_t>(Result);
  }

  uint32_t RunAndWait(const std::string& AFile, const std::string& AParameters,
                      const std::string& AFolder, int32_t AShowCommand) override {
    const std::wstring File = ToWide(AFile);
    const std::wstring Parameters = ToWide(AParameters);
    const std::wstring Folder = ToWide(AFolder);
    SHELLEXECUTEINFOW Info{};
    Info.cbSize = sizeof(Info);
    // The process is kept to be waited for; failures are the caller's to report, never a
    // message box of the shell's.
    Info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI;
    Info.lpVerb = L"open";
    Info.lpFile = File.c_str();
    Info.lpParameters = Parameters.empty() ? nullptr : Parameters.c_str();
    Info.lpDirectory = Folder.empty() ? nullptr : Folder.c_str();
    Info.nShow = AShowCommand;
    if (!ShellExecuteExW(&Info)) {
      const DWORD Error = GetLastError();
      return Error != 0 ? static_cast<uint32_t>(Error) : SysError::FileNotFound;
    }
    if (Info.hProcess != nullptr) {
      WaitServingSentMessages(Info.hProcess);
      CloseHandle(Info.hProcess);
    }
    return SysError::Success;
  }
};

} // namespace

std::unique_ptr<IShell> CreateShell() {
  return std::make_unique<TWin32Shell>();
}

} // namespace platform::win32
