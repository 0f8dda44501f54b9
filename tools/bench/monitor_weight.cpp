// Measures what the monitor weighs over time on the simulated world, each figure beside a
// baseline from the same run:
// - memory: the process's heap in use and resident size after 1,000 device reports of
//   warm-up, after 10,000 more and after 10,000 more again (button presses without a function,
//   releases, level changes and status events that reach a configuration window); the
//   baseline makes the same number of hand-overs from a thread of its own and posted messages
//   on a plain window, without the monitor;
// - idle: the main thread's activity in the monitor's own message loop while the mouse is
//   attached and nothing happens, for some seconds of real time and for a minute of virtual
//   time (the simulated desktop's timers run on the virtual clock), beside a bare loop; and
//   the same with a game profile's application switch on (the monitor then watches the
//   window in front), followed by the processing time from a listed program coming to the
//   front to the resolution table sent, the 300 ms settle time passed on the virtual clock.
// Usage: monitor_weight [idle seconds, 5 by default] [reports measured, 10000 by default]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "BenchArguments.h"
#include "app/MouseMonitor.h"
#include "app/ctl/ProfileTool.h"
#include "backend/sim/SimMouseFirmware.h"
#include "backend/sim/SimWorld.h"
#include "lang/Translation.h"
#include "profile/DMUnit.h"

extern const unsigned char ShippedUiLocal[];
extern const std::size_t ShippedUiLocalSize;

namespace {

using Clock = std::chrono::steady_clock;
using platform::sim::TSimWorld;

const std::string cMousePath = "\\\\?\\hid#vid_1234&pid_5678&mi_01#7&1&0000#{4d1e55b2}";
constexpr int cWarmUpReports = 1000;
constexpr uint64_t cVirtualIdleMs = 60000;
// The button pressed in the mix; it must have no function bound in the factory profile.
constexpr std::size_t cIdleButton = 8;

struct TMemory {
  long long HeapBytes = -1; // -1: not known on this C library
  long long ResidentKiB = -1;
};

TMemory Memory() {
  TMemory Result;
#if defined(__GLIBC__)
  Result.HeapBytes = static_cast<long long>(mallinfo2().uordblks);
#endif
  std::ifstream Status("/proc/self/status");
  std::string Line;
  while (std::getline(Status, Line)) {
    if (Line.rfind("VmRSS:", 0) == 0) {
      Result.ResidentKiB = std::atoll(Line.c_str() + 6);
    }
  }
  return Result;
}

double CpuMs() {
  return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The real platform's debugger output keeps nothing in the process; the simulated one records
// every line for the tests, which would be counted against the monitor here.
class TCountingDebug : public platform::IDebugOutput {
public:
  void DebugOutput(const std::string&) override { FLines.fetch_add(1); }
  uint64_t Lines() const { return FLines.load(); }

private:
  std::atomic<uint64_t> FLines{0};
};

platform::TPlatform BenchPlatform(TSimWorld& AWorld, platform::IDebugOutput& ADebug) {
  return {AWorld.Registry, AWorld.Files,   AWorld.Environment, AWorld.Clock,
          AWorld.Dialogs,  ADebug,         AWorld.Locale,      AWorld.Hid,
          AWorld.Desktop,  AWorld.Drivers, AWorld.HookLibrary, AWorld.HookLibrary,
          AWorld.Shell,    AWorld.Audio,   AWorld.Devices,     AWorld.Services,
          AWorld.System};
}

// The mouse with its vendor collection, and "ui.local" installed beside the program.
void PrepareWorld(TSimWorld& AWorld) {
  AWorld.Hid.Plug(platform::sim::VirtualMouseInterface(cMousePath));
  const std::string UiLocal = AWorld.Environment.ModuleFolder() + "ui.local";
  if (AWorld.Files.ReplaceFileContent(UiLocal, ShippedUiLocal, ShippedUiLocalSize) != 0) {
    throw std::runtime_error("cannot place ui.local");
  }
}

template <class TCondition> void PumpUntil(TSimWorld& AWorld, TCondition ACondition) {
  const auto Deadline = Clock::now() + std::chrono::seconds(10);
  while (!ACondition()) {
    if (Clock::now() > Deadline) {
      throw std::runtime_error("the simulated world did not get there within 10 s");
    }
    AWorld.Desktop.WaitAndProcess(2);
  }
}

std::vector<uint8_t> Report(uint8_t AId, uint8_t A1, uint8_t A2, uint8_t A3) {
  return {AId, A1, A2, A3, 0, 0, 0, 0};
}

// ---- memory ----

// Taken after the warm-up, after the measured reports and after as many again: growth that
// comes once (an allocator's cache, a queue's block) shows in the first batch only, growth by
// report in both.
struct TGrowth {
  TMemory Before;
  TMemory Middle;
  TMemory After;
};

struct TMonitorRun {
  TGrowth Growth;
  uint64_t DebugLines = 0;
  uint64_t ConfigMessages = 0;
  uint64_t Taken = 0;
};

TMonitorRun MonitorMemory(int AReports) {
  TSimWorld World;
  PrepareWorld(World);
  TCountingDebug Debug;
  // The configuration program: a process of its own that takes what the monitor posts.
  TSimWorld Config(World.Session);
  uint64_t ConfigMessages = 0;
  Config.Desktop.CreateMainWindow(app::cConfigWindowClass, [&](platform::TWindowMessage& M) {
    if (M.Msg >= app::WM_MONITOR_RELOAD_PROFILES && M.Msg <= app::WM_CONFIG_DEVICE_EVENT_7) {
      ++ConfigMessages;
      return true;
    }
    return false;
  });
  TMonitorRun Run;
  {
    profile::TDM Module(nullptr, {World.Registry, World.Files, World.Environment, World.Clock,
                                  World.Locale, World.Dialogs});
    app::TTARNMONMAIN Main(BenchPlatform(World, Debug));
    if (profile::DM()->CurrentProfileInfo().ConfigInfo.ButtonFuncInfo[cIdleButton].nFunctionIndex ==
        app::cMicrophoneMuteFunction) {
      throw std::runtime_error("the button of the mix has a function bound");
    }
    // The notifier's own arrival after 1500 ms, the check 1500 ms later.
    World.Desktop.Advance(2 * app::cDeviceArrialIntervalMs);
    PumpUntil(World, [&] { return World.Hid.WaitingReads(cMousePath) == 1; });

    const auto Deliver = [&](const std::vector<uint8_t>& AReport) {
      const uint64_t Taken = World.Hid.ReportsTaken(cMousePath);
      World.Hid.InjectInputReport(cMousePath, AReport);
      PumpUntil(World, [&] {
        return World.Hid.ReportsTaken(cMousePath) > Taken &&
               World.Hid.WaitingReads(cMousePath) == 1;
      });
      World.Desktop.ProcessMessages();
      Config.Desktop.ProcessMessages();
    };
    const auto Mix = [&](int ACount) {
      const auto Mask = static_cast<uint32_t>(1u << cIdleButton);
      for (int I = 0; I < ACount; ++I) {
        const auto Level = static_cast<uint8_t>(1 + I % 5);
        switch (I % 4) {
        case 0:
          Deliver(Report(app::cButtonReportID, static_cast<uint8_t>(Mask & 0xFF),
                         static_cast<uint8_t>((Mask >> 8) & 0xFF),
                         static_cast<uint8_t>((Mask >> 16) & 0xFF)));
          break;
        case 1:
          Deliver(Report(app::cButtonReportID, 0, 0, 0));
          break;
        case 2:
          Deliver(Report(app::cStatusReportID, app::cStatusCpiChanged, Level, 0));
          break;
        default:
          Deliver(Report(app::cStatusReportID, app::cStatusDeviceEvent6, Level, 0));
          break;
        }
      }
    };
    Mix(cWarmUpReports);
    const uint64_t TakenBefore = World.Hid.ReportsTaken(cMousePath);
    const uint64_t LinesBefore = Debug.Lines();
    const uint64_t ConfigBefore = ConfigMessages;
    Run.Growth.Before = Memory();
    Mix(AReports);
    World.Desktop.ProcessMessages();
    Config.Desktop.ProcessMessages();
    Run.Growth.Middle = Memory();
    Mix(AReports);
    World.Desktop.ProcessMessages();
    Config.Desktop.ProcessMessages();
    Run.Growth.After = Memory();
    Run.Taken = World.Hid.ReportsTaken(cMousePath) - TakenBefore;
    Run.DebugLines = Debug.Lines() - LinesBefore;
    Run.ConfigMessages = ConfigMessages - ConfigBefore;
  }
  lang::RemoveTranslationTable();
  return Run;
}

// A thread of its own hands work over to the main thread, which posts a message to a plain
// window, and the main thread pumps as the monitor's delivery does.
class TBaselineSender {
public:
  TBaselineSender(TSimWorld& AWorld, platform::TWindowHandle AWindow)
      : FWorld(AWorld), FWindow(AWindow), FThread([this] { Run(); }) {}
  ~TBaselineSender() {
    {
      std::lock_guard<std::mutex> Guard(FLock);
      FStop = true;
    }
    FChanged.notify_one();
    FThread.join();
  }
  TBaselineSender(const TBaselineSender&) = delete;
  TBaselineSender& operator=(const TBaselineSender&) = delete;
  void Request() {
    {
      std::lock_guard<std::mutex> Guard(FLock);
      ++FRequested;
    }
    FChanged.notify_one();
  }

private:
  void Run() {
    try {
      for (;;) {
        {
          std::unique_lock<std::mutex> Guard(FLock);
          FChanged.wait(Guard, [this] { return FStop || FRequested > 0; });
          if (FStop) {
            return;
          }
          --FRequested;
        }
        FWorld.Desktop.Synchronize([this] {
          FWorld.Desktop.PostWindowMessage(FWindow, app::WM_MONITOR_DEVICE_EVENT, 0, 0);
        });
      }
    } catch (const std::exception& E) {
      std::fprintf(stderr, "baseline sender: %s\n", E.what());
    } catch (...) {
      std::fprintf(stderr, "baseline sender: an unknown exception\n");
    }
  }

  TSimWorld& FWorld;
  platform::TWindowHandle FWindow;
  std::mutex FLock;
  std::condition_variable FChanged;
  int FRequested = 0;
  bool FStop = false;
  std::thread FThread;
};

TGrowth BaselineMemory(int AReports) {
  TSimWorld World;
  uint64_t Handled = 0;
  const platform::TWindowHandle Window =
      World.Desktop.CreateHiddenWindow([&](platform::TWindowMessage& M) {
        if (M.Msg == app::WM_MONITOR_DEVICE_EVENT) {
          ++Handled;
          return true;
        }
        return false;
      });
  TBaselineSender Sender(World, Window);
  const auto Run = [&](int ACount) {
    for (int I = 0; I < ACount; ++I) {
      const uint64_t Target = Handled + 1;
      Sender.Request();
      PumpUntil(World, [&] { return Handled >= Target; });
      World.Desktop.ProcessMessages();
    }
  };
  TGrowth Growth;
  Run(cWarmUpReports);
  Growth.Before = Memory();
  Run(AReports);
  World.Desktop.ProcessMessages();
  Growth.Middle = Memory();
  Run(AReports);
  World.Desktop.ProcessMessages();
  Growth.After = Memory();
  return Growth;
}

// ---- idle ----

struct TIdle {
  platform::sim::TSimDesktop::TActivity Real;
  platform::sim::TSimDesktop::TActivity Virtual;
  double Seconds = 0;
  double CpuMs = 0;
  uint64_t ReadWakeups = 0;
  // With the application switch on: the processing from the change in front to the table.
  double SwitchMicroseconds = -1;
  std::string Error;
};

constexpr const char* cListedProgram = "C:\\Games\\Bench\\bench.exe";

// Profile 4 follows cListedProgram, set as the user would with the profile tool.
void ListAnApplication(TSimWorld& AWorld) {
  std::ostringstream Out;
  std::ostringstream Err;
  const ctl::TToolServices Services{AWorld.Registry, AWorld.Files,  AWorld.Environment,
                                    AWorld.Clock,    AWorld.Locale, AWorld.Desktop,
                                    AWorld.Desktop};
  for (const std::vector<std::string>& Args :
       {std::vector<std::string>{"apps", "4", "add", cListedProgram},
        std::vector<std::string>{"apps", "4", "on"}}) {
    if (ctl::RunProfileTool(Args, Services, {Out, Err}) != ctl::cToolDone) {
      throw std::runtime_error("the profile tool failed: " + Err.str());
    }
  }
}

// The processing from cListedProgram coming to the front to the table sent to the driver.
double SwitchMicroseconds(TSimWorld& AWorld) {
  const std::size_t Sent = AWorld.Drivers.Controls().size();
  const auto Start = Clock::now();
  AWorld.Session->SetForegroundProgram(cListedProgram);
  AWorld.Desktop.Synchronize([&] {
    AWorld.Desktop.ProcessMessages();
    AWorld.Desktop.Advance(app::cForegroundSettleMs);
  });
  while (AWorld.Drivers.Controls().size() == Sent) {
    if (Clock::now() - Start > std::chrono::seconds(10)) {
      throw std::runtime_error("no table followed the program in front");
    }
    std::this_thread::yield();
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - Start).count();
}

platform::sim::TSimDesktop::TActivity Minus(const platform::sim::TSimDesktop::TActivity& A,
                                            const platform::sim::TSimDesktop::TActivity& B) {
  return {A.LoopWaits - B.LoopWaits, A.HandOvers - B.HandOvers, A.Posted - B.Posted,
          A.Timers - B.Timers};
}

// Runs on a thread beside the main thread's loop: measures ASeconds of real time and a minute
// of virtual time, then ends the loop with AEnd (on the main thread).
void MeasureIdle(TSimWorld& AWorld, int ASeconds, TIdle& AIdle, const std::function<void()>& AEnd) {
  platform::sim::TSimDesktop& Desktop = AWorld.Desktop;
  const auto Before = Desktop.Activity();
  const uint64_t Wakeups = AWorld.Hid.ReadWakeups();
  const double Cpu = CpuMs();
  const auto Start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(ASeconds));
  AIdle.Real = Minus(Desktop.Activity(), Before);
  AIdle.CpuMs = CpuMs() - Cpu;
  AIdle.Seconds = std::chrono::duration<double>(Clock::now() - Start).count();
  AIdle.ReadWakeups = AWorld.Hid.ReadWakeups() - Wakeups;
  Desktop.Synchronize([&] {
    const auto VirtualBefore = Desktop.Activity();
    Desktop.Advance(cVirtualIdleMs);
    AIdle.Virtual = Minus(Desktop.Activity(), VirtualBefore);
  });
  Desktop.Synchronize(AEnd);
}

TIdle MonitorIdle(int ASeconds, bool ASwitchOn) {
  TSimWorld World;
  PrepareWorld(World);
  if (ASwitchOn) {
    ListAnApplication(World);
  }
  TCountingDebug Debug;
  TIdle Idle;
  std::thread Driver([&] {
    try {
      World.Desktop.Synchronize([&] { World.Desktop.Advance(2 * app::cDeviceArrialIntervalMs); });
      const auto Deadline = Clock::now() + std::chrono::seconds(10);
      while (World.Hid.WaitingReads(cMousePath) != 1) {
        if (Clock::now() > Deadline) {
          throw std::runtime_error("the monitor did not start reading the mouse");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      MeasureIdle(World, ASeconds, Idle, [] {});
      if (ASwitchOn) {
        Idle.SwitchMicroseconds = SwitchMicroseconds(World);
      }
      World.Desktop.Synchronize([&] { World.Session->ChooseTrayMenuItem(app::cExit1); });
    } catch (const std::exception& E) {
      Idle.Error = E.what();
      World.Desktop.Quit(1);
    } catch (...) {
      Idle.Error = "an unknown exception";
      World.Desktop.Quit(1);
    }
  });
  app::MonitorMain(BenchPlatform(World, Debug));
  Driver.join();
  lang::RemoveTranslationTable();
  return Idle;
}

TIdle BaselineIdle(int ASeconds) {
  TSimWorld World;
  World.Desktop.CreateMainWindow("TBenchIdleWindow",
                                 [](platform::TWindowMessage&) { return false; });
  TIdle Idle;
  std::thread Driver([&] {
    try {
      MeasureIdle(World, ASeconds, Idle, [&] { World.Desktop.Quit(0); });
    } catch (const std::exception& E) {
      Idle.Error = E.what();
      World.Desktop.Quit(1);
    } catch (...) {
      Idle.Error = "an unknown exception";
      World.Desktop.Quit(1);
    }
  });
  World.Desktop.RunMessageLoop();
  Driver.join();
  return Idle;
}

void PrintGrowth(const char* AName, const TGrowth& AGrowth) {
  std::printf("  %-40s heap %+8lld B, resident %+6lld KiB; then heap %+8lld B, resident %+6lld "
              "KiB\n",
              AName, AGrowth.Middle.HeapBytes - AGrowth.Before.HeapBytes,
              AGrowth.Middle.ResidentKiB - AGrowth.Before.ResidentKiB,
              AGrowth.After.HeapBytes - AGrowth.Middle.HeapBytes,
              AGrowth.After.ResidentKiB - AGrowth.Middle.ResidentKiB);
}

void PrintIdle(const char* AName, const TIdle& AIdle) {
  const double S = AIdle.Seconds > 0 ? AIdle.Seconds : 1;
  std::printf(
      "  %-18s %10.1f %12.1f %9.1f %9.1f %10llu %8.1f   %7llu %7llu\n", AName,
      static_cast<double>(AIdle.Real.LoopWaits) / S, static_cast<double>(AIdle.Real.HandOvers) / S,
      static_cast<double>(AIdle.Real.Posted) / S, static_cast<double>(AIdle.Real.Timers) / S,
      static_cast<unsigned long long>(AIdle.ReadWakeups), AIdle.CpuMs,
      static_cast<unsigned long long>(AIdle.Virtual.Posted),
      static_cast<unsigned long long>(AIdle.Virtual.Timers));
}

} // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<uint32_t> Arguments = bench::ReadWholeArguments(
        argc, argv, {{"IDLE-SECONDS", 5, 1, 3600}, {"REPORTS", 10000, 1, 10000000}});
    const int IdleSeconds = static_cast<int>(Arguments[0]);
    const int Reports = static_cast<int>(Arguments[1]);

    const TMonitorRun Monitor = MonitorMemory(Reports);
    const TGrowth Baseline = BaselineMemory(Reports);
    std::printf("memory growth over %d reports after %d of warm-up, then over %d more (heap in "
                "use from mallinfo2, resident from /proc/self/status)\n",
                Reports, cWarmUpReports, Reports);
    PrintGrowth("monitor", Monitor.Growth);
    PrintGrowth("baseline (hand-over + post, no monitor)", Baseline);
    if (Monitor.Growth.After.HeapBytes <= 0) {
      std::printf("  (no heap figures: the C library's allocator is not the one in use, as under "
                  "a sanitizer)\n");
    }
    std::printf(
        "  monitor heap in use %lld B, resident %lld KiB after the run; reports taken %llu, "
        "debugger lines %llu, messages to the configuration window %llu\n",
        Monitor.Growth.After.HeapBytes, Monitor.Growth.After.ResidentKiB,
        static_cast<unsigned long long>(Monitor.Taken),
        static_cast<unsigned long long>(Monitor.DebugLines),
        static_cast<unsigned long long>(Monitor.ConfigMessages));

    const TIdle MonitorIdleRun = MonitorIdle(IdleSeconds, false);
    const TIdle SwitchIdleRun = MonitorIdle(IdleSeconds, true);
    const TIdle BaselineIdleRun = BaselineIdle(IdleSeconds);
    for (const TIdle* Run : {&MonitorIdleRun, &SwitchIdleRun, &BaselineIdleRun}) {
      if (!Run->Error.empty()) {
        std::fprintf(stderr, "idle measurement failed: %s\n", Run->Error.c_str());
        return 1;
      }
    }
    std::printf("idle main thread, mouse attached, %d s of real time (per second; the simulated "
                "loop wakes every 10 ms by itself) and %llu s of virtual time (counts)\n",
                IdleSeconds, static_cast<unsigned long long>(cVirtualIdleMs / 1000));
    std::printf("  %-18s %10s %12s %9s %9s %10s %8s   %7s %7s\n", "", "waits/s", "hand-overs/s",
                "posted/s", "timers/s", "read wake", "CPU ms", "v.post", "v.timer");
    PrintIdle("monitor", MonitorIdleRun);
    PrintIdle("monitor, app switch", SwitchIdleRun);
    PrintIdle("bare message loop", BaselineIdleRun);
    std::printf("a listed program in front to the resolution table sent: %.0f us of processing, "
                "after the %u ms settle time\n",
                SwitchIdleRun.SwitchMicroseconds, app::cForegroundSettleMs);
    return 0;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "monitor_weight: %s\n", E.what());
    return 1;
  }
}
