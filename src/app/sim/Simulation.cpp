#include "app/sim/Simulation.h"
#include "app/sim/Timeline.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "app/MouseMonitor.h"
#include "app/ctl/ProfileTool.h"
#include "device/CpiUnit.h"
#include "platform/Guarded.h"
#include "platform/WindowMessages.h"
#include "profile/DMUnit.h"

extern const unsigned char ShippedUiLocal[];
extern const std::size_t ShippedUiLocalSize;

namespace simulator {

namespace {

using platform::TWindowMessage;
namespace sim = platform::sim;

constexpr auto cSettleLimit = std::chrono::seconds(20);
constexpr auto cEndLimit = std::chrono::seconds(20);
constexpr uint8_t cStatusReport = 8;
constexpr uint8_t cStatusProfile = 1;
constexpr uint8_t cStatusLevel = 2;
constexpr uint16_t cLevelAddress = 64 + 2;

std::string Hex(const std::vector<uint8_t>& ABytes) {
  std::string Text;
  char Byte[4];
  for (uint8_t Value : ABytes) {
    std::snprintf(Byte, sizeof(Byte), "%02X", Value);
    Text += (Text.empty() ? "" : " ") + std::string(Byte);
  }
  return Text;
}

std::string Quoted(const std::string& AText) {
  return "\"" + AText + "\"";
}

std::string ShortPath(const std::string& APath) {
  const std::size_t Vendor = APath.find("vid_");
  if (Vendor == std::string::npos) {
    return APath;
  }
  return APath.substr(Vendor, APath.find('#', Vendor) - Vendor);
}

// What the filter driver was sent, in words.
std::string DriverControl(const sim::TSimControl& AControl) {
  if (AControl.Code == device::IOCTL_CPI_UNIT &&
      AControl.Bytes.size() >= sizeof(device::CPI_UNIT)) {
    device::CPI_UNIT Unit{};
    std::memcpy(&Unit, AControl.Bytes.data(), sizeof(Unit));
    // Each level as set, with the hardware step it is scaled from where the two differ.
    std::string Levels;
    for (int Level = 0; Level < device::cCpiLevelsSent; ++Level) {
      const device::CPI_LEVEL& Set = Unit.STCpi[Level];
      const device::CPI_LEVEL& Hardware = Unit.HWCpi[Level];
      const device::CPI_RATE& Rate = Unit.XYCpiRate[Level];
      std::string Text =
          std::to_string(Set.X) + (Set.X != Set.Y ? "x" + std::to_string(Set.Y) : "");
      if (Set.Enabled == 0) {
        Text += " off";
      } else if (Hardware.X != Set.X || Hardware.Y != Set.Y) {
        Text += " (" + std::to_string(Hardware.X) + " at " + std::to_string(Rate.X) + "%)";
      }
      Levels += (Levels.empty() ? "" : ", ") + Text;
    }
    return std::string(Unit.NeedApplyNewCPI != 0 ? "resolution table: "
                                                 : "release (scaling off), table: ") +
           "levels [" + Levels + "], current level " + std::to_string(Unit.CurrentCpi);
  }
  if (AControl.Code == device::IOCTL_SET_CURRENT_CPI && AControl.Bytes.size() >= 2) {
    return "current level " + std::to_string(AControl.Bytes[0] | AControl.Bytes[1] << 8);
  }
  char Code[16];
  std::snprintf(Code, sizeof(Code), "0x%08X", AControl.Code);
  return std::string("control ") + Code + ": " + Hex(AControl.Bytes);
}

std::string FirmwareCommand(const sim::TSimFirmwareCommand& ACommand) {
  constexpr uint8_t cBlockRead = 8;
  constexpr uint8_t cSwitch = 11;
  if (ACommand.Command == cSwitch && ACommand.Value <= 1) {
    // The level's read is bracketed by the switch command: 0 before it, 1 after.
    return ACommand.Value == 0
               ? "command 11 with value 0: the level's read begins (a 10 ms pause follows)"
               : "command 11 with value 1: the level's read ends";
  }
  if (ACommand.Command == cBlockRead) {
    std::string Text = "command 8 reads " + std::to_string(ACommand.Length) +
                       " bytes of device memory at " + std::to_string(ACommand.Address);
    const uint32_t Offset = static_cast<uint32_t>(cLevelAddress) - ACommand.Address;
    if (cLevelAddress >= ACommand.Address && Offset + 2 <= ACommand.Answer.size()) {
      Text += " (the level): current level " +
              std::to_string(ACommand.Answer[Offset] | ACommand.Answer[Offset + 1] << 8);
    }
    return Text;
  }
  return "command " + std::to_string(ACommand.Command) + " with value " +
         std::to_string(ACommand.Value);
}

std::string ConfigMessage(uint32_t AMsg, uintptr_t AWParam) {
  const std::string Value = std::to_string(AWParam);
  switch (AMsg) {
  case app::WM_CONFIG_PROFILE_SWITCHED:
    return "7040 hardware profile switched: " + Value;
  case app::WM_CONFIG_CPI_CHANGED:
    return "7042 level changed: " + Value;
  case app::WM_CONFIG_DEVICE_EVENT_6:
    return "7043 status 6: " + Value;
  case app::WM_CONFIG_DEVICE_EVENT_7:
    return "7044 status 7: " + Value;
  case app::WM_CONFIG_EXIT:
    return "7036 the monitor exits";
  default:
    return std::to_string(AMsg) + ": " + Value;
  }
}

std::string TrayText(const platform::sim::TSimTrayIconState& AIcon) {
  std::string Menu;
  for (const platform::TTrayMenuItem& Item : AIcon.Menu) {
    if (Item.Visible) {
      Menu += (Menu.empty() ? "" : " | ") + Item.Caption;
    }
  }
  return "hint " + Quoted(AIcon.Hint) + ", menu " + Menu +
         (AIcon.IconFile.empty() ? ", built-in icon" : ", icon from its file");
}

std::vector<uint8_t> StatusReport(uint8_t ACode, uint8_t AValue) {
  return {cStatusReport, ACode, AValue, 0, 0, 0, 0, 0};
}

} // namespace

// ---- the configuration program: its own process in the session ----

class TSimulation::TConfigProgram {
public:
  explicit TConfigProgram(std::shared_ptr<sim::TSimSession> ASession) : World(std::move(ASession)) {
    Window = World.Desktop.CreateMainWindow(app::cConfigWindowClass, [this](TWindowMessage& AMsg) {
      if (AMsg.Msg >= app::WM_MONITOR_RELOAD_PROFILES &&
          AMsg.Msg <= app::WM_CONFIG_DEVICE_EVENT_7) {
        rtl::TLockGuard Guard(Lock);
        Received.emplace_back(AMsg.Msg, AMsg.WParam);
        return true;
      }
      return false;
    });
  }
  ~TConfigProgram() { World.Desktop.DestroyHiddenWindow(Window); }
  TConfigProgram(const TConfigProgram&) = delete;
  TConfigProgram& operator=(const TConfigProgram&) = delete;
  // What reached its window since the last call; posted messages are handled first.
  std::vector<std::pair<uint32_t, uintptr_t>> Take() {
    World.Desktop.ProcessMessages();
    rtl::TLockGuard Guard(Lock);
    return std::exchange(Received, {});
  }

  sim::TSimWorld World;
  platform::TWindowHandle Window = 0;

private:
  rtl::TMutex Lock;
  std::vector<std::pair<uint32_t, uintptr_t>> Received MONITOR_GUARDED_BY(Lock);
};

// The configuration program's own data module on the monitor's store, for one edit.
class TStoreEdit {
public:
  explicit TStoreEdit(sim::TSimWorld& AWorld)
      : Module(nullptr, {AWorld.Registry, AWorld.Files, AWorld.Environment, AWorld.Clock,
                         AWorld.Locale, Dialogs}) {}
  sim::TSimDialogs Dialogs;
  profile::TDM Module;
};

struct TSimulation::TSeen {
  bool Started = false;
  bool Ended = false;
  std::vector<sim::TSimTrayIconState> Tray;
  std::optional<uint64_t> Due[5];
  int Profile = -1;
  std::size_t Watchers = 0;
  std::size_t Notices = 0;
  int Readers = 0;
  std::size_t Commands = 0;
  std::size_t Controls = 0;
  std::size_t DebugLines = 0;
  std::size_t Boxes = 0;
  std::size_t Opens = 0;
  int Writes = 0;
  bool Muted = false;
};

std::optional<TScenarioLine> TScenarioSource::Next(uint64_t, bool) {
  if (FNext >= FScenario.Lines.size()) {
    return std::nullopt;
  }
  return FScenario.Lines[FNext++];
}

TSimulation::TSimulation(ITimeline& ATimeline)
    : FTimeline(ATimeline), FWorld(std::make_unique<sim::TSimWorld>()),
      FFirmware(std::make_unique<sim::TSimMouseFirmware>(FWorld->Hid)),
      FSeen(std::make_unique<TSeen>()) {
  FFirmware->SetCurrentLevel(2);
  // Installed beside the monitor, as "ui.local" is.
  FWorld->Files.ReplaceFileContent(FWorld->Environment.ModuleFolder() + "ui.local", ShippedUiLocal,
                                   ShippedUiLocalSize);
  // Installed beside the monitor: started by the shell, it opens its window.
  FWorld->Shell.RegisterProgram(FWorld->Environment.ModuleFolder() + app::cConfigProgramFile,
                                [this](const sim::TSimShellOpen&) {
                                  rtl::TLockGuard Guard(FLock);
                                  FConfigStartWanted = true;
                                });
  FSeen->Muted = FWorld->Audio.Muted();
}

TSimulation::~TSimulation() {
  FConfig.reset();
}

uint64_t TSimulation::NowMs() const {
  const uint64_t Start = FStartTick.load();
  return Start == 0 ? 0 : FWorld->Clock.TickCount() - Start;
}

void TSimulation::OnMonitorThread(const std::function<void()>& AWork) {
  FWorld->Desktop.Synchronize(AWork);
}

void TSimulation::Emit(const std::string& AKind, const std::string& AText,
                       std::optional<uint64_t> AAt) {
  FEvents.push_back({AAt.value_or(NowMs()), AKind, AText});
  FTimeline.Event(FEvents.back());
}

// ---- the two threads ----

TVerdict TSimulation::Run(ILineSource& ASource, const std::string& AName) {
  std::thread Commands([&] {
    try {
      this->Commands(ASource);
    } catch (const std::exception& AError) {
      rtl::TLockGuard Guard(FLock);
      FError = AError.what();
    } catch (...) {
      rtl::TLockGuard Guard(FLock);
      FError = "the simulation failed";
    }
    rtl::TLockGuard Guard(FLock);
    if (!FError.empty() && FStartWanted && !FMonitorEnded) {
      // A run that failed half way still ends the monitor's loop.
      const platform::TWindowHandle Main =
          FWorld->Desktop.FindTopLevelWindow(app::cMainWindowClass);
      if (Main == 0 || !FWorld->Desktop.PostWindowMessage(Main, platform::WM_CLOSE_MESSAGE, 0, 0)) {
        FWorld->Desktop.Quit(1);
      }
    }
    FCommandsDone = true;
    FChanged.notify_all();
  });
  {
    rtl::TUniqueLock Guard(FLock);
    while (!FStartWanted && !FCommandsDone) {
      Guard.Wait(FChanged);
    }
  }
  bool Started = false;
  {
    rtl::TLockGuard Guard(FLock);
    Started = FStartWanted && !FCommandsDone;
  }
  if (Started) {
    // The configuration program lives on this thread too: a simulated process that sends to
    // another's window runs its procedure at once, on its own thread.
    if (FConfigBeforeStart) {
      FConfig = std::make_unique<TConfigProgram>(FWorld->Session);
    }
    FStartTick = FWorld->Clock.TickCount();
    const int32_t Code = app::MonitorMain(FWorld->Platform());
    rtl::TLockGuard Guard(FLock);
    FExitCode = Code;
    FMonitorEnded = true;
    FChanged.notify_all();
  }
  // Work the commands hand over once the monitor has ended still runs here.
  for (;;) {
    {
      rtl::TLockGuard Guard(FLock);
      if (FCommandsDone) {
        break;
      }
    }
    FWorld->Desktop.WaitAndProcess(5);
  }
  Commands.join();
  TVerdict Verdict;
  Verdict.Expectations = FExpectations;
  Verdict.Failed = FFailed;
  {
    rtl::TLockGuard Guard(FLock);
    Verdict.ExitCode = FExitCode;
    Verdict.Error = FError;
  }
  FTimeline.Verdict(AName, Verdict);
  return Verdict;
}

bool TSimulation::MonitorEnded() {
  rtl::TLockGuard Guard(FLock);
  return FMonitorEnded;
}

void TSimulation::WaitForTheEnd() {
  rtl::TUniqueLock Guard(FLock);
  const auto Deadline = std::chrono::steady_clock::now() + cEndLimit;
  while (!FMonitorEnded) {
    if (!Guard.WaitUntil(FChanged, Deadline) && !FMonitorEnded) {
      throw std::runtime_error("the monitor did not end");
    }
  }
}

void TSimulation::Commands(ILineSource& ASource) {
  bool Started = false;
  bool Exited = false;
  while (const std::optional<TScenarioLine> Line = ASource.Next(NowMs(), Started)) {
    if (Line->Command == TCommand::Expect || Line->Command == TCommand::ExpectNo) {
      if (!Exited) {
        StepTo(Line->TimeMs);
      }
      Check(*Line);
      continue;
    }
    if (Exited && Line->Command != TCommand::Wait) {
      const std::string Message = "the monitor has ended: only expectations follow";
      if (ASource.Refuse(Message)) {
        continue;
      }
      throw std::runtime_error(Message);
    }
    if (Line->Command == TCommand::Wait) {
      // Time passes; the expectations that follow still look back to the last command.
      if (Started && !Exited) {
        StepTo(Line->TimeMs);
      }
      continue;
    }
    if (Line->Command == TCommand::Start) {
      FTimeline.Command(0, *Line, Meaning(*Line));
      FWindowStart = FEvents.size();
      FPreviousExpectationTime.reset();
      {
        rtl::TLockGuard Guard(FLock);
        FStartWanted = true;
        FChanged.notify_all();
      }
      // The process entry is through once its window exists (or it ended at once).
      const auto Deadline = std::chrono::steady_clock::now() + cEndLimit;
      while (FWorld->Desktop.FindTopLevelWindow(app::cMainWindowClass) == 0 && !MonitorEnded()) {
        if (std::chrono::steady_clock::now() > Deadline) {
          throw std::runtime_error("the monitor's window did not appear");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      Started = true;
      Settle();
      Observe();
      continue;
    }
    if (Started) {
      StepTo(Line->TimeMs);
    }
    FWindowStart = FEvents.size();
    FPreviousExpectationTime.reset();
    FTimeline.Command(NowMs(), *Line, Meaning(*Line));
    Execute(*Line, Started);
    if (Line->Command == TCommand::TrayExit) {
      WaitForTheEnd();
      Exited = true;
    }
    if (Started) {
      Settle(nullptr, FromTheMouse(Line->Command));
    }
    Observe();
  }
  if (Started && !Exited) {
    // The end of the lines: the monitor is closed as the end of the user's session does.
    FWindowStart = FEvents.size();
    OnMonitorThread([&] {
      const platform::TWindowHandle Main =
          FWorld->Desktop.FindTopLevelWindow(app::cMainWindowClass);
      if (Main != 0) {
        FWorld->Desktop.PostWindowMessage(Main, platform::WM_CLOSE_MESSAGE, 0, 0);
      }
    });
    WaitForTheEnd();
    Observe();
  }
}

// ---- time and settling ----

void TSimulation::StepTo(uint64_t ATimeMs) {
  if (MonitorEnded()) {
    return;
  }
  while (NowMs() < ATimeMs) {
    const uint64_t Before = NowMs();
    // The step and the first look at the world are one hand-over.
    Settle([&] {
      const uint64_t Now = FWorld->Clock.TickCount();
      const uint64_t Target = FStartTick + ATimeMs;
      const uint64_t Next = std::min(Target, FWorld->Desktop.NextTimerDue().value_or(Target));
      // A timer already due fires without the clock moving; then time moves on by at least
      // a millisecond.
      FWorld->Desktop.Advance(Next > Now ? Next - Now : 0);
      if (FWorld->Clock.TickCount() == Now && Next <= Now) {
        FWorld->Desktop.ProcessMessages();
      }
    });
    Observe();
    if (NowMs() == Before) {
      Settle([&] { FWorld->Desktop.Advance(1); });
      Observe();
    }
    if (MonitorEnded()) {
      return;
    }
  }
}

bool TSimulation::StaysQuiet() {
  // A reader that took its report in the instant of the look, on a loaded machine, shows only
  // a moment later: after a report the world must stay as the look found it for a few turns.
  constexpr int cTurns = 2;
  const uint64_t Taken = FWorld->Hid.ReportsTaken(cMousePath);
  for (int Turn = 0; Turn < cTurns; ++Turn) {
    std::this_thread::yield();
    if (FWorld->Hid.WaitingReads(cMousePath) != FReadersRunning ||
        FWorld->Hid.ReportsTaken(cMousePath) != Taken || FWorld->Desktop.PendingHandOvers() != 0) {
      return false;
    }
  }
  return true;
}

void TSimulation::Settle(const std::function<void()>& AFirst, bool AAfterReport) {
  constexpr int cSettleSpins = 1000;
  // Looks that need no hand-over: while a report waits to be read, a hand-over is pending or
  // fewer readers wait than the monitor runs, the world is not quiet, whatever the monitor's
  // thread would say. Every so many spins it is asked all the same (its readers may change).
  constexpr int cLooksBetweenAsks = 64;
  const auto Deadline = std::chrono::steady_clock::now() + cSettleLimit;
  int Polls = 0;
  for (;;) {
    const bool Ask = Polls == 0 || Polls % cLooksBetweenAsks == 0 ||
                     (FWorld->Hid.WaitingReads(cMousePath) == FReadersRunning &&
                      (FReadersRunning == 0 || FWorld->Hid.UnreadReports(cMousePath) == 0) &&
                      FWorld->Desktop.PendingHandOvers() == 0);
    bool Quiet = false;
    if (Ask) {
      OnMonitorThread([&] {
        if (Polls == 0 && AFirst) {
          AFirst();
        }
        FWorld->Desktop.ProcessMessages();
        app::TTARNMONMAIN* Main = app::TARNMONMAIN();
        FReadersRunning = Main != nullptr ? Main->HIDData().RunningReaders() : 0;
        FMonitorProfile =
            Main != nullptr && profile::DM() != nullptr ? profile::DM()->ProfileIndex() : -1;
        // Not inside a handler of the monitor's that handles messages itself (then this runs
        // in the middle of its work).
        Quiet = FWorld->Desktop.DispatchDepth() == 1 &&
                FReadersRunning == FWorld->Hid.WaitingReads(cMousePath) &&
                (FReadersRunning == 0 || FWorld->Hid.UnreadReports(cMousePath) == 0) &&
                FWorld->Desktop.PendingHandOvers() == 0;
      });
    }
    if (Quiet && (!AAfterReport || StaysQuiet())) {
      FWorld->Audio.WaitForNotifications();
      return;
    }
    if (std::chrono::steady_clock::now() > Deadline) {
      throw std::runtime_error("the simulated world did not settle (a reader never came back)");
    }
    // A reader takes a report within microseconds: a millisecond's sleep each time would be
    // most of a long scenario's run.
    if (++Polls < cSettleSpins) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

// ---- what the monitor did ----

void TSimulation::Observe() {
  bool ConfigWanted = false;
  {
    rtl::TLockGuard Guard(FLock);
    ConfigWanted = std::exchange(FConfigStartWanted, false);
  }
  if (ConfigWanted && !FConfig) {
    OnMonitorThread([&] { FConfig = std::make_unique<TConfigProgram>(FWorld->Session); });
    Emit("config", "the configuration program started; its window " +
                       std::string(app::cConfigWindowClass) + " is there");
  }
  const std::vector<sim::TSimShellOpen> Opens = FWorld->Shell.Opens();
  for (std::size_t I = FSeen->Opens; I < Opens.size(); ++I) {
    Emit("shell", "open " + Quoted(Opens[I].File) + " in " + Quoted(Opens[I].Folder));
  }
  FSeen->Opens = Opens.size();

  if (FStartTick != 0 && !FSeen->Started) {
    FSeen->Started = true;
    Emit("monitor", "started: one instance (its mutex held), the profile store, the main "
                    "window " +
                        std::string(app::cMainWindowClass) + ", the message loop");
  }
  const int Writes = FWorld->Registry.WriteCount();
  if (Writes != FSeen->Writes) {
    Emit("store", FSeen->Writes == 0
                      ? "the profile store written with its defaults (" +
                            Counted(Writes, "registry value") + "): a first start"
                      : Counted(Writes - FSeen->Writes, "registry value") + " written");
    FSeen->Writes = Writes;
  }

  const std::vector<sim::TSimTrayIconState> Tray = FWorld->Session->TrayIcons();
  if (Tray.size() != FSeen->Tray.size()) {
    Emit("tray", Tray.empty() ? "icon removed" : "icon added: " + TrayText(Tray[0]));
  } else if (!Tray.empty() && (Tray[0].Hint != FSeen->Tray[0].Hint ||
                               TrayText(Tray[0]) != TrayText(FSeen->Tray[0]))) {
    Emit("tray", "now " + TrayText(Tray[0]));
  }
  FSeen->Tray = Tray;

  const platform::TWindowHandle Main = FWorld->Desktop.FindTopLevelWindow(app::cMainWindowClass);
  for (uintptr_t Timer :
       {app::cTimerDeviceArrial, app::cTimerToSetCurrentCpi, app::cTimerForegroundSettle}) {
    const std::optional<uint64_t> Due =
        Main != 0 ? FWorld->Desktop.TimerDue(Main, Timer) : std::nullopt;
    if (Due && Due != FSeen->Due[Timer]) {
      const uint64_t In = *Due - FWorld->Clock.TickCount();
      Emit("timer",
           std::string(Timer == app::cTimerDeviceArrial      ? "device check"
                       : Timer == app::cTimerToSetCurrentCpi ? "level to the driver"
                                                             : "the program in front taken") +
               " due in " + std::to_string(In) + " ms");
    }
    FSeen->Due[Timer] = Due;
  }
  for (const sim::TSimDesktop::TNotice& Notice : FWorld->Desktop.Notices(FSeen->Notices)) {
    std::string Text = Notice.Text;
    std::replace(Text.begin(), Text.end(), '\n', '|');
    Emit("screen", Quoted(Text) + " shown for " + std::to_string(Notice.Milliseconds) + " ms");
    ++FSeen->Notices;
  }
  const std::size_t Watchers = FWorld->Session->ForegroundWatchers();
  if (Watchers != FSeen->Watchers) {
    Emit("profile", Watchers > FSeen->Watchers
                        ? "the monitor watches the window in front (a profile's application "
                          "switch is on)"
                        : "the monitor no longer watches the window in front");
    FSeen->Watchers = Watchers;
  }
  if (FMonitorProfile != FSeen->Profile) {
    if (FSeen->Profile >= 0 && FMonitorProfile >= 0) {
      const std::string Front = FWorld->Session->ForegroundProgram();
      Emit("profile", "game profile " + std::to_string(FMonitorProfile + 1) + " is current (" +
                          (Front.empty() ? "nothing" : Front) + " in front)");
    }
    FSeen->Profile = FMonitorProfile;
  }

  for (const sim::TSimFirmwareCommand& Command : FFirmware->Commands(FSeen->Commands)) {
    Emit("device", FirmwareCommand(Command));
    ++FSeen->Commands;
  }

  const int Readers = FWorld->Hid.WaitingReads(cMousePath);
  if (Readers != FSeen->Readers) {
    Emit("reader", Readers > FSeen->Readers
                       ? "reading the mouse's vendor collection " + ShortPath(cMousePath) + " (" +
                             Counted(Readers, "reader") +
                             "), after the check's 50 ms pause between the old readers and the new"
                       : "reader ended (" + std::to_string(Readers) + " left)");
    FSeen->Readers = Readers;
  }

  for (const std::string& Line : FWorld->Dialogs.DebugLines(FSeen->DebugLines)) {
    Emit("debug", Line);
    ++FSeen->DebugLines;
  }

  for (const sim::TSimControl& Control : FWorld->Drivers.Controls(FSeen->Controls)) {
    Emit("driver", DriverControl(Control));
    ++FSeen->Controls;
  }

  if (FConfig) {
    std::vector<std::pair<uint32_t, uintptr_t>> Received;
    OnMonitorThread([&] { Received = FConfig->Take(); });
    for (const auto& [Msg, WParam] : Received) {
      Emit("config", ConfigMessage(Msg, WParam));
    }
  }

  const bool Muted = FWorld->Audio.Muted();
  if (Muted != FSeen->Muted) {
    Emit("microphone", Muted ? "mute on" : "mute off");
    FSeen->Muted = Muted;
  }

  for (const sim::TSimMessageBox& Box : FWorld->Dialogs.MessageBoxes(FSeen->Boxes)) {
    Emit("box", Quoted(Box.Text) + " (" + Box.Caption + ")");
    ++FSeen->Boxes;
  }

  if (MonitorEnded() && !FSeen->Ended) {
    FSeen->Ended = true;
    rtl::TLockGuard Guard(FLock);
    const int32_t Code = FExitCode.value_or(-1);
    FEvents.push_back(
        {NowMs(), "monitor",
         "ended with exit code " + std::to_string(Code) + "; its mutex " +
             (FWorld->Session->MutexExists(app::cMutexName) ? "still held" : "released")});
    FTimeline.Event(FEvents.back());
  }
}

void TSimulation::Check(const TScenarioLine& ALine) {
  // Expectations at one time share their window; a later one looks from the previous one.
  if (FPreviousExpectationTime && *FPreviousExpectationTime < ALine.TimeMs) {
    FWindowStart = std::max(FWindowStart, FPreviousExpectationEnd);
  }
  const bool Found = std::any_of(FEvents.begin() + static_cast<std::ptrdiff_t>(FWindowStart),
                                 FEvents.end(), [&](const TEvent& AEvent) {
                                   return AEvent.Kind == ALine.Kind &&
                                          AEvent.Text.find(ALine.Text) != std::string::npos;
                                 });
  const bool Met = ALine.Command == TCommand::Expect ? Found : !Found;
  ++FExpectations;
  if (!Met) {
    ++FFailed;
  }
  FTimeline.Expectation(NowMs(), ALine, Met);
  FPreviousExpectationTime = ALine.TimeMs;
  FPreviousExpectationEnd = FEvents.size();
}

// ---- commands ----

std::string TSimulation::Meaning(const TScenarioLine& ALine) const {
  const auto N = [&](std::size_t AIndex) { return std::to_string(ALine.Numbers.at(AIndex)); };
  if (!FMousePlugged && FromTheMouse(ALine.Command)) {
    return "nothing: the mouse is not plugged in";
  }
  if (FMousePlugged && ALine.Command == TCommand::Plug) {
    return "nothing: the mouse is plugged in already";
  }
  switch (ALine.Command) {
  case TCommand::Start:
    return "TARNMON.EXE starts";
  case TCommand::Plug:
    return "the mouse is plugged in: its vendor collection (page 0xFFA0) appears";
  case TCommand::Unplug:
    return "the mouse is unplugged";
  case TCommand::Press:
  case TCommand::Release: {
    return "button " + N(0) + (ALine.Command == TCommand::Press ? " goes down" : " comes up") +
           ": button report " + Hex(ButtonReport(HeldAfter(ALine)));
  }
  case TCommand::Level:
    return "the mouse reports resolution level " + N(0) + ": status report " +
           Hex(StatusReport(cStatusLevel, static_cast<uint8_t>(ALine.Numbers[0])));
  case TCommand::Profile:
    return "the mouse reports hardware profile " + N(0) + ": status report " +
           Hex(StatusReport(cStatusProfile, static_cast<uint8_t>(ALine.Numbers[0])));
  case TCommand::Status:
    return "the mouse reports status " + N(0) + " with value " + N(1) + ": status report " +
           Hex(StatusReport(static_cast<uint8_t>(ALine.Numbers[0]),
                            static_cast<uint8_t>(ALine.Numbers[1])));
  case TCommand::ConfigStart:
    return "the configuration program starts";
  case TCommand::ConfigStop:
    return "the configuration program ends";
  case TCommand::ConfigSend:
    return "the configuration program posts " + N(0) +
           (ALine.Numbers[0] == app::WM_MONITOR_RELOAD_PROFILES ? ": reload the profiles"
                                                                : ": reload the settings");
  case TCommand::StoreLanguage:
    return "the configuration program stores the language " +
           std::string(cLanguageNames[ALine.Numbers[0]]) + " (setting " + N(0) + ")";
  case TCommand::StoreButton:
    return "the configuration program binds button " + N(0) + " of the current profile to " +
           (ALine.Numbers[1] == cFunctionMute ? "the microphone's mute (function 28)" : "nothing");
  case TCommand::Ctl: {
    std::string Arguments;
    for (const std::string& Word : ALine.Words) {
      Arguments += " " + Word;
    }
    return "the user runs the profile tool: " + std::string(ctl::cToolName) + Arguments;
  }
  case TCommand::Foreground:
    return ALine.Text.empty() ? "no window is in front (the desktop)"
                              : "a window of " + ALine.Text + " comes to the front";
  case TCommand::MicrophoneOn:
    return "a microphone is plugged in";
  case TCommand::MicrophoneOff:
    return "the microphone is removed";
  case TCommand::Resume:
    return "the computer wakes from sleep";
  case TCommand::Unlock:
    return "the user unlocks the session";
  case TCommand::TrayClick:
    return "the user clicks the tray icon";
  case TCommand::TrayConfig:
    return "the user chooses CONFIG in the tray menu";
  case TCommand::TrayExit:
    return "the user chooses EXIT in the tray menu";
  case TCommand::Wait:
    return "time passes";
  case TCommand::Expect:
  case TCommand::ExpectNo:
    break;
  }
  return "";
}

bool TSimulation::FromTheMouse(TCommand ACommand) {
  switch (ACommand) {
  case TCommand::Unplug:
  case TCommand::Press:
  case TCommand::Release:
  case TCommand::Level:
  case TCommand::Profile:
  case TCommand::Status:
    return true;
  default:
    return false;
  }
}

uint32_t TSimulation::HeldAfter(const TScenarioLine& ALine) const {
  const uint32_t Button = 1u << ALine.Numbers.at(0);
  return ALine.Command == TCommand::Press ? FButtonsHeld | Button : FButtonsHeld & ~Button;
}

std::vector<uint8_t> TSimulation::ButtonReport(uint32_t AHeld) {
  return {7,
          static_cast<uint8_t>(AHeld),
          static_cast<uint8_t>(AHeld >> 8),
          static_cast<uint8_t>(AHeld >> 16),
          0,
          0,
          0,
          0};
}

void TSimulation::Execute(const TScenarioLine& ALine, bool AStarted) {
  sim::TSimWorld& World = *FWorld;
  // On the monitor's thread once it runs (in the order of what it handles), here before.
  const auto OnWorld = [&](const std::function<void()>& AWork) {
    if (AStarted && !MonitorEnded()) {
      OnMonitorThread(AWork);
    } else {
      AWork();
    }
  };
  if (!FMousePlugged && FromTheMouse(ALine.Command)) {
    return;
  }
  switch (ALine.Command) {
  case TCommand::Plug:
    if (!FMousePlugged) {
      World.Hid.Plug(sim::VirtualMouseInterface(cMousePath));
      FMousePlugged = true;
    }
    break;
  case TCommand::Unplug:
    World.Hid.Unplug(cMousePath);
    FMousePlugged = false;
    FButtonsHeld = 0;
    break;
  case TCommand::Press:
  case TCommand::Release:
    FButtonsHeld = HeldAfter(ALine);
    World.Hid.InjectInputReport(cMousePath, ButtonReport(FButtonsHeld));
    break;
  case TCommand::Level:
    FFirmware->InjectStatus(cMousePath, cStatusLevel, static_cast<uint8_t>(ALine.Numbers[0]));
    break;
  case TCommand::Profile:
    FFirmware->InjectStatus(cMousePath, cStatusProfile, static_cast<uint8_t>(ALine.Numbers[0]));
    break;
  case TCommand::Status:
    FFirmware->InjectStatus(cMousePath, static_cast<uint8_t>(ALine.Numbers[0]),
                            static_cast<uint8_t>(ALine.Numbers[1]));
    break;
  case TCommand::ConfigStart:
    if (!AStarted) {
      FConfigBeforeStart = true;
    } else if (!FConfig) {
      OnMonitorThread([&] { FConfig = std::make_unique<TConfigProgram>(World.Session); });
    }
    break;
  case TCommand::ConfigStop:
    FConfigBeforeStart = false;
    if (AStarted) {
      OnMonitorThread([&] { FConfig.reset(); });
    }
    break;
  case TCommand::ConfigSend:
    if (!FConfig && !FConfigBeforeStart) {
      throw std::runtime_error("line " + std::to_string(ALine.LineNumber) +
                               ": the configuration program is not running (\"config start\")");
    }
    OnWorld([&] {
      const platform::TWindowHandle Main = World.Desktop.FindTopLevelWindow(app::cMainWindowClass);
      if (FConfig && Main != 0) {
        FConfig->World.Desktop.PostWindowMessage(Main, ALine.Numbers[0], 0, 0);
      }
    });
    break;
  case TCommand::StoreLanguage:
  case TCommand::StoreButton:
    OnWorld([&] {
      TStoreEdit Edit(World);
      if (ALine.Command == TCommand::StoreLanguage) {
        Edit.Module.AllProfileSettingInfo().CurrentLanguage =
            static_cast<uint8_t>(ALine.Numbers[0]);
        Edit.Module.SaveBackAllProfileSettingInfo();
      } else {
        Edit.Module.CurrentProfileInfo()
            .ConfigInfo.ButtonFuncInfo[ALine.Numbers[0]]
            .nFunctionIndex = static_cast<uint16_t>(ALine.Numbers[1]);
        Edit.Module.SaveCurrentProfileInfoToRegistry();
      }
    });
    break;
  case TCommand::Ctl: {
    // The tool is a program of the session: a desktop of its own, the user's store.
    std::ostringstream Out;
    std::ostringstream Err;
    int Code = 0;
    uint64_t Ended = 0;
    OnWorld([&] {
      sim::TSimDialogs Dialogs;
      sim::TSimDesktop Desktop(*World.Session, Dialogs);
      Code = ctl::RunProfileTool(ALine.Words,
                                 {World.Registry, World.Files, World.Environment, World.Clock,
                                  World.Locale, Desktop, Desktop},
                                 {Out, Err});
      // All of its output at the time it ended, before what the monitor did in answer.
      Ended = NowMs();
    });
    for (const std::string& Text : {Out.str(), Err.str()}) {
      std::istringstream Lines(Text);
      for (std::string Line; std::getline(Lines, Line);) {
        if (!Line.empty()) {
          Emit("ctl", Line, Ended);
        }
      }
    }
    Emit("ctl", std::string(ctl::cToolName) + " ended with exit code " + std::to_string(Code),
         Ended);
    break;
  }
  case TCommand::Foreground:
    World.Session->SetForegroundProgram(ALine.Text);
    break;
  case TCommand::MicrophoneOn:
    World.Audio.SetMicrophonePresent(true);
    break;
  case TCommand::MicrophoneOff:
    World.Audio.SetMicrophonePresent(false);
    break;
  case TCommand::Resume:
    OnWorld([&] { World.Session->BroadcastPowerEvent(platform::PBT_APMRESUMEAUTOMATIC_VALUE); });
    break;
  case TCommand::Unlock:
    OnWorld([&] { World.Session->BroadcastSessionChange(platform::WTS_SESSION_UNLOCK_VALUE); });
    break;
  case TCommand::TrayClick:
    OnWorld([&] { World.Session->ClickTrayIcon(); });
    break;
  case TCommand::TrayConfig:
    OnWorld([&] { World.Session->ChooseTrayMenuItem(app::cConfig1); });
    break;
  case TCommand::TrayExit:
    OnWorld([&] { World.Session->ChooseTrayMenuItem(app::cExit1); });
    break;
  case TCommand::Start:
  case TCommand::Wait:
  case TCommand::Expect:
  case TCommand::ExpectNo:
    break;
  }
}

} // namespace simulator
