#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

namespace platform::win32 {

namespace {

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
};

} // namespace

std::unique_ptr<IShell> CreateShell() {
  return std::make_unique<TWin32Shell>();
}

} // namespace platform::win32
