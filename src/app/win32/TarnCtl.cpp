// TARNCTL.EXE: the profile tool over the real Win32 services it uses. Only those: the whole
// platform of the monitor would bind HID, audio, the hook library and the rest for a run that
// lasts a moment and touches none of them.
#include <exception>

#include "app/ctl/ProfileTool.h"
#include "backend/win32/Win32Console.h"
#include "backend/win32/Win32Platform.h"

int main() {
  using namespace platform::win32;
  const std::unique_ptr<std::ostream> Out = OpenStandardStream(TStandardStream::Output);
  const std::unique_ptr<std::ostream> Err = OpenStandardStream(TStandardStream::Error);
  try {
    const auto Registry = CreateRegistry();
    const auto Files = CreateFileSystem();
    const auto Environment = CreateEnvironment();
    const auto Clock = CreateClock();
    const auto Locale = CreateLocale();
    const auto Debug = CreateDebugOutput();
    // Finds a running monitor or configuration program and posts to it; it holds nothing but
    // its own message-only window.
    const auto Desktop = CreateDesktopService(*Debug);
    return ctl::RunProfileTool(
        CommandLineArguments(),
        {*Registry, *Files, *Environment, *Clock, *Locale, *Desktop, *Desktop}, {*Out, *Err});
  } catch (const std::exception& AError) {
    *Err << ctl::cToolName << ": " << AError.what() << "\n";
    return ctl::cToolFailed;
  }
}
