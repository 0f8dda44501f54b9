#include "app/sim/Cli.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <limits>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "app/MouseMonitor.h"
#include "app/sim/Simulation.h"
#include "app/sim/Timeline.h"
#include "rtl/CommandLine.h"
#include "rtl/Mutex.h"

namespace simulator {

namespace {

using Clock = std::chrono::steady_clock;

const char* const cUsage =
    "usage: tarnsim [--json] [--verbose] [SCENARIO|-]\n"
    "                                             play a scenario (the shipped default one\n"
    "                                             without; - reads standard input)\n"
    "       tarnsim [--json] --interactive        commands at a prompt (\"help\" lists them)\n"
    "       tarnsim [--json] --load RATE [SECONDS]\n"
    "                                             the mouse sends RATE reports a second (1 to\n"
    "                                             8000) for SECONDS (1 to 600, 5 without) on the\n"
    "                                             real clock; says what reached the monitor\n"
    "       tarnsim --help | --version\n"
    "--verbose adds the monitor's own debugger lines (\"debug\" events) to the timeline.\n"
    "Options may come in any order. Exit codes: 0 passed, 1 an expectation not met (or reports\n"
    "lost under load), 2 usage, a bad line or a file that cannot be read.\n";

// The manual: what --help prints. The scenario language is described here, once.
const char* const cManual =
    "NAME\n"
    "  tarnsim - the monitor on a simulated world: a virtual mouse, filter driver, microphone\n"
    "  and configuration program, on a virtual clock\n"
    "\n"
    "SYNOPSIS\n"
    "  tarnsim [--json] [--verbose] [SCENARIO | -]\n"
    "  tarnsim [--json] [--verbose] --interactive\n"
    "  tarnsim [--json] --load [RATE [SECONDS]]\n"
    "  tarnsim --help | --version\n"
    "\n"
    "DESCRIPTION\n"
    "  Plays a scenario against the real monitor and prints what happened as a timeline, then\n"
    "  a verdict. Without SCENARIO it plays the shipped default one; - reads standard input. A\n"
    "  bad line is reported as PATH:LINE: MESSAGE and nothing runs. A scenario is at most 64 MiB.\n"
    "\n"
    "OPTIONS (in any order)\n"
    "  --json         one JSON object a line on standard output and nothing else: {\"type\":\n"
    "                 \"command\"|\"event\"|\"expectation\"|\"verdict\", \"time_ms\": ...}; what "
    "is\n"
    "                 for people (prompts, help, progress) goes to standard error\n"
    "  --verbose      also the monitor's own debugger lines (\"debug\" events)\n"
    "  --interactive  commands at a prompt, as in a scenario with the time left out (now) or\n"
    "                 given (\"+100 level 3\"); \"help\" there lists the commands\n"
    "  --load         the mouse sends RATE reports a second (1 to 8000, 1000 without) for SECONDS\n"
    "                 (1 to 600, 5 without) on the real clock; says what reached the monitor\n"
    "\n"
    "SCENARIO LANGUAGE\n"
    "  One line each: TIME COMMAND ARGUMENTS...   # a comment\n"
    "  TIME is milliseconds since the monitor started (\"1500\") or since the previous line\n"
    "  (\"+100\"); times never go back. \"start\" comes at 0; lines before it (at 0 too) prepare\n"
    "  the world the monitor starts in; after \"tray exit\" only expectations may follow.\n"
    "    start                       the monitor's process starts\n"
    "    plug | unplug               the virtual mouse\n"
    "    press B | release B         button B (0 to 23) of the mouse\n"
    "    level N                     the mouse reports that its resolution level is now N\n"
    "    profile N                   the mouse reports a switch to hardware profile N\n"
    "    status 6 N | status 7 N     the mouse's other status codes\n"
    "    config start | config stop  the configuration program's window appears or goes\n"
    "    config send 7035 | 7037     the configuration program tells the monitor to reload the\n"
    "                                profiles or the settings\n"
    "    store language en|zh|tw     the configuration program stores the language setting\n"
    "    store button B mute|none    ... binds button B of the current profile to the\n"
    "                                microphone's mute, or to nothing\n"
    "    ctl COMMAND ARGUMENTS...    the profile tool (TARNCTL) runs on the monitor's store as\n"
    "                                a program of the session: show, reset, game, language,\n"
    "                                cpi, button, wheel (TARNCTL --help; not export or import);\n"
    "                                its output lines are \"ctl\" events\n"
    "    foreground [PATH]           a window of the program at PATH comes to the front (none:\n"
    "                                the desktop); a profile whose application switch is on\n"
    "                                follows it\n"
    "    microphone on | off         a microphone appears or goes\n"
    "    resume | unlock             the computer wakes from sleep, the session is unlocked\n"
    "    tray click|config|exit      the user clicks the tray icon or chooses a menu item\n"
    "    wait                        nothing: time passes until the line's time\n"
    "    expect KIND [TEXT]          an event of that kind happened since the last command, its\n"
    "                                text containing TEXT (quotes keep spaces)\n"
    "    expect no KIND [TEXT]       no such event happened since the last command\n"
    "  With the mouse unplugged, what only the mouse does (press, level, ...) does nothing. A\n"
    "  \"config send\" where the lines leave the configuration program stopped is a bad line;\n"
    "  after a tray click (which may start it) it is checked while the scenario runs.\n"
    "\n"
    "THE TIMELINE\n"
    "  Each line starts with the virtual time. \">\" marks a command of the scenario with what it\n"
    "  means; the lines under it are the events it led to, by kind: monitor, store, tray,\n"
    "  timer, reader, device, driver, config, ctl (the profile tool's output), profile (the\n"
    "  monitor's current game profile changed), screen (a notice shown), microphone, shell,\n"
    "  debug (with --verbose), box (a message box). \"ok\" and \"FAIL\" mark expectations met and "
    "not met; the last line is\n"
    "  the verdict, PASS or FAIL.\n"
    "\n"
    "EXIT STATUS\n"
    "  0  every expectation met (under load: every report reached the monitor)\n"
    "  1  an expectation not met (under load: reports lost; the last line says how many)\n"
    "  2  a usage mistake, a bad line, or a file that cannot be read\n";

const char* const cHelp =
    "Commands, as in a scenario file but with the time left out (now) or given (\"+100 level "
    "3\"):\n"
    "  start | plug | unplug | press B | release B | level N | profile N | status 6|7 N\n"
    "  config start | config stop | config send 7035|7037\n"
    "  store language en|zh|tw | store button B mute|none | microphone on|off\n"
    "  ctl COMMAND ARGUMENTS... (the profile tool) | foreground [PATH]\n"
    "  resume | unlock | tray click | tray config | tray exit\n"
    "  expect KIND [TEXT] | expect no KIND [TEXT]\n"
    "And at the prompt only:\n"
    "  run MS           let MS milliseconds of virtual time pass; expectations after it still\n"
    "                   look back to the last command\n"
    "  realtime on|off  let virtual time follow the real clock while waiting for a command\n"
    "  help | quit\n";

// A usage mistake: said with the usage, exit code 2.
class EUsage : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The scenario at APath ("-": standard input), read a line at a time: a folder, a file that
// cannot be opened or one above the limit is refused with what is wrong.
TScenario ReadScenario(const std::string& APath, std::istream& AStandardInput) {
  if (APath == "-") {
    return ParseScenario(AStandardInput, cStandardInputName, cMaxScenarioBytes);
  }
  std::error_code Error;
  if (std::filesystem::is_directory(APath, Error)) {
    throw std::runtime_error(APath + ": is a folder");
  }
  const auto Size = std::filesystem::file_size(APath, Error);
  if (!Error && Size > cMaxScenarioBytes) {
    throw ScenarioTooLarge(APath, cMaxScenarioBytes);
  }
  errno = 0;
  std::ifstream File(APath, std::ios::binary);
  if (!File) {
    throw std::runtime_error(APath + ": " + std::strerror(errno != 0 ? errno : ENOENT));
  }
  return ParseScenario(File, APath, cMaxScenarioBytes);
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
  // AIn must live as long as the process: its reader may outlive the prompt. The prompt, the
  // help and the answers go to AHuman.
  TPromptSource(std::istream& AIn, std::ostream& AHuman) : FHuman(AHuman) {
    // Lines are read on a thread of their own, so that time can run while nobody types; it
    // shares what it read, and may outlive the prompt while it waits for a line.
    std::thread([Input = FInput, &AIn] {
      try {
        std::string Line;
        while (std::getline(AIn, Line)) {
          rtl::TLockGuard Guard(Input->Lock);
          Input->Lines.push_back(Line);
          Input->Arrived.notify_all();
        }
      } catch (...) {
        // Input that cannot be read ends the session as its end does.
      }
      rtl::TLockGuard Guard(Input->Lock);
      Input->Closed = true;
      Input->Arrived.notify_all();
    }).detach();
  }

  std::optional<TScenarioLine> Next(uint64_t ANowMs, bool AStarted) override {
    for (;;) {
      if (!FPrompted) {
        FHuman << (AStarted ? FormatTime(ANowMs) + " > " : "not started > ") << std::flush;
        FPrompted = true;
      }
      std::string Text;
      {
        rtl::TUniqueLock Guard(FInput->Lock);
        const auto Waited = Clock::now();
        const auto Deadline = Waited + std::chrono::milliseconds(100);
        while (FInput->Lines.empty() && !FInput->Closed &&
               Guard.WaitUntil(FInput->Arrived, Deadline)) {
        }
        if (FInput->Lines.empty()) {
          if (FInput->Closed) {
            FHuman << "\n";
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
        FHuman << cHelp;
        continue;
      }
      if (First == "realtime") {
        std::string Switch;
        Words >> Switch;
        FRealTime = Switch == "on";
        FHuman << "virtual time " << (FRealTime ? "follows the real clock" : "waits for commands")
               << "\n";
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
        FHuman << "  " << AError.what() << " (\"help\" lists the commands)\n";
      }
    }
  }

  bool Refuse(const std::string& AMessage) override {
    FHuman << "  " << AMessage << "\n";
    return true;
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
    rtl::TMutex Lock;
    std::condition_variable Arrived;
    std::deque<std::string> Lines MONITOR_GUARDED_BY(Lock);
    bool Closed MONITOR_GUARDED_BY(Lock) = false;
  };
  std::ostream& FHuman;
  std::shared_ptr<TInput> FInput = std::make_shared<TInput>();
  bool FPrompted = false;
  bool FRealTime = false;
  int FNumber = 0;
};

// ---- the load ----

// A timeline that shows only what went wrong.
class TQuietTimeline : public ITimeline {
public:
  explicit TQuietTimeline(std::ostream& AHuman) : FHuman(AHuman) {}
  void Command(uint64_t, const TScenarioLine&, const std::string&) override {}
  void Event(const TEvent& AEvent) override {
    if (AEvent.Kind == "box") {
      FHuman << "message box: " << AEvent.Text << "\n";
    }
  }
  void Expectation(uint64_t, const TScenarioLine&, bool) override {}
  void Verdict(const std::string&, const TVerdict& AVerdict) override {
    if (!AVerdict.Error.empty()) {
      FHuman << "the simulation failed: " << AVerdict.Error << "\n";
    }
  }

private:
  std::ostream& FHuman;
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
  TLoadSource(TSimulation& ASimulation, uint32_t ARate, uint32_t ASeconds,
              const TCliStreams& AStreams, bool AJson)
      : FSimulation(ASimulation), FRate(ARate), FSeconds(ASeconds), FStreams(AStreams),
        FJson(AJson) {}

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
    // The handler adds to them on the monitor's thread while this one reads them.
    struct TDelays {
      rtl::TMutex Lock;
      std::vector<int64_t> List MONITOR_GUARDED_BY(Lock);
    } Delays;
    {
      rtl::TLockGuard Guard(Delays.Lock);
      Delays.List.reserve(Total);
    }
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
            rtl::TLockGuard Guard(Delays.Lock);
            Delays.List.push_back(NowNs() - Sent[Number]);
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
        FStreams.Err << "injector: " << AError.what() << "\n";
      }
    });
    const auto DelaysSoFar = [&] {
      rtl::TLockGuard Guard(Delays.Lock);
      return Delays.List;
    };
    const auto Delivered = [&] {
      rtl::TLockGuard Guard(Delays.Lock);
      return Delays.List.size();
    };
    const auto Dropped = [&] { return World.Hid.DroppedReports() - DroppedBefore; };
    const auto Figures = [&](std::ostream& AOut) {
      const std::vector<int64_t> Copy = DelaysSoFar();
      AOut << "sent " << Injected.load() << ", delivered " << Copy.size() << ", dropped "
           << Dropped() << ", delay to the handler: median " << std::fixed << std::setprecision(1)
           << Percentile(Copy, 0.5) << " us, p99 " << Percentile(Copy, 0.99) << " us";
    };
    FStreams.Err << FRate << " reports a second for " << FSeconds
                 << " s on the real clock (status 6 reports)\n";
    // Progress only where a person watches it; a file or a pipe gets the result alone.
    const auto Deadline = Clock::now() + std::chrono::seconds(FSeconds + 5);
    while (Clock::now() < Deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (FStreams.ErrIsTerminal) {
        FStreams.Err << "\r";
        Figures(FStreams.Err);
        FStreams.Err << "   " << std::flush;
      }
      if (Injected == Total && Delivered() + Dropped() >= Total) {
        break;
      }
    }
    Injector.join();
    FSimulation.Settle();
    if (FStreams.ErrIsTerminal) {
      FStreams.Err << "\n";
    }
    const uint64_t Lost = Total - std::min<uint64_t>(Total, Delivered());
    FResult = Lost == 0 ? 0 : 1;
    std::string Reason = Lost == 0
                             ? "every report reached the monitor"
                             : std::to_string(Lost) + " of " + std::to_string(Total) +
                                   " reports did not reach the monitor (" +
                                   std::to_string(Dropped()) + " dropped by the full report ring)";
    if (FJson) {
      const std::vector<int64_t> Copy = DelaysSoFar();
      FStreams.Out << nlohmann::json{{"kind", "load"},
                                     {"rate", FRate},
                                     {"seconds", FSeconds},
                                     {"sent", Injected.load()},
                                     {"delivered", Copy.size()},
                                     {"dropped", Dropped()},
                                     {"median_us", Percentile(Copy, 0.5)},
                                     {"p99_us", Percentile(Copy, 0.99)},
                                     {"passed", Lost == 0},
                                     {"reason", Reason}}
                          .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                   << "\n";
    } else {
      Figures(FStreams.Out);
      FStreams.Out << "\n" << (Lost == 0 ? "passed: " : "FAILED: ") << Reason << "\n";
    }
    FSimulation.OnMonitorThread([&] {
      app::TTARNMONMAIN* Main = app::TARNMONMAIN();
      Main->HIDData().SetOnData({Main, &app::TTARNMONMAIN::uiHIDData1Data});
    });
  }

  TSimulation& FSimulation;
  uint32_t FRate;
  uint32_t FSeconds;
  const TCliStreams& FStreams;
  bool FJson;
  std::vector<TScenarioLine> FPrologue;
  std::size_t FStep = 0;
  bool FDone = false;
  int FResult = 1;
};

// A whole number from AMin to AMax, digits only: no sign, no exponent, no trailing text.
uint32_t ParseWhole(const std::string& AText, uint32_t AMin, uint32_t AMax,
                    const std::string& AWhat) {
  if (const std::optional<uint32_t> Value = rtl::ParseWholeNumber(AText, AMin, AMax)) {
    return *Value;
  }
  throw EUsage("the " + AWhat + " \"" + rtl::EscapeForDisplay(AText) +
               "\" is not a whole number from " + std::to_string(AMin) + " to " +
               std::to_string(AMax));
}

struct TOptions {
  bool Json = false;
  bool Verbose = false;
  bool Interactive = false;
  bool Load = false;
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Operands;
};

TOptions ParseOptions(const std::vector<std::string>& AArgs) {
  TOptions Options;
  try {
    Options.Operands = rtl::SplitCommandLine(AArgs, {{{"--json"}, &Options.Json},
                                                     {{"--verbose"}, &Options.Verbose},
                                                     {{"--interactive"}, &Options.Interactive},
                                                     {{"--load"}, &Options.Load},
                                                     {{"--help", "-h"}, &Options.Help},
                                                     {{"--version"}, &Options.Version}});
  } catch (const std::invalid_argument& AError) {
    throw EUsage(AError.what());
  }
  if (Options.Interactive && Options.Load) {
    throw EUsage("--interactive and --load are two modes: give one");
  }
  const std::size_t Allowed = Options.Load ? 2 : Options.Interactive ? 0 : 1;
  if (Options.Operands.size() > Allowed) {
    throw EUsage("unexpected \"" + rtl::EscapeForDisplay(Options.Operands[Allowed]) + "\"");
  }
  return Options;
}

int Run(const std::vector<std::string>& AArgs, const TCliStreams& AStreams) {
  const TOptions Options = ParseOptions(AArgs);
  if (Options.Help) {
    AStreams.Out << cManual;
    return 0;
  }
  if (Options.Version) {
    AStreams.Out << "tarnsim " << MONITOR_VERSION << "\n";
    return 0;
  }
  // With --json standard output carries the JSON alone; what is for people goes to the error
  // stream.
  std::ostream& Human = Options.Json ? AStreams.Err : AStreams.Out;
  TTextTimeline Text(AStreams.Out);
  TJsonTimeline Objects(AStreams.Out);
  ITimeline& Shown = Options.Json ? static_cast<ITimeline&>(Objects) : Text;
  TWithoutDebugLines Quieter(Shown);
  ITimeline& Timeline = Options.Verbose ? Shown : Quieter;
  if (Options.Interactive) {
    Human << "The monitor on the simulated world. \"help\" lists the commands; \"start\" "
             "starts the monitor.\n";
    TPromptSource Prompt(AStreams.In, Human);
    TSimulation Simulation(Timeline);
    return Simulation.Run(Prompt, "interactive").Passed() ? 0 : 1;
  }
  if (Options.Load) {
    const uint32_t Rate = Options.Operands.size() > 0
                              ? ParseWhole(Options.Operands[0], 1, cMaxLoadRate, "rate")
                              : cDefaultLoadRate;
    const uint32_t Seconds = Options.Operands.size() > 1
                                 ? ParseWhole(Options.Operands[1], 1, cMaxLoadSeconds, "time")
                                 : cDefaultLoadSeconds;
    TQuietTimeline Quiet(AStreams.Err);
    TSimulation Simulation(Quiet);
    TLoadSource Load(Simulation, Rate, Seconds, AStreams, Options.Json);
    const TVerdict Verdict = Simulation.Run(Load, "load");
    return Verdict.Error.empty() ? Load.Result() : 1;
  }
  const std::string Path = Options.Operands.empty()
                               ? std::string(MONITOR_SCENARIO_DIR) + "/default.scn"
                               : Options.Operands[0];
  TScenario Scenario;
  try {
    // Errors name the file as it was given, as editors and annotations expect.
    Scenario = ReadScenario(Path, AStreams.In);
    Scenario.Name = Path == "-" ? cStandardInputName : BaseName(Path);
  } catch (const EScenarioError& AError) {
    AStreams.Err << AError.what() << "\nNothing ran.\n";
    return 2;
  }
  TSimulation Simulation(Timeline);
  TScenarioSource Source(Scenario);
  return Simulation.Run(Source, Scenario.Name).Passed() ? 0 : 1;
}

} // namespace

int RunSimulatorCli(const std::vector<std::string>& AArgs, const TCliStreams& AStreams) {
  try {
    return Run(AArgs, AStreams);
  } catch (const EUsage& AError) {
    AStreams.Err << "tarnsim: " << AError.what() << "\n" << cUsage;
    return 2;
  } catch (const std::exception& AError) {
    AStreams.Err << "tarnsim: " << AError.what() << "\n";
    return 2;
  }
}

} // namespace simulator
