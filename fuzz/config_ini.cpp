// Any bytes as "config.ini" beside the program: the INI reader over them, every section the
// bytes name read back key by key, and the option readers of the data module, the device
// reader and the driver channel, through the simulated file system.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Bench.h"
#include "backend/sim/SimWorld.h"
#include "device/uiStdCmd.h"
#include "hid/uiHIDData.h"
#include "platform/ConfigFile.h"
#include "profile/ConfigOptions.h"
#include "rtl/IniFile.h"

namespace {

platform::sim::TSimWorld& World() {
  return fuzz::Bench<platform::sim::TSimWorld>();
}

// The texts between '[' at a line start and the next ']', at most 16 of them.
std::vector<std::string_view> SectionNames(std::string_view AText) {
  std::vector<std::string_view> Names;
  std::size_t Start = 0;
  while (Start < AText.size() && Names.size() < 16) {
    std::size_t End = AText.find('\n', Start);
    if (End == std::string_view::npos) {
      End = AText.size();
    }
    const std::string_view Line = AText.substr(Start, End - Start);
    if (!Line.empty() && Line.front() == '[') {
      Names.push_back(Line.substr(1, Line.find(']') == std::string_view::npos
                                         ? std::string_view::npos
                                         : Line.find(']') - 1));
    }
    Start = End + 1;
  }
  return Names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  const std::string_view Bytes(reinterpret_cast<const char*>(AData), ASize);
  platform::sim::TSimWorld& Sim = World();

  // The reader over the bytes as they are.
  const rtl::TIniFile Ini =
      rtl::TIniFile::Parse(Bytes, [](std::string_view AText) { return std::string(AText); });
  for (const std::string_view Section : SectionNames(Bytes)) {
    Ini.SectionExists(Section);
    for (const std::string& Name : Ini.ReadSection(Section)) {
      int32_t Value = 0;
      rtl::TryParseInteger(Ini.ReadString(Section, Name, ""), Value);
      Ini.ReadInteger(Section, Name, -1);
      Ini.ValueExists(Section, Name);
    }
    Ini.ReadIdList(Section);
  }

  // The same bytes as the program's "config.ini", read by every component that reads it.
  const std::string Path = platform::ConfigFilePath(Sim.Environment);
  if (Sim.Files.ReplaceFileContent(Path, AData, ASize) != 0) {
    return 0;
  }
  profile::TOptionsFromConfigFile Options;
  profile::ReadOptionsFromConfigFile(Sim.Files, Sim.Environment, Options);
  profile::TOtherConfig Other;
  profile::ReadOtherConfig(Sim.Files, Sim.Environment, Other);
  platform::LoadConfigFile(Sim.Files, Sim.Environment)
      .ReadIdList(hid::cIncludeHIDDeviceListSection);
  platform::sim::TSimDialogs Debug;
  hid::TuiHIDData Hid(nullptr,
                      {Sim.Hid, Sim.Desktop, Sim.Desktop, Sim.Files, Sim.Environment, Debug});
  device::TuiSTDCommand Command(nullptr, {Sim.Drivers, Sim.Desktop, Sim.Desktop, Sim.Files,
                                          Sim.Environment, Debug, Sim.Devices, Sim.Services,
                                          Sim.Shell, Sim.System, Sim.Clock});
  Command.HardwareIdsInConfigHidList({"HID\\VID_1234&PID_5678&REV_0100&MI_01"});
  Command.HardwareIdsInConfigUsbList({"USB\\VID_1234&PID_5678"});
  return 0;
}
