// One-shot faults of a simulated service: a test arms one, the next call of that kind fails;
// or it arms several in a row, each after a number of calls that succeed.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

#include "rtl/Mutex.h"

namespace platform::sim {

template <class TOp> class TSimFaults {
public:
  // Replaces what was armed for AOp.
  void FailNext(TOp AOp, uint32_t ACode) {
    rtl::TLockGuard Guard(FLock);
    FFaults[AOp] = {{0, ACode}};
  }
  // After what is armed for AOp already, ASucceeding calls succeed and the next fails.
  void FailAfter(TOp AOp, int ASucceeding, uint32_t ACode) {
    rtl::TLockGuard Guard(FLock);
    FFaults[AOp].push_back({ASucceeding, ACode});
  }

  // The code the call fails with, disarmed; 0 when it succeeds.
  uint32_t Take(TOp AOp) {
    rtl::TLockGuard Guard(FLock);
    auto Fault = FFaults.find(AOp);
    if (Fault == FFaults.end() || Fault->second.empty()) {
      return 0;
    }
    TFault& Next = Fault->second.front();
    if (Next.Succeeding > 0) {
      --Next.Succeeding;
      return 0;
    }
    const uint32_t Code = Next.Code;
    Fault->second.pop_front();
    return Code;
  }

private:
  struct TFault {
    int Succeeding;
    uint32_t Code;
  };
  rtl::TMutex FLock;
  std::map<TOp, std::deque<TFault>> FFaults;
};

} // namespace platform::sim
