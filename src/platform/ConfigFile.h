// Reading INI files, "config.ini" beside the executable above all, through the platform.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "rtl/IniFile.h"

namespace platform {

// Larger files are not read at all: no option file of this system comes near it.
inline constexpr uint64_t cMaxIniFileSize = 1024 * 1024;
inline constexpr const char* cConfigFileName = "config.ini";

// Reads an INI file. A missing, unreadable or oversized file gives an empty one; never raises.
rtl::TIniFile LoadIniFile(IFileSystem& AFiles, IEnvironment& AEnvironment,
                          const std::string& APath);
// The executable's folder + "config.ini".
std::string ConfigFilePath(IEnvironment& AEnvironment);
rtl::TIniFile LoadConfigFile(IFileSystem& AFiles, IEnvironment& AEnvironment);

} // namespace platform
