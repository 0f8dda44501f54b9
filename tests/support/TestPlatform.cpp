#include "support/TestPlatform.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>

#include "backend/sim/SimFileSystem.h"
#include "rtl/Paths.h"
#ifdef _WIN32
#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#endif

namespace test {

namespace fs = std::filesystem;

namespace {
std::string UniqueTag() {
  static std::atomic<unsigned> Counter{0};
  static const uint64_t Seed =
      std::random_device{}() ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return std::to_string(Seed % 1000000007) + "-" + std::to_string(Counter++);
}

class TSimTestPlatform : public TTestPlatform {
public:
  TSimTestPlatform() { Prepare(FWorld.Environment.RootFolder()); }
  ~TSimTestPlatform() override { CleanUp(); }
  platform::TPlatform Platform() override { return FWorld.Platform(); }
  platform::sim::TSimWorld* Sim() override { return &FWorld; }
  std::shared_ptr<void> HoldWithoutDeleteSharing(const std::string& APath) override {
    return FWorld.Files.HoldOpen(APath);
  }

private:
  platform::sim::TSimWorld FWorld;
};

#ifdef _WIN32
class TWin32TestPlatform : public TTestPlatform {
public:
  TWin32TestPlatform() {
    const std::u8string Temp = fs::temp_directory_path().u8string();
    Prepare(std::string(Temp.begin(), Temp.end()));
  }
  ~TWin32TestPlatform() override { CleanUp(); }
  platform::TPlatform Platform() override { return FPlatform.Platform(); }
  std::shared_ptr<void> HoldWithoutDeleteSharing(const std::string& APath) override {
    const HANDLE File =
        CreateFileW(platform::win32::ToWide(APath).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (File == INVALID_HANDLE_VALUE) {
      return nullptr;
    }
    return std::shared_ptr<void>(File, [](void* AFile) { CloseHandle(AFile); });
  }

private:
  platform::win32::TWin32Platform FPlatform;
};
#endif
} // namespace

void TTestPlatform::Prepare(const std::string& ABaseFolder) {
  const std::string Tag = UniqueTag();
  FFolder = rtl::IncludeTrailingPathDelimiter(rtl::IncludeTrailingPathDelimiter(ABaseFolder) +
                                              "t\xC3\xABst-\xE4\xB8\xAD-" + Tag);
  fs::create_directories(platform::sim::Utf8Path(FFolder));
  FKeyPath = "software\\MonitorTests\\" + Tag;
}

void TTestPlatform::CleanUp() {
  std::error_code Error;
  fs::remove_all(platform::sim::Utf8Path(FFolder), Error);
  Platform().Registry.DeleteKeyTree(platform::RegRoot::CurrentUser, FKeyPath);
}

std::vector<std::string> TestBackendNames() {
#ifdef _WIN32
  return {"Sim", "Win32"};
#else
  return {"Sim"};
#endif
}

std::unique_ptr<TTestPlatform> MakeTestPlatform(const std::string& AName) {
#ifdef _WIN32
  if (AName == "Win32") {
    return std::make_unique<TWin32TestPlatform>();
  }
#endif
  (void)AName;
  return std::make_unique<TSimTestPlatform>();
}

std::vector<uint8_t> PatternBytes(std::size_t ACount, uint8_t AStart) {
  std::vector<uint8_t> Bytes(ACount);
  for (std::size_t I = 0; I < ACount; ++I) {
    Bytes[I] = static_cast<uint8_t>(AStart + I * 7);
  }
  return Bytes;
}

} // namespace test

namespace test {

TRedirectedEnvironment::TRedirectedEnvironment(platform::IEnvironment& AInner,
                                               const std::string& AFolder)
    : FInner(AInner), FModuleFolder(rtl::IncludeTrailingPathDelimiter(AFolder + "app")),
      FDocumentsFolder(AFolder + "Documents") {
  fs::create_directories(platform::sim::Utf8Path(FModuleFolder));
  fs::create_directories(platform::sim::Utf8Path(FDocumentsFolder));
}

} // namespace test
