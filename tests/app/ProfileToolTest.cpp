// The profile tool over the simulated world: the store it shows, the changes it checks and
// writes as one, and the monitor it tells.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "app/ConfigProgramProtocol.h"
#include "app/ctl/ProfileTool.h"
#include "backend/sim/SimWorld.h"
#include "profile/ApplicationList.h"
#include "profile/DMUnit.h"
#include "profile/StoreArchive.h"
#include "rtl/Utf.h"

namespace {

using platform::sim::TSimWorld;
constexpr uint32_t cUser = platform::RegRoot::CurrentUser;
constexpr const char* cKey = "software\\software\\ZQgmmouse";

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

class ProfileToolTest : public ::testing::Test {
protected:
  TRun Tool(const std::vector<std::string>& AArgs) {
    std::ostringstream Out;
    std::ostringstream Err;
    const ctl::TToolServices Services{World.Registry, World.Files,   World.Environment, World.Clock,
                                      World.Locale,   World.Desktop, World.Desktop};
    TRun Run;
    Run.Code = ctl::RunProfileTool(AArgs, Services, {Out, Err});
    Run.Out = Out.str();
    Run.Err = Err.str();
    return Run;
  }
  // The image of a T, edited as a T.
  template <class T, class F>
  static std::vector<uint8_t> Edited(std::vector<uint8_t> AImage, F AEdit) {
    auto Record = std::make_unique<T>();
    std::memcpy(Record.get(), AImage.data(), std::min(AImage.size(), sizeof(T)));
    AEdit(*Record);
    return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(Record.get()),
                                reinterpret_cast<uint8_t*>(Record.get() + 1));
  }
  template <class T, class F> void EditValue(const std::string& AName, F AEdit) {
    World.Registry.PutValue(cUser, cKey, AName, platform::RegType::Binary,
                            Edited<T>(Value(AName), AEdit));
  }
  std::vector<uint8_t> Value(const std::string& AName) {
    const auto Found = World.Registry.GetValue(cUser, cKey, AName);
    return Found ? Found->Data : std::vector<uint8_t>();
  }
  profile::TMOUSECONFIGINFO Profile(int ANumber) {
    const std::vector<uint8_t> Bytes = Value("ZQProfile" + std::to_string(ANumber) + ".pfd");
    EXPECT_EQ(Bytes.size(), sizeof(profile::TMouseProfileInfo));
    profile::TMOUSECONFIGINFO Config{};
    std::memcpy(&Config, Bytes.data() + offsetof(profile::TMouseProfileInfo, ConfigInfo),
                sizeof(Config));
    return Config;
  }
  // A process in the session with a window of the given class, which keeps what it is posted.
  struct TWindow {
    TWindow(TSimWorld& AWorld, const char* AClass) : Process(AWorld.Session) {
      Process.Desktop.CreateMainWindow(AClass, [this](platform::TWindowMessage& AMsg) {
        Received.push_back(AMsg.Msg);
        return true;
      });
    }
    std::vector<uint32_t> Take() {
      Process.Desktop.ProcessMessages();
      return std::exchange(Received, {});
    }
    TSimWorld Process;
    std::vector<uint32_t> Received;
  };

  TSimWorld World;
};

TEST_F(ProfileToolTest, ShowsTheStoreAsTextAndJsonAndWritesNothing) {
  const TRun Text = Tool({"show"});
  ASSERT_EQ(Text.Code, 0) << Text.Err;
  for (const char* Expected : {"not stored yet", "HKEY_CURRENT_USER\\software\\software\\ZQgmmouse",
                               "current profile 3", "Profile 5: registry value ZQProfile5.pfd",
                               "level 5       16400", "button 7        type 8, index 5: key 1",
                               "wheel up        standard", "report rate     500 per second"}) {
    EXPECT_NE(Text.Out.find(Expected), std::string::npos) << Expected << "\n" << Text.Out;
  }
  // Options in any place; JSON alone on standard output.
  const TRun Json = Tool({"--json", "show", "2"});
  ASSERT_EQ(Json.Code, 0) << Json.Err;
  const nlohmann::json Document = nlohmann::json::parse(Json.Out);
  ASSERT_EQ(Document["profiles"].size(), 1u);
  const nlohmann::json& Second = Document["profiles"][0];
  EXPECT_EQ(Second["profile"], 2);
  EXPECT_EQ(Second["resolution"]["levels"][3]["x"], 8200);
  EXPECT_EQ(Second["buttons"].size(), 24u);
  EXPECT_EQ(Document["current_profile"], 3);
  EXPECT_EQ(World.Registry.WriteCount(), 0);
  // The positive control: a change does write.
  EXPECT_EQ(Tool({"game", "2"}).Code, 0);
  EXPECT_GT(World.Registry.WriteCount(), 0);
  EXPECT_NE(Tool({"show"}).Out.find("current profile 2"), std::string::npos);
  // Texts from the store reach the console escaped, and the export holds them.
  ASSERT_EQ(Tool({"reset", "1"}).Code, 0);
  EditValue<profile::TMouseProfileInfo>("ZQProfile1.pfd", [](auto& A) {
    A.ConfigInfo.ButtonFuncInfo[0].nFunctionType = 3;
    rtl::StoreFixedText(A.ConfigInfo.ButtonFuncInfo[0].ComboKeyInfo.ComboKeyText, "a\x1b[2J\tb");
    A.ConfigInfo.CurrentCPIIndex = INT32_MAX;
  });
  const TRun Odd = Tool({"show", "1"});
  EXPECT_NE(Odd.Out.find("\"a\\x1b[2J\\x09b\""), std::string::npos) << Odd.Out;
  EXPECT_NE(Odd.Out.find("current level 2147483648"), std::string::npos) << Odd.Out;
  EXPECT_EQ(Tool({"export", World.Environment.RootFolder() + "/odd"}).Code, 0);
}

TEST_F(ProfileToolTest, ChangesAreCheckedWholeThenWrittenAndTheMonitorIsTold) {
  ASSERT_EQ(Tool({"reset", "all"}).Code, 0);
  const profile::TBUTTONFUNCINFO FactoryDown = Profile(2).VWheelButtonFuncInfo[1];
  TWindow Monitor(World, app::cMainWindowClass);
  const TRun Level = Tool({"cpi", "1", "level", "3", "3200"});
  ASSERT_EQ(Level.Code, 0) << Level.Err;
  EXPECT_EQ(Profile(1).CPIState[2].CPIX, 3200);
  EXPECT_NE(Level.Out.find("+     level 3       3200"), std::string::npos) << Level.Out;
  EXPECT_EQ(Monitor.Take(), std::vector<uint32_t>{app::WM_MONITOR_RELOAD_PROFILES});
  ASSERT_EQ(Tool({"language", "1"}).Code, 0);
  EXPECT_EQ(Monitor.Take(), std::vector<uint32_t>{app::WM_MONITOR_RELOAD_SETTINGS});

  ASSERT_EQ(Tool({"button", "2", "4", "mute"}).Code, 0);
  EXPECT_EQ(Profile(2).ButtonFuncInfo[3].nFunctionIndex, app::cMicrophoneMuteFunction);
  EXPECT_NE(Tool({"show", "2"}).Out.find("button 4        type 1, index 28: microphone mute"),
            std::string::npos);
  ASSERT_EQ(Tool({"button", "2", "4", "default"}).Code, 0);
  EXPECT_EQ(Profile(2).ButtonFuncInfo[3].nFunctionIndex, 38);
  ASSERT_EQ(Tool({"wheel", "2", "down", "1:5"}).Code, 0);
  EXPECT_EQ(Profile(2).VWheelButtonFuncInfo[1].nFunctionIndex, 5);
  EXPECT_EQ(Profile(2).VWheelButtonFuncInfo[1].nDeviceCode, 16);
  ASSERT_EQ(Tool({"wheel", "2", "down", "standard"}).Code, 0);
  const profile::TBUTTONFUNCINFO Down = Profile(2).VWheelButtonFuncInfo[1];
  EXPECT_EQ(std::memcmp(&Down, &FactoryDown, sizeof(Down)), 0);
  EXPECT_EQ(Tool({"cpi", "1", "level", "2", "on"}).Code, 0); // in bounds
  EXPECT_EQ(Monitor.Take().size(), 4u);

  // A profile's applications: ten entries at most, each once, as text.
  ASSERT_EQ(Tool({"apps", "3", "on"}).Code, 0);
  for (int Entry = 1; Entry <= 10; ++Entry) {
    ASSERT_EQ(Tool({"apps", "3", "add", "C:\\Games\\" + std::to_string(Entry) + ".exe"}).Code, 0);
  }
  EXPECT_EQ(Profile(3).AutoSwitchProfileWhenAppRun, 1);
  EXPECT_EQ(profile::ApplicationEntry(Profile(3), 9), "C:\\Games\\10.exe");
  EXPECT_NE(Tool({"apps", "3", "add", "x.exe"}).Err.find("in use"), std::string::npos);
  ASSERT_EQ(Tool({"apps", "3", "remove", "2"}).Code, 0);
  EXPECT_NE(Tool({"apps", "3", "add", "c:/games/1.EXE"}).Err.find("entry 1"), std::string::npos);
  const std::string Shown = Tool({"show", "3"}).Out;
  EXPECT_NE(Shown.find("applications    on"), std::string::npos) << Shown;
  EXPECT_NE(Shown.find("10            C:\\Games\\10.exe"), std::string::npos) << Shown;
  Monitor.Take();

  // Refused, with nothing written: usage (2) and what the store rules out (1).
  const int Writes = World.Registry.WriteCount();
  const std::pair<std::vector<std::string>, int> Refused[] = {
      {{"cpi", "1", "level", "3", "20000"}, 1}, // above the factory bounds
      {{"cpi", "1", "level", "3", "1e3"}, 2},
      {{"cpi", "1", "current", "7"}, 1}, // not in use
      {{"cpi", "1", "levels", "0"}, 2},
      {{"cpi", "1", "level", "1", "off"}, 1}, // the current level
      {{"cpi", "1", "level", "6", "on"}, 1},  // at 0, outside the bounds
      {{"button", "1", "25", "mute"}, 2},
      {{"button", "1", "2", "1:48"}, 2},
      {{"wheel", "1", "sideways", "standard"}, 2},
      {{"game", "6"}, 2},
      {{"language", "3"}, 2},
      {{"frobnicate"}, 2},
      {{"show", "--frobnicate"}, 2},
      {{"game", "2", "--dry-run"}, 2},
      {{"apps", "1", "add", "a\tb"}, 2},
      {{"apps", "1", "remove", "11"}, 2}};
  for (const auto& [Args, Code] : Refused) {
    const TRun Run = Tool(Args);
    EXPECT_EQ(Run.Code, Code) << Args[0] << " " << Run.Err;
    EXPECT_FALSE(Run.Err.empty());
  }
  EXPECT_EQ(World.Registry.WriteCount(), Writes);

  // The configuration program may write its own copy over a change: only with --force.
  TWindow Config(World, app::cConfigWindowClass);
  EXPECT_EQ(Tool({"game", "4"}).Code, 1);
  EXPECT_EQ(World.Registry.WriteCount(), Writes);
  const TRun Forced = Tool({"--force", "game", "4"});
  EXPECT_EQ(Forced.Code, 0);
  EXPECT_NE(Forced.Err.find("Warning"), std::string::npos);
  EXPECT_EQ(Monitor.Take(), std::vector<uint32_t>{app::WM_MONITOR_RELOAD_PROFILES});
}

TEST_F(ProfileToolTest, AnExportImportsBackByteForByteAndDamagedFilesAreRefused) {
  ASSERT_EQ(Tool({"reset", "all"}).Code, 0);
  ASSERT_EQ(Tool({"cpi", "5", "level", "2", "1600", "800"}).Code, 0);
  const std::string File = World.Environment.RootFolder() + "/store export.tarn";
  ASSERT_EQ(Tool({"export", File}).Code, 0);
  const auto Snapshot = [&] {
    std::vector<std::vector<uint8_t>> Values;
    for (const char* Name :
         {"allsettings.pfd", "ProfileSettingGroup.pfd", "ZQProfile1.pfd", "ZQProfile2.pfd",
          "ZQProfile3.pfd", "ZQProfile4.pfd", "ZQProfile5.pfd"}) {
      Values.push_back(Value(Name));
    }
    return Values;
  };
  const auto Exported = Snapshot();
  ASSERT_EQ(Tool({"game", "1"}).Code, 0);
  ASSERT_EQ(Tool({"reset", "5"}).Code, 0);
  const auto Changed = Snapshot();

  const TRun DryRun = Tool({"import", File, "--dry-run"});
  ASSERT_EQ(DryRun.Code, 0) << DryRun.Err;
  EXPECT_NE(DryRun.Out.find("+     level 2       1600 x 800"), std::string::npos) << DryRun.Out;
  EXPECT_EQ(Snapshot(), Changed);
  ASSERT_EQ(Tool({"import", File}).Code, 0);
  EXPECT_EQ(Snapshot(), Exported);

  std::vector<uint8_t> Good;
  ASSERT_EQ(World.Files.ReadWholeFile(File, Good, profile::cMaxStoreArchiveSize), 0u);
  const std::string Text(Good.begin(), Good.end());
  profile::TStoreArchive Archive = profile::ReadStoreArchive(Text);
  const auto Rewritten = [&](const std::function<void(profile::TStoreArchive&)>& AEdit) {
    profile::TStoreArchive Copy = Archive;
    AEdit(Copy);
    return profile::WriteStoreArchive(Copy);
  };
  const auto NameProfile1 = [](profile::TStoreArchive& A, const char* AName) {
    A.Records[1].Bytes = Edited<profile::TProfileSettingGroup>(A.Records[1].Bytes, [&](auto& G) {
      rtl::StoreFixedText(G.ProfileSettingList[0].szFileName, AName);
    });
  };
  std::string Flipped = Text;
  Flipped[Text.size() / 2] ^= 0x20;
  std::string Newer = Text;
  Newer.replace(Newer.find("format: 1"), 9, "format: 9");
  const std::pair<std::string, std::string> Damaged[] = {
      {Text.substr(0, Text.size() / 3), "cut short"},
      {Flipped, "CRC-32"},
      {Newer, "9"},
      {"PK\x03\x04 a zip file", "not"},
      {Rewritten([](auto& A) { A.Records[2].Bytes.resize(1000); }), "1000 bytes"},
      {Rewritten([](auto& A) { A.Records[2].Bytes[118044] = 99; }), "current level index 99"},
      {Rewritten([](auto& A) { A.Records.erase(A.Records.begin() + 1); }), "missing"},
      {Rewritten([&](auto& A) { NameProfile1(A, "AllSettings.pfd"); }), "another record"},
      {Rewritten([&](auto& A) { NameProfile1(A, "a\x01.pfd"); }), "not a plain name"}};
  ASSERT_EQ(Tool({"game", "2"}).Code, 0);
  const auto Before = Snapshot();
  for (const auto& [Bytes, Reason] : Damaged) {
    World.Files.ReplaceFileContent(File, Bytes.data(), Bytes.size());
    const TRun Run = Tool({"import", File});
    EXPECT_EQ(Run.Code, 1);
    EXPECT_NE(Run.Err.find(Reason), std::string::npos) << Reason << ": " << Run.Err;
    EXPECT_NE(Run.Err.find("The store is untouched."), std::string::npos) << Run.Err;
  }
  EXPECT_EQ(Snapshot(), Before);
}

TEST_F(ProfileToolTest, AChangeThatFailsHalfWayIsPutBackOrFinishedByTheNextCommand) {
  ASSERT_EQ(Tool({"reset", "all"}).Code, 0);
  const std::string File = World.Environment.RootFolder() + "/export";
  ASSERT_EQ(Tool({"export", File}).Code, 0);
  ASSERT_EQ(Tool({"game", "2"}).Code, 0);
  ASSERT_EQ(Tool({"cpi", "5", "level", "2", "1600"}).Code, 0);
  const std::vector<uint8_t> Shared = Value("allsettings.pfd");
  const std::vector<uint8_t> Fifth = Value("ZQProfile5.pfd");
  using platform::sim::TSimRegistryOp;
  constexpr uint32_t cDiskFull = 112;
  // The import writes the shared settings, then profile 5, which fails: the first is put back.
  World.Registry.FailAfter(TSimRegistryOp::SetValue, 1, cDiskFull);
  const TRun PutBack = Tool({"import", File});
  EXPECT_EQ(PutBack.Code, 1);
  EXPECT_NE(PutBack.Err.find("nothing was changed"), std::string::npos) << PutBack.Err;
  EXPECT_EQ(Value("allsettings.pfd"), Shared);
  EXPECT_EQ(Value("ZQProfile5.pfd"), Fifth);
  // As a kill would leave it: the first written, the second not, and nothing put back. The next
  // command finishes the import from its journal.
  World.Registry.FailAfter(TSimRegistryOp::SetValue, 1, cDiskFull);
  World.Registry.FailAfter(TSimRegistryOp::SetValue, 0, cDiskFull);
  const TRun Stopped = Tool({"import", File});
  EXPECT_EQ(Stopped.Code, 1);
  EXPECT_NE(Stopped.Err.find("journal"), std::string::npos) << Stopped.Err;
  EXPECT_NE(Value("allsettings.pfd"), Shared);
  EXPECT_EQ(Value("ZQProfile5.pfd"), Fifth);
  const TRun Next = Tool({"show", "5"});
  EXPECT_EQ(Next.Code, 0);
  EXPECT_NE(Next.Err.find("finished an unfinished change"), std::string::npos) << Next.Err;
  EXPECT_NE(Value("ZQProfile5.pfd"), Fifth);
  EXPECT_NE(Next.Out.find("level 2       2000"), std::string::npos) << Next.Out;
  // A journal a scanner holds when it is to go stays for the next command: messages say so.
  using platform::sim::TSimFileOp;
  constexpr uint32_t cHeld = 32; // a sharing violation
  ASSERT_EQ(Tool({"game", "2"}).Code, 0);
  ASSERT_EQ(Tool({"cpi", "5", "level", "2", "1600"}).Code, 0);
  World.Registry.FailAfter(TSimRegistryOp::SetValue, 1, cDiskFull);
  World.Files.FailNext(TSimFileOp::Remove, cHeld);
  const TRun Held = Tool({"import", File});
  EXPECT_NE(Held.Err.find("put back, but the journal"), std::string::npos) << Held.Err;
  World.Files.FailNext(TSimFileOp::Remove, cHeld);
  EXPECT_NE(Tool({"game", "4"}).Err.find("cannot be removed"), std::string::npos);
  EXPECT_NE(Value("ZQProfile5.pfd"), Fifth);
  World.Files.FailNext(TSimFileOp::Remove, cHeld);
  EXPECT_NE(Tool({"game", "5"}).Err.find("Warning: the journal"), std::string::npos);
}

TEST_F(ProfileToolTest, AProfileThatCannotBeWrittenWhereItIsStoredIsRefused) {
  ASSERT_EQ(Tool({"reset", "all"}).Code, 0);
  // One level of folder is made, as the data module makes it; two are not.
  for (const std::string Folder : {"/gone/away/", "/made/"}) {
    EditValue<profile::TProfileSettingGroup>("ProfileSettingGroup.pfd", [&](auto& A) {
      A.ProfileSettingList[0].nStorage = profile::cStorageFile;
      rtl::StoreFixedText(A.ProfileSettingList[0].szFilePath,
                          World.Environment.RootFolder() + Folder);
    });
    const TRun Run = Tool({"cpi", "1", "level", "3", "3200"});
    EXPECT_EQ(Run.Code, Folder == "/made/" ? 0 : 1) << Run.Err;
    EXPECT_EQ(World.Files.FileExists(World.Environment.RootFolder() + Folder + "ZQProfile1.pfd"),
              Folder == "/made/");
  }
}

} // namespace
