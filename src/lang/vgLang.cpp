#include "lang/vgLang.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "lang/Translation.h"
#include "platform/SysError.h"

namespace lang {

const char* const cBuiltInOriginals[10] = {"Down",
                                           "Up",
                                           "ms",
                                           "Mouse Click",
                                           "Mouse Right Click",
                                           "Mouse Middle Click",
                                           "Backward(Mouse)",
                                           "Forward(Mouse)",
                                           "Wheel up(Mouse)",
                                           "Wheel Down(Mouse)"};

namespace {
std::string LowerAscii(std::string AText) {
  for (char& Char : AText) {
    Char = static_cast<char>(std::tolower(static_cast<unsigned char>(Char)));
  }
  return AText;
}
} // namespace

std::string SystemLanguageCode(platform::ILocale& ALocale) {
  return LowerAscii(ALocale.UserAbbrevLanguageName().substr(0, 2));
}

std::string SystemFullLanguageCode(platform::ILocale& ALocale) {
  const std::string Country = ALocale.UserAbbrevCountryName();
  return SystemLanguageCode(ALocale) + "_" + (Country == "PRT" ? "PT" : Country.substr(0, 2));
}

std::string GetOSDefaultLang(platform::ILocale& ALocale) {
  char Buffer[8];
  std::snprintf(Buffer, sizeof(Buffer), "%04X",
                static_cast<unsigned>(ALocale.SystemDefaultLangID()));
  return Buffer;
}

TvgLang::TvgLang(rtl::TComponent* AOwner, const TLanguageServices& AServices)
    : rtl::TComponent(AOwner), FServices(AServices) {
  SetOriginals({});
}

void TvgLang::SetOriginals(const std::vector<std::string>& AOriginals) {
  FOriginal = AOriginals;
  FOriginal.insert(FOriginal.end(), std::begin(cBuiltInOriginals), std::end(cBuiltInOriginals));
  std::sort(FOriginal.begin(), FOriginal.end());
  FOriginal.erase(std::unique(FOriginal.begin(), FOriginal.end()), FOriginal.end());
}

int TvgLang::IndexOfLanguage(std::string_view AShortID) const {
  for (std::size_t I = 0; I < FResources.size(); ++I) {
    if (rtl::SameText(FResources[I].ShortID, AShortID)) {
      return static_cast<int>(I);
    }
  }
  return -1;
}

void TvgLang::ActivateLanguage(std::string_view AShortID) {
  const int Index = IndexOfLanguage(AShortID);
  if (Index >= 0) {
    ActivateTranslationTable(FResources[static_cast<std::size_t>(Index)].Lines);
  }
}

void TvgLang::SelectLang(const std::string& AShortID) {
  FLang = AShortID;
  if (FLoading) {
    return;
  }
  if (rtl::SameText(AShortID, cEnglishShortID)) {
    RemoveTranslationTable();
  } else {
    ActivateLanguage(AShortID);
  }
}

TLangLoadResult TvgLang::LoadFromBytes(std::string_view ABytes, const std::string& ASourceName) {
  TCatalogueData Data;
  TLangLoadResult Result = DecodeCatalogue(ABytes, Data);
  if (!Data.Originals.empty() || Result.Complete) {
    SetOriginals(Data.Originals);
  }
  for (TLanguageData& Language : Data.Languages) {
    AddLanguage(std::move(Language));
  }
  if (!Result.Complete) {
    FServices.Debug.DebugOutput("Language data " + ASourceName + " is damaged: " + Result.Problem);
  }
  return Result;
}

TLangLoadResult TvgLang::LoadFromFile(const std::string& AFileName) {
  if (!FServices.Files.FileExists(AFileName)) {
    return {};
  }
  std::vector<uint8_t> Bytes;
  const uint32_t Error = FServices.Files.ReadWholeFile(AFileName, Bytes, cMaxLanguageFileSize);
  if (Error != platform::SysError::Success) {
    TLangLoadResult Result{false, FServices.Files.ErrorText(Error)};
    FServices.Debug.DebugOutput("Language file " + AFileName +
                                " cannot be read: " + Result.Problem);
    return Result;
  }
  return LoadFromBytes(std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()),
                       AFileName);
}

std::string TvgLang::SaveToBytes() const {
  TCatalogueData Data;
  Data.Originals = FOriginal;
  Data.Languages = FResources;
  return EncodeCatalogue(Data);
}

uint32_t TvgLang::SaveToFile(const std::string& AFileName) const {
  const std::string Bytes = SaveToBytes();
  return FServices.Files.ReplaceFileContent(AFileName, Bytes.data(), Bytes.size());
}

void TvgLang::Loaded() {
  FLoading = false;
  if (FAutoSelect) {
    FLang = SystemLanguageCode(FServices.Locale);
    if (!FLang.empty()) {
      ActivateLanguage(FLang);
    }
  }
}

} // namespace lang
