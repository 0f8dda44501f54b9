#include "support/Process.h"

#include "platform/MainThread.h"
#include "support/Wait.h"
#ifdef _WIN32
#include <windows.h>

#include "support/Session.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace test {

#ifdef _WIN32
struct TProcess::TState {
  PROCESS_INFORMATION Info{};
  // The reading ends of the output pipes, and what came through them.
  HANDLE Pipes[2] = {};
  std::string Texts[2];

  // What is there, without waiting for the pipes' end: a process that Wine starts on a
  // program's behalf may hold them open.
  void Drain() {
    for (int I = 0; I < 2; ++I) {
      DWORD Ready = 0;
      while (Pipes[I] && PeekNamedPipe(Pipes[I], nullptr, 0, nullptr, &Ready, nullptr) && Ready) {
        std::string Piece(Ready, '\0');
        DWORD Got = 0;
        ReadFile(Pipes[I], Piece.data(), Ready, &Got, nullptr);
        Texts[I].append(Piece.data(), Got);
      }
    }
  }
  std::optional<uint32_t> Code() {
    Drain();
    DWORD Code = STILL_ACTIVE;
    return GetExitCodeProcess(Info.hProcess, &Code) && Code != STILL_ACTIVE
               ? std::optional<uint32_t>(Code)
               : std::nullopt;
  }
  void Terminate() { TerminateProcess(Info.hProcess, 9); }
  ~TState() {
    for (HANDLE Handle : {Info.hThread, Info.hProcess, Pipes[0], Pipes[1]}) {
      if (Handle != nullptr) {
        CloseHandle(Handle);
      }
    }
  }
};

TProcess::TProcess(const std::filesystem::path& AProgram, const std::vector<TArgument>& AArguments,
                   const TProcessOptions& AOptions)
    : FState(std::make_unique<TState>()) {
  std::wstring CommandLine = L"\"" + AProgram.wstring() + L"\"";
  for (const TArgument& Argument : AArguments) {
    CommandLine += L" " + Argument;
  }
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  HANDLE Writes[2] = {AOptions.Console, AOptions.Console};
  SECURITY_ATTRIBUTES Inherited{sizeof(Inherited), nullptr, TRUE};
  for (int I = 0; I < 2 && AOptions.CaptureOutput; ++I) {
    CreatePipe(&FState->Pipes[I], &Writes[I], &Inherited, 0);
    SetHandleInformation(FState->Pipes[I], HANDLE_FLAG_INHERIT, 0);
  }
  if (Writes[0] != nullptr) {
    Startup.dwFlags = STARTF_USESTDHANDLES;
    Startup.hStdOutput = Writes[0];
    Startup.hStdError = Writes[1];
  }
  const std::wstring Folder = AOptions.Folder.wstring();
  // Tried again a few times: under Wine on a loaded machine a start now and then fails for
  // want of resources.
  for (int Try = 0; Try < 5; ++Try) {
    if (CreateProcessW(AProgram.c_str(), CommandLine.data(), nullptr, nullptr, Writes[0] != nullptr,
                       AOptions.Console ? 0 : CREATE_NO_WINDOW, nullptr,
                       Folder.empty() ? nullptr : Folder.c_str(), &Startup, &FState->Info)) {
      break;
    }
    Sleep(200);
  }
  for (int I = 0; I < 2 && AOptions.CaptureOutput; ++I) {
    CloseHandle(Writes[I]);
  }
}

TProcess::TProcess(uint32_t AId) : FState(std::make_unique<TState>()) {
  FState->Info.dwProcessId = AId;
  FState->Info.hProcess =
      OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, AId);
}

void TProcess::Close(platform::IMainThread& AMainThread, const std::wstring& AWindowClass) {
  for (HWND Window : WindowsOf(Id(), AWindowClass)) {
    PostMessageW(Window, WM_CLOSE, 0, 0);
  }
  if (!End(std::chrono::seconds(10), &AMainThread)) {
    Kill();
  }
}

bool TProcess::Started() const {
  return FState->Info.hProcess != nullptr;
}

uint32_t TProcess::Id() const {
  return FState->Info.dwProcessId;
}
#else
struct TProcess::TState {
  pid_t Pid = 0;
  int Input = -1;
  std::optional<uint32_t> Ended;
  std::string Texts[2];

  std::optional<uint32_t> Code() {
    int Status = 0;
    if (!Ended && waitpid(Pid, &Status, WNOHANG) == Pid) {
      Ended = WIFSIGNALED(Status) ? 128 + WTERMSIG(Status) : WEXITSTATUS(Status);
    }
    return Ended;
  }
  void Terminate() { kill(Pid, SIGKILL); }
  ~TState() {
    if (Input >= 0) {
      close(Input);
    }
  }
};

TProcess::TProcess(const std::filesystem::path& AProgram, const std::vector<TArgument>& AArguments,
                   const TProcessOptions& AOptions)
    : FState(std::make_unique<TState>()) {
  std::vector<char*> Arguments{const_cast<char*>(AProgram.c_str())};
  for (const TArgument& Argument : AArguments) {
    Arguments.push_back(const_cast<char*>(Argument.c_str()));
  }
  Arguments.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  int Input[2] = {-1, -1};
  if (AOptions.HoldInput && pipe(Input) == 0) {
    posix_spawn_file_actions_adddup2(&Actions, Input[0], 0);
    posix_spawn_file_actions_addclose(&Actions, Input[1]);
    posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
  }
  if (posix_spawn(&FState->Pid, AProgram.c_str(), &Actions, nullptr, Arguments.data(), environ)) {
    FState->Pid = 0;
  }
  posix_spawn_file_actions_destroy(&Actions);
  if (Input[0] >= 0) {
    close(Input[0]);
    FState->Input = Input[1];
  }
}

void TProcess::Signal(int ASignal) {
  if (Running()) {
    kill(FState->Pid, ASignal);
  }
}

bool TProcess::Started() const {
  return FState->Pid > 0;
}

uint32_t TProcess::Id() const {
  return static_cast<uint32_t>(FState->Pid);
}
#endif

TProcess::TProcess(TProcess&&) noexcept = default;

TProcess::~TProcess() {
  if (FState) {
    Kill();
  }
}

bool TProcess::Running() {
  return Started() && !FState->Code();
}

std::optional<uint32_t> TProcess::End(std::chrono::milliseconds ABound,
                                      platform::IMainThread* AMainThread) {
  if (!Started()) {
    return std::nullopt;
  }
  WaitUntil([&] { return !Running(); }, ABound,
            AMainThread ? std::function<void()>([&] { AMainThread->WaitAndProcess(10); })
                        : nullptr);
  return FState->Code();
}

void TProcess::Kill() {
  if (Running()) {
    FState->Terminate();
    End(std::chrono::seconds(5));
  }
}

const std::string& TProcess::Out() const {
  return FState->Texts[0];
}

const std::string& TProcess::Err() const {
  return FState->Texts[1];
}

} // namespace test
