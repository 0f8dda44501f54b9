// The simulated shell: records every "open" and starts the simulated programs a test
// registered for a file. An address is opened by the default browser; a file with no
// registered program is not found (2), and a file that exists but has no registered program
// cannot run in the simulation: that open throws std::logic_error. Programs started to be
// waited for are recorded with their parameters and run as processes of their own.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MainThread.h"
#include "platform/Shell.h"
#include "rtl/Mutex.h"

namespace platform::sim {

struct TSimShellOpen {
  TWindowHandle Owner = 0;
  std::string File;
  std::string Folder;
  int32_t ShowCommand = 0;
  // A program's parameters (RunAndWait only).
  std::string Parameters;
};

class TSimShell : public IShell {
public:
  // What the platform answers for a started program and for an opened address.
  static constexpr intptr_t cStarted = 33;
  static constexpr intptr_t cAddressOpened = 42;

  // AMainThread is the process's own: it serves hand-overs while it waits for a program.
  explicit TSimShell(IMainThread& AMainThread);

  intptr_t Open(TWindowHandle AOwner, const std::string& AFile, const std::string& AFolder,
                int32_t AShowCommand) override;
  // A registered program runs on a thread of its own, as another process; the calling thread
  // waits for it to end, serving hand-overs meanwhile when it is the main thread (sent
  // messages reach it so on Windows). The program's file must exist; so must the working
  // folder. What the program throws is thrown again here.
  uint32_t RunAndWait(const std::string& AFile, const std::string& AParameters,
                      const std::string& AFolder, int32_t AShowCommand) override;

  // AProgram runs, on the opening thread, whenever the file at APath (full path, compared
  // without regard to case) is opened; it may create a simulated process of its own.
  void RegisterProgram(const std::string& APath,
                       std::function<void(const TSimShellOpen& AOpen)> AProgram);
  std::vector<TSimShellOpen> Opens() const;
  // Every RunAndWait, in order.
  std::vector<TSimShellOpen> Runs() const;

private:
  mutable rtl::TMutex FLock;
  std::vector<TSimShellOpen> FOpens;
  std::vector<TSimShellOpen> FRuns;
  std::map<std::string, std::function<void(const TSimShellOpen&)>> FPrograms;
  IMainThread& FMainThread;
};

} // namespace platform::sim
