// What command-line programs share: numbers read strictly, and text from a user or a file
// made safe to show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

// A whole number from AMin to AMax, digits only: no sign, no exponent, no spaces, no trailing
// text; none otherwise.
std::optional<uint32_t> ParseWholeNumber(std::string_view AText, uint32_t AMin, uint32_t AMax);

// A flag of a command line and the names it goes by ("--json", or "--help" and "-h").
struct TCommandLineFlag {
  std::vector<std::string> Names;
  bool* Value;
};

// Sets the flags named in AArgs, in any order, and answers the other arguments in order: "-"
// and what follows "--" are arguments too. An unknown option raises std::invalid_argument
// naming it.
std::vector<std::string> SplitCommandLine(const std::vector<std::string>& AArgs,
                                          const std::vector<TCommandLineFlag>& AFlags);

// AText with every byte that is not printable UTF-8 text (a NUL, a control character, a
// broken sequence) shown as \xNN, so that a message shows all of a bad line.
std::string EscapeForDisplay(std::string_view AText);

} // namespace rtl
