#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "rtl/Paths.h"

namespace platform::win32 {

namespace {

using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
using TGetNativeSystemInfo = void(WINAPI*)(LPSYSTEM_INFO);
using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);

template <class T> T KernelExport(const wchar_t* AModule, const char* AName) {
  const HMODULE Module = GetModuleHandleW(AModule);
  return Module != nullptr
             ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(Module, AName)))
             : nullptr;
}

class TWin32SystemInfo : public ISystemInfo {
public:
  std::string WindowsFolder() override {
    // The system's own folder, not a terminal-server user's private Windows folder: drivers
    // live there.
    wchar_t Buffer[MAX_PATH];
    const UINT Length = GetSystemWindowsDirectoryW(Buffer, MAX_PATH);
    if (Length == 0 || Length >= MAX_PATH) {
      return std::string();
    }
    return rtl::ExcludeTrailingPathDelimiter(FromWide(std::wstring_view(Buffer, Length)));
  }

  TSystemFacts Facts() override {
    TSystemFacts Facts;
    Facts.Process64Bit = sizeof(void*) == 8;
    const auto IsWow64 = KernelExport<TIsWow64Process>(L"kernel32.dll", "IsWow64Process");
    const auto NativeInfo =
        KernelExport<TGetNativeSystemInfo>(L"kernel32.dll", "GetNativeSystemInfo");
    Facts.IsWow64ProcessBound = IsWow64 != nullptr;
    Facts.NativeSystemInfoBound = NativeInfo != nullptr;
    BOOL Wow64 = FALSE;
    Facts.UnderWow64 = IsWow64 != nullptr && IsWow64(GetCurrentProcess(), &Wow64) && Wow64;
    SYSTEM_INFO Info{};
    if (NativeInfo != nullptr) {
      NativeInfo(&Info);
    } else {
      GetSystemInfo(&Info);
    }
    Facts.NativeArchitecture = Info.wProcessorArchitecture;
    // The kernel's own call tells the true version, whatever the manifest allows.
    OSVERSIONINFOEXW Version{};
    Version.dwOSVersionInfoSize = sizeof(Version);
    const auto GetVersion = KernelExport<TRtlGetVersion>(L"ntdll.dll", "RtlGetVersion");
    if (GetVersion != nullptr && GetVersion(reinterpret_cast<OSVERSIONINFOW*>(&Version)) == 0) {
      Facts.NtFamily = Version.dwPlatformId == VER_PLATFORM_WIN32_NT;
      Facts.Version = {Version.dwMajorVersion, Version.dwMinorVersion, Version.dwBuildNumber};
      Facts.ProductType = Version.wProductType;
    }
    Facts.ServerR2 = GetSystemMetrics(SM_SERVERR2);
    return Facts;
  }
};

} // namespace

std::unique_ptr<ISystemInfo> CreateSystemInfo() {
  return std::make_unique<TWin32SystemInfo>();
}

} // namespace platform::win32
