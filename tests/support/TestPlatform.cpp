#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "backend/sim/SimFileSystem.h"
#include "platform/ConfigFile.h"
#include "rtl/Paths.h"
#include "support/Session.h"
#ifdef _WIN32
#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#endif

namespace test {

namespace fs = std::filesystem;

namespace {
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
  FTemp = std::make_unique<TTempFolder>(fs::path(u8"t\u00EBst-\u4E2D-"),
                                        platform::sim::Utf8Path(ABaseFolder));
  FFolder = FTemp->Utf8();
  FKeyPath = "software\\MonitorTests\\" + UniqueName("");
}

void TTestPlatform::CleanUp() {
  FTemp.reset();
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

uint32_t ReadLe(const std::vector<uint8_t>& AImage, std::size_t AOffset, int AWidth) {
  uint32_t Value = 0;
  for (int I = AWidth - 1; I >= 0; --I) {
    Value = (Value << 8) | AImage.at(AOffset + static_cast<std::size_t>(I));
  }
  return Value;
}

std::string LocalPath(std::string APath) {
  std::replace(APath.begin(), APath.end(), '\\', rtl::PathDelim);
  return APath;
}

void WriteConfig(platform::sim::TSimWorld& AWorld, const std::string& AText) {
  ASSERT_EQ(AWorld.Files.ReplaceFileContent(platform::ConfigFilePath(AWorld.Environment),
                                            AText.data(), AText.size()),
            0u);
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
