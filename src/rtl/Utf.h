// Text encodings. The system holds text as UTF-8; records hold fixed UTF-16LE fields, which
// are reached only through StoreFixedText and ReadFixedText.
#pragma once

#include <bit>
#include <cstddef>
#include <string>
#include <string_view>

namespace rtl {

static_assert(std::endian::native == std::endian::little,
              "records and UTF-16 fields are copied as little-endian bytes");

// Malformed input becomes U+FFFD; nothing is dropped silently.
std::u16string Utf8ToUtf16(std::string_view AText);
std::string Utf16ToUtf8(std::u16string_view AText);
// Replaces malformed UTF-8 sequences by U+FFFD.
std::string SanitizeUtf8(std::string_view AText);
// How many bytes at the end of AText begin a sequence that the text's next bytes may complete
// (0 to 3), so that text handed on in pieces is never cut inside a character.
std::size_t UnfinishedUtf8Tail(std::string_view AText);

// Stores AText up to its first NUL in a field of ACount units: cut to ACount - 1 units (never
// in the middle of a surrogate pair), terminated, and the units after the terminator zeroed.
void StoreFixedTextUnits(char16_t* AField, std::size_t ACount, std::string_view AText);
// Reads a field up to its terminator, or all ACount units when it has none.
std::string ReadFixedTextUnits(const char16_t* AField, std::size_t ACount);

template <std::size_t N> void StoreFixedText(char16_t (&AField)[N], std::string_view AText) {
  StoreFixedTextUnits(AField, N, AText);
}

template <std::size_t N> std::string ReadFixedText(const char16_t (&AField)[N]) {
  return ReadFixedTextUnits(AField, N);
}

} // namespace rtl
