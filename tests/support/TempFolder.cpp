#include "support/TempFolder.h"

#include "rtl/Paths.h"
#include "support/Session.h"

namespace test {

TTempFolder::TTempFolder(const std::filesystem::path& APrefix, const std::filesystem::path& ABase)
    : FPath(ABase / (APrefix.native() + std::filesystem::path(UniqueName("")).native())) {
  std::filesystem::create_directories(FPath);
}

std::string TTempFolder::Utf8() const {
  const std::u8string Path = FPath.u8string();
  return rtl::IncludeTrailingPathDelimiter(std::string(Path.begin(), Path.end()));
}

} // namespace test
