// Measures the monitor's start on the real desktop beside a program that does next to nothing
// (trivial_window.exe, beside this tool: a named mutex and a hidden top-level window):
// - the time from CreateProcessW until the program's main window can be found by its class
//   among the process's own top-level windows, and for the monitor until its tray icon shows
//   (a small visible window more among the shell's icon windows);
// - private bytes and working set 2 s and 4 s after the start (the monitor checks for its
//   device 3 s after it starts);
// - how long the program takes to end after WM_CLOSE to its main window (after 5 s it is
//   terminated, and the run says so).
// Runs alternate between the two programs; the first run of each is a warm-up and not counted.
// The figures are medians. Usage: start_weight [runs, 5 by default]
#include <windows.h>
// clang-format off
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "../BenchArguments.h"
#include "support/Session.h"

namespace {

constexpr wchar_t cMonitorMainClass[] = L"TTARNMONMAIN";
constexpr wchar_t cMonitorTrayClass[] = L"TMonitorTrayWindow";
constexpr wchar_t cTrivialClass[] = L"TBenchTrivialWindow";
constexpr double cFirstSampleMs = 2000;
constexpr double cSecondSampleMs = 4000;
constexpr double cStartLimitMs = 15000;
constexpr DWORD cEndLimitMs = 5000;
constexpr double cIconGoneLimitMs = 3000;

double NowMs() {
  static const double Frequency = [] {
    LARGE_INTEGER Value{};
    QueryPerformanceFrequency(&Value);
    return static_cast<double>(Value.QuadPart);
  }();
  LARGE_INTEGER Value{};
  QueryPerformanceCounter(&Value);
  return 1000.0 * static_cast<double>(Value.QuadPart) / Frequency;
}

// Answers what is sent to this process meanwhile: a peer that sends to us must not wait.
void Pump(DWORD AMilliseconds, HANDLE AObject = nullptr) {
  MsgWaitForMultipleObjects(AObject != nullptr ? 1 : 0, AObject != nullptr ? &AObject : nullptr,
                            FALSE, AMilliseconds, QS_ALLINPUT);
  MSG Message{};
  while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
}

std::wstring ClassOf(HWND AWindow) {
  wchar_t Name[257] = {};
  const int Length = GetClassNameW(AWindow, Name, 257);
  return std::wstring(Name, static_cast<std::size_t>(std::max(Length, 0)));
}

// A top-level window of the process with the class; never a message-only one (Wine's
// FindWindowW finds those too, Windows does not).
HWND FindProcessWindow(DWORD AProcess, const wchar_t* AClass) {
  struct TSearch {
    DWORD Process;
    const wchar_t* Class;
    HWND Found;
  } Search{AProcess, AClass, nullptr};
  EnumWindows(
      [](HWND AWindow, LPARAM AParam) -> BOOL {
        try {
          auto& Wanted = *reinterpret_cast<TSearch*>(AParam);
          DWORD Process = 0;
          GetWindowThreadProcessId(AWindow, &Process);
          if (Process == Wanted.Process && GetAncestor(AWindow, GA_PARENT) == GetDesktopWindow() &&
              ClassOf(AWindow) == Wanted.Class) {
            Wanted.Found = AWindow;
            return FALSE;
          }
        } catch (...) {
          // Nothing may unwind through the system's enumeration.
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

// The shell's icon windows, as the session tests find them.
std::size_t ShellIconWindows() {
  return test::ShellIconWindows().size();
}

struct TMemory {
  double PrivateKiB = -1;
  double CommittedPrivateKiB = -1;
  double WorkingSetKiB = -1;
};

// The committed private pages of the process, region by region. Windows gives the same as
// PrivateUsage; Wine leaves PrivateUsage at 0 for another process.
double CommittedPrivateKiB(HANDLE AProcess) {
  double Bytes = 0;
  const char* Address = nullptr;
  MEMORY_BASIC_INFORMATION Region{};
  while (VirtualQueryEx(AProcess, Address, &Region, sizeof(Region)) == sizeof(Region)) {
    if (Region.State == MEM_COMMIT && Region.Type == MEM_PRIVATE) {
      Bytes += static_cast<double>(Region.RegionSize);
    }
    const char* Next = static_cast<const char*>(Region.BaseAddress) + Region.RegionSize;
    if (Next <= Address) {
      break;
    }
    Address = Next;
  }
  return Bytes / 1024.0;
}

TMemory MemoryOf(HANDLE AProcess) {
  PROCESS_MEMORY_COUNTERS_EX Counters{};
  Counters.cb = sizeof(Counters);
  TMemory Result;
  if (GetProcessMemoryInfo(AProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&Counters),
                           sizeof(Counters))) {
    Result.PrivateKiB = static_cast<double>(Counters.PrivateUsage) / 1024.0;
    Result.WorkingSetKiB = static_cast<double>(Counters.WorkingSetSize) / 1024.0;
  }
  Result.CommittedPrivateKiB = CommittedPrivateKiB(AProcess);
  return Result;
}

struct TRun {
  double WindowMs = -1;
  double TrayWindowMs = -1;
  double IconMs = -1;
  TMemory First;
  TMemory Second;
  double WindowGoneMs = -1;
  double EndMs = -1;
  bool Terminated = false;
  std::string Failure;
};

std::wstring FolderOf(const std::wstring& APath) {
  const std::size_t Slash = APath.find_last_of(L"\\/");
  return Slash == std::wstring::npos ? std::wstring() : APath.substr(0, Slash + 1);
}

TRun RunOnce(const std::wstring& AProgram, const wchar_t* AMainClass, bool AMonitor,
             const wchar_t* AArguments = L"") {
  TRun Run;
  const std::size_t IconsBefore = ShellIconWindows();
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  PROCESS_INFORMATION Process{};
  std::wstring CommandLine = L"\"" + AProgram + L"\"" + AArguments;
  const std::wstring Folder = FolderOf(AProgram);
  const double Start = NowMs();
  if (!CreateProcessW(AProgram.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      Folder.c_str(), &Startup, &Process)) {
    const DWORD Error = GetLastError();
    Run.Failure = "CreateProcessW failed with " + std::to_string(Error);
    return Run;
  }
  CloseHandle(Process.hThread);
  for (;;) {
    Pump(1);
    const double Elapsed = NowMs() - Start;
    if (Run.WindowMs < 0 && FindProcessWindow(Process.dwProcessId, AMainClass) != nullptr) {
      Run.WindowMs = Elapsed;
    }
    if (AMonitor && Run.TrayWindowMs < 0 &&
        FindProcessWindow(Process.dwProcessId, cMonitorTrayClass) != nullptr) {
      Run.TrayWindowMs = Elapsed;
    }
    if (Run.IconMs < 0 && ShellIconWindows() > IconsBefore) {
      Run.IconMs = NowMs() - Start;
    }
    if (Run.First.PrivateKiB < 0 && Elapsed >= cFirstSampleMs) {
      Run.First = MemoryOf(Process.hProcess);
    }
    if (Elapsed >= cSecondSampleMs) {
      Run.Second = MemoryOf(Process.hProcess);
      break;
    }
    if (WaitForSingleObject(Process.hProcess, 0) == WAIT_OBJECT_0) {
      Run.Failure = "the program ended by itself";
      break;
    }
    if (Elapsed > cStartLimitMs) {
      Run.Failure = "no window within 15 s";
      break;
    }
  }
  // Closing the main window ends the program.
  const HWND Main = FindProcessWindow(Process.dwProcessId, AMainClass);
  const double Close = NowMs();
  if (Main != nullptr) {
    PostMessageW(Main, WM_CLOSE, 0, 0);
  }
  while (WaitForSingleObject(Process.hProcess, 0) != WAIT_OBJECT_0 &&
         NowMs() - Close < cEndLimitMs) {
    Pump(2, Process.hProcess);
    if (Run.WindowGoneMs < 0 && (Main == nullptr || !IsWindow(Main))) {
      Run.WindowGoneMs = NowMs() - Close;
    }
  }
  if (WaitForSingleObject(Process.hProcess, 0) == WAIT_OBJECT_0) {
    Run.EndMs = NowMs() - Close;
  } else {
    TerminateProcess(Process.hProcess, 1);
    WaitForSingleObject(Process.hProcess, cEndLimitMs);
    Run.Terminated = true;
  }
  CloseHandle(Process.hProcess);
  // The next run starts with the shell's icons as they were.
  const double Gone = NowMs();
  while (ShellIconWindows() > IconsBefore && NowMs() - Gone < cIconGoneLimitMs) {
    Pump(5);
  }
  return Run;
}

double Median(std::vector<double> AValues) {
  AValues.erase(std::remove_if(AValues.begin(), AValues.end(), [](double A) { return A < 0; }),
                AValues.end());
  if (AValues.empty()) {
    return -1;
  }
  std::sort(AValues.begin(), AValues.end());
  const std::size_t Middle = AValues.size() / 2;
  return AValues.size() % 2 != 0 ? AValues[Middle] : (AValues[Middle - 1] + AValues[Middle]) / 2;
}

// The figures of the table, in its order.
struct TFigure {
  const char* Name;
  double (*Of)(const TRun&);
};
const TFigure cFigures[] = {
    {"window", [](const TRun& A) { return A.WindowMs; }},
    {"tray icon", [](const TRun& A) { return A.IconMs; }},
    {"private 2s", [](const TRun& A) { return A.First.CommittedPrivateKiB; }},
    {"private 4s", [](const TRun& A) { return A.Second.CommittedPrivateKiB; }},
    {"work.set 2s", [](const TRun& A) { return A.First.WorkingSetKiB; }},
    {"work.set 4s", [](const TRun& A) { return A.Second.WorkingSetKiB; }},
    {"window gone", [](const TRun& A) { return A.WindowGoneMs; }},
    {"end", [](const TRun& A) { return A.EndMs; }},
};
constexpr std::size_t cFigureCount = sizeof(cFigures) / sizeof(cFigures[0]);

std::vector<double> Medians(const std::vector<TRun>& ARuns) {
  std::vector<double> Result;
  for (const TFigure& Figure : cFigures) {
    std::vector<double> Values;
    for (const TRun& Run : ARuns) {
      if (Run.Failure.empty()) {
        Values.push_back(Figure.Of(Run));
      }
    }
    Result.push_back(Median(Values));
  }
  return Result;
}

void PrintRun(const char* AName, int AIndex, const TRun& ARun) {
  std::printf("  %-14s run %d%s: window %.1f ms, tray window %.1f ms, tray icon %.1f ms; at 2 s "
              "and 4 s: committed private %.0f / %.0f KiB, PrivateUsage %.0f / %.0f KiB, "
              "working set %.0f / %.0f KiB; after WM_CLOSE: window gone %.1f ms, ended %.1f "
              "ms%s%s%s\n",
              AName, AIndex, AIndex == 0 ? " (warm-up)" : "", ARun.WindowMs, ARun.TrayWindowMs,
              ARun.IconMs, ARun.First.CommittedPrivateKiB, ARun.Second.CommittedPrivateKiB,
              ARun.First.PrivateKiB, ARun.Second.PrivateKiB, ARun.First.WorkingSetKiB,
              ARun.Second.WorkingSetKiB, ARun.WindowGoneMs, ARun.EndMs,
              ARun.Terminated ? ", TERMINATED after 5 s" : "",
              ARun.Failure.empty() ? "" : ", failed: ", ARun.Failure.c_str());
  std::fflush(stdout);
}

void PrintRow(const char* AName, const std::vector<double>& AValues, const char* ASuffix) {
  std::printf("  %-14s", AName);
  for (double Value : AValues) {
    std::printf(" %12.1f", Value);
  }
  std::printf("%s\n", ASuffix);
}

int Count(const std::vector<TRun>& ARuns, bool (*AWhich)(const TRun&)) {
  return static_cast<int>(std::count_if(ARuns.begin(), ARuns.end(), AWhich));
}

} // namespace

int main(int argc, char** argv) {
  try {
    const int Runs =
        static_cast<int>(bench::ReadWholeArguments(argc, argv, {{"RUNS", 5, 1, 1000}})[0]);
    wchar_t Module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, Module, MAX_PATH);
    const std::wstring Here = FolderOf(Module);
    wchar_t Full[MAX_PATH] = {};
    GetFullPathNameW((Here + L"..\\program\\TARNMON.EXE").c_str(), MAX_PATH, Full, nullptr);
    const std::wstring Monitor = Full;
    const std::wstring Trivial = Here + L"trivial_window.exe";
    if (GetFileAttributesW(Monitor.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesW(Trivial.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::fprintf(stderr, "start_weight: TARNMON.EXE or trivial_window.exe is missing\n");
      return 1;
    }
    std::vector<TRun> MonitorRuns;
    std::vector<TRun> TrivialRuns;
    std::vector<TRun> IconRuns;
    std::printf("start on the desktop, %d runs each after one warm-up, alternating\n", Runs);
    for (int I = 0; I <= Runs; ++I) {
      const TRun M = RunOnce(Monitor, cMonitorMainClass, true);
      PrintRun("TARNMON.EXE", I, M);
      const TRun T = RunOnce(Trivial, cTrivialClass, false);
      PrintRun("trivial_window", I, T);
      const TRun Icon = RunOnce(Trivial, cTrivialClass, false, L" tray");
      PrintRun("trivial + icon", I, Icon);
      if (I > 0) {
        MonitorRuns.push_back(M);
        TrivialRuns.push_back(T);
        IconRuns.push_back(Icon);
      }
    }
    const std::vector<double> M = Medians(MonitorRuns);
    const std::vector<double> T = Medians(TrivialRuns);
    std::vector<double> Difference;
    for (std::size_t I = 0; I < cFigureCount; ++I) {
      Difference.push_back(M[I] >= 0 && T[I] >= 0 ? M[I] - T[I] : -1);
    }
    std::printf("medians over %d runs (ms from the start or from WM_CLOSE; KiB 2 s and 4 s after "
                "the start; -1: not seen)\n",
                Runs);
    std::printf("  %-14s", "");
    for (const TFigure& Figure : cFigures) {
      std::printf(" %12s", Figure.Name);
    }
    std::printf("\n");
    const auto Failed = [](const TRun& A) { return !A.Failure.empty(); };
    const auto Killed = [](const TRun& A) { return A.Terminated; };
    const std::string MonitorNote = ", terminated " + std::to_string(Count(MonitorRuns, Killed)) +
                                    ", failed " + std::to_string(Count(MonitorRuns, Failed));
    const std::string TrivialNote = ", terminated " + std::to_string(Count(TrivialRuns, Killed)) +
                                    ", failed " + std::to_string(Count(TrivialRuns, Failed));
    PrintRow("TARNMON.EXE", M, MonitorNote.c_str());
    PrintRow("trivial_window", T, TrivialNote.c_str());
    PrintRow("difference", Difference, "");
    PrintRow("trivial + icon", Medians(IconRuns),
             ", the same with a tray icon: the shell's share of the time to an icon");
    return Count(MonitorRuns, Failed) + Count(TrivialRuns, Failed) + Count(IconRuns, Failed) == 0
               ? 0
               : 1;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "start_weight: %s\n", E.what());
    return 1;
  }
}
