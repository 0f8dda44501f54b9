// Built on purpose without the protections of the shipped binaries, without a version and for
// Windows 8, with a static import that Windows 7 lacks: the hardening check must flag each.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include <windows.h>

int main() {
  FILETIME Now{};
  GetSystemTimePreciseAsFileTime(&Now);
  return static_cast<int>(Now.dwLowDateTime & 1);
}
