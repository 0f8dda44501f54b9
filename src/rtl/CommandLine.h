// What command-line programs share: numbers read strictly, and text from a user or a file
// made safe to show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtl {

// A whole number from AMin to AMax, digits only: no sign, no exponent, no spaces, no trailing
// text; none otherwise.
std::optional<uint32_t> ParseWholeNumber(std::string_view AText, uint32_t AMin, uint32_t AMax);

// AText with every byte that is not printable UTF-8 text (a NUL, a control character, a
// broken sequence) shown as \xNN, so that a message shows all of a bad line.
std::string EscapeForDisplay(std::string_view AText);

} // namespace rtl
