// Message boxes and debugger output.
#pragma once

#include <string>

namespace platform {

enum class TMessageBoxIcon { None, Error, Warning, Information, Question };

class IDialogs {
public:
  virtual ~IDialogs() = default;
  // Main thread: shows a modal message box with an OK button, without an owner window, and
  // blocks until the user closes it. While it is up, the thread's windows keep receiving
  // messages (timers, hand-overs, device changes), so handlers may run inside this call. The
  // simulated world records the box and returns at once. Nothing tells a failure.
  virtual void ShowMessageBox(const std::string& AText, const std::string& ACaption,
                              TMessageBoxIcon AIcon) = 0;
};

class IDebugOutput {
public:
  virtual ~IDebugOutput() = default;
  // Any thread; never blocks for long. Sends a line to the debugger output; nothing tells a
  // failure, and no one need be listening.
  virtual void DebugOutput(const std::string& AText) = 0;
};

} // namespace platform
