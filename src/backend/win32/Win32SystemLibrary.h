// Libraries of the system bound at run time, from the system folder only: a library of the
// same name planted beside the program or in the current folder is never loaded.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

inline HMODULE LoadSystemLibrary(const wchar_t* AName) {
  wchar_t Folder[MAX_PATH];
  const UINT Length = GetSystemDirectoryW(Folder, MAX_PATH);
  if (Length == 0 || Length >= MAX_PATH) {
    return nullptr;
  }
  const std::wstring Path = std::wstring(Folder, Length) + L"\\" + AName;
  return LoadLibraryExW(Path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// An export of AModule as a function pointer of type T; null when either is missing.
template <class T> T Resolve(HMODULE AModule, const char* AName) {
  return AModule != nullptr
             ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(AModule, AName)))
             : nullptr;
}

} // namespace platform::win32
