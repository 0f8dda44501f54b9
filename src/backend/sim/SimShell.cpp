#include "backend/sim/SimShell.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "backend/sim/SimFileSystem.h"
#include "platform/SysError.h"
#include "rtl/Mutex.h"
#include "rtl/Paths.h"

namespace platform::sim {

TSimShell::TSimShell(IMainThread& AMainThread) : FMainThread(AMainThread) {}

namespace {

std::string Folded(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(), [](char AChar) {
    return AChar >= 'A' && AChar <= 'Z' ? AChar + ('a' - 'A') : AChar;
  });
  return AText;
}

bool IsAddress(const std::string& AFile) {
  return AFile.find("://") != std::string::npos || Folded(AFile).rfind("mailto:", 0) == 0;
}

bool IsAbsolute(const std::string& APath) {
  return (APath.size() >= 2 && APath[1] == ':') ||
         (!APath.empty() && (APath[0] == '\\' || APath[0] == '/'));
}

} // namespace

intptr_t TSimShell::Open(TWindowHandle AOwner, const std::string& AFile, const std::string& AFolder,
                         int32_t AShowCommand) {
  const TSimShellOpen Request{AOwner, AFile, AFolder, AShowCommand, ""};
  std::function<void(const TSimShellOpen&)> Program;
  std::string Path = AFile;
  {
    rtl::TLockGuard Guard(FLock);
    FOpens.push_back(Request);
    if (IsAddress(AFile)) {
      return cAddressOpened;
    }
    if (AFile.empty()) {
      return SysError::FileNotFound;
    }
    if (!IsAbsolute(AFile) && !AFolder.empty()) {
      Path = rtl::IncludeTrailingPathDelimiter(AFolder) + AFile;
    }
    auto Found = FPrograms.find(Folded(Path));
    if (Found != FPrograms.end()) {
      Program = Found->second;
    }
  }
  if (Program) {
    Program(Request);
    return cStarted;
  }
  std::error_code Error;
  if (std::filesystem::exists(Utf8Path(Path), Error)) {
    throw std::logic_error("no simulated program registered for \"" + Path + "\"");
  }
  return SysError::FileNotFound;
}

uint32_t TSimShell::RunAndWait(const std::string& AFile, const std::string& AParameters,
                               const std::string& AFolder, int32_t AShowCommand) {
  const TSimShellOpen Request{0, AFile, AFolder, AShowCommand, AParameters};
  std::function<void(const TSimShellOpen&)> Program;
  {
    rtl::TLockGuard Guard(FLock);
    FRuns.push_back(Request);
    auto Found = FPrograms.find(Folded(AFile));
    if (Found != FPrograms.end()) {
      Program = Found->second;
    }
  }
  std::error_code Error;
  if (AFile.empty() || !std::filesystem::is_regular_file(Utf8Path(AFile), Error)) {
    return SysError::FileNotFound;
  }
  if (!AFolder.empty() && !std::filesystem::is_directory(Utf8Path(AFolder), Error)) {
    return SysError::DirectoryInvalid;
  }
  if (!Program) {
    throw std::logic_error("no simulated program registered for \"" + AFile + "\"");
  }
  // Another process: it runs beside this thread, which waits for it to end.
  std::exception_ptr Failure;
  std::atomic<bool> Ended{false};
  std::thread Process([&] {
    try {
      Program(Request);
    } catch (...) {
      Failure = std::current_exception();
    }
    Ended = true;
  });
  // What the program asks of this process's main thread meanwhile (a removal query while it
  // restarts a device) is answered while the main thread waits.
  if (FMainThread.IsMainThread()) {
    WaitServingHandOvers(FMainThread, [&] { return Ended.load(); });
  }
  Process.join();
  if (Failure) {
    std::rethrow_exception(Failure);
  }
  return SysError::Success;
}

std::vector<TSimShellOpen> TSimShell::Runs() const {
  rtl::TLockGuard Guard(FLock);
  return FRuns;
}

void TSimShell::RegisterProgram(const std::string& APath,
                                std::function<void(const TSimShellOpen& AOpen)> AProgram) {
  rtl::TLockGuard Guard(FLock);
  FPrograms[Folded(APath)] = std::move(AProgram);
}

std::vector<TSimShellOpen> TSimShell::Opens() const {
  rtl::TLockGuard Guard(FLock);
  return FOpens;
}

} // namespace platform::sim
