// TuiLanguage: the catalogue of a form. It loads "ui.local" from the executable's folder and
// the catalogue stored with the form, switches the language by short ID, re-applies the
// translations to the text properties of the registered forms' components, and reports the
// change.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "lang/vgLang.h"
#include "rtl/Events.h"

namespace lang {

inline constexpr const char* cDefaultLanguageFile = "ui.local";

using TOnLanguageChanged =
    rtl::TMethodEvent<void(rtl::TComponent* AComponent, const std::string& LanguageShortID,
                           const std::string& LanguageLongName)>;
using TOnCustomTranslate = rtl::TMethodEvent<void(
    rtl::TComponent* AComponent, std::vector<std::string>& ATextList,
    std::vector<rtl::TComponent*>& AList, const std::string& BaseName, bool ATranslate)>;

class TuiLanguage : public TvgLang {
public:
  // Builds the lists and the locale lists, registers a form owner as a parent form, and loads
  // "ui.local" when the executable's folder has one. The owner then hands over the catalogue
  // stored with it (LoadResourcesBin) and calls Loaded.
  TuiLanguage(rtl::TComponent* AOwner, const TLanguageServices& AServices);
  ~TuiLanguage() override;
  std::string ClassName() const override { return "TuiLanguage"; }

  // The catalogue stored with the form: originals replaced, languages appended after those
  // of "ui.local" (a short ID in both resolves to the file's table).
  TLangLoadResult LoadResourcesBin(std::string_view ABytes);
  // The outcome of reading "ui.local" at creation.
  const TLangLoadResult& LanguageFileResult() const { return FLanguageFileResult; }

  const std::string& Lang() const { return FLanguageName; }
  void SetLang(const std::string& Value);

  bool Active() const { return FActive; }
  void SetActive(bool AValue) { FActive = AValue; }
  bool ActiveLoadFromFile() const { return FActiveLoadFromFile; }
  void SetActiveLoadFromFile(bool AValue) { FActiveLoadFromFile = AValue; }
  bool AutoSelect() const { return FAutoSelect; }
  // With true, selects the system's two-letter language code.
  void SetAutoSelect(bool Value);

  const std::vector<std::string>& TranslatePropertyList() const { return FTranslatePropertyList; }
  const std::vector<std::string>& SpecialClassName() const { return FTranslateSpecialClassList; }
  const std::vector<std::string>& CustomClassList() const { return FTranslateCustomClassList; }
  void SetCustomClassList(const std::vector<std::string>& Value) {
    FTranslateCustomClassList = Value;
  }

  void SetOnLanguageChanged(TOnLanguageChanged AValue) { FOnLanguageChanged = std::move(AValue); }
  void SetOnCustomTranslate(TOnCustomTranslate AValue) { FOnCustomTranslate = std::move(AValue); }

  int GetLanguageIndexByShortID(const std::string& ShortID) const;
  // "" when the index is negative or not below the language count.
  std::string GetLanguageShortIDByIndex(int Index) const;
  // Native language name of the first supported locale with that language ID ("0804").
  std::string GetLanguageLongNameByLangID(const std::string& LangID) const;
  // The same lookup in the list keyed by language ID for locales whose country is known
  // (under "" otherwise): a two-letter short ID finds nothing.
  std::string GetLanguageLongNameByShortID(const std::string& ShortID) const;
  std::string GetOSDefaultLang() const { return lang::GetOSDefaultLang(Services().Locale); }

  // Walks a component tree: collects every text met into ATextList and, with ATranslate,
  // writes the translations back. AVisited starts with the root.
  void TranslateComponent(rtl::TComponent* AComponent, std::vector<std::string>& ATextList,
                          std::vector<rtl::TComponent*>& AVisited, const std::string& ABaseName,
                          bool ATranslate);

  // Instances created with a form as owner, minus those destroyed.
  static int uiParentFormCount();
  static const std::vector<rtl::TComponent*>& ParentForms();

private:
  struct TLocaleName {
    std::string LangID;
    std::string CountryKey;
    std::string NativeName;
  };
  void TranslateProperties(rtl::TComponent* AComponent, std::vector<std::string>& ATextList,
                           bool ATranslate);
  void TranslateProperty(rtl::TComponent* AComponent, const std::string& AName,
                         std::vector<std::string>& ATextList, bool ATranslate);
  void TranslateListControl(rtl::TComponent* AComponent, std::vector<std::string>& ATextList,
                            bool ATranslate);
  bool TranslateOneText(std::string& AText, rtl::TTextOrigin& AOrigin,
                        std::vector<std::string>& ATextList, bool ATranslate);

  bool FActive = false;
  bool FAutoSelect = false;
  TOnCustomTranslate FOnCustomTranslate;
  std::string FLanguageName;
  std::vector<std::string> FTranslatePropertyList;
  std::vector<std::string> FTranslateSpecialClassList;
  std::vector<std::string> FTranslateCustomClassList;
  bool FActiveLoadFromFile = false;
  TOnLanguageChanged FOnLanguageChanged;
  std::vector<TLocaleName> FLocaleNames;
  rtl::TComponent* FParentForm = nullptr;
  TLangLoadResult FLanguageFileResult;
};

} // namespace lang
