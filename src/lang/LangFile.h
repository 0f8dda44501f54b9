// The language file format (".local", and the catalogue stored with a form): 32-bit
// little-endian integers; a text is a count n and n UTF-16LE code units, no terminator.
//   originals: one text, every original followed by CR LF
//   language count L, then L times: a text with the short ID, a text with the translation
//   table (lines "original=translation", each followed by CR LF)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lang {

struct TLanguageData {
  std::string ShortID;
  std::vector<std::string> Lines;
};

struct TCatalogueData {
  std::vector<std::string> Originals;
  std::vector<TLanguageData> Languages;
};

struct TLangLoadResult {
  // False when the data is damaged; what came before the damage is still delivered.
  bool Complete = true;
  // What was wrong, for the debugger output; "" when complete.
  std::string Problem;
};

// Splits a text into lines: CR LF is one break; a lone CR, LF, VT, FF, U+2028 or U+2029 also
// ends a line. The break after the last line does not start another one.
std::vector<std::string> SplitLines(std::string_view AText);

// Decodes as much as is valid. Languages are delivered whole or not at all; a language count
// of 0 is a valid catalogue without languages. Never allocates more than the data can hold.
TLangLoadResult DecodeCatalogue(std::string_view ABytes, TCatalogueData& AData);
// Encodes the catalogue; with no languages the count 0 is written and nothing after it.
std::string EncodeCatalogue(const TCatalogueData& AData);

} // namespace lang
