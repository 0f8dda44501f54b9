// The simulated world's files are the host's real disk; what a fuzzed record names as a
// folder or file must not reach beyond the world's own folder. Paths outside it (or with a
// ".." component) are refused as the platform refuses a place the user may not write.
#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/SysError.h"

namespace fuzz {

class TConfinedFileSystem : public platform::IFileSystem {
public:
  TConfinedFileSystem(platform::IFileSystem& AInner, std::string ARoot)
      : FInner(AInner), FRoot(std::move(ARoot)) {}

  bool FileExists(const std::string& APath) override {
    return Inside(APath) && FInner.FileExists(APath);
  }
  bool DirectoryExists(const std::string& APath) override {
    return Inside(APath) && FInner.DirectoryExists(APath);
  }
  uint32_t MakeDirectory(const std::string& APath) override {
    return Inside(APath) ? FInner.MakeDirectory(APath) : platform::SysError::AccessDenied;
  }
  uint32_t ReadWholeFile(const std::string& APath, std::vector<uint8_t>& AData,
                         uint64_t AMaxSize) override {
    AData.clear();
    return Inside(APath) ? FInner.ReadWholeFile(APath, AData, AMaxSize)
                         : platform::SysError::AccessDenied;
  }
  uint32_t ReplaceFileContent(const std::string& APath, const void* AData,
                              std::size_t ASize) override {
    return Inside(APath) ? FInner.ReplaceFileContent(APath, AData, ASize)
                         : platform::SysError::AccessDenied;
  }
  uint32_t RemoveFile(const std::string& APath) override {
    return Inside(APath) ? FInner.RemoveFile(APath) : platform::SysError::AccessDenied;
  }
  uint32_t DuplicateFile(const std::string& ASource, const std::string& ATarget) override {
    return Inside(ASource) && Inside(ATarget) ? FInner.DuplicateFile(ASource, ATarget)
                                              : platform::SysError::AccessDenied;
  }
  std::string ErrorText(uint32_t ACode) override { return FInner.ErrorText(ACode); }

private:
  bool Inside(const std::string& APath) const {
    return APath.size() > FRoot.size() && APath.compare(0, FRoot.size(), FRoot) == 0 &&
           APath.find("..") == std::string::npos;
  }

  platform::IFileSystem& FInner;
  std::string FRoot;
};

} // namespace fuzz
