// TARNCTL, the profile tool: shows, changes, resets, exports and imports the profile store
// from the command line, over the system's own data module, and tells a running monitor what
// changed as the configuration program does. Every command first finishes a change that a
// kill or a power cut interrupted; a change is checked whole before anything is written, and
// written as one (app/ctl/StagedStore.h).
//
// Threads: one call runs on the calling thread from start to end; it blocks while it reads and
// writes the store.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/MessageWindows.h"
#include "platform/Registry.h"
#include "platform/SessionWindows.h"

namespace ctl {

inline constexpr const char* cToolName = "TARNCTL";

// The services of the process the tool runs in (on Windows, its own; in the simulator, the
// monitor's store and a desktop of the tool's own in the same session).
struct TToolServices {
  platform::IRegistry& Registry;
  platform::IFileSystem& Files;
  platform::IEnvironment& Environment;
  platform::IClock& Clock;
  platform::ILocale& Locale;
  // Finding the configuration program and the monitor, and posting the monitor a reload.
  platform::ISessionWindows& Session;
  platform::IMessageWindows& Windows;
};

struct TToolStreams {
  // The result: JSON alone with --json, text otherwise.
  std::ostream& Out;
  // Everything for people besides: progress, warnings, errors.
  std::ostream& Err;
};

// Exit codes.
inline constexpr int cToolDone = 0;
inline constexpr int cToolFailed = 1;
inline constexpr int cToolUsage = 2;

// What is wrong with a command line's options and arguments, as the tool would say it before
// it touched the store; "" when nothing is.
std::string ProfileToolUsageError(const std::vector<std::string>& AArgs);

// Runs one command line (the arguments after the program's name, UTF-8).
int RunProfileTool(const std::vector<std::string>& AArgs, const TToolServices& AServices,
                   const TToolStreams& AStreams);

} // namespace ctl
