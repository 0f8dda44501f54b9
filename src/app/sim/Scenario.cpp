#include "app/sim/Scenario.h"

#include "app/ctl/ProfileTool.h"
#include "rtl/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <istream>

namespace simulator {

namespace {

// What is wrong with a line. The message keeps every byte of the line's words (what() would
// end at a NUL among them).
class ELineError : public std::invalid_argument {
public:
  explicit ELineError(std::string AMessage)
      : std::invalid_argument(rtl::EscapeForDisplay(AMessage)), FMessage(std::move(AMessage)) {}
  const std::string& Message() const { return FMessage; }

private:
  std::string FMessage;
};

constexpr uint32_t cLastButton = 23;
constexpr uint32_t cMaxByte = 255;

std::string Describe(const std::string& AName, int ALine, const std::string& AMessage) {
  // A line of megabytes is shown by its start: enough to find it.
  constexpr std::size_t cShownBytes = 300;
  std::string Shown = rtl::EscapeForDisplay(std::string_view(AMessage).substr(0, cShownBytes));
  if (AMessage.size() > cShownBytes) {
    Shown += "...";
  }
  return rtl::EscapeForDisplay(AName) + ":" + std::to_string(ALine) + ": " + Shown;
}

// The words of a line; a quoted word keeps its spaces. A comment starts at "#" outside
// quotes.
std::vector<std::string> Words(std::string_view AText, std::string& ASource) {
  std::vector<std::string> Result;
  std::string Word;
  bool InWord = false;
  bool Quoted = false;
  std::size_t End = AText.size();
  for (std::size_t I = 0; I < AText.size(); ++I) {
    const char C = AText[I];
    if (Quoted) {
      if (C == '"') {
        Quoted = false;
      } else {
        Word += C;
      }
      continue;
    }
    if (C == '#') {
      End = I;
      break;
    }
    if (C == '"') {
      Quoted = InWord = true;
    } else if (C == ' ' || C == '\t' || C == '\r') {
      if (InWord) {
        Result.push_back(Word);
        Word.clear();
        InWord = false;
      }
    } else {
      Word += C;
      InWord = true;
    }
  }
  if (Quoted) {
    throw ELineError("a quote is not closed");
  }
  if (InWord) {
    Result.push_back(Word);
  }
  ASource = std::string(AText.substr(0, End));
  while (!ASource.empty() &&
         (ASource.back() == ' ' || ASource.back() == '\t' || ASource.back() == '\r')) {
    ASource.pop_back();
  }
  return Result;
}

uint32_t Number(const std::string& AWord, uint32_t AMax, const char* AWhat) {
  uint32_t Value = 0;
  const auto [End, Error] = std::from_chars(AWord.data(), AWord.data() + AWord.size(), Value);
  if (Error != std::errc() || End != AWord.data() + AWord.size() || Value > AMax) {
    throw ELineError(std::string(AWhat) + " must be a number from 0 to " + std::to_string(AMax) +
                     ", not \"" + AWord + "\"");
  }
  return Value;
}

void Count(const std::vector<std::string>& AWords, std::size_t AArguments) {
  if (AWords.size() != AArguments + 1) {
    throw ELineError("\"" + AWords[0] + "\" takes " + std::to_string(AArguments) +
                     (AArguments == 1 ? " argument" : " arguments"));
  }
}

// The command and its arguments, from the words after the time.
void ParseCommand(const std::vector<std::string>& AWords, TScenarioLine& ALine) {
  const std::string& Name = AWords[0];
  for (const std::string& Word : AWords) {
    const bool Spaced = Word.find(' ') != std::string::npos || Word.empty();
    ALine.CommandText +=
        (ALine.CommandText.empty() ? "" : " ") + (Spaced ? "\"" + Word + "\"" : Word);
  }
  const auto Simple = [&](TCommand ACommand) {
    Count(AWords, 0);
    ALine.Command = ACommand;
  };
  const auto OneNumber = [&](TCommand ACommand, uint32_t AMax, const char* AWhat) {
    Count(AWords, 1);
    ALine.Command = ACommand;
    ALine.Numbers = {Number(AWords[1], AMax, AWhat)};
  };
  const auto Choice = [&](const std::vector<std::pair<std::string, TCommand>>& AChoices) {
    for (const auto& [Word, Command] : AChoices) {
      if (AWords.size() >= 2 && AWords[1] == Word) {
        ALine.Command = Command;
        return;
      }
    }
    std::string Known;
    for (const auto& Entry : AChoices) {
      Known += (Known.empty() ? "" : ", ") + Entry.first;
    }
    throw ELineError("\"" + Name + "\" takes one of: " + Known);
  };
  if (Name == "start") {
    Simple(TCommand::Start);
  } else if (Name == "plug") {
    Simple(TCommand::Plug);
  } else if (Name == "unplug") {
    Simple(TCommand::Unplug);
  } else if (Name == "press") {
    OneNumber(TCommand::Press, cLastButton, "a button");
  } else if (Name == "release") {
    OneNumber(TCommand::Release, cLastButton, "a button");
  } else if (Name == "level") {
    OneNumber(TCommand::Level, cMaxByte, "a level");
  } else if (Name == "profile") {
    OneNumber(TCommand::Profile, cMaxByte, "a profile");
  } else if (Name == "status") {
    Count(AWords, 2);
    ALine.Command = TCommand::Status;
    const uint32_t Code = Number(AWords[1], cMaxByte, "a status code");
    if (Code != 6 && Code != 7) {
      throw ELineError("\"status\" takes the codes 6 and 7 (use \"level\" and "
                       "\"profile\" for 2 and 1)");
    }
    ALine.Numbers = {Code, Number(AWords[2], cMaxByte, "a value")};
  } else if (Name == "config") {
    Choice({{"start", TCommand::ConfigStart},
            {"stop", TCommand::ConfigStop},
            {"send", TCommand::ConfigSend}});
    if (ALine.Command == TCommand::ConfigSend) {
      Count(AWords, 2);
      const uint32_t Message = Number(AWords[2], 65535, "a message");
      if (Message != 7035 && Message != 7037) {
        throw ELineError("the configuration program sends 7035 or 7037");
      }
      ALine.Numbers = {Message};
    } else {
      Count(AWords, 1);
    }
  } else if (Name == "store") {
    Choice({{"language", TCommand::StoreLanguage}, {"button", TCommand::StoreButton}});
    if (ALine.Command == TCommand::StoreLanguage) {
      Count(AWords, 2);
      const auto Found = std::find(std::begin(cLanguageNames), std::end(cLanguageNames), AWords[2]);
      if (Found == std::end(cLanguageNames)) {
        throw ELineError("the languages are en, zh and tw");
      }
      ALine.Numbers = {static_cast<uint32_t>(Found - std::begin(cLanguageNames))};
    } else {
      Count(AWords, 3);
      const uint32_t Button = Number(AWords[2], cLastButton, "a button");
      if (AWords[3] != "mute" && AWords[3] != "none") {
        throw ELineError("a button is bound to \"mute\" or \"none\"");
      }
      ALine.Numbers = {Button, AWords[3] == "mute" ? cFunctionMute : cFunctionNone};
    }
  } else if (Name == "ctl") {
    if (AWords.size() < 2) {
      throw ELineError("\"ctl\" takes the profile tool's command and its arguments");
    }
    ALine.Command = TCommand::Ctl;
    ALine.Words.assign(AWords.begin() + 1, AWords.end());
    if (AWords[1] == "export" || AWords[1] == "import") {
      throw ELineError("\"ctl " + AWords[1] +
                       "\" names a file of this computer: not in a scenario");
    }
    // The tool's own check of its command line, so that a bad one stops the scenario before
    // it runs.
    const std::string Refusal = ctl::ProfileToolUsageError(ALine.Words);
    if (!Refusal.empty()) {
      throw ELineError("the profile tool refuses it: " + Refusal);
    }
  } else if (Name == "foreground") {
    if (AWords.size() > 2) {
      throw ELineError("\"foreground\" takes one program's path (quotes keep spaces), or none");
    }
    ALine.Command = TCommand::Foreground;
    ALine.Text = AWords.size() == 2 ? AWords[1] : "";
  } else if (Name == "microphone") {
    Choice({{"on", TCommand::MicrophoneOn}, {"off", TCommand::MicrophoneOff}});
    Count(AWords, 1);
  } else if (Name == "resume") {
    Simple(TCommand::Resume);
  } else if (Name == "unlock") {
    Simple(TCommand::Unlock);
  } else if (Name == "tray") {
    Choice({{"click", TCommand::TrayClick},
            {"config", TCommand::TrayConfig},
            {"exit", TCommand::TrayExit}});
    Count(AWords, 1);
  } else if (Name == "wait") {
    Simple(TCommand::Wait);
  } else if (Name == "expect") {
    std::size_t Next = 1;
    ALine.Command = TCommand::Expect;
    if (AWords.size() > 1 && AWords[1] == "no") {
      ALine.Command = TCommand::ExpectNo;
      Next = 2;
    }
    if (AWords.size() <= Next || AWords.size() > Next + 2) {
      throw ELineError("\"expect\" takes a kind of event and an optional text");
    }
    const auto& Kinds = EventKinds();
    if (std::find(Kinds.begin(), Kinds.end(), AWords[Next]) == Kinds.end()) {
      std::string Known;
      for (const std::string& Kind : Kinds) {
        Known += (Known.empty() ? "" : ", ") + Kind;
      }
      throw ELineError("\"" + AWords[Next] + "\" is no kind of event (" + Known + ")");
    }
    ALine.Kind = AWords[Next];
    ALine.Text = AWords.size() > Next + 1 ? AWords[Next + 1] : "";
  } else {
    throw ELineError("\"" + Name + "\" is no command");
  }
}

// The time of a line: absolute, or "+N" after APrevious.
uint64_t Time(const std::string& AWord, uint64_t APrevious) {
  constexpr uint32_t cMaxTime = 24u * 60 * 60 * 1000;
  if (!AWord.empty() && AWord[0] == '+') {
    return APrevious + Number(AWord.substr(1), cMaxTime, "a time after the previous line");
  }
  const uint64_t Time = Number(AWord, cMaxTime, "a time in milliseconds");
  if (Time < APrevious) {
    throw ELineError("the time " + AWord + " goes back before " + std::to_string(APrevious));
  }
  return Time;
}

bool IsTime(const std::string& AWord) {
  return !AWord.empty() && (AWord[0] == '+' || (AWord[0] >= '0' && AWord[0] <= '9'));
}

} // namespace

EScenarioError::EScenarioError(const std::string& AName, int ALine, const std::string& AMessage)
    : std::runtime_error(Describe(AName, ALine, AMessage)), FLine(ALine) {}

const std::vector<std::string>& EventKinds() {
  static const std::vector<std::string> Kinds = {
      "monitor", "store",   "tray",   "timer",      "reader", "device", "driver", "config",
      "ctl",     "profile", "screen", "microphone", "shell",  "debug",  "box"};
  return Kinds;
}

namespace {

// Reads a scenario a line at a time, checking each against the lines before it.
class TScenarioReader {
public:
  explicit TScenarioReader(const std::string& AName) : FName(AName) { FScenario.Name = AName; }

  void Read(std::string_view AText) {
    ++FNumber;
    if (FNumber == 1) {
      // Editors on Windows begin a UTF-8 file with a byte-order mark.
      constexpr std::string_view cByteOrderMark = "\xEF\xBB\xBF";
      if (AText.substr(0, cByteOrderMark.size()) == cByteOrderMark) {
        AText.remove_prefix(cByteOrderMark.size());
      }
    }
    try {
      TScenarioLine Line;
      Line.LineNumber = FNumber;
      const std::vector<std::string> All = Words(AText, Line.Source);
      if (All.empty()) {
        return;
      }
      if (All.size() < 2 || !IsTime(All[0])) {
        throw ELineError("a line is a time and a command, as in \"1500 level 3\"");
      }
      Line.TimeMs = Time(All[0], FPrevious);
      ParseCommand({All.begin() + 1, All.end()}, Line);
      Check(Line);
      FPrevious = Line.TimeMs;
      FScenario.Lines.push_back(std::move(Line));
    } catch (const ELineError& AError) {
      throw EScenarioError(FName, FNumber, AError.Message());
    } catch (const std::invalid_argument& AError) {
      throw EScenarioError(FName, FNumber, AError.what());
    }
  }

  TScenario Finish() {
    if (!FStarted) {
      throw EScenarioError(FName, FNumber, "the scenario never starts the monitor (\"0 start\")");
    }
    return std::move(FScenario);
  }

private:
  void Check(const TScenarioLine& ALine) {
    const bool Expectation =
        ALine.Command == TCommand::Expect || ALine.Command == TCommand::ExpectNo;
    if (!FStarted && ALine.TimeMs != 0) {
      throw ELineError("the monitor starts at 0: \"0 start\" comes first");
    }
    if (!FStarted && Expectation) {
      throw ELineError("expectations follow \"start\"");
    }
    if (ALine.Command == TCommand::Start && FStarted) {
      throw ELineError("the monitor starts once");
    }
    if (FEnded && !Expectation) {
      throw ELineError("after \"tray exit\" only expectations follow");
    }
    if (ALine.Command == TCommand::ConfigSend && FConfig == TConfigState::Stopped) {
      throw ELineError("the configuration program is not running here: \"config start\" first");
    }
    if (ALine.Command == TCommand::ConfigStart) {
      FConfig = TConfigState::Running;
    } else if (ALine.Command == TCommand::ConfigStop) {
      FConfig = TConfigState::Stopped;
    } else if ((ALine.Command == TCommand::TrayClick || ALine.Command == TCommand::TrayConfig) &&
               FConfig == TConfigState::Stopped) {
      FConfig = TConfigState::Maybe;
    }
    FStarted = FStarted || ALine.Command == TCommand::Start;
    FEnded = FEnded || ALine.Command == TCommand::TrayExit;
  }

  const std::string& FName;
  TScenario FScenario;
  uint64_t FPrevious = 0;
  bool FStarted = false;
  bool FEnded = false;
  // Whether the configuration program runs, as far as the lines decide it: "config start"
  // and "config stop" do; a tray click or CONFIG may start it (the monitor asks the shell).
  enum class TConfigState { Stopped, Running, Maybe } FConfig = TConfigState::Stopped;
  int FNumber = 0;
};

} // namespace

TScenario ParseScenario(std::string_view AText, const std::string& AName) {
  TScenarioReader Reader(AName);
  while (!AText.empty()) {
    const std::size_t Break = AText.find('\n');
    Reader.Read(AText.substr(0, Break));
    AText = Break == std::string_view::npos ? std::string_view() : AText.substr(Break + 1);
  }
  return Reader.Finish();
}

std::runtime_error ScenarioTooLarge(const std::string& AName, std::size_t AMaxBytes) {
  return std::runtime_error(AName + ": larger than the " + std::to_string(AMaxBytes >> 20) +
                            " MiB a scenario may have");
}

TScenario ParseScenario(std::istream& AIn, const std::string& AName, std::size_t AMaxBytes) {
  TScenarioReader Reader(AName);
  std::size_t Read = 0;
  std::string Line;
  while (std::getline(AIn, Line)) {
    Read += Line.size() + 1;
    if (Read > AMaxBytes + 1) {
      throw ScenarioTooLarge(AName, AMaxBytes);
    }
    Reader.Read(Line);
  }
  if (AIn.bad()) {
    throw std::runtime_error(AName + ": cannot be read to its end");
  }
  return Reader.Finish();
}

TScenarioLine ParseCommandLine(std::string_view AText, uint64_t ANowMs, bool AStarted) {
  TScenarioLine Line;
  std::vector<std::string> All = Words(AText, Line.Source);
  if (All.empty()) {
    throw ELineError("an empty command");
  }
  Line.TimeMs = ANowMs;
  if (IsTime(All[0])) {
    Line.TimeMs = Time(All[0], ANowMs);
    All.erase(All.begin());
    if (All.empty()) {
      throw ELineError("a time needs a command after it");
    }
  }
  ParseCommand(All, Line);
  if (AStarted && Line.Command == TCommand::Start) {
    throw ELineError("the monitor runs already");
  }
  if (!AStarted && Line.TimeMs != ANowMs) {
    throw ELineError("time runs once the monitor has started");
  }
  return Line;
}

} // namespace simulator
