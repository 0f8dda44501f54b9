// The shell: opening a file or an address the way the user's double-click would.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Window.h"

namespace platform {

// The shell's answers above this number mean it opened the file.
inline constexpr intptr_t cShellOpenedAbove = 32;

class IShell {
public:
  virtual ~IShell() = default;
  // Main thread: the shell's "open" of AFile (a program, a document or an address; a
  // relative name is looked for in AFolder) with the working folder AFolder ("" for none)
  // and a show command; AOwner may be 0, and owns the shell's own error messages. Blocks
  // until the shell has handed the file over (the program runs on by itself; a simulated
  // program's start runs on this thread). Returns the platform's answer: above
  // cShellOpenedAbove on success, else an error (2 file not found, 3 path not found, ...).
  // The simulated shell throws std::logic_error for an existing file no simulated program
  // stands for.
  virtual intptr_t Open(TWindowHandle AOwner, const std::string& AFile, const std::string& AFolder,
                        int32_t AShowCommand) = 0;
  // Main thread; blocks until the program has ended. The shell's "open" of the program
  // AFile (a full path) with AParameters (environment variables in both expanded), the
  // working folder AFolder and a show command, without the shell's own error messages; when
  // the shell hands back the process, waits for it without time limit, answering meanwhile
  // what is sent to this thread (hand-overs, device removal queries, other processes' sends)
  // but taking nothing posted. 0 once the program has run, else the platform's error (2 for a
  // missing file, DirectoryInvalid for a working folder that is not there); the program's own
  // exit code is not told. The simulated shell throws as Open does, and throws again what a
  // simulated program threw.
  virtual uint32_t RunAndWait(const std::string& AFile, const std::string& AParameters,
                              const std::string& AFolder, int32_t AShowCommand) = 0;
};

// The show command that starts a program without a window.
inline constexpr int32_t cShowHidden = 0;

} // namespace platform
