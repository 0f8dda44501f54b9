// A folder of a test's own, removed by its owner whether the test passed or an assertion
// ended it early.
#pragma once

#include <filesystem>
#include <string>

namespace test {

class TTempFolder {
public:
  // A new empty folder below ABase (the system's temporary folder unless given), its name
  // APrefix and a number of this run's own.
  explicit TTempFolder(const std::filesystem::path& APrefix,
                       const std::filesystem::path& ABase = std::filesystem::temp_directory_path());
  ~TTempFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  std::filesystem::path operator/(const std::filesystem::path& AName) const {
    return FPath / AName;
  }
  // In UTF-8 with a trailing delimiter, as the platform's services take folders.
  std::string Utf8() const;

private:
  std::filesystem::path FPath;
};

} // namespace test
