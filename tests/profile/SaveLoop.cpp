// Started by the kill-during-save test: saves two records of a profile's size, one after the
// other, into the file it is given, through the platform's safe replace, until it is killed.
// After its first save it leaves the file "<file>.saving" beside it.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include "backend/win32/Win32Platform.h"
#else
#include "backend/sim/SimFileSystem.h"
#endif
#include "support/SaveLoop.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    return 2;
  }
#ifdef _WIN32
  const auto Files = platform::win32::CreateFileSystem();
#else
  const auto Files = std::make_unique<platform::sim::TSimFileSystem>();
#endif
  const std::vector<uint8_t> Records[2] = {test::SavedRecord(0), test::SavedRecord(1)};
  for (unsigned Round = 0;; ++Round) {
    const std::vector<uint8_t>& Record = Records[Round % 2];
    if (Files->ReplaceFileContent(argv[1], Record.data(), Record.size()) != 0) {
      std::fprintf(stderr, "save_loop: a save failed\n");
      return 1;
    }
    if (Round == 0) {
      const uint8_t Mark = 1;
      Files->ReplaceFileContent(std::string(argv[1]) + ".saving", &Mark, 1);
    }
  }
}
