// TuiProfile: one in-memory byte stream moved whole between memory, a REG_BINARY registry
// value and a file. It knows nothing of what the bytes mean; the stored form is the stream's
// bytes and nothing else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "rtl/Component.h"
#include "rtl/Events.h"
#include "rtl/MemoryStream.h"

namespace profile {

// Produces a default image in the stream given (which the handler may also replace).
using TuiProfileOnRestoreToDefault = rtl::TMethodEvent<void(rtl::TMemoryStream& AStream)>;
// Runs before an operation; clearing bContinue cancels it.
using TuiProfileEvent = rtl::TMethodEvent<void(rtl::TMemoryStream& AStream, bool& bContinue)>;
// Runs after a successful operation.
using TuiProfileEvent2 = rtl::TMethodEvent<void(rtl::TMemoryStream* AStream)>;

// Stored images larger than this are refused with an exception rather than loaded: the
// largest record is 163560 bytes, so such an image is damage, and holding it would let a
// later save write it back.
inline constexpr int64_t cMaxStreamImageSize = int64_t{1024} * 1024;

class TuiProfile : public rtl::TComponent {
public:
  TuiProfile(rtl::TComponent* AOwner, platform::IRegistry& ARegistry,
             platform::IFileSystem& AFiles);
  std::string ClassName() const override { return "TuiProfile"; }

  uint32_t RootKey() const { return FRootKey; }
  void SetRootKey(uint32_t AValue);
  const std::string& KeyPath() const { return FKeyPath; }
  void SetKeyPath(const std::string& AValue);
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& AValue);
  const std::string& FilePath() const { return FFilePath; }
  // Ignored when the folder does not exist; gains a trailing delimiter otherwise.
  void SetFilePath(const std::string& AValue);
  int64_t Size() const { return FSize; }
  void SetSize(int64_t AValue);

  const TuiProfileOnRestoreToDefault& OnRestoreToDefault() const { return FOnRestoreToDefault; }
  void SetOnRestoreToDefault(TuiProfileOnRestoreToDefault AValue) {
    FOnRestoreToDefault = std::move(AValue);
  }
  void SetOnBeforeSaveToRegistry(TuiProfileEvent AValue) {
    FOnBeforeSaveToRegistry = std::move(AValue);
  }
  void SetOnBeforeSaveToFile(TuiProfileEvent AValue) { FOnBeforeSaveToFile = std::move(AValue); }
  void SetOnBeforeLoadFromRegistry(TuiProfileEvent AValue) {
    FOnBeforeLoadFromRegistry = std::move(AValue);
  }
  void SetOnBeforeLoadFromFile(TuiProfileEvent AValue) {
    FOnBeforeLoadFromFile = std::move(AValue);
  }
  void SetOnAfterSaveToRegistry(TuiProfileEvent2 AValue) {
    FOnAfterSaveToRegistry = std::move(AValue);
  }
  void SetOnAfterSaveToFile(TuiProfileEvent2 AValue) { FOnAfterSaveToFile = std::move(AValue); }
  void SetOnAfterLoadFromRegistry(TuiProfileEvent2 AValue) {
    FOnAfterLoadFromRegistry = std::move(AValue);
  }
  void SetOnAfterLoadFromFile(TuiProfileEvent2 AValue) { FOnAfterLoadFromFile = std::move(AValue); }

  // Copies ACount bytes to the start of the stream (growing it, never shrinking it).
  int Write(const void* ABuffer, int ACount);
  // Copies up to ACount bytes from the start of the stream; the rest of ABuffer is untouched.
  int Read(void* ABuffer, int ACount);

  // Each load replaces the stream only when it succeeds; false results are silent, platform
  // errors raise ERegistryException, EFOpenError or EFCreateError.
  bool LoadStreamFromRegistry();
  bool SaveStreamToRegistry();
  bool LoadStreamFromFile();
  bool LoadStreamFromFile(const std::string& strFilewithpath);
  bool SaveStreamToFile();
  bool SaveStreamToFile(const std::string& strFileWithPath);
  bool PreSaveStreamToFile(const std::string& strFileWithPath);
  void RestoreToDefault();

  rtl::TMemoryStream& Stream() { return FMemoryStream; }
  const rtl::TMemoryStream& Stream() const { return FMemoryStream; }

private:
  bool RunBefore(const TuiProfileEvent& AEvent);
  void RunAfter(const TuiProfileEvent2& AEvent);
  // Runs the before-event, checks root, key and name, and opens (creating) the key; null for
  // a quiet false.
  std::unique_ptr<platform::IRegistryKey> OpenRegistryTarget(const TuiProfileEvent& ABefore,
                                                             platform::TKeyAccess AAccess);
  bool EnsureFilePathDelimiter();
  // Creates the folder of a path when missing (one level); false when that fails.
  bool PrepareFolder(const std::string& AFolder);
  void LoadFile(const std::string& APath);
  void SaveFile(const std::string& APath);

  platform::IRegistry& FRegistry;
  platform::IFileSystem& FFiles;
  rtl::TMemoryStream FMemoryStream;
  uint32_t FRootKey = 0;
  std::string FKeyPath;
  std::string FFileName;
  std::string FFilePath;
  TuiProfileOnRestoreToDefault FOnRestoreToDefault;
  TuiProfileEvent FOnBeforeSaveToRegistry;
  TuiProfileEvent FOnBeforeSaveToFile;
  TuiProfileEvent FOnBeforeLoadFromRegistry;
  TuiProfileEvent FOnBeforeLoadFromFile;
  TuiProfileEvent2 FOnAfterSaveToRegistry;
  TuiProfileEvent2 FOnAfterSaveToFile;
  TuiProfileEvent2 FOnAfterLoadFromRegistry;
  TuiProfileEvent2 FOnAfterLoadFromFile;
  int64_t FSize = 0;
};

} // namespace profile
