// Scenarios of the simulator: timed actions on the simulated world around the monitor, and
// expectations on what the monitor did, one a line ("TIME COMMAND ARGUMENTS..."). The language
// is described for users in tarnsim's manual (tarnsim --help, in Cli.cpp), once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace simulator {

enum class TCommand {
  Start,
  Plug,
  Unplug,
  Press,
  Release,
  Level,
  Profile,
  Status,
  ConfigStart,
  ConfigStop,
  ConfigSend,
  StoreLanguage,
  StoreButton,
  Ctl,
  Foreground,
  MicrophoneOn,
  MicrophoneOff,
  Resume,
  Unlock,
  TrayClick,
  TrayConfig,
  TrayExit,
  Wait,
  Expect,
  ExpectNo,
};

struct TScenarioLine {
  int LineNumber = 0;
  // Milliseconds since the monitor started.
  uint64_t TimeMs = 0;
  TCommand Command = TCommand::Start;
  // The numbers of the command (button, level, status code and value, message, language).
  std::vector<uint32_t> Numbers;
  // The profile tool's arguments (ctl).
  std::vector<std::string> Words;
  // Expectations: the kind of event and the text looked for ("" for any).
  std::string Kind;
  std::string Text;
  // The line as written, without its comment, and its command without the time.
  std::string Source;
  std::string CommandText;
};

struct TScenario {
  std::string Name;
  std::vector<TScenarioLine> Lines;
};

// A line that cannot be understood; nothing of the scenario runs.
class EScenarioError : public std::runtime_error {
public:
  EScenarioError(const std::string& AName, int ALine, const std::string& AMessage);
  int Line() const { return FLine; }

private:
  int FLine;
};

// Raises EScenarioError with the name and line number of the first bad line. A UTF-8
// byte-order mark at the start is passed over.
TScenario ParseScenario(std::string_view AText, const std::string& AName);
// The same, a line at a time from AIn: more than AMaxBytes is refused (std::runtime_error) as
// soon as they are read, and only the lines read so far are held.
TScenario ParseScenario(std::istream& AIn, const std::string& AName, std::size_t AMaxBytes);
// What a scenario above AMaxBytes is refused with.
std::runtime_error ScenarioTooLarge(const std::string& AName, std::size_t AMaxBytes);
// One line typed at the prompt, at ANowMs: its time may be left out (now).
TScenarioLine ParseCommandLine(std::string_view AText, uint64_t ANowMs, bool AStarted);

// The kinds of event the timeline shows, and the languages the store takes by name.
const std::vector<std::string>& EventKinds();
inline constexpr std::string_view cLanguageNames[] = {"en", "zh", "tw"};
inline constexpr uint32_t cFunctionNone = 0;
inline constexpr uint32_t cFunctionMute = 28;

} // namespace simulator
