// What kind of Windows the program runs on, and where it lives.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Environment.h"

namespace platform {

// Native processor architectures and product types, by the platform's numbers.
inline constexpr uint16_t cProcessorArchitectureIntel = 0;
inline constexpr uint16_t cProcessorArchitectureIa64 = 6;
inline constexpr uint16_t cProcessorArchitectureAmd64 = 9;
inline constexpr uint8_t cProductWorkstation = 1;

struct TSystemFacts {
  // This program is a 64-bit build (which runs only on 64-bit Windows).
  bool Process64Bit = false;
  // The kernel library offers IsWow64Process and GetNativeSystemInfo.
  bool IsWow64ProcessBound = false;
  bool NativeSystemInfoBound = false;
  // This process runs under the 32-bit emulation layer of 64-bit Windows.
  bool UnderWow64 = false;
  // The native system information's processor architecture where the kernel offers it,
  // otherwise the process's own.
  uint16_t NativeArchitecture = cProcessorArchitectureIntel;
  bool NtFamily = false;
  TOsVersion Version;
  // The system metric that tells Windows Server 2003 R2 (0 elsewhere).
  int32_t ServerR2 = 0;
  // The extended version information's product type.
  uint8_t ProductType = 0;
};

// Any thread; every call returns at once and hands back a copy.
class ISystemInfo {
public:
  virtual ~ISystemInfo() = default;
  // The system's own Windows folder (not a terminal-server user's private one: drivers live
  // there), without a trailing delimiter; "" when it cannot be found.
  virtual std::string WindowsFolder() = 0;
  // Never fails: what the kernel does not tell keeps the defaults above (a version of zeros,
  // NtFamily false).
  virtual TSystemFacts Facts() = 0;
};

} // namespace platform
