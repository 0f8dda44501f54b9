#include "platform/ConfigFile.h"

#include "platform/SysError.h"
#include "rtl/Paths.h"

namespace platform {

rtl::TIniFile LoadIniFile(IFileSystem& AFiles, IEnvironment& AEnvironment,
                          const std::string& APath) {
  try {
    std::vector<uint8_t> Bytes;
    if (AFiles.ReadWholeFile(APath, Bytes, cMaxIniFileSize) != platform::SysError::Success) {
      return rtl::TIniFile();
    }
    return rtl::TIniFile::Parse(
        std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()),
        [&AEnvironment](std::string_view AText) { return AEnvironment.AnsiToUtf8(AText); });
  } catch (const std::exception&) {
    // Options fall back to their defaults whatever went wrong (out of memory included).
    return rtl::TIniFile();
  }
}

std::string ConfigFilePath(IEnvironment& AEnvironment) {
  return rtl::IncludeTrailingPathDelimiter(AEnvironment.ModuleFolder()) + cConfigFileName;
}

rtl::TIniFile LoadConfigFile(IFileSystem& AFiles, IEnvironment& AEnvironment) {
  return LoadIniFile(AFiles, AEnvironment, ConfigFilePath(AEnvironment));
}

} // namespace platform
