// tarnsim: the monitor on the simulated world (see Cli.h).
#include <unistd.h>

#include <iostream>

#include "app/sim/Cli.h"

int main(int argc, char** argv) {
  const simulator::TCliStreams Streams{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0};
  return simulator::RunSimulatorCli({argv + 1, argv + argc}, Streams);
}
