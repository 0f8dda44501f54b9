#include "lang/uiLanguage.h"

#include <algorithm>
#include <cstdio>

#include "lang/Translation.h"
#include "rtl/Paths.h"

namespace lang {

namespace {

struct TParentForms {
  std::vector<rtl::TComponent*> Forms;
  int Count = 0;
};

TParentForms& ParentFormRegistry() {
  static TParentForms Registry;
  return Registry;
}

bool Contains(const std::vector<std::string>& AList, std::string_view AName) {
  return std::any_of(AList.begin(), AList.end(),
                     [AName](const std::string& AItem) { return rtl::SameText(AItem, AName); });
}

std::string HexLangID(uint16_t ALangID) {
  char Buffer[8];
  std::snprintf(Buffer, sizeof(Buffer), "%04X", static_cast<unsigned>(ALangID));
  return Buffer;
}

bool IsFormLike(const rtl::TComponent* AComponent) {
  return AComponent->Role() == rtl::TComponentRole::Form ||
         AComponent->Role() == rtl::TComponentRole::DataModule;
}

// The owner path of a component: a form or data module is named by its class, a component on
// a form by the form's class, anything deeper by its owner's path and name.
std::string ComponentPath(const rtl::TComponent* AComponent) {
  if (IsFormLike(AComponent)) {
    return AComponent->ClassName();
  }
  const rtl::TComponent* Owner = AComponent->Owner();
  if (Owner == nullptr) {
    return std::string();
  }
  if (Owner->Role() == rtl::TComponentRole::Form) {
    return Owner->ClassName();
  }
  return ComponentPath(Owner) + "." + Owner->Name();
}

} // namespace

TuiLanguage::TuiLanguage(rtl::TComponent* AOwner, const TLanguageServices& AServices)
    : TvgLang(AOwner, AServices), FTranslatePropertyList{"Caption", "Hint"},
      FTranslateSpecialClassList{"TMenuItem", "TTabControl", "TTabSheet",   "TListView",
                                 "TTreeView", "TStatusBar",  "TComboBoxEx", "TuiMenuEx"} {
  for (const platform::TLocaleEntry& Locale : AServices.Locale.SupportedLocales()) {
    const std::string LangID = HexLangID(Locale.LangID);
    FLocaleNames.push_back(
        {LangID, Locale.CountryKnown ? LangID : std::string(), Locale.NativeLanguageName});
  }
  if (AOwner != nullptr && AOwner->Role() == rtl::TComponentRole::Form) {
    FParentForm = AOwner;
    ParentFormRegistry().Forms.push_back(AOwner);
    ++ParentFormRegistry().Count;
  }
  const std::string LanguageFile =
      rtl::IncludeTrailingPathDelimiter(AServices.Environment.ModuleFolder()) +
      cDefaultLanguageFile;
  if (AServices.Files.FileExists(LanguageFile)) {
    ClearLanguages();
    FLanguageFileResult = LoadFromFile(LanguageFile);
  }
}

TuiLanguage::~TuiLanguage() {
  if (FParentForm != nullptr) {
    // The form goes with its language component: a later SetLang of another instance must
    // not walk its freed components.
    auto& Forms = ParentFormRegistry().Forms;
    const auto Found = std::find(Forms.begin(), Forms.end(), FParentForm);
    if (Found != Forms.end()) {
      Forms.erase(Found);
    }
    --ParentFormRegistry().Count;
  }
}

int TuiLanguage::uiParentFormCount() {
  return ParentFormRegistry().Count;
}

const std::vector<rtl::TComponent*>& TuiLanguage::ParentForms() {
  return ParentFormRegistry().Forms;
}

TLangLoadResult TuiLanguage::LoadResourcesBin(std::string_view ABytes) {
  return LoadFromBytes(ABytes, "ResourcesBin of " + (Owner() ? Owner()->ClassName() : ClassName()));
}

void TuiLanguage::SetLang(const std::string& Value) {
  SelectLang(Value);
  FLanguageName = Value;
  // A walk may not register forms; iterate over a copy all the same.
  const std::vector<rtl::TComponent*> Forms = ParentFormRegistry().Forms;
  for (rtl::TComponent* Form : Forms) {
    std::vector<std::string> Texts;
    std::vector<rtl::TComponent*> Visited{Form};
    TranslateComponent(Form, Texts, Visited, std::string(), true);
  }
  if (FOnLanguageChanged.Assigned()) {
    FOnLanguageChanged(this, FLanguageName, GetLanguageLongNameByShortID(FLanguageName));
  }
}

void TuiLanguage::SetAutoSelect(bool Value) {
  FAutoSelect = Value;
  if (Value) {
    SetLang(SystemLanguageCode(Services().Locale));
  }
}

int TuiLanguage::GetLanguageIndexByShortID(const std::string& ShortID) const {
  return IndexOfLanguage(ShortID);
}

std::string TuiLanguage::GetLanguageShortIDByIndex(int Index) const {
  return Index >= 0 && Index < LanguageCount() ? Language(Index).ShortID : std::string();
}

std::string TuiLanguage::GetLanguageLongNameByLangID(const std::string& LangID) const {
  for (const TLocaleName& Locale : FLocaleNames) {
    if (rtl::SameText(Locale.LangID, LangID)) {
      return Locale.NativeName;
    }
  }
  return std::string();
}

std::string TuiLanguage::GetLanguageLongNameByShortID(const std::string& ShortID) const {
  for (const TLocaleName& Locale : FLocaleNames) {
    if (rtl::SameText(Locale.CountryKey, ShortID)) {
      return Locale.NativeName;
    }
  }
  return std::string();
}

bool TuiLanguage::TranslateOneText(std::string& AText, rtl::TTextOrigin& AOrigin,
                                   std::vector<std::string>& ATextList, bool ATranslate) {
  if (AText.empty()) {
    return false;
  }
  // A translation shown earlier is no original of any table: going back to English or on to
  // another language starts from the text the program set.
  const std::string Original = AOrigin.OriginalOf(AText);
  ATextList.push_back(Original);
  std::string Translated = TranslateText(Original);
  if (!ATranslate || Translated.empty()) {
    return false;
  }
  AOrigin.Remember(Original, Translated);
  AText = std::move(Translated);
  return true;
}

void TuiLanguage::TranslateProperty(rtl::TComponent* AComponent, const std::string& AName,
                                    std::vector<std::string>& ATextList, bool ATranslate) {
  std::string Value;
  rtl::TTextOrigin* Origin = AComponent->TextPropertyOrigin(AName);
  if (Origin != nullptr && AComponent->GetTextProperty(AName, Value) &&
      TranslateOneText(Value, *Origin, ATextList, ATranslate)) {
    AComponent->SetTextProperty(AName, Value);
  }
}

void TuiLanguage::TranslateProperties(rtl::TComponent* AComponent,
                                      std::vector<std::string>& ATextList, bool ATranslate) {
  for (const std::string& Name : FTranslatePropertyList) {
    TranslateProperty(AComponent, Name, ATextList, ATranslate);
  }
}

void TuiLanguage::TranslateListControl(rtl::TComponent* AComponent,
                                       std::vector<std::string>& ATextList, bool ATranslate) {
  std::vector<std::string>* Items = AComponent->TextItems();
  if (Items == nullptr || !AComponent->HasTextProperty("Caption") ||
      !AComponent->HasTextProperty("Hint")) {
    return;
  }
  TranslateProperty(AComponent, "Caption", ATextList, ATranslate);
  TranslateProperty(AComponent, "Hint", ATextList, ATranslate);
  std::vector<rtl::TTextOrigin>& Origins = AComponent->TextItemOrigins();
  Origins.resize(Items->size());
  for (std::size_t Index = 0; Index < Items->size(); ++Index) {
    TranslateOneText((*Items)[Index], Origins[Index], ATextList, ATranslate);
  }
  TranslateProperty(AComponent, "Hint", ATextList, ATranslate);
}

void TuiLanguage::TranslateComponent(rtl::TComponent* AComponent,
                                     std::vector<std::string>& ATextList,
                                     std::vector<rtl::TComponent*>& AVisited,
                                     const std::string& ABaseName, bool ATranslate) {
  const std::string BaseName = ABaseName.empty() ? ComponentPath(AComponent) : ABaseName;
  TranslateProperties(AComponent, ATextList, ATranslate);
  const bool WalkingApplication = AComponent->Role() == rtl::TComponentRole::Application;
  for (int Index = 0; Index < AComponent->ComponentCount(); ++Index) {
    rtl::TComponent* Child = AComponent->Components(Index);
    const std::string ChildClass = Child->ClassName();
    if (Contains(FTranslateSpecialClassList, ChildClass)) {
      TranslateListControl(Child, ATextList, ATranslate);
    } else if (Contains(FTranslateCustomClassList, ChildClass)) {
      if (FOnCustomTranslate.Assigned()) {
        FOnCustomTranslate(Child, ATextList, AVisited, BaseName, ATranslate);
      }
    } else if ((WalkingApplication && Child->Role() == rtl::TComponentRole::Form) ||
               Child->Role() == rtl::TComponentRole::Scene ||
               std::find(AVisited.begin(), AVisited.end(), Child) != AVisited.end()) {
      continue;
    } else {
      AVisited.push_back(Child);
      const std::string ChildBase = AComponent->Role() == rtl::TComponentRole::Form
                                        ? BaseName
                                        : BaseName + "." + AComponent->Name();
      TranslateComponent(Child, ATextList, AVisited, ChildBase, ATranslate);
    }
  }
}

} // namespace lang
