// Where a test program runs: the folder it was started from, and whether the Windows services
// are Wine's. What a test needs from the build is found from its program's folder, so that the
// test bundle runs wherever it is unpacked; where Wine is known to differ from Windows, a test
// takes the path that shows Windows' behaviour when it runs on Windows.
#pragma once

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

namespace test {

inline std::filesystem::path ProgramFolder() {
#ifdef _WIN32
  wchar_t Module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, Module, MAX_PATH);
  return std::filesystem::path(Module).parent_path();
#else
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

inline bool UnderWine() {
#ifdef _WIN32
  const HMODULE Ntdll = GetModuleHandleW(L"ntdll.dll");
  return Ntdll != nullptr && GetProcAddress(Ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

} // namespace test
