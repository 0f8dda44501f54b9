// The benchmarks' command lines: a few positional whole numbers, read strictly. A bad one is
// refused by name on standard error with exit code 2, so that a typo never runs a benchmark
// with a count of 0.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rtl/CommandLine.h"

namespace bench {

struct TWholeArgument {
  const char* Name; // as the usage line shows it, e.g. "RUNS"
  uint32_t Default;
  uint32_t Min;
  uint32_t Max;
};

// The values of AArguments in order, each given or its default. Ends the process with exit
// code 2 for a value that is not a whole number in its range or for too many arguments, and
// with 0 after the usage for "--help".
inline std::vector<uint32_t> ReadWholeArguments(int argc, char** argv,
                                                const std::vector<TWholeArgument>& AArguments) {
  const char* Program = argc > 0 ? argv[0] : "benchmark";
  std::string Usage = std::string("usage: ") + Program;
  for (const TWholeArgument& Argument : AArguments) {
    Usage += std::string(" [") + Argument.Name + "]";
  }
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fprintf(stderr, "%s\n", Usage.c_str());
    for (const TWholeArgument& Argument : AArguments) {
      std::fprintf(stderr, "  %s: %u to %u, %u when not given\n", Argument.Name, Argument.Min,
                   Argument.Max, Argument.Default);
    }
    std::exit(0);
  }
  if (argc - 1 > static_cast<int>(AArguments.size())) {
    std::fprintf(stderr, "%s: too many arguments (\"%s\")\n%s\n", Program,
                 rtl::EscapeForDisplay(argv[AArguments.size() + 1]).c_str(), Usage.c_str());
    std::exit(2);
  }
  std::vector<uint32_t> Values;
  for (std::size_t I = 0; I < AArguments.size(); ++I) {
    const TWholeArgument& Argument = AArguments[I];
    if (static_cast<int>(I) + 1 >= argc) {
      Values.push_back(Argument.Default);
      continue;
    }
    const auto Value = rtl::ParseWholeNumber(argv[I + 1], Argument.Min, Argument.Max);
    if (!Value) {
      std::fprintf(stderr, "%s: %s must be a whole number from %u to %u, not \"%s\"\n%s\n", Program,
                   Argument.Name, Argument.Min, Argument.Max,
                   rtl::EscapeForDisplay(argv[I + 1]).c_str(), Usage.c_str());
      std::exit(2);
    }
    Values.push_back(*Value);
  }
  return Values;
}

} // namespace bench
