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

// "12.345 s"
std::string FormatTime(uint64_t ATimeMs);

} // namespace simulator
