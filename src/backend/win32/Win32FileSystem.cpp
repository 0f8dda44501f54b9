#include <windows.h>
// clang-format off
#include <aclapi.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <limits>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "platform/SysError.h"

namespace platform::win32 {

namespace {

class THandle {
public:
  explicit THandle(HANDLE AHandle) : FHandle(AHandle) {}
  ~THandle() {
    if (Valid()) {
      CloseHandle(FHandle);
    }
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  HANDLE Get() const { return FHandle; }
  // Closes now and reports the close's own failure.
  uint32_t Close() {
    const BOOL Closed = CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
    return Closed ? SysError::Success : static_cast<uint32_t>(GetLastError());
  }

private:
  HANDLE FHandle;
};

// A replace in place keeps the file's attributes and its access list: the new file is
// created with the old one's (hidden, system, archive, not indexed; and its access list,
// inheriting from the folder as the old one did, or not), so that no other process can open
// it under the folder's access list while its bytes are written, and a new file left behind
// by a failed rename is no more open than the old one. Read-only stays with the old file,
// whose replace is then refused as before. Nothing to take over when there is no old file.
class TTakenOver {
public:
  explicit TTakenOver(const std::wstring& ATarget) {
    const DWORD Attributes = GetFileAttributesW(ATarget.c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES || (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return;
    }
    constexpr DWORD cKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((Attributes & cKept) != 0) {
      FFlags = Attributes & cKept;
    }
    PACL Access = nullptr;
    if (GetNamedSecurityInfoW(ATarget.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &Access, nullptr, &FOldDescriptor) != ERROR_SUCCESS) {
      FOldDescriptor = nullptr;
      return;
    }
    SECURITY_DESCRIPTOR_CONTROL Control = 0;
    DWORD Revision = 0;
    // A protected list is kept as it is; an inheriting one takes its inherited entries from the
    // folder again, as the old file's did.
    const bool Protected = GetSecurityDescriptorControl(FOldDescriptor, &Control, &Revision) &&
                           (Control & SE_DACL_PROTECTED) != 0;
    if (Access != nullptr &&
        InitializeSecurityDescriptor(&FDescriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&FDescriptor, TRUE, Access, FALSE) &&
        SetSecurityDescriptorControl(&FDescriptor, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERIT_REQ,
                                     Protected ? SE_DACL_PROTECTED : SE_DACL_AUTO_INHERIT_REQ)) {
      FSecurity.nLength = sizeof(FSecurity);
      FSecurity.lpSecurityDescriptor = &FDescriptor;
      FSecurity.bInheritHandle = FALSE;
      FHasSecurity = true;
    }
  }
  ~TTakenOver() {
    if (FOldDescriptor != nullptr) {
      LocalFree(FOldDescriptor);
    }
  }
  TTakenOver(const TTakenOver&) = delete;
  TTakenOver& operator=(const TTakenOver&) = delete;

  // For CreateFileW: null where the new file inherits from the folder.
  SECURITY_ATTRIBUTES* Security() { return FHasSecurity ? &FSecurity : nullptr; }
  DWORD Flags() const { return FFlags; }
  // The attributes again on the new file's handle, before its first byte, so that the new
  // file has them whatever its creation kept of the flags.
  uint32_t SetOn(HANDLE AFile) const {
    if (FFlags == FILE_ATTRIBUTE_NORMAL) {
      return SysError::Success;
    }
    FILE_BASIC_INFO Basic{};
    Basic.FileAttributes = FFlags;
    return SetFileInformationByHandle(AFile, FileBasicInfo, &Basic, sizeof(Basic))
               ? SysError::Success
               : static_cast<uint32_t>(GetLastError());
  }

private:
  PSECURITY_DESCRIPTOR FOldDescriptor = nullptr;
  SECURITY_DESCRIPTOR FDescriptor{};
  SECURITY_ATTRIBUTES FSecurity{};
  bool FHasSecurity = false;
  DWORD FFlags = FILE_ATTRIBUTE_NORMAL;
};

uint32_t LastError() {
  return static_cast<uint32_t>(GetLastError());
}

bool HasAttributes(const std::string& APath, bool AFolder) {
  if (APath.empty()) {
    return false;
  }
  const DWORD Attributes = GetFileAttributesW(ToWide(APath).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES &&
         ((Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == AFolder;
}

// A few tries a tenth of a second apart while the error is one of AAgain: scanners, the
// search indexer and sync clients hold files for moments.
constexpr int cTries = 5;
constexpr DWORD cTryPauseMs = 100;
constexpr int cTempNameAttempts = 100;

template <class TAttempt>
uint32_t Retried(std::initializer_list<uint32_t> AAgain, TAttempt AAttempt) {
  uint32_t Error = AAttempt();
  for (int Try = 1; Try < cTries && std::find(AAgain.begin(), AAgain.end(), Error) != AAgain.end();
       ++Try) {
    Sleep(cTryPauseMs);
    Error = AAttempt();
  }
  return Error;
}

uint32_t WriteAll(HANDLE AFile, const uint8_t* AData, std::size_t ASize) {
  while (ASize > 0) {
    const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(ASize, 1u << 30));
    DWORD Written = 0;
    if (!WriteFile(AFile, AData, Chunk, &Written, nullptr)) {
      return LastError();
    }
    if (Written == 0) {
      return SysError::WriteFault;
    }
    AData += Written;
    ASize -= Written;
  }
  return SysError::Success;
}

// Makes a new file beside ATarget with AMake (given the name to create; the platform's
// "exists" errors when that name is taken), passing over names a crash left behind. ATemp is
// the name made.
template <class TMake>
uint32_t MakeBeside(const std::string& ATarget, std::wstring& ATemp, TMake AMake) {
  static std::atomic<unsigned> NextTemp{0};
  for (int Attempt = 0; Attempt < cTempNameAttempts; ++Attempt) {
    const std::string TempPath = ReplacementPathBeside(
        ATarget, "~" + std::to_string(GetCurrentProcessId()) + "." + std::to_string(NextTemp++));
    // Not even a short name beside the target fits the platform's limits.
    if (TempPath.empty()) {
      return SysError::PathNotFound;
    }
    ATemp = ToWide(TempPath);
    const uint32_t Error = AMake(ATemp);
    if (Error != ERROR_FILE_EXISTS && Error != ERROR_ALREADY_EXISTS) {
      return Error;
    }
  }
  return SysError::AlreadyExists;
}

// Renames the finished new file over the target in one step; a new file that cannot take
// its place goes.
uint32_t MoveOver(const std::wstring& ATemp, const std::wstring& ATarget) {
  // A scanner, the indexer or a sync client may hold the target a moment.
  const uint32_t Error = Retried({SysError::AccessDenied, SysError::SharingViolation}, [&] {
    return MoveFileExW(ATemp.c_str(), ATarget.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? SysError::Success
               : LastError();
  });
  if (Error != SysError::Success) {
    DeleteFileW(ATemp.c_str());
  }
  return Error;
}

class TWin32FileSystem : public IFileSystem {
public:
  bool FileExists(const std::string& APath) override { return HasAttributes(APath, false); }
  bool DirectoryExists(const std::string& APath) override { return HasAttributes(APath, true); }

  uint32_t MakeDirectory(const std::string& APath) override {
    return CreateDirectoryW(ToWide(APath).c_str(), nullptr) ? SysError::Success : LastError();
  }

  uint32_t ReadWholeFile(const std::string& APath, std::vector<uint8_t>& AData,
                         uint64_t AMaxSize) override {
    AData.clear();
    // Sharing delete too, so that a reader never blocks another program's rename of the file
    // (the configuration program saves the same way); a brief hold by a scanner is waited out.
    const std::wstring Path = ToWide(APath);
    HANDLE Opened = INVALID_HANDLE_VALUE;
    const uint32_t OpenError = Retried({SysError::SharingViolation}, [&] {
      Opened = CreateFileW(Path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      return Opened != INVALID_HANDLE_VALUE ? SysError::Success : LastError();
    });
    THandle File(Opened);
    if (OpenError != SysError::Success) {
      return OpenError;
    }
    LARGE_INTEGER Size{};
    if (!GetFileSizeEx(File.Get(), &Size)) {
      return LastError();
    }
    if (Size.QuadPart < 0 || static_cast<uint64_t>(Size.QuadPart) > AMaxSize) {
      return SysError::FileTooLarge;
    }
    std::vector<uint8_t> Data(static_cast<std::size_t>(Size.QuadPart));
    std::size_t Done = 0;
    while (Done < Data.size()) {
      const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Data.size() - Done, 1u << 30));
      DWORD Read = 0;
      if (!ReadFile(File.Get(), Data.data() + Done, Chunk, &Read, nullptr)) {
        return LastError();
      }
      if (Read == 0) {
        break;
      }
      Done += Read;
    }
    // A file that shrank while being read is read as it is now.
    Data.resize(Done);
    AData = std::move(Data);
    return SysError::Success;
  }

  uint32_t ReplaceFileContent(const std::string& APath, const void* AData,
                              std::size_t ASize) override {
    const std::wstring Target = ToWide(APath);
    TTakenOver Old(Target);
    std::wstring Temp;
    HANDLE Created = INVALID_HANDLE_VALUE;
    const uint32_t MakeError = MakeBeside(APath, Temp, [&](const std::wstring& AName) {
      Created = CreateFileW(AName.c_str(), GENERIC_WRITE, 0, Old.Security(), CREATE_NEW,
                            Old.Flags(), nullptr);
      return Created != INVALID_HANDLE_VALUE ? SysError::Success : LastError();
    });
    THandle File(Created);
    if (MakeError != SysError::Success) {
      return MakeError;
    }
    uint32_t Error = Old.SetOn(File.Get());
    if (Error == SysError::Success) {
      Error = WriteAll(File.Get(), static_cast<const uint8_t*>(AData), ASize);
    }
    if (Error == SysError::Success && !FlushFileBuffers(File.Get())) {
      Error = LastError();
    }
    const uint32_t CloseError = File.Close();
    if (Error == SysError::Success) {
      Error = CloseError;
    }
    if (Error != SysError::Success) {
      DeleteFileW(Temp.c_str());
      return Error;
    }
    return MoveOver(Temp, Target);
  }

  uint32_t RemoveFile(const std::string& APath) override {
    return DeleteFileW(ToWide(APath).c_str()) ? SysError::Success : LastError();
  }

  uint32_t DuplicateFile(const std::string& ASource, const std::string& ATarget) override {
    // The platform's copy over an existing file truncates it first; a copy beside it that is
    // then renamed over it leaves the old file whole when the copy fails half way.
    const std::wstring Source = ToWide(ASource);
    std::wstring Temp;
    const uint32_t Error = MakeBeside(ATarget, Temp, [&](const std::wstring& AName) {
      if (CopyFileW(Source.c_str(), AName.c_str(), TRUE)) {
        return SysError::Success;
      }
      const uint32_t CopyError = LastError();
      if (CopyError != ERROR_FILE_EXISTS && CopyError != ERROR_ALREADY_EXISTS) {
        DeleteFileW(AName.c_str());
      }
      return CopyError;
    });
    return Error != SysError::Success ? Error : MoveOver(Temp, ToWide(ATarget));
  }

  std::string ErrorText(uint32_t ACode) override {
    wchar_t* Buffer = nullptr;
    const DWORD Length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, ACode, 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
    if (Length == 0 || Buffer == nullptr) {
      return "System error " + std::to_string(ACode) + ".";
    }
    std::wstring Text(Buffer, Length);
    LocalFree(Buffer);
    while (!Text.empty() && (Text.back() == L'\r' || Text.back() == L'\n' || Text.back() == L' ')) {
      Text.pop_back();
    }
    return FromWide(Text);
  }
};

} // namespace

std::unique_ptr<IFileSystem> CreateFileSystem() {
  return std::make_unique<TWin32FileSystem>();
}

} // namespace platform::win32
