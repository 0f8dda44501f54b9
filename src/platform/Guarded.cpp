#include "platform/Guarded.h"

#include <exception>
#include <string>

namespace platform {

void ReportCaughtException(IDebugOutput& ADebug, const char* AWhere) noexcept {
  try {
    std::string What = "unknown exception";
    try {
      throw;
    } catch (const std::exception& E) {
      What = E.what();
    } catch (...) {
    }
    ADebug.DebugOutput(std::string(AWhere) + ": " + What);
  } catch (...) {
    // Nothing is left to tell it with.
  }
}

} // namespace platform
