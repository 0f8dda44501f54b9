// The profile store as the profile tool shows it: text for people and one JSON document for
// scripts, from the data module's records. Profiles, resolution levels and buttons are
// numbered from 1 for people; the JSON carries the same numbers.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "profile/DMUnit.h"

namespace ctl {

// What the records alone do not say: where the store is and what of it is stored.
struct TStoreFacts {
  std::string RegistryKey;   // "HKEY_CURRENT_USER\..."
  std::string ProfileFolder; // with a trailing delimiter
  bool SharedStored = false; // the shared settings are in the store (not defaults only)
  std::array<bool, profile::cGameProfileCount> Stored{};
  // The languages of "ui.local" beside the tool, by index; empty when it cannot be read.
  std::vector<std::string> Languages;
};

// The resolution bounds of a profile: its own MinCPI..MaxCPI, or, where it names none, the
// range of the factory levels.
struct TCpiBounds {
  uint16_t Min = 0;
  uint16_t Max = 0;
  bool FromProfile = false;
};
inline constexpr uint16_t cFallbackMinCpi = 100;
inline constexpr uint16_t cFallbackMaxCpi = 16400;
TCpiBounds CpiBounds(const profile::TMOUSECONFIGINFO& AConfig);

// What a button's or wheel direction's assignment does, where the system knows a name
// ("" otherwise).
std::string FunctionName(const profile::TBUTTONFUNCINFO& AFunction);
// The standard function of wheel up (direction 0) and down (1), which the system handles.
bool IsStandardWheel(const profile::TBUTTONFUNCINFO& AFunction, int ADirection);

// The store as text; only profile AProfile (0..4) when given.
std::string StoreText(profile::TDM& AModule, const TStoreFacts& AFacts,
                      std::optional<int> AProfile);
nlohmann::json StoreJson(profile::TDM& AModule, const TStoreFacts& AFacts,
                         std::optional<int> AProfile);

// The lines of ANew that are not in AOld ("+ ") and those of AOld not in ANew ("- "), in the
// order of a shortest edit, each under the last heading line (a line that does not start with
// a space) before it.
std::vector<std::string> LineDiff(const std::string& AOld, const std::string& ANew);

} // namespace ctl
