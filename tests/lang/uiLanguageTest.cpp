#include <gtest/gtest.h>

#include <cstddef>

#include "backend/sim/SimWorld.h"
#include "lang/FormResources.h"
#include "lang/Scene.h"
#include "lang/Translation.h"
#include "lang/uiLanguage.h"
#include "support/TestPlatform.h"

extern const unsigned char ShippedUiLocal[];
extern const std::size_t ShippedUiLocalSize;

namespace {

using namespace lang;
using rtl::TComponent;

const std::string cExitCH = "\xE9\x80\x80\xE5\x87\xBA\xE8\xBD\xAF\xE4\xBB\xB6"; // 退出软件
const std::string cDriverCH =
    "\xE6\xB8\xB8\xE6\x88\x8F\xE9\xBC\xA0\xE6\xA0\x87\xE9\xA9\xB1\xE5\x8A\xA8"; // 游戏鼠标驱动
const std::string cExitTW = "\xE7\xB5\x90\xE6\x9D\x9F\xE8\xBB\x9F\xE9\xAB\x94"; // 結束軟體

class TTestForm : public TComponent {
public:
  explicit TTestForm(TComponent* AOwner = nullptr) : TComponent(AOwner) {
    SetName("MouseMonitor");
    PublishTextProperty("Caption", &Caption);
  }
  std::string ClassName() const override { return "TTARNMONMAIN"; }
  rtl::TComponentRole Role() const override { return rtl::TComponentRole::Form; }
  std::string Caption;
};

class TTestControl : public TComponent {
public:
  TTestControl(TComponent* AOwner, std::string AClass, std::string AName, std::string ACaption)
      : TComponent(AOwner), FClass(std::move(AClass)), Caption(std::move(ACaption)) {
    SetName(AName);
    PublishTextProperty("Caption", &Caption);
    PublishTextProperty("Hint", &Hint);
  }
  std::string ClassName() const override { return FClass; }
  std::vector<std::string>* TextItems() override {
    return FClass == "TMenuItem" ? &Items : nullptr;
  }
  std::string FClass;
  std::string Caption;
  std::string Hint;
  std::vector<std::string> Items;
};

// Builds the language component as the monitor's form does: "ui.local" beside the program,
// then the catalogue stored with the form, then the end of loading.
class uiLanguageTest : public ::testing::Test {
protected:
  void SetUp() override {
    RemoveTranslationTable();
    InstallUiLocal(
        std::string_view(reinterpret_cast<const char*>(ShippedUiLocal), ShippedUiLocalSize));
  }
  void TearDown() override { RemoveTranslationTable(); }

  void InstallUiLocal(std::string_view ABytes) {
    const std::string Path = World.Environment.ModuleFolder() + "ui.local";
    ASSERT_EQ(World.Files.ReplaceFileContent(Path, ABytes.data(), ABytes.size()), 0u);
  }
  TLanguageServices Services() {
    return {World.Files, World.Environment, World.Dialogs, World.Locale};
  }
  std::unique_ptr<TuiLanguage> MakeLanguage(TComponent* AOwner) {
    auto Language = std::make_unique<TuiLanguage>(AOwner, Services());
    Language->LoadResourcesBin(MouseMonitorResourcesBin());
    Language->Loaded();
    return Language;
  }

  platform::sim::TSimWorld World;
};

TEST_F(uiLanguageTest, TheFilesLanguagesComeFirstAndShadowTheFormsOnes) {
  auto Language = MakeLanguage(nullptr);
  EXPECT_TRUE(Language->LanguageFileResult().Complete);
  ASSERT_EQ(Language->LanguageCount(), 5);
  EXPECT_EQ(Language->GetLanguageShortIDByIndex(0), "en");
  EXPECT_EQ(Language->GetLanguageShortIDByIndex(1), "CH");
  EXPECT_EQ(Language->GetLanguageShortIDByIndex(2), "TW");
  EXPECT_EQ(Language->GetLanguageShortIDByIndex(3), "CH");
  EXPECT_EQ(Language->GetLanguageShortIDByIndex(4), "US");
  EXPECT_EQ(Language->GetLanguageShortIDByIndex(5), "");
  EXPECT_EQ(Language->GetLanguageShortIDByIndex(-1), "");
  EXPECT_EQ(Language->GetLanguageIndexByShortID("CH"), 1);
  EXPECT_EQ(Language->GetLanguageIndexByShortID(Language->Lang()), -1);

  Language->SetLang("CH");
  EXPECT_EQ(TranslateText("Exit"), cExitCH);
  // Only the file translates the upper-case tray hint.
  EXPECT_EQ(TranslateText("GAMING MOUSE DRIVER"), cDriverCH);
  // The form's own originals replaced the file's; the built-in ones are always offered.
  const auto& Originals = Language->Originals();
  EXPECT_TRUE(std::binary_search(Originals.begin(), Originals.end(), "Restore Defaults"));
  EXPECT_TRUE(std::binary_search(Originals.begin(), Originals.end(), "Wheel Down(Mouse)"));
}

TEST_F(uiLanguageTest, SwitchingLanguagesBackAndForth) {
  auto Language = MakeLanguage(nullptr);
  std::vector<std::string> Changes;
  Language->SetOnLanguageChanged(
      [&](TComponent* AComponent, const std::string& AShortID, const std::string& ALongName) {
        EXPECT_EQ(AComponent, Language.get());
        Changes.push_back(AShortID + "|" + ALongName);
      });
  Language->SetLang("TW");
  EXPECT_EQ(TranslateText("Exit"), cExitTW);
  Language->SetLang("US");
  EXPECT_EQ(TranslateText("Basic"), "Basic ");
  EXPECT_EQ(TranslateText("Exit"), "Exit");
  // A short ID without a table keeps the active one, but is remembered.
  Language->SetLang("XX");
  EXPECT_EQ(TranslateText("Report Rate"), "Polling Rate");
  EXPECT_EQ(Language->Lang(), "XX");
  Language->SetLang("en");
  EXPECT_FALSE(HasActiveTranslationTable());
  EXPECT_EQ(TranslateText("Report Rate"), "Report Rate");
  Language->SetLang("CH");
  EXPECT_EQ(TranslateText("Exit"), cExitCH);
  // Two-letter short IDs find no locale name.
  EXPECT_EQ(Changes, (std::vector<std::string>{"TW|", "US|", "XX|", "en|", "CH|"}));
}

TEST_F(uiLanguageTest, TheEmbeddedCatalogueAloneKeepsItsOrderAndItsGaps) {
  InstallUiLocal("");
  World.Files.RemoveFile(World.Environment.ModuleFolder() + "ui.local");
  auto Language = MakeLanguage(nullptr);
  ASSERT_EQ(Language->LanguageCount(), 2);
  EXPECT_EQ(Language->GetLanguageIndexByShortID("CH"), 0);
  Language->SetLang("CH");
  EXPECT_EQ(TranslateText("About"), "\xE5\x85\xB3\xE4\xBA\x8E\xE8\xBD\xAF\xE4\xBB\xB6");
  EXPECT_EQ(TranslateText("Config"), "\xE6\x89\x93\xE5\xBC\x80\xE9\x85\x8D\xE7\xBD\xAE");
  EXPECT_EQ(TranslateText("Exit"), cExitCH);
  EXPECT_EQ(TranslateText("Gaming Mouse Driver"), cDriverCH);
  EXPECT_EQ(TranslateText("GAMING MOUSE DRIVER"), "GAMING MOUSE DRIVER");
  EXPECT_EQ(TranslateText("GAMING MOUSE MONITOR"), "GAMING MOUSE MONITOR");
  Language->SetLang("US");
  for (const char* Text :
       {"About", "Config", "Exit", "Gaming Mouse Driver", "GAMING MOUSE DRIVER"}) {
    EXPECT_EQ(TranslateText(Text), Text);
  }
}

TEST_F(uiLanguageTest, ADamagedLanguageFileLeavesAUsableCatalogue) {
  std::string Damaged(reinterpret_cast<const char*>(ShippedUiLocal), ShippedUiLocalSize);
  Damaged.resize(Damaged.size() - 7);
  InstallUiLocal(Damaged);
  auto Language = MakeLanguage(nullptr);
  EXPECT_FALSE(Language->LanguageFileResult().Complete);
  const auto Lines = World.Dialogs.DebugLines();
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_NE(Lines[0].find("ui.local"), std::string::npos);
  // "en" and "CH" of the file survive; the cut "TW" is dropped; the form's languages follow.
  EXPECT_EQ(Language->LanguageCount(), 4);
  Language->SetLang("CH");
  EXPECT_EQ(TranslateText("GAMING MOUSE DRIVER"), cDriverCH);
}

TEST_F(uiLanguageTest, SaveAndLoadAreByteForByte) {
  auto Language = MakeLanguage(nullptr);
  const std::string Path = World.Environment.DocumentsFolder() + "/copy.local";
  ASSERT_EQ(Language->SaveToFile(Path), 0u);
  auto Copy = std::make_unique<TvgLang>(nullptr, Services());
  EXPECT_TRUE(Copy->LoadFromFile(Path).Complete);
  EXPECT_EQ(Copy->SaveToBytes(), Language->SaveToBytes());
  EXPECT_EQ(Copy->LanguageCount(), 5);
  EXPECT_TRUE(Copy->ShouldStoreInForm());
  EXPECT_FALSE(TvgLang(nullptr, Services()).ShouldStoreInForm());
  // A missing file is no damage.
  EXPECT_TRUE(Copy->LoadFromFile(Path + ".missing").Complete);
}

TEST_F(uiLanguageTest, SystemLanguageSelectionAndLocaleNames) {
  World.Locale.SetUserLocale("CHS", "CHN");
  World.Locale.SetSystemDefaultLangID(0x0804);
  auto Language = MakeLanguage(nullptr);
  // Loading ends with the system's language active ("ch" finds "CH").
  EXPECT_EQ(Language->TvgLang::Lang(), "ch");
  EXPECT_EQ(TranslateText("Exit"), cExitCH);
  EXPECT_EQ(Language->GetOSDefaultLang(), "0804");
  EXPECT_EQ(GetOSDefaultLang(World.Locale), "0804");
  EXPECT_EQ(SystemFullLanguageCode(World.Locale), "ch_CH");
  World.Locale.SetUserLocale("PTG", "PRT");
  EXPECT_EQ(SystemFullLanguageCode(World.Locale), "pt_PT");
  EXPECT_EQ(Language->GetLanguageLongNameByLangID("0407"), "Deutsch");
  EXPECT_EQ(Language->GetLanguageLongNameByLangID("0411"), "");
  EXPECT_EQ(Language->GetLanguageLongNameByShortID("0407"), "Deutsch");
  EXPECT_EQ(Language->GetLanguageLongNameByShortID("de"), "");

  World.Locale.SetUserLocale("ENU", "USA");
  Language->SetAutoSelect(true);
  EXPECT_EQ(Language->Lang(), "en");
  EXPECT_FALSE(HasActiveTranslationTable());
}

TEST_F(uiLanguageTest, SetLangWalksTheRegisteredFormsComponents) {
  const int FormsBefore = TuiLanguage::uiParentFormCount();
  auto Form = std::make_unique<TTestForm>();
  Form->Caption = "GAMING MOUSE MONITOR";
  auto* Language = MakeLanguage(Form.get()).release(); // owned by the form from now on
  EXPECT_EQ(TuiLanguage::uiParentFormCount(), FormsBefore + 1);
  auto* Menu = new TTestControl(Form.get(), "TPopupMenu", "MyPopupMenu", "");
  auto* Config = new TTestControl(Menu, "TMenuItem", "Config1", "Config");
  Config->Hint = "Exit";
  Config->Items = {"About", "", "Unknown"};
  auto* Button = new TTestControl(Menu, "TButton", "BtnOK", "OK");
  auto* Custom = new TTestControl(Form.get(), "TvgCustom", "Custom1", "Exit");
  auto* Scene = new TScene(Form.get());
  Scene->AddText("OK");
  std::vector<std::string> CustomBaseNames;
  Language->SetCustomClassList({"TvgCustom"});
  Language->SetOnCustomTranslate([&](TComponent* AComponent, std::vector<std::string>&,
                                     std::vector<TComponent*>&, const std::string& ABase, bool) {
    CustomBaseNames.push_back(AComponent->Name() + "@" + ABase);
  });

  Language->SetLang("CH");
  EXPECT_EQ(Form->Caption,
            "\xE6\xB8\xB8\xE6\x88\x8F\xE9\xBC\xA0\xE6\xA0\x87\xE7\x9B\x91\xE6\x8E\xA7");
  EXPECT_EQ(Config->Caption, "\xE6\x89\x93\xE5\xBC\x80\xE9\x85\x8D\xE7\xBD\xAE");
  EXPECT_EQ(Config->Hint, cExitCH);
  EXPECT_EQ(Config->Items, (std::vector<std::string>{
                               "\xE5\x85\xB3\xE4\xBA\x8E\xE8\xBD\xAF\xE4\xBB\xB6", "", "Unknown"}));
  EXPECT_EQ(Button->Caption, "\xE7\xA1\xAE\xE5\xAE\x9A");
  EXPECT_EQ(Custom->Caption, "Exit");
  EXPECT_EQ(CustomBaseNames, std::vector<std::string>{"Custom1@TTARNMONMAIN"});
  EXPECT_EQ(Scene->Shown(0), "\xE7\xA1\xAE\xE5\xAE\x9A");

  // Collecting without applying lists the texts met and changes nothing.
  std::vector<std::string> Texts;
  std::vector<TComponent*> Visited{Form.get()};
  Language->TranslateComponent(Form.get(), Texts, Visited, "", false);
  EXPECT_EQ(Texts.size(), 7u);

  // The form goes, and with it its registration: another instance's SetLang must not walk it.
  Form.reset();
  EXPECT_EQ(TuiLanguage::uiParentFormCount(), FormsBefore);
  auto Other = MakeLanguage(nullptr);
  Other->SetLang("TW");
  EXPECT_EQ(TranslateText("Exit"), cExitTW);
}

TEST_F(uiLanguageTest, EveryLanguageIsTranslatedFromTheOriginalTexts) {
  const std::string cConfigTW = "\xE9\x96\x8B\xE5\x95\x9F\xE8\xA8\xAD\xE5\xAE\x9A"; // 開啟設定
  const std::string cAboutTW = "\xE9\x97\x9C\xE6\x96\xBC\xE8\xBB\x9F\xE9\xAB\x94";  // 關於軟體
  const std::string cOkTW = "\xE7\xA2\xBA\xE5\xAE\x9A";                             // 確定
  auto Form = std::make_unique<TTestForm>();
  Form->Caption = "GAMING MOUSE MONITOR";
  auto* Language = MakeLanguage(Form.get()).release(); // owned by the form from now on
  auto* Menu = new TTestControl(Form.get(), "TPopupMenu", "MyPopupMenu", "");
  auto* Config = new TTestControl(Menu, "TMenuItem", "Config1", "Config");
  Config->Hint = "Exit";
  Config->Items = {"About", "Unknown"};
  auto* Button = new TTestControl(Form.get(), "TButton", "BtnOK", "OK");
  Button->Hint = "About";

  Language->SetLang("CH");
  EXPECT_EQ(Config->Caption, "\xE6\x89\x93\xE5\xBC\x80\xE9\x85\x8D\xE7\xBD\xAE");
  EXPECT_EQ(Config->Hint, cExitCH);
  // One language to the next: the texts shown come from the originals, not from the texts of
  // the language before (which the next table has no line for).
  Language->SetLang("TW");
  EXPECT_EQ(Form->Caption,
            "\xE9\x81\x8A\xE6\x88\xB2\xE6\xBB\x91\xE9\xBC\xA0\xE7\x9B\xA3\xE6\x8E\xA7"
            "\xE7\xA8\x8B\xE5\xBC\x8F");
  EXPECT_EQ(Config->Caption, cConfigTW);
  EXPECT_EQ(Config->Hint, cExitTW);
  EXPECT_EQ(Config->Items, (std::vector<std::string>{cAboutTW, "Unknown"}));
  EXPECT_EQ(Button->Caption, cOkTW);
  EXPECT_EQ(Button->Hint, cAboutTW);
  // A text the program sets while a language is shown is the new original.
  Button->Caption = "Exit";
  Config->Items[1] = "About";
  // Collecting lists the originals, not what is shown.
  std::vector<std::string> Texts;
  std::vector<TComponent*> Visited{Form.get()};
  Language->TranslateComponent(Form.get(), Texts, Visited, "", false);
  EXPECT_EQ(Texts, (std::vector<std::string>{"GAMING MOUSE MONITOR", "Config", "Exit", "About",
                                             "About", "Exit", "Exit", "About"}));

  Language->SetLang("en");
  EXPECT_EQ(Form->Caption, "GAMING MOUSE MONITOR");
  EXPECT_EQ(Config->Caption, "Config");
  EXPECT_EQ(Config->Hint, "Exit");
  EXPECT_EQ(Config->Items, (std::vector<std::string>{"About", "About"}));
  EXPECT_EQ(Button->Caption, "Exit");
  EXPECT_EQ(Button->Hint, "About");
  Language->SetLang("CH");
  EXPECT_EQ(Button->Caption, cExitCH);
}

// The locale service and the shipped "ui.local", on every backend (the real ones under Wine).
class LanguageBackendTest : public ::testing::TestWithParam<std::string> {};

TEST_P(LanguageBackendTest, LocalesAndTheShippedLanguageFileLoadAsTheMonitorLoadsThem) {
  auto Backend = test::MakeTestPlatform(GetParam());
  platform::TPlatform Platform = Backend->Platform();
  if (Backend->Sim() != nullptr) {
    const std::string Path = Platform.Environment.ModuleFolder() + "ui.local";
    ASSERT_EQ(Platform.Files.ReplaceFileContent(Path, ShippedUiLocal, ShippedUiLocalSize), 0u);
  }
  const auto Locales = Platform.Locale.SupportedLocales();
  ASSERT_FALSE(Locales.empty());
  bool English = false;
  for (const auto& Locale : Locales) {
    English = English || (Locale.LangID == 0x0409 && !Locale.NativeLanguageName.empty());
  }
  EXPECT_TRUE(English);
  const std::string OsLang = GetOSDefaultLang(Platform.Locale);
  EXPECT_EQ(OsLang.size(), 4u);
  EXPECT_EQ(SystemLanguageCode(Platform.Locale).size(), 2u);

  RemoveTranslationTable();
  TuiLanguage Language(nullptr,
                       {Platform.Files, Platform.Environment, Platform.Debug, Platform.Locale});
  Language.LoadResourcesBin(MouseMonitorResourcesBin());
  Language.Loaded();
  EXPECT_TRUE(Language.LanguageFileResult().Complete);
  EXPECT_EQ(Language.GetLanguageShortIDByIndex(2), "TW");
  EXPECT_FALSE(Language.GetLanguageLongNameByLangID("0409").empty());
  Language.SetLang("TW");
  EXPECT_EQ(TranslateText("Exit"), cExitTW);
  RemoveTranslationTable();
}

INSTANTIATE_TEST_SUITE_P(Backends, LanguageBackendTest,
                         ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

} // namespace
