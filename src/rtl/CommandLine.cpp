#include "rtl/CommandLine.h"

#include <algorithm>
#include <stdexcept>

namespace rtl {

namespace {

// The length of the UTF-8 sequence at AText[AAt] that is valid text, or 0.
std::size_t TextSequence(std::string_view AText, std::size_t AAt) {
  const auto Byte = [&](std::size_t AIndex) { return static_cast<uint8_t>(AText[AIndex]); };
  const uint8_t Lead = Byte(AAt);
  if (Lead >= 0x20 && Lead < 0x7F) {
    return 1;
  }
  std::size_t Length = 0;
  uint32_t Code = 0;
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Length = 2;
    Code = Lead & 0x1Fu;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3;
    Code = Lead & 0x0Fu;
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4;
    Code = Lead & 0x07u;
  } else {
    return 0;
  }
  if (AAt + Length > AText.size()) {
    return 0;
  }
  for (std::size_t I = 1; I < Length; ++I) {
    if ((Byte(AAt + I) & 0xC0u) != 0x80u) {
      return 0;
    }
    Code = Code << 6 | (Byte(AAt + I) & 0x3Fu);
  }
  constexpr uint32_t cMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool Valid =
      Code >= cMinimum[Length] && Code <= 0x10FFFF && (Code < 0xD800 || Code > 0xDFFF);
  return Valid ? Length : 0;
}

} // namespace

std::optional<uint32_t> ParseWholeNumber(std::string_view AText, uint32_t AMin, uint32_t AMax) {
  constexpr std::size_t cMaxDigits = 10;
  if (AText.empty() || AText.size() > cMaxDigits ||
      !std::all_of(AText.begin(), AText.end(), [](char C) { return C >= '0' && C <= '9'; })) {
    return std::nullopt;
  }
  uint64_t Value = 0;
  for (const char Digit : AText) {
    Value = Value * 10 + static_cast<uint64_t>(Digit - '0');
  }
  if (Value < AMin || Value > AMax) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(Value);
}

std::vector<std::string> SplitCommandLine(const std::vector<std::string>& AArgs,
                                          const std::vector<TCommandLineFlag>& AFlags) {
  std::vector<std::string> Operands;
  bool OptionsEnded = false;
  for (const std::string& Arg : AArgs) {
    if (OptionsEnded || Arg.size() < 2 || Arg[0] != '-') {
      Operands.push_back(Arg);
      continue;
    }
    if (Arg == "--") {
      OptionsEnded = true;
      continue;
    }
    const auto Flag = std::find_if(AFlags.begin(), AFlags.end(), [&](const TCommandLineFlag& A) {
      return std::find(A.Names.begin(), A.Names.end(), Arg) != A.Names.end();
    });
    if (Flag == AFlags.end()) {
      throw std::invalid_argument("unknown option \"" + EscapeForDisplay(Arg) + "\"");
    }
    *Flag->Value = true;
  }
  return Operands;
}

std::string EscapeForDisplay(std::string_view AText) {
  constexpr char cHex[] = "0123456789abcdef";
  std::string Result;
  for (std::size_t At = 0; At < AText.size();) {
    const std::size_t Length = AText[At] == '\t' ? 1 : TextSequence(AText, At);
    if (Length > 0) {
      Result.append(AText.substr(At, Length));
      At += Length;
      continue;
    }
    const auto Byte = static_cast<uint8_t>(AText[At++]);
    Result += "\\x";
    Result += cHex[Byte >> 4];
    Result += cHex[Byte & 0x0F];
  }
  return Result;
}

} // namespace rtl
