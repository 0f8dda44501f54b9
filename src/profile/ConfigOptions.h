// The storage and other options of "config.ini", read once at start-up.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "rtl/NameValueList.h"

namespace profile {

struct TOtherConfig {
  int32_t ShowNumLock = 0;
  int32_t ShowCapsLock = 0;
  int32_t ShowScrollLock = 0;
  int32_t ShowLockStatePop = 0;
  rtl::TNameValueList HelpFile;
  int32_t Nologo = 0;
  std::string ProductWebSite;
  std::string SupportWebSite;
  std::string UpgradeWebSite;
  std::string OfficialWebsite;
  int32_t PASSWHQL = 0;
};

struct TOptionsFromConfigFile {
  std::string ProfileRegFolder;
  std::string ProfileFolder;
  std::string ProfileNamePrefix;
  std::string ProfileMacroFolder;
};

inline constexpr const char* cRegistryFolderPrefix = "software\\";
inline constexpr const char* cDefaultProfileRegFolder = "software\\ZQgmmouse";
inline constexpr const char* cDefaultProfileFolder = "ZQProfile";
inline constexpr const char* cDefaultProfileNamePrefix = "ZQProfile";
inline constexpr const char* cDefaultProfileMacroFolder = "MacroDB";
inline constexpr const char* cDefaultOfficialWebsite = "http://";

// Both read "config.ini" beside the executable afresh; a missing or damaged file, section or
// key gives the defaults, and neither ever raises.
void ReadOptionsFromConfigFile(platform::IFileSystem& AFiles, platform::IEnvironment& AEnvironment,
                               TOptionsFromConfigFile& AOptions);
void ReadOtherConfig(platform::IFileSystem& AFiles, platform::IEnvironment& AEnvironment,
                     TOtherConfig& AOtherConfig);

} // namespace profile
