// The simulator's world: the real monitor (its process entry and main window) on the
// simulated platform, with a virtual mouse and its firmware, the filter driver, a
// microphone and a configuration program. Commands act on that world on a virtual clock;
// what the monitor does in answer is observed and told to a timeline as events, each with
// its time; expectations are checked against those events.
//
// Threads: the monitor's process runs on the thread that calls Run (its message loop, as
// TARNMON.EXE's main thread does); the commands come from a thread of the simulation's own,
// which hands work to the monitor's thread and waits until the world has settled (readers
// back in their reads, nothing handed over or posted left) before it observes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/sim/Scenario.h"
#include "backend/sim/SimMouseFirmware.h"
#include "backend/sim/SimWorld.h"
#include "rtl/Mutex.h"

namespace simulator {

struct TEvent {
  uint64_t TimeMs = 0;
  std::string Kind;
  std::string Text;
};

struct TVerdict {
  int Expectations = 0;
  int Failed = 0;
  // The monitor's exit code, when it ended.
  std::optional<int32_t> ExitCode;
  // What stopped the run early ("" when nothing did).
  std::string Error;
  bool Passed() const { return Failed == 0 && Error.empty(); }
};

// Where the run is told: the commands as they run (with what they mean), the events, the
// expectations met or not, and the verdict.
class ITimeline {
public:
  virtual ~ITimeline() = default;
  virtual void Command(uint64_t ATimeMs, const TScenarioLine& ALine,
                       const std::string& AMeaning) = 0;
  virtual void Event(const TEvent& AEvent) = 0;
  virtual void Expectation(uint64_t ATimeMs, const TScenarioLine& ALine, bool AMet) = 0;
  virtual void Verdict(const std::string& AName, const TVerdict& AVerdict) = 0;
};

// The lines to run, one at a time; nothing when there are no more. ANowMs is the virtual
// time since the monitor started (0 before).
class ILineSource {
public:
  virtual ~ILineSource() = default;
  virtual std::optional<TScenarioLine> Next(uint64_t ANowMs, bool AStarted) = 0;
  // A line that cannot run now (a command after the monitor ended): true when the source said
  // so to its user and the run goes on (a prompt); false ends the run with AMessage.
  virtual bool Refuse(const std::string&) { return false; }
};

class TScenarioSource : public ILineSource {
public:
  explicit TScenarioSource(const TScenario& AScenario) : FScenario(AScenario) {}
  std::optional<TScenarioLine> Next(uint64_t, bool) override;

private:
  const TScenario& FScenario;
  std::size_t FNext = 0;
};

inline constexpr const char* cMousePath =
    "\\\\?\\hid#vid_1234&pid_5678&mi_01#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class TSimulation {
public:
  explicit TSimulation(ITimeline& ATimeline);
  ~TSimulation();
  TSimulation(const TSimulation&) = delete;
  TSimulation& operator=(const TSimulation&) = delete;

  // Runs the lines until the source has no more; a monitor still running then is closed as
  // a user's logoff would close it. Tells the verdict to the timeline.
  TVerdict Run(ILineSource& ASource, const std::string& AName);

  // The virtual milliseconds since the monitor started.
  uint64_t NowMs() const;
  const std::vector<TEvent>& Events() const { return FEvents; }
  platform::sim::TSimWorld& World() { return *FWorld; }

  // ---- used by the load mode, on the commands' thread once the monitor runs ----
  // Runs AWork on the monitor's thread.
  void OnMonitorThread(const std::function<void()>& AWork);
  // Until the readers wait in their reads and nothing is left to hand over or handle; AFirst
  // runs on the monitor's thread first, in the same hand-over as the first look.
  void Settle(const std::function<void()>& AFirst = nullptr, bool AAfterReport = false);

private:
  class TConfigProgram;
  void Commands(ILineSource& ASource);
  std::string Meaning(const TScenarioLine& ALine) const;
  void Execute(const TScenarioLine& ALine, bool AStarted);
  void Check(const TScenarioLine& ALine);
  void StepTo(uint64_t ATimeMs);
  // After a quiet look that followed a report of the mouse: whether the readers, their
  // reports and the hand-overs stay as found.
  bool StaysQuiet();
  void Observe();
  // An event at AAt, or now.
  void Emit(const std::string& AKind, const std::string& AText,
            std::optional<uint64_t> AAt = std::nullopt);
  bool MonitorEnded() MONITOR_EXCLUDES(FLock);
  void WaitForTheEnd() MONITOR_EXCLUDES(FLock);
  // What only the mouse can do (or undo): with the mouse unplugged such a line does nothing.
  static bool FromTheMouse(TCommand ACommand);
  // The buttons held once a press or release line has run.
  uint32_t HeldAfter(const TScenarioLine& ALine) const;
  static std::vector<uint8_t> ButtonReport(uint32_t AHeld);

  ITimeline& FTimeline;
  std::unique_ptr<platform::sim::TSimWorld> FWorld;
  std::unique_ptr<platform::sim::TSimMouseFirmware> FFirmware;
  // Owned by the monitor's thread; made and ended there.
  std::unique_ptr<TConfigProgram> FConfig;
  bool FConfigBeforeStart = false;
  uint32_t FButtonsHeld = 0;
  // The readers the monitor ran at the last look (written on its thread during a hand-over).
  int FReadersRunning = 0;
  // The monitor's current game profile at the last look (-1 before it has one).
  int FMonitorProfile = -1;
  bool FMousePlugged = false;

  // Between the two threads.
  rtl::TMutex FLock;
  std::condition_variable FChanged;
  bool FStartWanted MONITOR_GUARDED_BY(FLock) = false;
  bool FConfigStartWanted MONITOR_GUARDED_BY(FLock) = false;
  bool FCommandsDone MONITOR_GUARDED_BY(FLock) = false;
  bool FMonitorEnded MONITOR_GUARDED_BY(FLock) = false;
  std::optional<int32_t> FExitCode MONITOR_GUARDED_BY(FLock);
  // The clock's tick count when the monitor started; 0 before.
  std::atomic<uint64_t> FStartTick{0};
  std::string FError MONITOR_GUARDED_BY(FLock);

  // The timeline and the expectations' windows.
  std::vector<TEvent> FEvents;
  std::size_t FWindowStart = 0;
  std::size_t FPreviousExpectationEnd = 0;
  std::optional<uint64_t> FPreviousExpectationTime;
  int FExpectations = 0;
  int FFailed = 0;

  // What was seen last, to tell what changed.
  struct TSeen;
  std::unique_ptr<TSeen> FSeen;
};

} // namespace simulator
