// The main thread's message loop and its end.
//
// Each method's comment says, where it applies and in this order: who calls it and on which
// thread; whether it blocks and on what; what failure looks like; who owns what it hands back.
#pragma once

#include <cstdint>

namespace platform {

class IMessageLoop {
public:
  virtual ~IMessageLoop() = default;
  // Main thread: the message loop, handling messages, timers and hand-overs as they come.
  // Blocks until Quit; returns the exit code given to Quit.
  virtual int32_t RunMessageLoop() = 0;
  // Any thread: ends the message loop once the messages already posted are handled (timers
  // due after that no longer fire). Does not wait for the loop to end; a Quit before the loop
  // runs ends the next loop.
  virtual void Quit(int32_t AExitCode) = 0;
};

} // namespace platform
