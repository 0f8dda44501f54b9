// Reading INI files, "config.ini" beside the executable above all, through the platform.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "rtl/IniFile.h"

namespace platform {

// Larger files are not read at all: no option file of this system comes near it.
inline constexpr uint64_t cMaxIniFileSize = uint64_t{1024} * 1024;
inline constexpr const char* cConfigFileName = "config.ini";

// Any thread; blocks while the file is read. Reads an INI file, its text taken in the
// platform's ANSI code page. A missing, unreadable or oversized file gives an empty one, and
// so does any standard exception on the way (out of memory included).
rtl::TIniFile LoadIniFile(IFileSystem& AFiles, IEnvironment& AEnvironment,
                          const std::string& APath);
// The executable's folder + "config.ini". With no folder known it is the delimiter +
// "config.ini": on Windows the root of the current drive.
std::string ConfigFilePath(IEnvironment& AEnvironment);
// LoadIniFile of ConfigFilePath; read afresh on every call, the caller keeps the copy.
rtl::TIniFile LoadConfigFile(IFileSystem& AFiles, IEnvironment& AEnvironment);

} // namespace platform
