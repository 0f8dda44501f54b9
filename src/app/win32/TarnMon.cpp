// TARNMON.EXE: the monitor over the real Win32 services.
#include "app/MouseMonitor.h"
#include "backend/win32/Win32Platform.h"

int main() {
  platform::win32::TWin32Platform Real;
  return app::MonitorMain(Real.Platform());
}
