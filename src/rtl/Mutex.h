// A mutex and its scoped locks, annotated for clang's thread safety analysis (the standard
// library's are not): fields marked MONITOR_GUARDED_BY(AMutex) are then checked to be used
// only under it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "rtl/ThreadSafety.h"

namespace rtl {

class MONITOR_CAPABILITY("mutex") TMutex {
public:
  TMutex() = default;
  TMutex(const TMutex&) = delete;
  TMutex& operator=(const TMutex&) = delete;

  void Lock() MONITOR_ACQUIRE() { FMutex.lock(); }
  void Unlock() MONITOR_RELEASE() { FMutex.unlock(); }
  bool TryLock() MONITOR_TRY_ACQUIRE(true) { return FMutex.try_lock(); }

private:
  friend class TUniqueLock;
  std::mutex FMutex;
};

// Holds the mutex from its construction to its end.
class MONITOR_SCOPED_CAPABILITY TLockGuard {
public:
  explicit TLockGuard(TMutex& AMutex) MONITOR_ACQUIRE(AMutex) : FMutex(AMutex) { FMutex.Lock(); }
  ~TLockGuard() MONITOR_RELEASE() { FMutex.Unlock(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

private:
  TMutex& FMutex;
};

// Holds the mutex for a scope in which a condition variable is waited on. A wait lets the
// mutex go and takes it again before it returns; to the analysis it stays held throughout,
// which is what the code around the wait sees. The condition is tested by the caller, in a
// loop around the wait, where the analysis checks its fields.
class MONITOR_SCOPED_CAPABILITY TUniqueLock {
public:
  explicit TUniqueLock(TMutex& AMutex) MONITOR_ACQUIRE(AMutex) : FLock(AMutex.FMutex) {}
  ~TUniqueLock() MONITOR_RELEASE() {}
  TUniqueLock(const TUniqueLock&) = delete;
  TUniqueLock& operator=(const TUniqueLock&) = delete;

  // Lets the mutex go before the scope ends (and takes it again).
  void Unlock() MONITOR_RELEASE() { FLock.unlock(); }
  void Lock() MONITOR_ACQUIRE() { FLock.lock(); }

  void Wait(std::condition_variable& ACondition) { ACondition.wait(FLock); }
  // False once ADeadline has passed without a notification.
  bool WaitUntil(std::condition_variable& ACondition,
                 std::chrono::steady_clock::time_point ADeadline) {
    return ACondition.wait_until(FLock, ADeadline) == std::cv_status::no_timeout;
  }

private:
  std::unique_lock<std::mutex> FLock;
};

} // namespace rtl
