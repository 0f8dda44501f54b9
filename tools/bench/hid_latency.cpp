// Measures the report path on the simulated world: the delay from a report's injection to
// OnData on the main thread at 1000 reports per second and in ten runs at 8000, whether any
// report is lost (the reader's ring is as large as the platform grants), and what an idle
// reader costs.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <thread>
#include <vector>

#include "BenchArguments.h"
#include "backend/sim/SimWorld.h"
#include "hid/uiHIDData.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::string cPath = "\\\\?\\hid#bench";

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Returns the reports lost: dropped from a full ring, or never delivered.
int Rate(platform::sim::TSimWorld& AWorld, hid::TuiHIDData& AHid, int ARate, int ASeconds) {
  std::vector<int64_t> Delays;
  const int Total = ARate * ASeconds;
  Delays.reserve(static_cast<std::size_t>(Total));
  AHid.SetOnData([&](const std::string&, const std::string&, uint8_t, const void* AData, uint16_t) {
    int64_t Stamp = 0;
    std::memcpy(&Stamp, AData, sizeof(Stamp));
    Delays.push_back(NowNs() - Stamp);
  });
  AHid.HidFindAndReadDevice(hid::cVendorUsageAndPage, "");
  while (AWorld.Hid.WaitingReads(cPath) == 0) {
    std::this_thread::yield();
  }
  const uint64_t DroppedBefore = AWorld.Hid.DroppedReports();
  std::atomic<bool> Done{false};
  std::thread Injector([&] {
    const auto Period = std::chrono::nanoseconds(1000000000LL / ARate);
    auto Next = Clock::now();
    std::vector<uint8_t> Report(8, 0);
    Report[0] = 8;
    try {
      for (int I = 0; I < Total; ++I) {
        Next += Period;
        while (Clock::now() < Next) {
        }
        const int64_t Stamp = NowNs();
        std::memcpy(Report.data() + 1, &Stamp, 7);
        AWorld.Hid.InjectInputReport(cPath, Report);
      }
    } catch (const std::exception& AError) {
      std::fprintf(stderr, "injector: %s\n", AError.what());
    }
    Done = true;
  });
  const auto Deadline = Clock::now() + std::chrono::seconds(ASeconds + 5);
  while ((!Done || static_cast<int>(Delays.size()) < Total) && Clock::now() < Deadline) {
    AWorld.Desktop.WaitAndProcess(1);
  }
  Injector.join();
  AHid.HidStopRead();
  std::vector<int64_t> Sorted = Delays;
  std::sort(Sorted.begin(), Sorted.end());
  const auto Percentile = [&](double AP) {
    return Sorted.empty() ? 0.0
                          : static_cast<double>(Sorted[static_cast<std::size_t>(
                                AP * static_cast<double>(Sorted.size() - 1))]) /
                                1000.0;
  };
  std::printf("%5d reports/s: delivered %zu of %d, dropped %llu, delay median %.1f us, p99 %.1f "
              "us, max %.1f us\n",
              ARate, Delays.size(), Total,
              static_cast<unsigned long long>(AWorld.Hid.DroppedReports() - DroppedBefore),
              Percentile(0.5), Percentile(0.99), Percentile(1.0));
  return Total - static_cast<int>(Delays.size());
}

void Idle(platform::sim::TSimWorld& AWorld, hid::TuiHIDData& AHid, int ASeconds) {
  AHid.HidFindAndReadDevice(hid::cVendorUsageAndPage, "");
  while (AWorld.Hid.WaitingReads(cPath) == 0) {
    std::this_thread::yield();
  }
  const uint64_t Wakeups = AWorld.Hid.ReadWakeups();
  const std::clock_t Cpu = std::clock();
  std::this_thread::sleep_for(std::chrono::seconds(ASeconds));
  const double CpuMs = 1000.0 * static_cast<double>(std::clock() - Cpu) / CLOCKS_PER_SEC;
  std::printf("idle reader over %d s: process CPU %.2f ms, read wake-ups %llu\n", ASeconds, CpuMs,
              static_cast<unsigned long long>(AWorld.Hid.ReadWakeups() - Wakeups));
  AHid.HidStopRead();
}

} // namespace

int main(int argc, char** argv) {
  bench::ReadWholeArguments(argc, argv, {});
  platform::sim::TSimWorld World;
  platform::sim::TSimHidInterface Mouse;
  Mouse.Path = cPath;
  Mouse.HardwareIds = {"HID\\VID_1234&PID_5678&MI_01"};
  Mouse.Caps = {0x0001, 0xFFA0, 8, 8, 65};
  World.Hid.Plug(Mouse);
  hid::TuiHIDData Hid(nullptr, {World.Hid, World.Desktop, World.Desktop, World.Files,
                                World.Environment, World.Dialogs});
  Rate(World, Hid, 1000, 2);
  constexpr int cRuns = 10;
  int Lost = 0;
  for (int Run = 0; Run < cRuns; ++Run) {
    Lost += Rate(World, Hid, 8000, 2);
  }
  std::printf("8000 reports/s in %d runs of 2 s: %d of %d reports lost\n", cRuns, Lost,
              cRuns * 8000 * 2);
  Idle(World, Hid, 3);
  return 0;
}
