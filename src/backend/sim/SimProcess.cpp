#include "backend/sim/SimProcess.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace platform::sim {

#ifdef _WIN32

long SimProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}

bool SimProcessEnded(long AProcessId) {
  const HANDLE Process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(AProcessId));
  if (Process == nullptr) {
    return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
  }
  const bool Ended = WaitForSingleObject(Process, 0) == WAIT_OBJECT_0;
  CloseHandle(Process);
  return Ended;
}

#else

long SimProcessId() {
  return static_cast<long>(getpid());
}

bool SimProcessEnded(long AProcessId) {
  return kill(static_cast<pid_t>(AProcessId), 0) != 0 && errno == ESRCH;
}

#endif

} // namespace platform::sim
