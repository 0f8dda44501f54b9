#include "rtl/IniFile.h"

#include <algorithm>

#include "rtl/Component.h"
#include "rtl/Hex.h"
#include "rtl/Utf.h"

namespace rtl {

namespace {

bool IsBlank(char AChar) {
  return AChar == ' ' || AChar == '\t';
}

std::string_view Trim(std::string_view AText) {
  while (!AText.empty() && IsBlank(AText.front())) {
    AText.remove_prefix(1);
  }
  while (!AText.empty() && IsBlank(AText.back())) {
    AText.remove_suffix(1);
  }
  return AText;
}

std::string_view Unquote(std::string_view AValue) {
  if (AValue.size() >= 2 && (AValue.front() == '"' || AValue.front() == '\'') &&
      AValue.back() == AValue.front()) {
    return AValue.substr(1, AValue.size() - 2);
  }
  return AValue;
}

} // namespace

bool TryParseInteger(std::string_view AText, int32_t& AValue) {
  AText = Trim(AText);
  bool Negative = false;
  if (!AText.empty() && (AText.front() == '-' || AText.front() == '+')) {
    Negative = AText.front() == '-';
    AText.remove_prefix(1);
  }
  unsigned Base = 10;
  if (!AText.empty() && AText.front() == '$') {
    Base = 16;
    AText.remove_prefix(1);
  } else if (AText.size() >= 2 && AText[0] == '0' && (AText[1] == 'x' || AText[1] == 'X')) {
    Base = 16;
    AText.remove_prefix(2);
  }
  if (AText.empty()) {
    return false;
  }
  // Hexadecimal may spell the full 32-bit pattern (0xFFFFFFFF is -1); decimal must fit.
  const uint64_t Limit = Base == 16 ? 0xFFFFFFFFull : (Negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t Magnitude = 0;
  for (char Char : AText) {
    const int Digit = rtl::HexDigitValue(Char);
    if (Digit < 0 || static_cast<unsigned>(Digit) >= Base) {
      return false;
    }
    Magnitude = Magnitude * Base + static_cast<unsigned>(Digit);
    if (Magnitude > Limit) {
      return false;
    }
  }
  const auto Bits = static_cast<uint32_t>(Magnitude);
  AValue = static_cast<int32_t>(Negative ? (0u - Bits) : Bits);
  return true;
}

std::string DecodeTextBytes(std::string_view ABytes, const TAnsiDecoder& ADecodeAnsi) {
  if (ABytes.size() >= 2 && static_cast<uint8_t>(ABytes[0]) == 0xFF &&
      static_cast<uint8_t>(ABytes[1]) == 0xFE) {
    std::u16string Units;
    Units.reserve(ABytes.size() / 2);
    for (std::size_t I = 2; I + 1 < ABytes.size(); I += 2) {
      Units += static_cast<char16_t>(static_cast<uint8_t>(ABytes[I]) |
                                     (static_cast<uint8_t>(ABytes[I + 1]) << 8));
    }
    return Utf16ToUtf8(Units);
  }
  if (ABytes.size() >= 3 && static_cast<uint8_t>(ABytes[0]) == 0xEF &&
      static_cast<uint8_t>(ABytes[1]) == 0xBB && static_cast<uint8_t>(ABytes[2]) == 0xBF) {
    return SanitizeUtf8(ABytes.substr(3));
  }
  return ADecodeAnsi ? SanitizeUtf8(ADecodeAnsi(ABytes)) : SanitizeUtf8(ABytes);
}

TIniFile TIniFile::Parse(std::string_view ABytes, const TAnsiDecoder& ADecodeAnsi) {
  TIniFile Result;
  const std::string Text = DecodeTextBytes(ABytes, ADecodeAnsi);
  TSection* Current = nullptr;
  bool CurrentIsDuplicate = false;
  std::size_t Start = 0;
  while (Start <= Text.size()) {
    std::size_t End = Text.find_first_of("\r\n", Start);
    if (End == std::string::npos) {
      End = Text.size();
    }
    const std::string_view Line = Trim(std::string_view(Text).substr(Start, End - Start));
    Start = End + 1;
    if (End < Text.size() && Text[End] == '\r' && Start < Text.size() && Text[Start] == '\n') {
      ++Start;
    }
    if (Line.empty() || Line.front() == ';') {
      continue;
    }
    // A header needs its closing bracket; without one the line is read as a key, as the
    // platform reads it.
    const std::size_t Close = Line.front() == '[' ? Line.rfind(']') : std::string_view::npos;
    if (Close != std::string_view::npos) {
      const std::string_view Name = Trim(Line.substr(1, Close - 1));
      // A repeated section adds nothing: lookups find the first one.
      CurrentIsDuplicate = Result.FindSection(Name) != nullptr;
      if (!CurrentIsDuplicate) {
        Result.FSections.push_back({std::string(Name), {}});
        Current = &Result.FSections.back();
      }
      continue;
    }
    // Lines before the first header belong to no section.
    if (Current == nullptr || CurrentIsDuplicate) {
      continue;
    }
    // Every key line is kept, in file order: lookups take the first of a name, listings show
    // each one.
    const std::size_t Equals = Line.find('=');
    const std::string_view Name = Trim(Line.substr(0, Equals));
    const bool HasValue = Equals != std::string_view::npos;
    std::string_view Value = HasValue ? Trim(Line.substr(Equals + 1)) : std::string_view();
    // The platform hands values over as terminated text: a NUL ends one.
    Value = Value.substr(0, Value.find('\0'));
    Current->Entries.push_back({std::string(Name), std::string(Unquote(Value)), HasValue});
  }
  return Result;
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view ASection) const {
  ASection = Trim(ASection);
  for (const TSection& Section : FSections) {
    if (SameText(Section.Name, ASection)) {
      return &Section;
    }
  }
  return nullptr;
}

const TIniFile::TEntry* TIniFile::FindEntry(std::string_view ASection,
                                            std::string_view AIdent) const {
  const TSection* Section = FindSection(ASection);
  if (Section == nullptr) {
    return nullptr;
  }
  AIdent = Trim(AIdent);
  for (const TEntry& Entry : Section->Entries) {
    if (SameText(Entry.Name, AIdent)) {
      return &Entry;
    }
  }
  return nullptr;
}

bool TIniFile::SectionExists(std::string_view ASection) const {
  return FindSection(ASection) != nullptr;
}

bool TIniFile::ValueExists(std::string_view ASection, std::string_view AIdent) const {
  const std::vector<std::string> Names = ReadSection(ASection);
  AIdent = Trim(AIdent);
  return std::any_of(Names.begin(), Names.end(),
                     [&](const std::string& AName) { return SameText(AName, AIdent); });
}

std::string TIniFile::ReadString(std::string_view ASection, std::string_view AIdent,
                                 std::string_view ADefault) const {
  const TEntry* Entry = FindEntry(ASection, AIdent);
  return Entry != nullptr && Entry->HasValue ? Entry->Value : std::string(ADefault);
}

int32_t TIniFile::ReadInteger(std::string_view ASection, std::string_view AIdent,
                              int32_t ADefault) const {
  int32_t Value = 0;
  return TryParseInteger(ReadString(ASection, AIdent, ""), Value) ? Value : ADefault;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view ASection) const {
  std::vector<std::string> Names;
  if (const TSection* Section = FindSection(ASection)) {
    for (const TEntry& Entry : Section->Entries) {
      // The platform's list of names is terminated by an empty one.
      if (Entry.HasValue && Entry.Name.empty()) {
        break;
      }
      if (Entry.HasValue) {
        Names.push_back(Entry.Name);
      }
    }
  }
  return Names;
}

std::vector<std::string> TIniFile::ReadIdList(std::string_view ASection) const {
  std::vector<std::string> Ids;
  for (int Number = 1; Number <= cMaxIdListEntries; ++Number) {
    std::string Value = ReadString(ASection, "id" + std::to_string(Number), "");
    if (Value.empty()) {
      break;
    }
    Ids.push_back(std::move(Value));
  }
  return Ids;
}

} // namespace rtl
