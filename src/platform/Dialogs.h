// Message boxes and debugger output.
#pragma once

#include <string>

namespace platform {

enum class TMessageBoxIcon { None, Error, Warning, Information, Question };

class IDialogs {
public:
  virtual ~IDialogs() = default;
  // Shows a modal message box with an OK button and waits for it; main thread.
  virtual void ShowMessageBox(const std::string& AText, const std::string& ACaption,
                              TMessageBoxIcon AIcon) = 0;
};

class IDebugOutput {
public:
  virtual ~IDebugOutput() = default;
  // Sends a line to the debugger output; any thread, never blocks for long.
  virtual void DebugOutput(const std::string& AText) = 0;
};

} // namespace platform
