#include <shlobj.h>
#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "rtl/Paths.h"

namespace platform::win32 {

namespace {

using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);

class TWin32Environment : public IEnvironment {
public:
  std::string ModuleFolder() override {
    std::wstring Buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD Length =
          GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
      if (Length == 0) {
        return std::string();
      }
      if (Length < Buffer.size()) {
        Buffer.resize(Length);
        break;
      }
      Buffer.resize(Buffer.size() * 2);
    }
    return rtl::ExtractFilePath(FromWide(Buffer));
  }

  std::string DocumentsFolder() override {
    wchar_t Buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, Buffer))) {
      return std::string();
    }
    return rtl::ExcludeTrailingPathDelimiter(FromWide(Buffer));
  }

  TOsVersion OsVersion() override {
    // GetVersionEx answers what the manifest allows; the kernel's own call tells the truth.
    OSVERSIONINFOW Info{};
    Info.dwOSVersionInfoSize = sizeof(Info);
    const HMODULE Ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto GetVersion =
        Ntdll != nullptr ? reinterpret_cast<TRtlGetVersion>(
                               reinterpret_cast<void*>(GetProcAddress(Ntdll, "RtlGetVersion")))
                         : nullptr;
    if (GetVersion == nullptr || GetVersion(&Info) != 0) {
      return {};
    }
    return {Info.dwMajorVersion, Info.dwMinorVersion, Info.dwBuildNumber};
  }

  std::string AnsiToUtf8(std::string_view AText) override {
    if (AText.empty() || AText.size() > static_cast<std::size_t>(INT_MAX)) {
      return std::string();
    }
    const int Length =
        MultiByteToWideChar(CP_ACP, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
    if (Length <= 0) {
      return std::string();
    }
    std::wstring Wide(static_cast<std::size_t>(Length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, AText.data(), static_cast<int>(AText.size()), Wide.data(),
                        Length);
    return FromWide(Wide);
  }
};

} // namespace

std::unique_ptr<IEnvironment> CreateEnvironment() {
  return std::make_unique<TWin32Environment>();
}

} // namespace platform::win32
