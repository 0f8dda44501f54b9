// A window of the desktop as portable code sees it: its handle, the message its procedure is
// given, and the procedure.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// 0 is no window.
using TWindowHandle = uintptr_t;

struct TWindowMessage {
  uint32_t Msg;
  uintptr_t WParam;
  intptr_t LParam;
  intptr_t Result = 0;
};

// Returns true when it handled the message (Result is then returned); false passes it to the
// platform's default handling. What a window procedure throws never unwinds through the
// platform's dispatch (on 64-bit Windows that may end the process): the desktop catches it,
// writes one line to the debugger output and gives the message its default handling.
using TWindowProc = std::function<bool(TWindowMessage& AMessage)>;

} // namespace platform
