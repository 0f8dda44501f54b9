#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"

namespace platform::win32 {

namespace {

UINT IconFlags(TMessageBoxIcon AIcon) {
  switch (AIcon) {
  case TMessageBoxIcon::Error:
    return MB_ICONERROR;
  case TMessageBoxIcon::Warning:
    return MB_ICONWARNING;
  case TMessageBoxIcon::Information:
    return MB_ICONINFORMATION;
  case TMessageBoxIcon::Question:
    return MB_ICONQUESTION;
  case TMessageBoxIcon::None:
    break;
  }
  return 0;
}

class TWin32Dialogs : public IDialogs {
public:
  void ShowMessageBox(const std::string& AText, const std::string& ACaption,
                      TMessageBoxIcon AIcon) override {
    MessageBoxW(nullptr, ToWide(AText).c_str(), ToWide(ACaption).c_str(), MB_OK | IconFlags(AIcon));
  }
};

class TWin32DebugOutput : public IDebugOutput {
public:
  void DebugOutput(const std::string& AText) override { OutputDebugStringW(ToWide(AText).c_str()); }
};

} // namespace

std::unique_ptr<IDialogs> CreateDialogs() {
  return std::make_unique<TWin32Dialogs>();
}
std::unique_ptr<IDebugOutput> CreateDebugOutput() {
  return std::make_unique<TWin32DebugOutput>();
}

} // namespace platform::win32
