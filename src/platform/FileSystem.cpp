#include "platform/FileSystem.h"

#include "rtl/Paths.h"
#include "rtl/Utf.h"

namespace platform {

bool PathFitsLimits(const std::string& APath) {
  return rtl::Utf8ToUtf16(APath).size() <= cMaxPathUnits &&
         rtl::Utf8ToUtf16(rtl::ExtractFileName(APath)).size() <= cMaxNameUnits;
}

std::string ReplacementPathBeside(const std::string& ATarget, const std::string& ATag) {
  std::string Appended = ATarget + "." + ATag;
  if (PathFitsLimits(Appended)) {
    return Appended;
  }
  // A target near the limits still gets a new file beside it, under a name no longer than the
  // tag.
  const std::string Alone = rtl::ExtractFilePath(ATarget) + ATag;
  return PathFitsLimits(Alone) ? Alone : std::string();
}

} // namespace platform
