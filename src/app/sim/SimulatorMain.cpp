// tarnsim: the monitor on the simulated world. Plays a scenario file (the shipped default
// one without arguments), takes commands at a prompt, or drives the virtual mouse at a given
// report rate on the real clock.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/MouseMonitor.h"
#include "app/sim/Simulation.h"
#include "app/sim/Timeline.h"

namespace {

using namespace simulator;
using Clock = std::chrono::steady_clock;

const char* const cUsage =
    "usage: tarnsim [--json] [SCENARIO]     play a scenario (the shipped default one without)\n"
    "       tarnsim [--json] --interactive  commands at a prompt (\"help\" lists them)\n"
    "       tarnsim --load RATE [SECONDS]   the mouse sends RATE reports a second (up to 8000)\n"
    "                                       on the real clock; prints what reached the monitor\n";

const char* const cHelp =
    "Commands, as in a scenario file but with the time left out (now) or given (\"+100 level "
    "3\"):\n"
    "  start | plug | unplug | press B | release B | level N | profile N | status 6|7 N\n"
    "  config start | config stop | config send 7035|7037\n"
    "  store language en|zh|tw | store button B mute|none | microphone on|off\n"
    "  resume | unlock | tray click | tray config | tray exit\n"
    "  expect KIND [TEXT] | expect no KIND [TEXT]\n"
    "And at the prompt only:\n"
    "  run MS           let MS milliseconds of virtual time pass\n"
    "  realtime on|off  let virtual time follow the real clock while waiting for a command\n"
    "  help | quit\n";

std::string ReadFile(const std::string& APath) {
  std::ifstream File(APath, std::ios::binary);
  if (!File) {
    throw std::runtime_error("cannot read " + APath);
  }
  std::ostringstream Text;
  Text << File.rdbuf();
  return Text.str();
}

std::string BaseName(const std::string& APath) {
  const std::size_t Slash = APath.find_last_of('/');
  std::string Name = Slash == std::string::npos ? APath : APath.substr(Slash + 1);
  const std::size_t Dot = Name.rfind('.');
  return Dot == std::string::npos ? Name : Name.substr(0, Dot);
}

// ---- the prompt ----

class TPromptSource : public ILineSource {
public:
  TPromptSource() {
    // Lines are read on a thread of their own, so that time can run while nobody types; it
    // shares what it read, and may outlive the prompt while it waits for a line.
    std::thread([Input = FInput] {
      try {
        std::string Line;
        while (std::getline(std::cin, Line)) {
          std::lock_guard<std::mutex> Guard(Input->Lock);
          Input->Lines.push_back(Line);
          Input->Arrived.notify_all();
        }
      } catch (...) {
        // Input that cannot be read ends the session as its end does.
      }
      std::lock_guard<std::mutex> Guard(Input->Lock);
      Input->Closed = true;
      Input->Arrived.notify_all();
    }).detach();
  }

  std::optional<TScenarioLine> Next(uint64_t ANowMs, bool AStarted) override {
    for (;;) {
      if (!FPrompted) {
        std::cout << (AStarted ? FormatTime(ANowMs) + " > " : "not started > ") << std::flush;
        FPrompted = true;
      }
      std::string Text;
      {
        std::unique_lock<std::mutex> Guard(FInput->Lock);
        const auto Waited = Clock::now();
        FInput->Arrived.wait_for(Guard, std::chrono::milliseconds(100),
                                 [&] { return !FInput->Lines.empty() || FInput->Closed; });
        if (FInput->Lines.empty()) {
          if (FInput->Closed) {
            std::cout << "\n";
            return std::nullopt;
          }
          if (FRealTime && AStarted) {
            const auto Passed =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Waited);
            return WaitLine(ANowMs + static_cast<uint64_t>(std::max<int64_t>(1, Passed.count())));
          }
          continue;
        }
        Text = FInput->Lines.front();
        FInput->Lines.pop_front();
      }
      FPrompted = false;
      std::istringstream Words(Text);
      std::string First;
      Words >> First;
      if (First.empty()) {
        continue;
      }
      if (First == "quit") {
        return std::nullopt;
      }
      if (First == "help") {
        std::cout << cHelp;
        continue;
      }
      if (First == "realtime") {
        std::string Switch;
        Words >> Switch;
        FRealTime = Switch == "on";
        std::cout << "virtual time "
                  << (FRealTime ? "follows the real clock" : "waits for commands") << "\n";
        continue;
      }
      try {
        if (First == "run") {
          uint64_t Ms = 0;
          if (!(Words >> Ms) || !AStarted) {
            throw std::invalid_argument(AStarted ? "\"run\" takes milliseconds"
                                                 : "time runs once the monitor has started");
          }
          return WaitLine(ANowMs + Ms);
        }
        TScenarioLine Line = ParseCommandLine(Text, ANowMs, AStarted);
        Line.LineNumber = ++FNumber;
        return Line;
      } catch (const std::exception& AError) {
        std::cout << "  " << AError.what() << " (\"help\" lists the commands)\n";
      }
    }
  }

private:
  TScenarioLine WaitLine(uint64_t ATimeMs) {
    TScenarioLine Line;
    Line.Command = TCommand::Wait;
    Line.TimeMs = ATimeMs;
    Line.LineNumber = ++FNumber;
    Line.CommandText = "wait";
    return Line;
  }

  struct TInput {
    std::mutex Lock;
    std::condition_variable Arrived;
    std::deque<std::string> Lines;
    bool Closed = false;
  };
  std::shared_ptr<TInput> FInput = std::make_shared<TInput>();
  bool FPrompted = false;
  bool FRealTime = false;
  int FNumber = 0;
};

// ---- the load ----

// A timeline that shows only what went wrong.
class TQuietTimeline : public ITimeline {
public:
  void Command(uint64_t, const TScenarioLine&, const std::string&) override {}
  void Event(const TEvent& AEvent) override {
    if (AEvent.Kind == "box") {
      std::cout << "message box: " << AEvent.Text << "\n";
    }
  }
  void Expectation(uint64_t, const TScenarioLine&, bool) override {}
  void Verdict(const std::string&, const TVerdict& AVerdict) override {
    if (!AVerdict.Error.empty()) {
      std::cout << "the simulation failed: " << AVerdict.Error << "\n";
    }
  }
};

double Percentile(std::vector<int64_t> AValues, double AShare) {
  if (AValues.empty()) {
    return 0;
  }
  const auto Index = static_cast<std::size_t>(AShare * static_cast<double>(AValues.size() - 1));
  std::nth_element(AValues.begin(), AValues.begin() + static_cast<std::ptrdiff_t>(Index),
                   AValues.end());
  return static_cast<double>(AValues[Index]) / 1000.0;
}

// Plugs the mouse, starts the monitor, lets it find the mouse, then sends the reports.
class TLoadSource : public ILineSource {
public:
  TLoadSource(TSimulation& ASimulation, uint32_t ARate, uint32_t ASeconds)
      : FSimulation(ASimulation), FRate(ARate), FSeconds(ASeconds) {}

  std::optional<TScenarioLine> Next(uint64_t, bool) override {
    if (FStep == 0) {
      FPrologue = ParseScenario("0 plug\n0 start\n3100 wait\n", "load").Lines;
    }
    if (FStep < FPrologue.size()) {
      return FPrologue[FStep++];
    }
    if (!FDone) {
      FDone = true;
      Load();
    }
    return std::nullopt;
  }

  int Result() const { return FResult; }

private:
  void Load() {
    const uint64_t Total = static_cast<uint64_t>(FRate) * FSeconds;
    std::vector<int64_t> Sent(Total, 0);
    std::vector<int64_t> Delays;
    Delays.reserve(Total);
    std::mutex Lock;
    const auto NowNs = [] {
      return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
          .count();
    };
    // Each report carries its number; the delay runs from its injection to the monitor's
    // handler, which then does what it always does.
    FSimulation.OnMonitorThread([&] {
      app::TTARNMONMAIN* Main = app::TARNMONMAIN();
      Main->HIDData().SetOnData([&, Main](const std::string& AId, const std::string& APath,
                                          uint8_t AReport, const void* AData, uint16_t ASize) {
        if (ASize >= 7) {
          uint64_t Number = 0;
          std::memcpy(&Number, static_cast<const uint8_t*>(AData) + 2, 5);
          if (Number < Sent.size()) {
            std::lock_guard<std::mutex> Guard(Lock);
            Delays.push_back(NowNs() - Sent[Number]);
          }
        }
        Main->uiHIDData1Data(AId, APath, AReport, AData, ASize);
      });
    });
    platform::sim::TSimWorld& World = FSimulation.World();
    const uint64_t DroppedBefore = World.Hid.DroppedReports();
    std::atomic<uint64_t> Injected{0};
    std::thread Injector([&] {
      try {
        const auto Period = std::chrono::nanoseconds(1000000000LL / FRate);
        auto Due = Clock::now();
        std::vector<uint8_t> Report = {8, 6, 0, 0, 0, 0, 0, 0};
        for (uint64_t Number = 0; Number < Total; ++Number) {
          Due += Period;
          std::this_thread::sleep_until(Due);
          std::memcpy(Report.data() + 3, &Number, 5);
          Sent[Number] = NowNs();
          World.Hid.InjectInputReport(cMousePath, Report);
          Injected = Number + 1;
        }
      } catch (const std::exception& AError) {
        std::cerr << "injector: " << AError.what() << "\n";
      }
    });
    const auto Show = [&](bool AFinal) {
      std::vector<int64_t> Copy;
      {
        std::lock_guard<std::mutex> Guard(Lock);
        Copy = Delays;
      }
      std::printf("%ssent %llu, delivered %zu, dropped %llu, delay to the handler: median %.1f us, "
                  "p99 %.1f us%s",
                  AFinal ? "" : "\r", static_cast<unsigned long long>(Injected.load()), Copy.size(),
                  static_cast<unsigned long long>(World.Hid.DroppedReports() - DroppedBefore),
                  Percentile(Copy, 0.5), Percentile(Copy, 0.99), AFinal ? "\n" : "   ");
      std::fflush(stdout);
      return Copy.size();
    };
    std::printf("%u reports a second for %u s on the real clock (status 6 reports)\n", FRate,
                FSeconds);
    const auto Deadline = Clock::now() + std::chrono::seconds(FSeconds + 5);
    while (Clock::now() < Deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (Injected == Total &&
          Show(false) + (World.Hid.DroppedReports() - DroppedBefore) >= Total) {
        break;
      }
      Show(false);
    }
    Injector.join();
    FSimulation.Settle();
    std::printf("\n");
    const std::size_t Delivered = Show(true);
    FResult = Delivered == Total ? 0 : 1;
    FSimulation.OnMonitorThread([&] {
      app::TTARNMONMAIN* Main = app::TARNMONMAIN();
      Main->HIDData().SetOnData({Main, &app::TTARNMONMAIN::uiHIDData1Data});
    });
  }

  TSimulation& FSimulation;
  uint32_t FRate;
  uint32_t FSeconds;
  std::vector<TScenarioLine> FPrologue;
  std::size_t FStep = 0;
  bool FDone = false;
  int FResult = 1;
};

} // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> Args(argv + 1, argv + argc);
    bool Json = false;
    if (!Args.empty() && Args[0] == "--json") {
      Json = true;
      Args.erase(Args.begin());
    }
    if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h")) {
      std::cout << cUsage;
      return 0;
    }
    TTextTimeline Text(std::cout);
    TJsonTimeline Objects(std::cout);
    ITimeline& Timeline = Json ? static_cast<ITimeline&>(Objects) : Text;
    if (!Args.empty() && Args[0] == "--interactive") {
      std::cout << "The monitor on the simulated world. \"help\" lists the commands; \"start\" "
                   "starts the monitor.\n";
      TPromptSource Prompt;
      TSimulation Simulation(Timeline);
      return Simulation.Run(Prompt, "interactive").Passed() ? 0 : 1;
    }
    if (!Args.empty() && Args[0] == "--load") {
      const uint32_t Rate = Args.size() > 1 ? static_cast<uint32_t>(std::stoul(Args[1])) : 1000;
      const uint32_t Seconds = Args.size() > 2 ? static_cast<uint32_t>(std::stoul(Args[2])) : 5;
      if (Rate == 0 || Rate > 8000 || Seconds == 0 || Seconds > 600) {
        std::cerr << "the rate is 1 to 8000 reports a second, the time 1 to 600 s\n";
        return 2;
      }
      TQuietTimeline Quiet;
      TSimulation Simulation(Quiet);
      TLoadSource Load(Simulation, Rate, Seconds);
      const TVerdict Verdict = Simulation.Run(Load, "load");
      return Verdict.Error.empty() ? Load.Result() : 1;
    }
    if (Args.size() > 1 || (!Args.empty() && Args[0].rfind("--", 0) == 0)) {
      std::cerr << cUsage;
      return 2;
    }
    const std::string Path =
        Args.empty() ? std::string(MONITOR_SCENARIO_DIR) + "/default.scn" : Args[0];
    TScenario Scenario;
    try {
      Scenario = ParseScenario(ReadFile(Path), BaseName(Path));
    } catch (const EScenarioError& AError) {
      std::cerr << AError.what() << "\nNothing ran.\n";
      return 2;
    }
    TSimulation Simulation(Timeline);
    TScenarioSource Source(Scenario);
    return Simulation.Run(Source, Scenario.Name).Passed() ? 0 : 1;
  } catch (const std::exception& AError) {
    std::cerr << "tarnsim: " << AError.what() << "\n";
    return 2;
  }
}
