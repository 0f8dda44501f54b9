#include "profile/uiProfile.h"

#include <vector>

#include "platform/SysError.h"
#include "rtl/Exceptions.h"
#include "rtl/Paths.h"

namespace profile {

using platform::SysError::FileNotFound;
using platform::SysError::Success;

TuiProfile::TuiProfile(rtl::TComponent* AOwner, platform::IRegistry& ARegistry,
                       platform::IFileSystem& AFiles)
    : rtl::TComponent(AOwner), FRegistry(ARegistry), FFiles(AFiles) {}

void TuiProfile::SetRootKey(uint32_t AValue) {
  if (AValue != FRootKey) {
    FRootKey = AValue;
  }
}

void TuiProfile::SetKeyPath(const std::string& AValue) {
  if (AValue != FKeyPath) {
    FKeyPath = AValue;
  }
}

void TuiProfile::SetFileName(const std::string& AValue) {
  if (AValue != FFileName) {
    FFileName = AValue;
  }
}

void TuiProfile::SetFilePath(const std::string& AValue) {
  if (AValue == FFilePath || !FFiles.DirectoryExists(AValue)) {
    return;
  }
  FFilePath = rtl::IncludeTrailingPathDelimiter(AValue);
}

void TuiProfile::SetSize(int64_t AValue) {
  if (AValue == FSize) {
    return;
  }
  FMemoryStream.SetSize(AValue);
  FSize = AValue;
  FMemoryStream.SetPosition(0);
}

int TuiProfile::Write(const void* ABuffer, int ACount) {
  FMemoryStream.SetPosition(0);
  const auto Written = static_cast<int>(FMemoryStream.Write(ABuffer, ACount));
  FSize = FMemoryStream.Size();
  return Written;
}

int TuiProfile::Read(void* ABuffer, int ACount) {
  FMemoryStream.SetPosition(0);
  return static_cast<int>(FMemoryStream.Read(ABuffer, ACount));
}

bool TuiProfile::RunBefore(const TuiProfileEvent& AEvent) {
  bool Continue = true;
  if (AEvent.Assigned()) {
    AEvent(FMemoryStream, Continue);
  }
  return Continue;
}

void TuiProfile::RunAfter(const TuiProfileEvent2& AEvent) {
  if (AEvent.Assigned()) {
    AEvent(&FMemoryStream);
  }
}

std::unique_ptr<platform::IRegistryKey>
TuiProfile::OpenRegistryTarget(const TuiProfileEvent& ABefore, platform::TKeyAccess AAccess) {
  if (!RunBefore(ABefore)) {
    return nullptr;
  }
  const bool RootAccepted =
      FRootKey == platform::RegRoot::CurrentUser || FRootKey == platform::RegRoot::LocalMachine;
  if (!RootAccepted || FKeyPath.empty() || FFileName.empty()) {
    return nullptr;
  }
  uint32_t Error = Success;
  return FRegistry.OpenKey(FRootKey, FKeyPath, AAccess, Error);
}

bool TuiProfile::LoadStreamFromRegistry() {
  // A load reads: it creates no key and needs no right to write.
  auto Key = OpenRegistryTarget(FOnBeforeLoadFromRegistry, platform::TKeyAccess::Read);
  if (!Key) {
    return false;
  }
  uint32_t Type = 0;
  uint64_t DataSize = 0;
  uint32_t Error = Key->QueryValueInfo(FFileName, Type, DataSize);
  if (Error == FileNotFound) {
    return false;
  }
  if (Error != Success) {
    throw rtl::ERegistryException(rtl::FormatText("Failed to get data for '%s'", {FFileName}));
  }
  if (DataSize > static_cast<uint64_t>(cMaxStreamImageSize)) {
    throw rtl::ERegistryException(
        rtl::FormatText("Stored data for '%s' is too large to be a profile record", {FFileName}));
  }
  if (Type != platform::RegType::Binary) {
    throw rtl::ERegistryException(rtl::FormatText("Invalid data type for '%s'", {FFileName}));
  }
  // The stream is replaced only once the whole value has been read.
  std::vector<uint8_t> Data;
  Error = Key->QueryValue(FFileName, Type, Data, cMaxStreamImageSize);
  if (Error != Success) {
    throw rtl::ERegistryException(rtl::FormatText("Failed to get data for '%s'", {FFileName}));
  }
  if (Type != platform::RegType::Binary) {
    throw rtl::ERegistryException(rtl::FormatText("Invalid data type for '%s'", {FFileName}));
  }
  Key.reset();
  FMemoryStream.Assign(std::move(Data));
  RunAfter(FOnAfterLoadFromRegistry);
  return true;
}

bool TuiProfile::SaveStreamToRegistry() {
  auto Key = OpenRegistryTarget(FOnBeforeSaveToRegistry, platform::TKeyAccess::Create);
  if (!Key) {
    return false;
  }
  const auto& Bytes = FMemoryStream.Bytes();
  if (Key->SetValue(FFileName, platform::RegType::Binary, Bytes.data(), Bytes.size()) != Success) {
    throw rtl::ERegistryException(rtl::FormatText("Failed to set data for '%s'", {FFileName}));
  }
  Key.reset();
  RunAfter(FOnAfterSaveToRegistry);
  return true;
}

bool TuiProfile::EnsureFilePathDelimiter() {
  if (FFilePath.empty()) {
    return false;
  }
  FFilePath = rtl::IncludeTrailingPathDelimiter(FFilePath);
  return true;
}

void TuiProfile::LoadFile(const std::string& APath) {
  std::vector<uint8_t> Data;
  const uint32_t Error = FFiles.ReadWholeFile(APath, Data, cMaxStreamImageSize);
  if (Error != Success) {
    throw rtl::EFOpenError(
        rtl::FormatText("Cannot open file \"%s\". %s", {APath, FFiles.ErrorText(Error)}));
  }
  FMemoryStream.Assign(std::move(Data));
}

void TuiProfile::SaveFile(const std::string& APath) {
  const auto& Bytes = FMemoryStream.Bytes();
  const uint32_t Error = FFiles.ReplaceFileContent(APath, Bytes.data(), Bytes.size());
  if (Error != Success) {
    throw rtl::EFCreateError(
        rtl::FormatText("Cannot create file \"%s\". %s", {APath, FFiles.ErrorText(Error)}));
  }
}

bool TuiProfile::LoadStreamFromFile() {
  if (!RunBefore(FOnBeforeLoadFromFile) || !EnsureFilePathDelimiter()) {
    return false;
  }
  const std::string Path = FFilePath + FFileName;
  if (!FFiles.FileExists(Path)) {
    return false;
  }
  LoadFile(Path);
  RunAfter(FOnAfterLoadFromFile);
  return true;
}

bool TuiProfile::LoadStreamFromFile(const std::string& strFilewithpath) {
  if (!FFiles.FileExists(strFilewithpath) || !RunBefore(FOnBeforeLoadFromFile) ||
      !FFiles.FileExists(strFilewithpath)) {
    return false;
  }
  LoadFile(strFilewithpath);
  RunAfter(FOnAfterLoadFromFile);
  return true;
}

bool TuiProfile::SaveStreamToFile() {
  if (!RunBefore(FOnBeforeSaveToFile) || !EnsureFilePathDelimiter()) {
    return false;
  }
  SaveFile(FFilePath + FFileName);
  RunAfter(FOnAfterSaveToFile);
  return true;
}

bool TuiProfile::PrepareFolder(const std::string& AFolder) {
  if (AFolder.empty() || FFiles.DirectoryExists(AFolder)) {
    return true;
  }
  const uint32_t Error = FFiles.MakeDirectory(rtl::ExcludeTrailingPathDelimiter(AFolder));
  return Error == Success || FFiles.DirectoryExists(AFolder);
}

bool TuiProfile::SaveStreamToFile(const std::string& strFileWithPath) {
  if (!PrepareFolder(rtl::ExtractFilePath(strFileWithPath)) || !RunBefore(FOnBeforeSaveToFile)) {
    return false;
  }
  SaveFile(strFileWithPath);
  RunAfter(FOnAfterSaveToFile);
  return true;
}

bool TuiProfile::PreSaveStreamToFile(const std::string& strFileWithPath) {
  const std::string Folder = rtl::ExtractFilePath(strFileWithPath);
  if (!PrepareFolder(Folder)) {
    return false;
  }
  FFilePath = Folder;
  FFileName = rtl::ExtractFileName(strFileWithPath);
  return true;
}

void TuiProfile::RestoreToDefault() {
  if (FOnRestoreToDefault.Assigned()) {
    FOnRestoreToDefault(FMemoryStream);
  }
}

} // namespace profile
