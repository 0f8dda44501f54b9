// Time. Every clock read and sleep of the system goes through this service, so that the
// simulated world can run a virtual clock.
#pragma once

#include <cstdint>

#include "rtl/DateTime.h"

namespace platform {

class IClock {
public:
  virtual ~IClock() = default;
  // Any thread, never blocks, never fails: monotonic milliseconds since an arbitrary start
  // (the platform's tick, about 10-16 ms coarse; the simulated clock moves only when a test
  // advances it or a thread sleeps).
  virtual uint64_t TickCount() = 0;
  // Any thread, never blocks, never fails: local date and time.
  virtual rtl::TDateTime Now() = 0;
  // Any thread: blocks the calling thread for about AMilliseconds, handling no messages. The
  // simulated clock returns at once, its time moved on by AMilliseconds (a loop that polls
  // with sleeps spins there without rest).
  virtual void SleepMs(uint32_t AMilliseconds) = 0;
};

} // namespace platform
