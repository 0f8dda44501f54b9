// The overlapped runner of the Win32 backend: a completed call hands back what it read, a
// stopped one is cancelled, and a call that its driver never completes, not even when
// cancelled, neither hangs the stop nor leaves the system writing into memory that has gone.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "backend/win32/Win32Overlapped.h"
#include "platform/SysError.h"

namespace {

using namespace platform;
using namespace platform::win32;

struct TPipe {
  HANDLE Server = INVALID_HANDLE_VALUE;
  HANDLE Client = INVALID_HANDLE_VALUE;
  TPipe() {
    const std::wstring Name = L"\\\\.\\pipe\\" + std::wstring(L"monitor-overlapped-") +
                              std::to_wstring(GetCurrentProcessId());
    Server = CreateNamedPipeW(Name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                              PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr);
    Client = CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  ~TPipe() {
    CloseHandle(Client);
    CloseHandle(Server);
  }
};

TEST(Win32Overlapped, CallsCompleteStopAndNeverOutliveTheirMemory) {
  const HANDLE StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  rtl::TManualResetEvent Stop;
  TPipe Pipe;
  ASSERT_NE(Pipe.Server, INVALID_HANDLE_VALUE);
  ASSERT_NE(Pipe.Client, INVALID_HANDLE_VALUE);
  const auto Read = [&](TOverlappedCall& ACall) {
    return ReadFile(Pipe.Server, ACall.Data.data(), 4, nullptr, &ACall.Record);
  };

  // Completed: the bytes reach the caller's buffer.
  std::thread Writer([&] {
    Sleep(50);
    DWORD Written = 0;
    WriteFile(Pipe.Client, "ping", 4, &Written, nullptr);
  });
  char Buffer[4] = {};
  TOverlappedOutcome Outcome =
      RunOverlapped(Pipe.Server, StopEvent, Stop, 4, nullptr, 0, Buffer, sizeof(Buffer), Read);
  Writer.join();
  EXPECT_EQ(Outcome.Error, 0u);
  EXPECT_EQ(Outcome.Bytes, 4u);
  EXPECT_EQ(std::string(Buffer, 4), "ping");

  // Stopped while pending: cancelled and waited for.
  std::thread Stopper([&] {
    Sleep(50);
    Stop.Set();
  });
  Outcome =
      RunOverlapped(Pipe.Server, StopEvent, Stop, 4, nullptr, 0, Buffer, sizeof(Buffer), Read);
  Stopper.join();
  EXPECT_TRUE(Outcome.Stopped);
  EXPECT_EQ(Outcome.Error, SysError::OperationAborted);
  EXPECT_EQ(AbandonedOverlappedCalls(), 0u);
  Stop.Reset();

  // A driver that keeps a call pending and ignores its cancel: the stop ends the wait after
  // a bounded time, says so, and the call keeps its memory.
  std::thread LateStopper([&] {
    Sleep(50);
    Stop.Set();
  });
  Outcome = RunOverlapped(Pipe.Server, StopEvent, Stop, 4, nullptr, 0, Buffer, sizeof(Buffer),
                          [](TOverlappedCall& ACall) {
                            ACall.Record.Internal = static_cast<ULONG_PTR>(STATUS_PENDING);
                            SetLastError(ERROR_IO_PENDING);
                            return FALSE;
                          });
  LateStopper.join();
  EXPECT_TRUE(Outcome.Stopped);
  EXPECT_EQ(Outcome.Error, static_cast<uint32_t>(WAIT_TIMEOUT));
  EXPECT_EQ(AbandonedOverlappedCalls(), 1u);
  Stop.Reset();

  // No stop event to wait on: nothing is issued.
  bool Issued = false;
  Outcome = RunOverlapped(Pipe.Server, nullptr, Stop, 4, nullptr, 0, Buffer, sizeof(Buffer),
                          [&](TOverlappedCall&) {
                            Issued = true;
                            return TRUE;
                          });
  EXPECT_TRUE(Outcome.StartFailed);
  EXPECT_FALSE(Issued);
  CloseHandle(StopEvent);
}

} // namespace
