#include "backend/sim/SimFileSystem.h"

#include <atomic>
#include <fstream>
#include <system_error>

#include "platform/SysError.h"
#include "rtl/Mutex.h"

namespace platform::sim {

namespace fs = std::filesystem;

std::filesystem::path Utf8Path(const std::string& APath) {
  return fs::path(std::u8string(APath.begin(), APath.end()));
}

namespace {

uint32_t FromErrorCode(const std::error_code& AError, uint32_t AFallback) {
  if (!AError) {
    return SysError::Success;
  }
  if (AError == std::errc::no_such_file_or_directory) {
    return SysError::FileNotFound;
  }
  if (AError == std::errc::permission_denied || AError == std::errc::operation_not_permitted) {
    return SysError::AccessDenied;
  }
  if (AError == std::errc::file_exists) {
    return SysError::AlreadyExists;
  }
  if (AError == std::errc::no_space_on_device) {
    return SysError::DiskFull;
  }
  return AFallback;
}

} // namespace

bool TSimFileSystem::FileExists(const std::string& APath) {
  std::error_code Error;
  return !APath.empty() && PathFitsLimits(APath) && fs::is_regular_file(Utf8Path(APath), Error);
}

bool TSimFileSystem::DirectoryExists(const std::string& APath) {
  std::error_code Error;
  return !APath.empty() && PathFitsLimits(APath) && fs::is_directory(Utf8Path(APath), Error);
}

uint32_t TSimFileSystem::MakeDirectory(const std::string& APath) {
  if (const uint32_t Fault = FFaults.Take(TSimFileOp::MakeDirectory)) {
    return Fault;
  }
  if (!PathFitsLimits(APath)) {
    return SysError::PathNotFound;
  }
  const fs::path Path = Utf8Path(APath);
  std::error_code Error;
  if (fs::exists(Path, Error)) {
    return SysError::AlreadyExists;
  }
  if (!fs::is_directory(Path.parent_path(), Error)) {
    return SysError::PathNotFound;
  }
  fs::create_directory(Path, Error);
  return FromErrorCode(Error, SysError::AccessDenied);
}

uint32_t TSimFileSystem::ReadWholeFile(const std::string& APath, std::vector<uint8_t>& AData,
                                       uint64_t AMaxSize) {
  AData.clear();
  if (const uint32_t Fault = FFaults.Take(TSimFileOp::Read)) {
    return Fault;
  }
  if (!PathFitsLimits(APath)) {
    return SysError::PathNotFound;
  }
  const fs::path Path = Utf8Path(APath);
  std::error_code Error;
  if (!fs::is_regular_file(Path, Error)) {
    return fs::is_directory(Path, Error) ? SysError::AccessDenied : SysError::FileNotFound;
  }
  const uintmax_t Size = fs::file_size(Path, Error);
  if (Error) {
    return FromErrorCode(Error, SysError::ReadFault);
  }
  if (Size > AMaxSize) {
    return SysError::FileTooLarge;
  }
  std::ifstream File(Path, std::ios::binary);
  if (!File) {
    return SysError::AccessDenied;
  }
  AData.resize(static_cast<std::size_t>(Size));
  File.read(reinterpret_cast<char*>(AData.data()), static_cast<std::streamsize>(Size));
  if (File.gcount() != static_cast<std::streamsize>(Size)) {
    AData.clear();
    return SysError::ReadFault;
  }
  return SysError::Success;
}

uint32_t TSimFileSystem::ReplaceFileContent(const std::string& APath, const void* AData,
                                            std::size_t ASize) {
  static std::atomic<unsigned> NextTemp{0};
  if (!PathFitsLimits(APath)) {
    return SysError::PathNotFound;
  }
  const fs::path Path = Utf8Path(APath);
  std::error_code Error;
  if (fs::is_directory(Path, Error)) {
    return SysError::AccessDenied;
  }
  if (!fs::is_directory(Path.parent_path(), Error)) {
    return SysError::PathNotFound;
  }
  const std::string TempName = ReplacementPathBeside(APath, "~" + std::to_string(NextTemp++));
  if (TempName.empty()) {
    return SysError::PathNotFound;
  }
  const fs::path Temp = Utf8Path(TempName);
  const uint32_t Fault = FFaults.Take(TSimFileOp::Replace);
  {
    std::ofstream File(Temp, std::ios::binary | std::ios::trunc);
    if (!File) {
      return SysError::AccessDenied;
    }
    const std::size_t Count = Fault != SysError::Success ? ASize / 2 : ASize;
    File.write(static_cast<const char*>(AData), static_cast<std::streamsize>(Count));
    File.flush();
    if (!File || Fault != SysError::Success) {
      File.close();
      fs::remove(Temp, Error);
      return Fault != SysError::Success ? Fault : SysError::WriteFault;
    }
  }
  // The platform refuses to rename over a file that another process holds open.
  if (IsHeld(Path)) {
    fs::remove(Temp, Error);
    return SysError::AccessDenied;
  }
  fs::rename(Temp, Path, Error);
  if (Error) {
    const uint32_t Code = FromErrorCode(Error, SysError::WriteFault);
    fs::remove(Temp, Error);
    return Code;
  }
  return SysError::Success;
}

uint32_t TSimFileSystem::RemoveFile(const std::string& APath) {
  if (const uint32_t Fault = FFaults.Take(TSimFileOp::Remove)) {
    return Fault;
  }
  std::error_code Error;
  if (!PathFitsLimits(APath)) {
    return SysError::PathNotFound;
  }
  if (!fs::is_regular_file(Utf8Path(APath), Error)) {
    return SysError::FileNotFound;
  }
  if (IsHeld(Utf8Path(APath))) {
    return SysError::SharingViolation;
  }
  fs::remove(Utf8Path(APath), Error);
  return FromErrorCode(Error, SysError::AccessDenied);
}

uint32_t TSimFileSystem::DuplicateFile(const std::string& ASource, const std::string& ATarget) {
  if (const uint32_t Fault = FFaults.Take(TSimFileOp::Copy)) {
    return Fault;
  }
  if (!PathFitsLimits(ASource) || !PathFitsLimits(ATarget)) {
    return SysError::PathNotFound;
  }
  const fs::path Source = Utf8Path(ASource);
  const fs::path Target = Utf8Path(ATarget);
  std::error_code Error;
  if (!fs::is_regular_file(Source, Error)) {
    return fs::is_directory(Source, Error) ? SysError::AccessDenied : SysError::FileNotFound;
  }
  if (!fs::is_directory(Target.parent_path(), Error)) {
    return SysError::PathNotFound;
  }
  if (fs::is_directory(Target, Error)) {
    return SysError::AccessDenied;
  }
  // Copied beside the target and renamed over it: the host's copy does not always replace.
  const std::string TempName = ReplacementPathBeside(ATarget, "~copy");
  if (TempName.empty()) {
    return SysError::PathNotFound;
  }
  const fs::path Temp = Utf8Path(TempName);
  fs::copy_file(Source, Temp, fs::copy_options::overwrite_existing, Error);
  // The platform refuses to rename over a file that another process holds open (a loaded
  // driver's image).
  if (!Error && IsHeld(Target)) {
    fs::remove(Temp, Error);
    return SysError::AccessDenied;
  }
  if (!Error) {
    fs::rename(Temp, Target, Error);
  }
  if (Error) {
    const uint32_t Code = FromErrorCode(Error, SysError::WriteFault);
    fs::remove(Temp, Error);
    return Code;
  }
  return SysError::Success;
}

namespace {
// One file named the same way whatever the spelling of its path.
fs::path Identity(const fs::path& APath) {
  std::error_code Error;
  const fs::path Canonical = fs::weakly_canonical(APath, Error);
  return Error ? APath : Canonical;
}
} // namespace

std::shared_ptr<void> TSimFileSystem::HoldOpen(const std::string& APath) {
  const fs::path Path = Identity(Utf8Path(APath));
  std::shared_ptr<THeldFiles> Held = FHeld;
  {
    rtl::TLockGuard Guard(Held->Lock);
    ++Held->Counts[Path];
  }
  return std::shared_ptr<void>(Held.get(), [Held, Path](void*) {
    rtl::TLockGuard Guard(Held->Lock);
    if (--Held->Counts[Path] == 0) {
      Held->Counts.erase(Path);
    }
  });
}

bool TSimFileSystem::IsHeld(const std::filesystem::path& APath) {
  rtl::TLockGuard Guard(FHeld->Lock);
  return FHeld->Counts.count(Identity(APath)) > 0;
}

std::string TSimFileSystem::ErrorText(uint32_t ACode) {
  switch (ACode) {
  case SysError::FileNotFound:
    return "The system cannot find the file specified.";
  case SysError::PathNotFound:
    return "The system cannot find the path specified.";
  case SysError::AccessDenied:
    return "Access is denied.";
  case SysError::SharingViolation:
    return "The process cannot access the file because it is being used by another process.";
  case SysError::DiskFull:
    return "There is not enough space on the disk.";
  case SysError::AlreadyExists:
    return "Cannot create a file when that file already exists.";
  case SysError::FileTooLarge:
    return "The file size exceeds the limit allowed and cannot be saved.";
  default:
    return "System error " + std::to_string(ACode) + ".";
  }
}

} // namespace platform::sim
