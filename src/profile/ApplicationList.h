// The applications of a game profile: the programs whose window in front makes that profile
// the current one (when its AutoSwitchProfileWhenAppRun is on).
//
// The stored form: ApplicationList is ten entries of 1026 bytes (a TPROFILE_MACRO_PATH each).
// An entry holds UTF-16LE text of at most cMaxApplicationUnits units followed by a NUL unit,
// and zero bytes after it; an entry whose first unit is NUL is unused. An entry is one of:
//   - a program's full path ("C:\Games\Quake\quake.exe"): that program;
//   - a folder, ending in "\" ("D:\Games\"): any program in it or below it (games started by a
//     launcher run from their own folder);
//   - a bare program name ("quake.exe"): that program in any folder.
// Matching ignores case (of ASCII letters, as the file system of every Windows locale does)
// and takes "/" as "\". An entry that is not such text (no terminator within its units, a
// lone surrogate) is shown as damaged and matches nothing.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/ProfileRecords.h"

namespace profile {

inline constexpr int cApplicationCount = 10;
inline constexpr std::size_t cApplicationEntrySize = sizeof(TPROFILE_MACRO_PATH);
inline constexpr std::size_t cMaxApplicationUnits = 512;
static_assert(sizeof(TMOUSECONFIGINFO::ApplicationList) ==
              cApplicationCount * cApplicationEntrySize);

// Entry AIndex (0..9) as UTF-8: "" when unused, none when it is not valid text.
std::optional<std::string> ApplicationEntry(const TMOUSECONFIGINFO& AConfig, int AIndex);
// Stores AText (UTF-8) in entry AIndex ("" makes it unused); false, with nothing changed, for
// text that is not valid UTF-8, holds a NUL or control character, or is longer than
// cMaxApplicationUnits UTF-16 units.
bool StoreApplicationEntry(TMOUSECONFIGINFO& AConfig, int AIndex, std::string_view AText);

// Whether two entries say the same (case and "/" aside).
bool SameApplication(std::string_view A, std::string_view B);
// Whether a program, by its full path, matches an entry (see above).
bool ApplicationMatches(std::string_view AEntry, std::string_view AProgramPath);

// What the automatic switch of one game profile needs: whether it is on, and its valid
// entries.
struct TApplicationSwitch {
  bool On = false;
  std::vector<std::string> Entries;
};
TApplicationSwitch ApplicationSwitch(const TMOUSECONFIGINFO& AConfig);

// The lowest game profile index whose switch is on and one of whose entries matches the
// program; none when no profile's does (or the path is empty).
std::optional<int>
ProfileForApplication(const std::array<TApplicationSwitch, cGameProfileCount>& ASwitches,
                      std::string_view AProgramPath);

} // namespace profile
