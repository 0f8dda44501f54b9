#include "rtl/ConfigFile.h"

#include "platform/SysError.h"
#include "rtl/Paths.h"

namespace rtl {

TIniFile LoadIniFile(platform::IFileSystem& AFiles, platform::IEnvironment& AEnvironment,
                     const std::string& APath) {
  try {
    std::vector<uint8_t> Bytes;
    if (AFiles.ReadWholeFile(APath, Bytes, cMaxIniFileSize) != platform::SysError::Success) {
      return TIniFile();
    }
    return TIniFile::Parse(
        std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()),
        [&AEnvironment](std::string_view AText) { return AEnvironment.AnsiToUtf8(AText); });
  } catch (const std::exception&) {
    // Options fall back to their defaults whatever went wrong (out of memory included).
    return TIniFile();
  }
}

std::string ConfigFilePath(platform::IEnvironment& AEnvironment) {
  return IncludeTrailingPathDelimiter(AEnvironment.ModuleFolder()) + cConfigFileName;
}

TIniFile LoadConfigFile(platform::IFileSystem& AFiles, platform::IEnvironment& AEnvironment) {
  return LoadIniFile(AFiles, AEnvironment, ConfigFilePath(AEnvironment));
}

} // namespace rtl
