#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"

namespace platform::win32 {

namespace {

// One locale field as text; "" with AKnown false when it cannot be read.
std::string LocaleText(LCID ALocale, LCTYPE AType, bool* AKnown = nullptr) {
  wchar_t Buffer[256] = {};
  const int Length = GetLocaleInfoW(ALocale, AType, Buffer, 256);
  if (AKnown != nullptr) {
    *AKnown = Length > 1;
  }
  return Length > 1 ? FromWide(std::wstring_view(Buffer, static_cast<std::size_t>(Length - 1)))
                    : std::string();
}

// EnumSystemLocalesW has no context argument: the enumeration collects through this.
thread_local std::vector<LCID>* GEnumerated = nullptr;

BOOL CALLBACK CollectLocale(LPWSTR ALocaleText) {
  wchar_t* End = nullptr;
  const unsigned long Locale = wcstoul(ALocaleText, &End, 16);
  if (GEnumerated != nullptr && End != ALocaleText && Locale != 0) {
    GEnumerated->push_back(static_cast<LCID>(Locale));
  }
  return TRUE;
}

class TWin32Locale : public ILocale {
public:
  std::string UserAbbrevLanguageName() override {
    return LocaleText(GetUserDefaultLCID(), LOCALE_SABBREVLANGNAME);
  }
  std::string UserAbbrevCountryName() override {
    return LocaleText(GetUserDefaultLCID(), LOCALE_SABBREVCTRYNAME);
  }
  uint16_t SystemDefaultLangID() override { return GetSystemDefaultLangID(); }

  std::vector<TLocaleEntry> SupportedLocales() override {
    std::vector<LCID> Locales;
    GEnumerated = &Locales;
    EnumSystemLocalesW(CollectLocale, LCID_SUPPORTED);
    GEnumerated = nullptr;
    std::vector<TLocaleEntry> Entries;
    Entries.reserve(Locales.size());
    for (LCID Locale : Locales) {
      TLocaleEntry Entry;
      Entry.LangID = LANGIDFROMLCID(Locale);
      Entry.LocalizedLanguageName = LocaleText(Locale, LOCALE_SLANGUAGE);
      Entry.NativeLanguageName = LocaleText(Locale, LOCALE_SNATIVELANGNAME);
      Entry.AbbrevCountryName = LocaleText(Locale, LOCALE_SABBREVCTRYNAME, &Entry.CountryKnown);
      Entries.push_back(std::move(Entry));
    }
    return Entries;
  }
};

} // namespace

std::unique_ptr<ILocale> CreateLocale() {
  return std::make_unique<TWin32Locale>();
}

} // namespace platform::win32
