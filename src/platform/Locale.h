// The system's locales: the user's default locale, the system default language and the
// supported locales with their names. Text is UTF-8. Any thread; never blocks for long; every
// answer is a copy. A field that cannot be read is "".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct TLocaleEntry {
  // The locale's language ID (the low 16 bits of its locale ID).
  uint16_t LangID = 0;
  // The language's name in the user interface language, and in the language itself.
  std::string LocalizedLanguageName;
  std::string NativeLanguageName;
  // Abbreviated country name ("USA"); CountryKnown is false when it cannot be read.
  std::string AbbrevCountryName;
  bool CountryKnown = false;
};

class ILocale {
public:
  virtual ~ILocale() = default;
  // Abbreviated language and country names of the user's default locale ("ENU", "USA"); ""
  // when unreadable.
  virtual std::string UserAbbrevLanguageName() = 0;
  virtual std::string UserAbbrevCountryName() = 0;
  virtual uint16_t SystemDefaultLangID() = 0;
  // Every locale the system supports, in the platform's order; empty when the platform lists
  // none.
  virtual std::vector<TLocaleEntry> SupportedLocales() = 0;
};

} // namespace platform
