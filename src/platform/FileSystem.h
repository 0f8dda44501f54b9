// Files and folders. Paths are UTF-8 and may hold any character the platform allows. Every
// call blocks until done (on the disk, and for a few tenths of a second more where another
// program holds a file a moment) and may be made from any thread. Errors are system error
// codes (SysError), 0 for success.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The platform's limits on a path its file functions take without the long-path prefix, in
// UTF-16 units: a whole path (MAX_PATH less its terminator) and one name in it.
inline constexpr std::size_t cMaxPathUnits = 259;
inline constexpr std::size_t cMaxNameUnits = 255;

// Any thread; pure. True when the platform's file functions can name APath.
bool PathFitsLimits(const std::string& APath);
// Where ReplaceFileContent writes the new bytes before renaming them over ATarget: ATarget with
// "." and ATag appended, or, where that passes the limits, ATag alone beside ATarget; "" when
// neither fits.
std::string ReplacementPathBeside(const std::string& ATarget, const std::string& ATag);

class IFileSystem {
public:
  virtual ~IFileSystem() = default;
  // True for an existing file that is not a folder; false too when it cannot be told.
  virtual bool FileExists(const std::string& APath) = 0;
  // True for an existing folder; false too when it cannot be told.
  virtual bool DirectoryExists(const std::string& APath) = 0;
  // Creates the last folder of APath only; AlreadyExists when it is there already,
  // PathNotFound when the folder above it is missing.
  virtual uint32_t MakeDirectory(const std::string& APath) = 0;
  // Reads a whole file, sharing it with writers and with another program's rename; a
  // moment's hold by another program is waited out. AData is empty on failure: FileNotFound,
  // PathNotFound, AccessDenied (also for a folder), FileTooLarge when it holds more than
  // AMaxSize. A file that shrinks while it is read is read as it is now.
  virtual uint32_t ReadWholeFile(const std::string& APath, std::vector<uint8_t>& AData,
                                 uint64_t AMaxSize) = 0;
  // Makes APath hold exactly these bytes. The bytes go to a new file beside it that is then
  // renamed over it, so a failure leaves the old file as it was and no partial file behind.
  // AccessDenied while another process holds the old file open; PathNotFound for a path past
  // the platform's limits.
  virtual uint32_t ReplaceFileContent(const std::string& APath, const void* AData,
                                      std::size_t ASize) = 0;
  // FileNotFound when there is none; SharingViolation or AccessDenied while another process
  // holds it open without sharing its deletion.
  virtual uint32_t RemoveFile(const std::string& APath) = 0;
  // Copies ASource to ATarget, replacing a target that exists in one step: the copy goes
  // beside the target and is renamed over it, so a failure (a missing source, a full disk, a
  // target held open) leaves the old target as it was and nothing beside it. AccessDenied
  // while another process holds the target open without sharing its deletion.
  virtual uint32_t DuplicateFile(const std::string& ASource, const std::string& ATarget) = 0;
  // The platform's text for an error code, without a line break at its end; never empty
  // ("System error <code>." for a code the platform has no text for).
  virtual std::string ErrorText(uint32_t ACode) = 0;
};

} // namespace platform
