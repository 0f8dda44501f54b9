// The main thread: the thread that created the desktop service. Other threads hand work over
// to it and wait until it has run; it handles its messages, timers and hand-overs when asked.
//
// Each method's comment says, where it applies and in this order: who calls it and on which
// thread; whether it blocks and on what; what failure looks like; who owns what it hands back.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace platform {

class IMainThread {
public:
  virtual ~IMainThread() = default;
  // Another thread: runs AWork on the main thread. On the main thread itself it runs at once.
  // Blocks until AWork has run: the main thread runs hand-overs whenever it handles messages
  // or waits for hand-overs (this interface, the message loop, a send that waits).
  // A hand-over always completes: what AWork throws is caught on the main thread and thrown
  // again here, on the calling thread.
  virtual void Synchronize(const std::function<void()>& AWork) = 0;
  // Main thread: handles every pending message, timer and hand-over, then returns; does not
  // wait for more.
  virtual void ProcessMessages() = 0;
  // Main thread: blocks until a message, timer or hand-over is pending or AMilliseconds
  // passed, then handles what is pending.
  virtual void WaitAndProcess(uint32_t AMilliseconds) = 0;
  // Main thread: blocks until a hand-over is pending or AMilliseconds passed, then runs the
  // pending hand-overs and nothing else (no posted message, no timer), so that a stop waiting
  // for threads cannot re-enter the component that is stopping.
  virtual void WaitForHandOvers(uint32_t AMilliseconds) = 0;
  // Main thread: true while a hand-over from AThread is running on the main thread's stack;
  // that thread waits for the main thread, so the main thread must never wait for it.
  virtual bool RunningHandOverFrom(std::thread::id AThread) = 0;
  // Any thread: whether it is the main thread.
  virtual bool IsMainThread() = 0;
};

// Main thread: waits until ADone() holds, running the hand-overs of the threads it waits for
// (one of them may be blocked handing a report over).
template <class TDone> void WaitServingHandOvers(IMainThread& AMainThread, TDone ADone) {
  while (!ADone()) {
    AMainThread.WaitForHandOvers(1);
  }
}

} // namespace platform
