// The INI reader, one implementation on every platform, following the platform's own reader:
// section and key names compared without regard to case and trimmed of blanks (in the file
// and in a query), the first section and the first key of a name win, lines before the first
// header belong to no section, one pair of surrounding quotes removed, a value ends at a NUL,
// ';' comment lines, CR LF or LF line ends. A UTF-16LE or UTF-8 byte order mark selects that
// encoding; text without one goes through the caller's ANSI decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

using TAnsiDecoder = std::function<std::string(std::string_view)>;

class TIniFile {
public:
  // An empty file: every read gives its default.
  TIniFile() = default;
  // Parses the raw bytes of a file. Never raises on content.
  static TIniFile Parse(std::string_view ABytes, const TAnsiDecoder& ADecodeAnsi);

  bool SectionExists(std::string_view ASection) const;
  // True when the section lists the key.
  bool ValueExists(std::string_view ASection, std::string_view AIdent) const;
  std::string ReadString(std::string_view ASection, std::string_view AIdent,
                         std::string_view ADefault) const;
  // Decimal, or hexadecimal with "0x" or "$"; anything else gives ADefault.
  int32_t ReadInteger(std::string_view ASection, std::string_view AIdent, int32_t ADefault) const;
  // The key names of a section as the platform lists them: every key line with '=' in file
  // order, a repeated name as often as it appears, up to the first empty name (which ends the
  // platform's list).
  std::vector<std::string> ReadSection(std::string_view ASection) const;
  // The values of "id1", "id2", ... up to "id101", stopping at the first missing or empty one.
  std::vector<std::string> ReadIdList(std::string_view ASection) const;

private:
  // A key line without '=' names a key that has no value: it is not listed, and reads of it
  // (and of a later key of its name) give the default.
  struct TEntry {
    std::string Name;
    std::string Value;
    bool HasValue;
  };
  struct TSection {
    std::string Name;
    std::vector<TEntry> Entries;
  };
  const TSection* FindSection(std::string_view ASection) const;
  const TEntry* FindEntry(std::string_view ASection, std::string_view AIdent) const;

  std::vector<TSection> FSections;
};

// Parses an integer as the INI reader does; false when the text is not a valid integer.
bool TryParseInteger(std::string_view AText, int32_t& AValue);

// Decodes raw text: UTF-16LE or UTF-8 by byte order mark, otherwise through ADecodeAnsi.
std::string DecodeTextBytes(std::string_view ABytes, const TAnsiDecoder& ADecodeAnsi);

inline constexpr int cMaxIdListEntries = 101;

} // namespace rtl
