#include "rtl/Utf.h"

#include <algorithm>
#include <cstdint>

namespace rtl {

namespace {

constexpr char32_t cReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t AUnit) {
  return AUnit >= 0xD800 && AUnit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t AUnit) {
  return AUnit >= 0xDC00 && AUnit <= 0xDFFF;
}

// Decodes one code point at AIndex and advances it; malformed sequences give U+FFFD and
// consume one byte.
char32_t DecodeUtf8(std::string_view AText, std::size_t& AIndex) {
  const auto Byte = [&](std::size_t I) { return static_cast<uint8_t>(AText[I]); };
  const uint8_t Lead = Byte(AIndex);
  if (Lead < 0x80) {
    ++AIndex;
    return Lead;
  }
  std::size_t Length = 0;
  char32_t Code = 0;
  char32_t Minimum = 0;
  if ((Lead & 0xE0) == 0xC0) {
    Length = 2, Code = Lead & 0x1F, Minimum = 0x80;
  } else if ((Lead & 0xF0) == 0xE0) {
    Length = 3, Code = Lead & 0x0F, Minimum = 0x800;
  } else if ((Lead & 0xF8) == 0xF0) {
    Length = 4, Code = Lead & 0x07, Minimum = 0x10000;
  } else {
    ++AIndex;
    return cReplacement;
  }
  if (AIndex + Length > AText.size()) {
    ++AIndex;
    return cReplacement;
  }
  for (std::size_t I = 1; I < Length; ++I) {
    const uint8_t Next = Byte(AIndex + I);
    if ((Next & 0xC0) != 0x80) {
      ++AIndex;
      return cReplacement;
    }
    Code = (Code << 6) | (Next & 0x3F);
  }
  if (Code < Minimum || Code > 0x10FFFF || IsHighSurrogate(Code) || IsLowSurrogate(Code)) {
    ++AIndex;
    return cReplacement;
  }
  AIndex += Length;
  return Code;
}

void AppendUtf8(std::string& AOut, char32_t ACode) {
  if (ACode < 0x80) {
    AOut += static_cast<char>(ACode);
  } else if (ACode < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACode >> 6));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACode >> 12));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else {
    AOut += static_cast<char>(0xF0 | (ACode >> 18));
    AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  }
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view AText) {
  std::u16string Result;
  Result.reserve(AText.size());
  std::size_t Index = 0;
  while (Index < AText.size()) {
    const char32_t Code = DecodeUtf8(AText, Index);
    if (Code >= 0x10000) {
      const char32_t Offset = Code - 0x10000;
      Result += static_cast<char16_t>(0xD800 + (Offset >> 10));
      Result += static_cast<char16_t>(0xDC00 + (Offset & 0x3FF));
    } else {
      Result += static_cast<char16_t>(Code);
    }
  }
  return Result;
}

std::string Utf16ToUtf8(std::u16string_view AText) {
  std::string Result;
  Result.reserve(AText.size());
  for (std::size_t Index = 0; Index < AText.size(); ++Index) {
    char32_t Unit = AText[Index];
    if (IsHighSurrogate(Unit) && Index + 1 < AText.size() && IsLowSurrogate(AText[Index + 1])) {
      Unit = 0x10000 + ((Unit - 0xD800) << 10) + (AText[Index + 1] - 0xDC00);
      ++Index;
    } else if (IsHighSurrogate(Unit) || IsLowSurrogate(Unit)) {
      Unit = cReplacement;
    }
    AppendUtf8(Result, Unit);
  }
  return Result;
}

std::string SanitizeUtf8(std::string_view AText) {
  std::string Result;
  Result.reserve(AText.size());
  std::size_t Index = 0;
  while (Index < AText.size()) {
    AppendUtf8(Result, DecodeUtf8(AText, Index));
  }
  return Result;
}

std::size_t UnfinishedUtf8Tail(std::string_view AText) {
  // A sequence is at most four bytes: its lead byte is among the last three when unfinished.
  for (std::size_t Back = 1; Back <= 3 && Back <= AText.size(); ++Back) {
    const auto Byte = static_cast<uint8_t>(AText[AText.size() - Back]);
    if ((Byte & 0xC0) == 0x80) {
      continue;
    }
    const std::size_t Length = (Byte & 0xE0) == 0xC0   ? 2
                               : (Byte & 0xF0) == 0xE0 ? 3
                               : (Byte & 0xF8) == 0xF0 ? 4
                                                       : 1;
    return Back < Length ? Back : 0;
  }
  return 0;
}

void StoreFixedTextUnits(char16_t* AField, std::size_t ACount, std::string_view AText) {
  if (ACount == 0) {
    return;
  }
  // A read stops at the first NUL: what follows it would be kept in the record unseen.
  const std::u16string Units = Utf8ToUtf16(AText.substr(0, AText.find('\0')));
  std::size_t Length = std::min(Units.size(), ACount - 1);
  // Half a surrogate pair would read back as a replacement character: drop it.
  if (Length > 0 && Length < Units.size() && IsHighSurrogate(Units[Length - 1])) {
    --Length;
  }
  std::copy_n(Units.begin(), Length, AField);
  std::fill(AField + Length, AField + ACount, u'\0');
}

std::string ReadFixedTextUnits(const char16_t* AField, std::size_t ACount) {
  const char16_t* End = std::find(AField, AField + ACount, u'\0');
  return Utf16ToUtf8(std::u16string_view(AField, static_cast<std::size_t>(End - AField)));
}

} // namespace rtl
