// The language catalogue from any bytes: the decoder itself, what it decodes written out
// again, and the catalogue stored with a form loaded into the language component, each of
// its languages selected and applied to a form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Bench.h"
#include "backend/sim/SimWorld.h"
#include "lang/LangFile.h"
#include "lang/Translation.h"
#include "lang/uiLanguage.h"

namespace {

class TFuzzForm : public rtl::TComponent {
public:
  TFuzzForm() : rtl::TComponent(nullptr) {
    SetName("MouseMonitor");
    PublishTextProperty("Caption", &FCaption);
  }
  std::string ClassName() const override { return "TTARNMONMAIN"; }
  rtl::TComponentRole Role() const override { return rtl::TComponentRole::Form; }
  std::string FCaption = "Gaming Mouse";
};

class TFuzzMenu : public rtl::TComponent {
public:
  explicit TFuzzMenu(rtl::TComponent* AOwner) : rtl::TComponent(AOwner) {
    SetName("PopupMenu1");
    PublishTextProperty("Caption", &FCaption);
    PublishTextProperty("Hint", &FHint);
  }
  std::string ClassName() const override { return "TMenuItem"; }
  std::vector<std::string>* TextItems() override { return &FItems; }
  std::string FCaption = "Config";
  std::string FHint = "Exit";
  std::vector<std::string> FItems{"About", "Exit", ""};
};

bool SameCatalogue(const lang::TCatalogueData& A, const lang::TCatalogueData& B) {
  if (A.Originals != B.Originals || A.Languages.size() != B.Languages.size()) {
    return false;
  }
  for (std::size_t I = 0; I < A.Languages.size(); ++I) {
    if (A.Languages[I].ShortID != B.Languages[I].ShortID ||
        A.Languages[I].Lines != B.Languages[I].Lines) {
      return false;
    }
  }
  return true;
}

platform::sim::TSimWorld& World() {
  return fuzz::Bench<platform::sim::TSimWorld>();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  const std::string_view Bytes(reinterpret_cast<const char*>(AData), ASize);

  // What the decoder delivers, damaged or not, is a catalogue it reads back as it is.
  lang::TCatalogueData Decoded;
  lang::DecodeCatalogue(Bytes, Decoded);
  lang::TCatalogueData Again;
  const lang::TLangLoadResult Reread = lang::DecodeCatalogue(lang::EncodeCatalogue(Decoded), Again);
  if (!Reread.Complete || !SameCatalogue(Decoded, Again)) {
    std::abort();
  }
  lang::SplitLines(Bytes);

  // The catalogue stored with a form, as the monitor's form loads its own.
  // A debugger output of its own per input: what a damaged catalogue writes does not pile up.
  platform::sim::TSimWorld& Sim = World();
  platform::sim::TSimDialogs Debug;
  const lang::TLanguageServices Services{Sim.Files, Sim.Environment, Debug, Sim.Locale};
  TFuzzForm Form;
  new TFuzzMenu(&Form);
  auto* Language = new lang::TuiLanguage(&Form, Services);
  Language->LoadResourcesBin(Bytes);
  Language->Loaded();
  Language->SetActive(true);
  std::vector<std::string> ShortIDs;
  for (int Index = 0; Index < Language->LanguageCount() && Index < 8; ++Index) {
    ShortIDs.push_back(Language->GetLanguageShortIDByIndex(Index));
  }
  ShortIDs.push_back("en");
  for (const std::string& ShortID : ShortIDs) {
    Language->SetLang(ShortID);
    const std::vector<std::string>& Originals = Language->Originals();
    for (std::size_t Index = 0; Index < Originals.size() && Index < 4; ++Index) {
      lang::TranslateText(Originals[Index]);
    }
  }
  lang::RemoveTranslationTable();
  return 0;
}
