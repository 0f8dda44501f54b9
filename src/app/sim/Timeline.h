// How a simulation is shown: a timeline a person reads in one go, or one JSON object a line
// for programs.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/sim/Simulation.h"

namespace simulator {

class TTextTimeline : public ITimeline {
public:
  explicit TTextTimeline(std::ostream& AOut) : FOut(AOut) {}
  void Command(uint64_t ATimeMs, const TScenarioLine& ALine, const std::string& AMeaning) override;
  void Event(const TEvent& AEvent) override;
  void Expectation(uint64_t ATimeMs, const TScenarioLine& ALine, bool AMet) override;
  void Verdict(const std::string& AName, const TVerdict& AVerdict) override;

private:
  std::ostream& FOut;
  std::vector<int> FFailedLines;
};

// One object a line: {"type": "command" | "event" | "expectation" | "verdict", "time_ms": ...}.
class TJsonTimeline : public ITimeline {
public:
  explicit TJsonTimeline(std::ostream& AOut) : FOut(AOut) {}
  void Command(uint64_t ATimeMs, const TScenarioLine& ALine, const std::string& AMeaning) override;
  void Event(const TEvent& AEvent) override;
  void Expectation(uint64_t ATimeMs, const TScenarioLine& ALine, bool AMet) override;
  void Verdict(const std::string& AName, const TVerdict& AVerdict) override;

private:
  std::ostream& FOut;
};

// Another timeline without the monitor's own debugger lines (the "debug" events): they are for
// someone working on the monitor (tarnsim --verbose). Expectations still see them.
class TWithoutDebugLines : public ITimeline {
public:
  explicit TWithoutDebugLines(ITimeline& AInner) : FInner(AInner) {}
  void Command(uint64_t ATimeMs, const TScenarioLine& ALine, const std::string& AMeaning) override {
    FInner.Command(ATimeMs, ALine, AMeaning);
  }
  void Event(const TEvent& AEvent) override {
    if (AEvent.Kind != "debug") {
      FInner.Event(AEvent);
    }
  }
  void Expectation(uint64_t ATimeMs, const TScenarioLine& ALine, bool AMet) override {
    FInner.Expectation(ATimeMs, ALine, AMet);
  }
  void Verdict(const std::string& AName, const TVerdict& AVerdict) override {
    FInner.Verdict(AName, AVerdict);
  }

private:
  ITimeline& FInner;
};

// "12.345 s"
std::string FormatTime(uint64_t ATimeMs);
// "1 registry value", "3 registry values": a count with its noun.
std::string Counted(long long ACount, const std::string& ANoun);

} // namespace simulator
