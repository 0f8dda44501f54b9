// Files and folders of the simulated world: the real file system below a temporary folder,
// with faults a test can inject (an unreadable file, a full disk in the middle of a write), the
// platform's path limits and files held open by other processes.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "backend/sim/SimFaults.h"
#include "platform/FileSystem.h"
#include "rtl/Mutex.h"

namespace platform::sim {

enum class TSimFileOp { Read, Replace, MakeDirectory, Copy, Remove };

// UTF-8 text to a path of the host, whatever its native encoding.
std::filesystem::path Utf8Path(const std::string& APath);

class TSimFileSystem : public IFileSystem {
public:
  bool FileExists(const std::string& APath) override;
  bool DirectoryExists(const std::string& APath) override;
  uint32_t MakeDirectory(const std::string& APath) override;
  uint32_t ReadWholeFile(const std::string& APath, std::vector<uint8_t>& AData,
                         uint64_t AMaxSize) override;
  uint32_t ReplaceFileContent(const std::string& APath, const void* AData,
                              std::size_t ASize) override;
  uint32_t RemoveFile(const std::string& APath) override;
  uint32_t DuplicateFile(const std::string& ASource, const std::string& ATarget) override;
  std::string ErrorText(uint32_t ACode) override;

  // The next call of that kind fails with ACode. A failing Replace has written half of the
  // new bytes when it fails, as an interrupted write would have.
  void FailNext(TSimFileOp AOp, uint32_t ACode) { FFaults.FailNext(AOp, ACode); }
  // Holds APath open as another process does that shares reading and writing but not deleting
  // (a virus scanner, an indexer), until the returned hold is released.
  std::shared_ptr<void> HoldOpen(const std::string& APath);

private:
  struct THeldFiles {
    rtl::TMutex Lock;
    std::map<std::filesystem::path, int> Counts;
  };
  bool IsHeld(const std::filesystem::path& APath);

  TSimFaults<TSimFileOp> FFaults;
  std::shared_ptr<THeldFiles> FHeld = std::make_shared<THeldFiles>();
};

} // namespace platform::sim
