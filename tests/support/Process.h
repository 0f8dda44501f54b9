// A program that a test starts: its output and its exit code; ended by force when the test is
// done with it while it still runs, also after a failed assertion.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class IMainThread;
}

namespace test {

struct TProcessOptions {
  // The folder it starts in; this process's current folder when empty (Windows).
  std::filesystem::path Folder;
  // Standard output and error on pipes, read while the test waits for its end (Windows).
  bool CaptureOutput = false;
  // A console's handle, its standard output and error; it runs in this process's console
  // (Windows).
  void* Console = nullptr;
  // Standard input a pipe held open until it has ended, its output thrown away (POSIX): a
  // program that reads its input waits for more.
  bool HoldInput = false;
};

class TProcess {
public:
  using TArgument = std::filesystem::path::string_type;
  // On Windows the arguments follow the quoted program as they are, joined with spaces (quote
  // what needs it); elsewhere each is one argument.
  TProcess(const std::filesystem::path& AProgram, const std::vector<TArgument>& AArguments = {},
           const TProcessOptions& AOptions = {});
#ifdef _WIN32
  // A running process of another's.
  explicit TProcess(uint32_t AId);
  // Closes its top-level windows of that class as a user's logoff does; ends it by force when
  // it has not ended 10 s later.
  void Close(platform::IMainThread& AMainThread, const std::wstring& AWindowClass);
#else
  void Signal(int ASignal);
#endif
  TProcess(TProcess&&) noexcept;
  ~TProcess();

  bool Started() const;
  uint32_t Id() const;
  bool Running();
  // Waits up to ABound for its end, handling the desktop's messages meanwhile when one is
  // given (a program that sends to this thread's windows waits for their answer); its exit
  // code (128 and the number of a POSIX signal that ended it), or none while it runs.
  std::optional<uint32_t> End(std::chrono::milliseconds ABound,
                              platform::IMainThread* AMainThread = nullptr);
  // Ends it by force and waits for its end.
  void Kill();
  // What it wrote to its standard output and error so far (CaptureOutput).
  const std::string& Out() const;
  const std::string& Err() const;

  struct TState;

private:
  std::unique_ptr<TState> FState;
};

} // namespace test
