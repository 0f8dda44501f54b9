// Scenarios of the simulator: timed actions on the simulated world around the monitor, and
// expectations on what the monitor did. One line each:
//
//   TIME COMMAND ARGUMENTS...      # a comment
//
// TIME is milliseconds since the monitor started ("1500") or since the previous line
// ("+100"); a scenario's times never go back. "start" comes at 0; lines before it (at 0 as
// well) prepare the world the monitor starts in; after "tray exit" only expectations may
// follow. The commands:
//
//   start                        the monitor's process starts
//   plug | unplug                the virtual mouse
//   press B | release B          button B (0 to 23) of the mouse
//   level N                      the mouse reports that its resolution level is now N
//   profile N                    the mouse reports a switch to hardware profile N
//   status 6 N | status 7 N      the mouse's other status codes
//   config start | config stop   the configuration program's window appears or goes
//   config send 7035 | 7037      the configuration program tells the monitor to reload the
//                                profiles or the settings
//   store language en|zh|tw      the configuration program stores the language setting
//   store button B mute|none     ... binds button B of the current profile to the
//                                microphone's mute, or to nothing
//   microphone on | off          a microphone appears or goes
//   resume | unlock              the computer wakes from sleep, the session is unlocked
//   tray click | config | exit   the user clicks the tray icon or chooses a menu item
//   wait                         nothing: time passes until the line's time
//   expect KIND [TEXT]           an event of that kind happened since the last command,
//                                its text containing TEXT (quotes keep spaces)
//   expect no KIND [TEXT]        no such event happened since the last command
//
// The kinds of event: monitor, store, tray, timer, reader, device, driver, config,
// microphone, shell, debug, box (a message box).
#pragma once

#include <cstdint>
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
  EScenarioError(std::string AName, int ALine, const std::string& AMessage);
  int Line() const { return FLine; }

private:
  int FLine;
};

// AText with every byte that is not printable UTF-8 text (a NUL, a control character, a
// broken sequence) shown as \xNN, so that a message shows all of a bad line.
std::string EscapeForDisplay(std::string_view AText);

// Raises EScenarioError with the name and line number of the first bad line. A UTF-8
// byte-order mark at the start is passed over.
TScenario ParseScenario(std::string_view AText, const std::string& AName);
// One line typed at the prompt, at ANowMs: its time may be left out (now).
TScenarioLine ParseCommandLine(std::string_view AText, uint64_t ANowMs, bool AStarted);

// The kinds of event the timeline shows, and the languages the store takes by name.
const std::vector<std::string>& EventKinds();
inline constexpr std::string_view cLanguageNames[] = {"en", "zh", "tw"};
inline constexpr uint32_t cFunctionNone = 0;
inline constexpr uint32_t cFunctionMute = 28;

} // namespace simulator
