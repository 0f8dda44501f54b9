// TvgLang: the language catalogue. It holds every original text and, per language, a table of
// "original=translation" lines; one language's table at a time is the process's active table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lang/LangFile.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "rtl/Component.h"

namespace lang {

// The texts the catalogue always offers for translation.
extern const char* const cBuiltInOriginals[10];

// Language files above this size are not read.
inline constexpr uint64_t cMaxLanguageFileSize = uint64_t{16} * 1024 * 1024;
inline constexpr const char* cEnglishShortID = "en";

struct TLanguageServices {
  platform::IFileSystem& Files;
  platform::IEnvironment& Environment;
  platform::IDebugOutput& Debug;
  platform::ILocale& Locale;
};

// The two-letter code of the user's language ("en"), and the full one ("en_US"; the country
// "PRT" gives "PT").
std::string SystemLanguageCode(platform::ILocale& ALocale);
std::string SystemFullLanguageCode(platform::ILocale& ALocale);
// The system default language ID as four upper-case hexadecimal digits ("0804").
std::string GetOSDefaultLang(platform::ILocale& ALocale);

class TvgLang : public rtl::TComponent {
public:
  TvgLang(rtl::TComponent* AOwner, const TLanguageServices& AServices);
  std::string ClassName() const override { return "TvgLang"; }

  // Sorted, case-sensitive, without repeats.
  const std::vector<std::string>& Originals() const { return FOriginal; }
  // Replaces the originals; the built-in ones stay.
  void SetOriginals(const std::vector<std::string>& AOriginals);

  int LanguageCount() const { return static_cast<int>(FResources.size()); }
  const TLanguageData& Language(int AIndex) const {
    return FResources.at(static_cast<std::size_t>(AIndex));
  }
  // Position of the first language with that short ID (compared without regard to case), -1.
  int IndexOfLanguage(std::string_view AShortID) const;
  void AddLanguage(TLanguageData ALanguage) { FResources.push_back(std::move(ALanguage)); }
  void ClearLanguages() { FResources.clear(); }

  const std::string& Lang() const { return FLang; }
  // Stores the short ID; unless still loading, "en" removes the active table and any other
  // short ID activates its language's table (an unknown one leaves the active table).
  void SelectLang(const std::string& AShortID);

  bool LangAutoSelect() const { return FAutoSelect; }
  void SetLangAutoSelect(bool AValue) { FAutoSelect = AValue; }
  // The form stores the catalogue only when it holds at least one language.
  bool ShouldStoreInForm() const { return FStoreInForm && !FResources.empty(); }
  void SetStoreInForm(bool AValue) { FStoreInForm = AValue; }

  // Reads a language file: the originals are replaced and its languages appended. A missing
  // file is skipped; damage loads what came before it and is reported on the debugger output.
  TLangLoadResult LoadFromFile(const std::string& AFileName);
  TLangLoadResult LoadFromBytes(std::string_view ABytes, const std::string& ASourceName);
  // Creates or replaces the file; a system error code, 0 for success.
  uint32_t SaveToFile(const std::string& AFileName) const;
  std::string SaveToBytes() const;

  bool Loading() const { return FLoading; }
  // Ends loading: with auto-selection on, the system's language is selected (its table
  // activated when it has one; no "en" rule here).
  virtual void Loaded();

protected:
  void ActivateLanguage(std::string_view AShortID);
  const TLanguageServices& Services() const { return FServices; }

private:
  TLanguageServices FServices;
  std::vector<std::string> FOriginal;
  std::vector<TLanguageData> FResources;
  std::string FLang;
  bool FAutoSelect = true;
  bool FStoreInForm = true;
  bool FLoading = true;
};

} // namespace lang
