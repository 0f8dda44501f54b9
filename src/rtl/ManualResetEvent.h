// A manual-reset event: once set it stays set, and every waiter wakes, until it is reset.
// Listeners registered with AddSetListener run on the setting thread each time the event
// goes from clear to set; a backend uses them to wake waits it makes on its own objects.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace rtl {

class TManualResetEvent {
public:
  static constexpr uint32_t cInfinite = 0xFFFFFFFFu;
  using TSetListener = std::function<void()>;

  explicit TManualResetEvent(bool AInitiallySet = false) : FSet(AInitiallySet) {}

  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event is set within ATimeoutMs milliseconds of real time.
  bool WaitFor(uint32_t ATimeoutMs = cInfinite) const;

  int AddSetListener(TSetListener AListener);
  // When this returns the listener is not running and will not run again. Do not call it
  // while holding a lock that the listener takes.
  void RemoveSetListener(int AToken);

private:
  mutable std::mutex FLock;
  // Held while listeners run, so that a removal waits for a call in flight.
  std::mutex FCallLock;
  mutable std::condition_variable FChanged;
  bool FSet;
  int FNextToken = 1;
  std::vector<std::pair<int, TSetListener>> FListeners;
};

// Blocks until one of the events is set; returns the index of the first one found set.
std::size_t WaitForAnyEvent(std::initializer_list<TManualResetEvent*> AEvents);

} // namespace rtl
