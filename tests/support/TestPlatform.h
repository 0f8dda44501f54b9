// The backends a test can run on: the simulated world everywhere, and the real Win32 services
// in the Windows build. Each instance has its own folder and registry key, so tests can run
// in parallel in one Wine prefix.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "backend/sim/SimWorld.h"
#include "platform/Platform.h"
#include "support/TempFolder.h"

namespace test {

class TTestPlatform {
public:
  virtual ~TTestPlatform() = default;
  virtual platform::TPlatform Platform() = 0;
  // The simulated world, or null on a real backend.
  virtual platform::sim::TSimWorld* Sim() { return nullptr; }
  // An empty folder of this test's own (non-ASCII name), removed afterwards; with delimiter.
  const std::string& Folder() const { return FFolder; }
  // A key below HKEY_CURRENT_USER of this test's own, deleted afterwards.
  const std::string& KeyPath() const { return FKeyPath; }
  // Holds a file open as another process does that shares reading and writing but not
  // deleting, until the returned hold is released.
  virtual std::shared_ptr<void> HoldWithoutDeleteSharing(const std::string& APath) = 0;

protected:
  void Prepare(const std::string& ABaseFolder);
  void CleanUp();

private:
  std::unique_ptr<TTempFolder> FTemp;
  std::string FFolder;
  std::string FKeyPath;
};

std::vector<std::string> TestBackendNames();
std::unique_ptr<TTestPlatform> MakeTestPlatform(const std::string& AName);

// Bytes 0, 1, 2, ... of a given length, as a recognisable image.
std::vector<uint8_t> PatternBytes(std::size_t ACount, uint8_t AStart = 0);
// The little-endian value of AWidth bytes at AOffset of a stored image.
uint32_t ReadLe(const std::vector<uint8_t>& AImage, std::size_t AOffset, int AWidth);
// A relative path of the system's ("\\System32\\Drivers") in the platform's delimiters.
std::string LocalPath(std::string APath);
// Replaces the "config.ini" beside the world's executable.
void WriteConfig(platform::sim::TSimWorld& AWorld, const std::string& AText);

} // namespace test

namespace test {

// The platform's environment with the executable's folder and Documents moved into a test's
// own folder, so that "config.ini" and the profile folders of parallel tests never meet.
class TRedirectedEnvironment : public platform::IEnvironment {
public:
  TRedirectedEnvironment(platform::IEnvironment& AInner, const std::string& AFolder);
  std::string ModuleFolder() override { return FModuleFolder; }
  std::string DocumentsFolder() override { return FDocumentsFolder; }
  platform::TOsVersion OsVersion() override { return FInner.OsVersion(); }
  std::string AnsiToUtf8(std::string_view AText) override { return FInner.AnsiToUtf8(AText); }

private:
  platform::IEnvironment& FInner;
  std::string FModuleFolder;
  std::string FDocumentsFolder;
};

} // namespace test
