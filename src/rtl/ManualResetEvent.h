// A manual-reset event: once set it stays set, and every waiter wakes, until it is reset.
// Listeners registered with AddSetListener run on the setting thread each time the event
// goes from clear to set; a backend uses them to wake waits it makes on its own objects.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <vector>

#include "rtl/Mutex.h"

namespace rtl {

class TManualResetEvent {
public:
  static constexpr uint32_t cInfinite = 0xFFFFFFFFu;
  using TSetListener = std::function<void()>;

  explicit TManualResetEvent(bool AInitiallySet = false) : FSet(AInitiallySet) {}

  void Set() MONITOR_EXCLUDES(FCallLock, FLock);
  void Reset() MONITOR_EXCLUDES(FLock);
  bool IsSet() const MONITOR_EXCLUDES(FLock);
  // True when the event is set within ATimeoutMs milliseconds of real time.
  bool WaitFor(uint32_t ATimeoutMs = cInfinite) const MONITOR_EXCLUDES(FLock);

  int AddSetListener(TSetListener AListener) MONITOR_EXCLUDES(FLock);
  // When this returns the listener is not running and will not run again. Do not call it
  // while holding a lock that the listener takes.
  void RemoveSetListener(int AToken) MONITOR_EXCLUDES(FCallLock, FLock);

private:
  mutable TMutex FLock;
  // Held while listeners run, so that a removal waits for a call in flight.
  TMutex FCallLock MONITOR_ACQUIRED_BEFORE(FLock);
  mutable std::condition_variable FChanged;
  bool FSet MONITOR_GUARDED_BY(FLock);
  int FNextToken MONITOR_GUARDED_BY(FLock) = 1;
  std::vector<std::pair<int, TSetListener>> FListeners MONITOR_GUARDED_BY(FLock);
};

// Blocks until one of the events is set; returns the index of the first one found set.
std::size_t WaitForAnyEvent(std::initializer_list<TManualResetEvent*> AEvents);

} // namespace rtl
