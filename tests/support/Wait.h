// Waiting in tests: a condition polled until it holds, within a bound, so that a test that
// waits for what never comes fails instead of hanging.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "platform/MainThread.h"

namespace test {

// What a test waits at most when it names no bound: generous, for a loaded machine.
inline constexpr std::chrono::milliseconds cWaitBound{10000};

// Polls the condition until it holds or ABound has passed; between polls AMeanwhile runs (a
// millisecond's sleep when none is given). False on timeout, for the test to assert.
inline bool WaitUntil(const std::function<bool()>& ACondition,
                      std::chrono::milliseconds ABound = cWaitBound,
                      const std::function<void()>& AMeanwhile = {}) {
  const auto Deadline = std::chrono::steady_clock::now() + ABound;
  while (!ACondition()) {
    if (std::chrono::steady_clock::now() > Deadline) {
      return false;
    }
    if (AMeanwhile) {
      AMeanwhile();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return true;
}

// The same, handling the desktop's messages between polls (what the condition waits for may
// be sent to this thread's windows).
inline bool PumpUntil(platform::IMainThread& AMainThread, const std::function<bool()>& ACondition,
                      int AMs = 5000) {
  return WaitUntil(ACondition, std::chrono::milliseconds(AMs),
                   [&] { AMainThread.WaitAndProcess(10); });
}

} // namespace test
