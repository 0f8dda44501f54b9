// A virtual clock: time moves only when a test advances it or the system sleeps. One clock
// serves every simulated process of a session.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/Clock.h"
#include "rtl/Mutex.h"

namespace platform::sim {

class TSimClock : public IClock {
public:
  uint64_t TickCount() override;
  rtl::TDateTime Now() override;
  void SleepMs(uint32_t AMilliseconds) override;

  void Advance(uint64_t AMilliseconds);
  void SetNow(rtl::TDateTime ANow);
  // Milliseconds slept through SleepMs.
  uint64_t SleptMs() const;

private:
  mutable rtl::TMutex FLock;
  uint64_t FTicks = 1000;
  uint64_t FSlept = 0;
  rtl::TDateTime FNow = 46023.5; // 2026-01-01 12:00
};

} // namespace platform::sim
