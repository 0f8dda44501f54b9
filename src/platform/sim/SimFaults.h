// One-shot faults of a simulated service: a test arms one, the next call of that kind fails.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace platform::sim {

template <class TOp> class TSimFaults {
public:
  void FailNext(TOp AOp, uint32_t ACode) {
    std::lock_guard<std::mutex> Guard(FLock);
    FFaults[AOp] = ACode;
  }

  // The armed code for AOp, disarmed; 0 when none is armed.
  uint32_t Take(TOp AOp) {
    std::lock_guard<std::mutex> Guard(FLock);
    auto Fault = FFaults.find(AOp);
    if (Fault == FFaults.end()) {
      return 0;
    }
    const uint32_t Code = Fault->second;
    FFaults.erase(Fault);
    return Code;
  }

private:
  std::mutex FLock;
  std::map<TOp, uint32_t> FFaults;
};

} // namespace platform::sim
