// Started by the hook tests from a folder of its own: creates a hook component on the real
// platform and says through its exit code whether it found the hook library, and where.
#include <windows.h>

#include <string>

#include "backend/sim/SimWorld.h"
#include "backend/win32/Win32Platform.h"
#include "hook/HookLoadProbe.h"
#include "hook/uiHook.h"

namespace {

using namespace test;

std::wstring ModuleFolder(HMODULE AModule) {
  wchar_t Buffer[MAX_PATH] = {};
  const DWORD Length = GetModuleFileNameW(AModule, Buffer, MAX_PATH);
  std::wstring Path(Buffer, Length);
  return Path.substr(0, Path.find_last_of(L"\\/") + 1);
}

int Probe() {
  platform::win32::TWin32Platform Real;
  platform::TPlatform Platform = Real.Platform();
  platform::sim::TSimDialogs Dialogs; // recorded: a message box would wait for a click
  hook::TuiHook Hook(nullptr, hook::THookServices{Platform.Libraries, Platform.Keyboard, Dialogs,
                                                  Platform.Environment});
  const HMODULE Library = GetModuleHandleW(L"uiHook.dll");
  if (!Hook.DLLLoaded()) {
    return Library == nullptr && Dialogs.MessageBoxes().size() == 1 ? cProbeNotFound : cProbeBroken;
  }
  if (Library == nullptr) {
    return cProbeBroken;
  }
  return CompareStringOrdinal(ModuleFolder(Library).c_str(), -1, ModuleFolder(nullptr).c_str(), -1,
                              TRUE) == CSTR_EQUAL
             ? cProbeLoadedBesideTheProgram
             : cProbeLoadedFromElsewhere;
}

} // namespace

int main() {
  try {
    return Probe();
  } catch (...) {
    return cProbeBroken;
  }
}
