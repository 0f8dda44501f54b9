// tarnsim: the monitor on the simulated world (see Cli.h).
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <thread>

#include "app/sim/Cli.h"
#include "backend/sim/SimWorld.h"

namespace {

// Ctrl-C, a hang-up or a kill that can be caught ends the simulator as it would have ended
// anyway, but without leaving the simulated worlds' folders behind: the signals go to one
// thread that waits for them, removes the folders and ends the process by the same signal.
void EndCleanlyOnSignals() {
  sigset_t Signals;
  sigemptyset(&Signals);
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&Signals, Signal);
  }
  pthread_sigmask(SIG_BLOCK, &Signals, nullptr);
  std::thread([Signals] {
    int Signal = 0;
    if (sigwait(&Signals, &Signal) == 0) {
      try {
        platform::sim::RemoveWorldFoldersInUse();
      } catch (...) {
        // The process ends by the signal all the same.
      }
      signal(Signal, SIG_DFL);
      pthread_sigmask(SIG_UNBLOCK, &Signals, nullptr);
      raise(Signal);
    }
  }).detach();
}

} // namespace

int main(int argc, char** argv) {
  EndCleanlyOnSignals();
  const simulator::TCliStreams Streams{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0};
  return simulator::RunSimulatorCli({argv + 1, argv + argc}, Streams);
}
