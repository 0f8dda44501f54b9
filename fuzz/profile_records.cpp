// A stored record image in one of the data module's places, and the data module started over
// it: switching profiles and groups, the macro list, the reloads the configuration program
// asks for. The simulated world is built once; each input only replaces the stored values.
//
// Input: a selector byte, then the image.
//   selector & 0x7F (mod 13): 0 the group record, 1 the settings record, 2..6 game profile
//     1..5 in the registry, 7..11 game profile 1..5 in its ".pfd" file (the group record
//     then names file storage for it), 12 the recorded macro.
//   selector & 0x80 clear: the rest of the input is the stored image as it is.
//   selector & 0x80 set: a compact edit of the factory default record of that place: a
//     24-bit stored length (the default record cut or extended with zeros to it; 0 keeps the
//     record's own), then
//     patches of a 24-bit offset, a count and that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Bench.h"
#include "ConfinedFileSystem.h"
#include "FuzzInput.h"
#include "backend/sim/SimWorld.h"
#include "profile/DMUnit.h"
#include "rtl/Paths.h"
#include "rtl/Utf.h"

namespace {

using namespace profile;
using platform::RegRoot::CurrentUser;

constexpr int cPlaceCount = 13;
constexpr int cFirstRegistryGame = 2;
constexpr int cFirstFileGame = 7;
constexpr int cRecordMacroPlace = 12;
// Enough to reach the refusal of images above 1 MiB.
constexpr uint32_t cMaxPatchedLength = 1024 * 1024 + 16;

class TRecordBench {
public:
  TRecordBench() : FFiles(FWorld.Files, FWorld.Environment.RootFolder() + rtl::PathDelim) {
    FWorld.Clock.SetNow(45351.25);
    // A first start on an empty store writes the group and settings records: those are the
    // store every input starts from, and the defaults the compact edits start from.
    platform::sim::TSimDialogs Dialogs;
    auto Module = std::make_unique<TDM>(nullptr, Services(Dialogs));
    FKey = Module->OptionsFromConfigFile().ProfileRegFolder;
    FGroup = Stored(cProfileSettingGroupValueName);
    FSettings = Stored(cAllSettingsValueName);
    TuiProfile* Games[cGameProfileCount] = {Module->uiProfileGame1, Module->uiProfileGame2,
                                            Module->uiProfileGame3, Module->uiProfileGame4,
                                            Module->uiProfileGame5};
    for (int Index = 0; Index < cGameProfileCount; ++Index) {
      Games[Index]->RestoreToDefault();
      FGames[Index] = Games[Index]->Stream().Bytes();
      FGameNames[Index] = Games[Index]->FileName();
    }
    std::memcpy(&FGroupRecord, FGroup.data(), std::min(FGroup.size(), sizeof(FGroupRecord)));
  }

  void Run(fuzz::TFuzzInput& AInput) {
    const uint8_t Selector = AInput.Byte();
    const int Place = (Selector & 0x7F) % cPlaceCount;
    std::vector<uint8_t> Image;
    if (Selector & 0x80) {
      Image = Default(Place);
      const uint32_t Length = Word24(AInput);
      if (Length != 0) {
        Image.resize(std::min(Length, cMaxPatchedLength), 0);
      }
      while (!AInput.Empty()) {
        const uint32_t Offset = Word24(AInput);
        const std::vector<uint8_t> Patch = AInput.Bytes(AInput.Byte());
        for (std::size_t I = 0; I < Patch.size() && Offset + I < Image.size(); ++I) {
          Image[Offset + I] = Patch[I];
        }
      }
    } else {
      Image = AInput.Rest();
    }

    FWorld.Registry.DeleteKeyTree(CurrentUser, FKey);
    Put(cProfileSettingGroupValueName, FGroup);
    Put(cAllSettingsValueName, FSettings);
    std::string FilePath;
    if (Place == 0) {
      Put(cProfileSettingGroupValueName, Image);
    } else if (Place == 1) {
      Put(cAllSettingsValueName, Image);
    } else if (Place < cFirstFileGame) {
      Put(FGameNames[Place - cFirstRegistryGame], Image);
    } else if (Place < cRecordMacroPlace) {
      const int Game = Place - cFirstFileGame;
      TProfileSettingGroup Group = FGroupRecord;
      TPROFILESETTING& Setting = Group.ProfileSettingList[Game];
      Setting.nStorage = cStorageFile;
      const auto* GroupBytes = reinterpret_cast<const uint8_t*>(&Group);
      Put(cProfileSettingGroupValueName,
          std::vector<uint8_t>(GroupBytes, GroupBytes + sizeof(Group)));
      FilePath = rtl::IncludeTrailingPathDelimiter(rtl::ReadFixedText(Setting.szFilePath)) +
                 rtl::ReadFixedText(Setting.szFileName);
      FFiles.ReplaceFileContent(FilePath, Image.data(), Image.size());
    } else {
      Put(cRecordMacroValueName, Image);
    }

    // A message box of its own per input: a damaged store shows one at each start.
    platform::sim::TSimDialogs Dialogs;
    {
      TDM Module(nullptr, Services(Dialogs));
      Exercise(Module);
    }
    if (!FilePath.empty()) {
      FFiles.RemoveFile(FilePath);
    }
  }

private:
  // What the monitor and the configuration program ask of a started module. A damaged
  // record may make an operation raise; the monitor's handlers keep that inside.
  static void Exercise(TDM& AModule) {
    const auto Guarded = [](auto AWork) {
      try {
        AWork();
      } catch (const std::exception&) {
      }
    };
    for (int Index = 0; Index < cGameProfileCount; ++Index) {
      Guarded([&] { AModule.SwitchToProfile(Index); });
    }
    for (int Group = 0; Group < cProfileGroupCount; ++Group) {
      Guarded([&] { AModule.SwitchToProfileGroup(Group); });
    }
    Guarded([&] { AModule.GetAllProfilesMacroIndexList(); });
    Guarded([&] { AModule.LoadRecordMacroInfoFromRegistry(); });
    Guarded([&] { AModule.LoadAllProfileInfoFromRegistry(); });
    Guarded([&] { AModule.LoadProfileGroupSettingInfoFromRegistry(); });
    Guarded([&] { AModule.LoadCurrentProfileInfoFromRegistry(); });
    Guarded([&] { AModule.SaveBackAllProfileSettingInfo(); });
  }

  static uint32_t Word24(fuzz::TFuzzInput& AInput) {
    const uint32_t Low = AInput.Word();
    return Low | static_cast<uint32_t>(AInput.Byte()) << 16;
  }

  std::vector<uint8_t> Default(int APlace) const {
    if (APlace == 0) {
      return FGroup;
    }
    if (APlace == 1) {
      return FSettings;
    }
    if (APlace < cFirstFileGame) {
      return FGames[APlace - cFirstRegistryGame];
    }
    if (APlace < cRecordMacroPlace) {
      return FGames[APlace - cFirstFileGame];
    }
    return std::vector<uint8_t>(sizeof(TMACROKEYINFO), 0);
  }

  std::vector<uint8_t> Stored(const std::string& AName) const {
    const auto Value = FWorld.Registry.GetValue(CurrentUser, FKey, AName);
    return Value ? Value->Data : std::vector<uint8_t>();
  }
  void Put(const std::string& AName, std::vector<uint8_t> AImage) {
    FWorld.Registry.PutValue(CurrentUser, FKey, AName, platform::RegType::Binary,
                             std::move(AImage));
  }

  TDMServices Services(platform::sim::TSimDialogs& ADialogs) {
    return {FWorld.Registry, FFiles, FWorld.Environment, FWorld.Clock, FWorld.Locale, ADialogs};
  }

  platform::sim::TSimWorld FWorld;
  fuzz::TConfinedFileSystem FFiles;
  std::string FKey;
  std::vector<uint8_t> FGroup;
  std::vector<uint8_t> FSettings;
  std::vector<uint8_t> FGames[cGameProfileCount];
  std::string FGameNames[cGameProfileCount];
  TProfileSettingGroup FGroupRecord{};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  fuzz::TFuzzInput Input(AData, ASize);
  fuzz::Bench<TRecordBench>().Run(Input);
  return 0;
}
