// Facts about the running process and its user. Paths are UTF-8. Any thread; no call blocks
// for long, and each hands back a copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct TOsVersion {
  uint32_t Major = 0;
  uint32_t Minor = 0;
  uint32_t Build = 0;
};

class IEnvironment {
public:
  virtual ~IEnvironment() = default;
  // Folder of the running executable, with a trailing delimiter; "" when the platform cannot
  // name it.
  virtual std::string ModuleFolder() = 0;
  // The user's Documents folder, without a trailing delimiter; "" when it cannot be found.
  virtual std::string DocumentsFolder() = 0;
  // The system's true version, whatever the program's manifest claims; all zero when it
  // cannot be told.
  virtual TOsVersion OsVersion() = 0;
  // Converts text in the platform's ANSI code page to UTF-8 (UTF-8 is taken as it is where
  // the platform has no such code page); "" for text that cannot be converted.
  virtual std::string AnsiToUtf8(std::string_view AText) = 0;
};

} // namespace platform
