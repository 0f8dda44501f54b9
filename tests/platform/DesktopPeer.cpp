// Started by the desktop tests as another process of the session: it looks at what the test
// process made (a mutex, a main window) through the same backend, or shows that the shell
// started it in the folder asked for.
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <fstream>
#include <string>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "platform/DesktopPeer.h"

namespace {

using namespace test;

int Run(const std::vector<std::string>& AArgs) {
  platform::win32::TWin32Platform Real;
  platform::INamedMutexes& Mutexes = Real.Platform().Desktop;
  platform::ISessionWindows& Session = Real.Platform().Desktop;
  if (AArgs.empty()) {
    std::ofstream(cPeerStartedFile) << "started";
    return 0;
  }
  if (AArgs[0] == "mutex" && AArgs.size() == 2) {
    return Mutexes.NamedMutexExists(AArgs[1]) ? cPeerMutexPresent : cPeerMutexAbsent;
  }
  if (AArgs[0] == "send" && AArgs.size() == 3) {
    const platform::TWindowHandle Window = Session.FindTopLevelWindow(AArgs[1]);
    if (Window == 0) {
      return cPeerNoWindow;
    }
    intptr_t Answer = 0;
    const platform::TSendResult Result =
        Session.SendWindowMessage(Window, cPeerQuestion, std::stoul(AArgs[2]), 0, Answer);
    return Result == platform::TSendResult::Sent ? static_cast<int>(Answer)
                                                 : cPeerSendFailed + static_cast<int>(Result);
  }
  if (AArgs[0] == "ask" && AArgs.size() == 3) {
    const platform::TWindowHandle Window = Session.FindTopLevelWindow(AArgs[1]);
    if (Window == 0) {
      return cPeerNoWindow;
    }
    DWORD_PTR Answer = 0;
    return SendMessageTimeoutW(reinterpret_cast<HWND>(Window), cPeerQuestion, std::stoul(AArgs[2]),
                               0, SMTO_NORMAL, cPeerAskTimeoutMs, &Answer)
               ? static_cast<int>(Answer)
               : cPeerSendFailed;
  }
  return cPeerBroken;
}

} // namespace

int main() {
  try {
    int Count = 0;
    wchar_t** Words = CommandLineToArgvW(GetCommandLineW(), &Count);
    std::vector<std::string> Args;
    for (int Index = 1; Words != nullptr && Index < Count; ++Index) {
      Args.push_back(platform::win32::FromWide(Words[Index]));
    }
    LocalFree(Words);
    return Run(Args);
  } catch (...) {
    return cPeerBroken;
  }
}
