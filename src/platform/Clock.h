// Time. Every clock read and sleep of the system goes through this service, so that the
// simulated world can run a virtual clock.
#pragma once

#include <cstdint>

#include "rtl/DateTime.h"

namespace platform {

class IClock {
public:
  virtual ~IClock() = default;
  // Monotonic milliseconds since an arbitrary start; any thread.
  virtual uint64_t TickCount() = 0;
  // Local date and time; any thread.
  virtual rtl::TDateTime Now() = 0;
  // Blocks the calling thread.
  virtual void SleepMs(uint32_t AMilliseconds) = 0;
};

} // namespace platform
