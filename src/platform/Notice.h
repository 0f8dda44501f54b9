// A notice on screen: a line or two shown for a while, out of the user's way.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class INotice {
public:
  virtual ~INotice() = default;
  // Main thread: shows AText (lines split by "\n") for AMilliseconds in a small window that
  // never takes the focus, the input or the foreground (a full-screen game keeps them): top-
  // most, shown without activation, transparent to the mouse, on the monitor where the pointer
  // is and sized for that monitor's DPI. One window, reused: a new notice replaces the one
  // shown and starts its time again. Does not wait for the notice's time.
  // False when it cannot be shown.
  virtual bool ShowNotice(const std::string& AText, uint32_t AMilliseconds) = 0;
};

} // namespace platform
