// tarnsim's command line: plays a scenario file (the shipped default one without arguments, or
// standard input), takes commands at a prompt, or drives the virtual mouse at a given report
// rate on the real clock. Options come in any order; --json puts JSON alone on standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace simulator {

// A larger scenario is refused before anything is read into memory or run.
inline constexpr std::size_t cMaxScenarioBytes = std::size_t{64} << 20;
inline constexpr uint32_t cMaxLoadRate = 8000;
inline constexpr uint32_t cMaxLoadSeconds = 600;
inline constexpr uint32_t cDefaultLoadRate = 1000;
inline constexpr uint32_t cDefaultLoadSeconds = 5;
// How errors name a scenario read from standard input ("-").
inline constexpr const char* cStandardInputName = "<stdin>";

struct TCliStreams {
  std::istream& In; // must outlive the process's last prompt: its reader may outlive it
  std::ostream& Out;
  std::ostream& Err;
  bool ErrIsTerminal = false; // progress is shown only where a person watches
};

// The exit code: 0 passed, 1 an expectation not met (or reports lost), 2 usage, a bad line or a
// file that cannot be read.
int RunSimulatorCli(const std::vector<std::string>& AArgs, const TCliStreams& AStreams);

} // namespace simulator
