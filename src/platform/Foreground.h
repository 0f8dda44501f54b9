// The window in front: told when it changes, and the program it belongs to.
//
// Each method's comment says, where it applies and in this order: who calls it and on which
// thread; whether it blocks and on what; what failure looks like; who owns what it hands back.
#pragma once

#include <functional>
#include <string>

namespace platform {

class IForeground {
public:
  virtual ~IForeground() = default;
  // Main thread: AOnChange runs on the main thread, from its message loop, each time another
  // window comes to the front, until StopWatchingForeground (a second call replaces it).
  // The platform tells the change: nothing runs and nothing wakes while the front stays.
  // False when the platform refused.
  // AOnChange is kept until StopWatchingForeground or the desktop's end.
  virtual bool WatchForeground(std::function<void()> AOnChange) = 0;
  // Main thread; nothing when not watching.
  virtual void StopWatchingForeground() = 0;
  // Any thread: the full path of the program whose window is in front.
  // "" when no window is, or its program cannot be asked (a protected process, one that has
  // ended).
  virtual std::string ForegroundProgram() = 0;
};

} // namespace platform
