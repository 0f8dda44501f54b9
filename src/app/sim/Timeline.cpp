#include "app/sim/Timeline.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace simulator {

std::string Counted(long long ACount, const std::string& ANoun) {
  return std::to_string(ACount) + " " + ANoun + (ACount == 1 ? "" : "s");
}

std::string FormatTime(uint64_t ATimeMs) {
  char Text[32];
  std::snprintf(Text, sizeof(Text), "%4llu.%03llu s",
                static_cast<unsigned long long>(ATimeMs / 1000),
                static_cast<unsigned long long>(ATimeMs % 1000));
  return Text;
}

namespace {

std::string Expected(const TScenarioLine& ALine) {
  return std::string(ALine.Command == TCommand::ExpectNo ? "no " : "") + ALine.Kind +
         (ALine.Text.empty() ? "" : " \"" + ALine.Text + "\"");
}

std::string Padded(const std::string& AText, std::size_t AWidth) {
  return AText.size() >= AWidth ? AText + " " : AText + std::string(AWidth - AText.size(), ' ');
}

} // namespace

void TTextTimeline::Command(uint64_t ATimeMs, const TScenarioLine& ALine,
                            const std::string& AMeaning) {
  FOut << FormatTime(ATimeMs) << "  > " << Padded(ALine.CommandText, 22) << AMeaning << "\n";
  FOut.flush();
}

void TTextTimeline::Event(const TEvent& AEvent) {
  FOut << FormatTime(AEvent.TimeMs) << "      " << Padded(AEvent.Kind, 11) << AEvent.Text << "\n";
  FOut.flush();
}

void TTextTimeline::Expectation(uint64_t ATimeMs, const TScenarioLine& ALine, bool AMet) {
  FOut << FormatTime(ATimeMs) << (AMet ? "    ok  expect " : "  FAIL  expect ") << Expected(ALine)
       << (AMet ? "" : "   <- not so (line " + std::to_string(ALine.LineNumber) + ")") << "\n";
  FOut.flush();
  if (!AMet) {
    FFailedLines.push_back(ALine.LineNumber);
  }
}

void TTextTimeline::Verdict(const std::string& AName, const TVerdict& AVerdict) {
  std::string Lines;
  for (int Line : FFailedLines) {
    Lines += (Lines.empty() ? "" : ", ") + std::to_string(Line);
  }
  const std::string Ended =
      AVerdict.ExitCode ? "; the monitor ended with exit code " + std::to_string(*AVerdict.ExitCode)
                        : "";
  if (!AVerdict.Error.empty()) {
    FOut << "FAIL " << AName << ": " << AVerdict.Error << "\n";
  } else if (AVerdict.Failed > 0) {
    FOut << "FAIL " << AName << ": " << AVerdict.Failed << " of "
         << Counted(AVerdict.Expectations, "expectation") << " not met (line " << Lines << ")"
         << Ended << "\n";
  } else {
    FOut << "PASS " << AName << ": "
         << (AVerdict.Expectations == 1 ? std::string("the one expectation")
                                        : "all " + Counted(AVerdict.Expectations, "expectation"))
         << " met" << Ended << "\n";
  }
  FOut.flush();
}

// Text that is not valid UTF-8 (a scenario's bytes, a device's) shows as U+FFFD rather than
// ending the run.
constexpr auto cReplaceBrokenText = nlohmann::json::error_handler_t::replace;

void TJsonTimeline::Command(uint64_t ATimeMs, const TScenarioLine& ALine,
                            const std::string& AMeaning) {
  FOut << nlohmann::json{{"type", "command"},
                         {"time_ms", ATimeMs},
                         {"line", ALine.LineNumber},
                         {"command", ALine.Source},
                         {"meaning", AMeaning}}

              .dump(-1, ' ', false, cReplaceBrokenText)
       << "\n";
}

void TJsonTimeline::Event(const TEvent& AEvent) {
  FOut << nlohmann::json{{"type", "event"},
                         {"time_ms", AEvent.TimeMs},
                         {"kind", AEvent.Kind},
                         {"text", AEvent.Text}}

              .dump(-1, ' ', false, cReplaceBrokenText)
       << "\n";
}

void TJsonTimeline::Expectation(uint64_t ATimeMs, const TScenarioLine& ALine, bool AMet) {
  FOut << nlohmann::json{{"type", "expectation"},
                         {"time_ms", ATimeMs},
                         {"line", ALine.LineNumber},
                         {"expect", Expected(ALine)},
                         {"met", AMet}}

              .dump(-1, ' ', false, cReplaceBrokenText)
       << "\n";
}

void TJsonTimeline::Verdict(const std::string& AName, const TVerdict& AVerdict) {
  nlohmann::json Verdict{{"type", "verdict"},
                         {"scenario", AName},
                         {"passed", AVerdict.Passed()},
                         {"expectations", AVerdict.Expectations},
                         {"failed", AVerdict.Failed}};
  if (AVerdict.ExitCode) {
    Verdict["exit_code"] = *AVerdict.ExitCode;
  }
  if (!AVerdict.Error.empty()) {
    Verdict["error"] = AVerdict.Error;
  }
  FOut << Verdict.dump(-1, ' ', false, cReplaceBrokenText) << "\n";
  FOut.flush();
}

} // namespace simulator
