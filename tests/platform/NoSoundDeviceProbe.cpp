// Opens the default capture endpoint through the real audio service, for a test that runs it
// where the platform has no sound device at all. Exit code 0: the service said there is no
// recording device and gave no endpoint; 2: this machine has a recording device after all;
// 1: anything else.
#include <cstdio>

#include "backend/win32/Win32Platform.h"

int main() {
  const auto Debug = platform::win32::CreateDebugOutput();
  const auto Audio = platform::win32::CreateAudio(*Debug);
  uint32_t Error = 0;
  const auto Endpoint = Audio->OpenDefaultCaptureEndpoint(Error);
  std::printf("default capture endpoint: %s, 0x%08X\n", Endpoint ? "opened" : "none",
              static_cast<unsigned>(Error));
  if (Endpoint != nullptr) {
    return 2;
  }
  return Error == platform::E_NOTFOUND_VALUE ? 0 : 1;
}
