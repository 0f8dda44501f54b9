#include "profile/ApplicationList.h"

#include <algorithm>
#include <cstring>

#include "rtl/Utf.h"

namespace profile {

namespace {

// The units of entry AIndex, up to its terminator; none without one.
std::optional<std::u16string> EntryUnits(const TMOUSECONFIGINFO& AConfig, int AIndex) {
  const uint8_t* Entry =
      AConfig.ApplicationList + static_cast<std::size_t>(AIndex) * cApplicationEntrySize;
  std::u16string Units;
  for (std::size_t Unit = 0; Unit <= cMaxApplicationUnits; ++Unit) {
    char16_t Value = 0;
    std::memcpy(&Value, Entry + Unit * 2, sizeof(Value));
    if (Value == 0) {
      return Units;
    }
    Units += Value;
  }
  return std::nullopt;
}

bool IsWellFormed(std::u16string_view AUnits) {
  for (std::size_t Index = 0; Index < AUnits.size(); ++Index) {
    const char16_t Unit = AUnits[Index];
    if (Unit >= 0xD800 && Unit <= 0xDBFF) {
      if (Index + 1 >= AUnits.size() || AUnits[Index + 1] < 0xDC00 || AUnits[Index + 1] > 0xDFFF) {
        return false;
      }
      ++Index;
    } else if ((Unit >= 0xDC00 && Unit <= 0xDFFF) || Unit < 0x20) {
      return false;
    }
  }
  return true;
}

// A path as the file system compares it: ASCII letters folded, "/" as "\".
std::string Comparable(std::string_view APath) {
  std::string Text(APath);
  for (char& C : Text) {
    C = C == '/' ? '\\' : C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C;
  }
  return Text;
}

} // namespace

std::optional<std::string> ApplicationEntry(const TMOUSECONFIGINFO& AConfig, int AIndex) {
  const std::optional<std::u16string> Units = EntryUnits(AConfig, AIndex);
  if (!Units || !IsWellFormed(*Units)) {
    return std::nullopt;
  }
  return rtl::Utf16ToUtf8(*Units);
}

bool StoreApplicationEntry(TMOUSECONFIGINFO& AConfig, int AIndex, std::string_view AText) {
  if (rtl::SanitizeUtf8(AText) != AText) {
    return false;
  }
  const std::u16string Units = rtl::Utf8ToUtf16(AText);
  if (Units.size() > cMaxApplicationUnits || !IsWellFormed(Units)) {
    return false;
  }
  uint8_t* Entry =
      AConfig.ApplicationList + static_cast<std::size_t>(AIndex) * cApplicationEntrySize;
  std::memset(Entry, 0, cApplicationEntrySize);
  // The entry was zeroed above and the name is shorter than it, so its terminator is there.
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
  std::memcpy(Entry, Units.data(), Units.size() * sizeof(char16_t));
  return true;
}

bool SameApplication(std::string_view A, std::string_view B) {
  return Comparable(A) == Comparable(B);
}

bool ApplicationMatches(std::string_view AEntry, std::string_view AProgramPath) {
  if (AEntry.empty() || AProgramPath.empty()) {
    return false;
  }
  const std::string Entry = Comparable(AEntry);
  const std::string Program = Comparable(AProgramPath);
  if (Entry.back() == '\\') {
    return Program.size() > Entry.size() && Program.compare(0, Entry.size(), Entry) == 0;
  }
  if (Entry.find('\\') != std::string::npos) {
    return Program == Entry;
  }
  const std::size_t Name = Program.rfind('\\');
  return Program.compare(Name == std::string::npos ? 0 : Name + 1, std::string::npos, Entry) == 0;
}

TApplicationSwitch ApplicationSwitch(const TMOUSECONFIGINFO& AConfig) {
  TApplicationSwitch Switch;
  Switch.On = AConfig.AutoSwitchProfileWhenAppRun != 0;
  for (int Index = 0; Index < cApplicationCount; ++Index) {
    std::optional<std::string> Entry = ApplicationEntry(AConfig, Index);
    if (Entry && !Entry->empty()) {
      Switch.Entries.push_back(std::move(*Entry));
    }
  }
  return Switch;
}

std::optional<int>
ProfileForApplication(const std::array<TApplicationSwitch, cGameProfileCount>& ASwitches,
                      std::string_view AProgramPath) {
  for (int Profile = 0; Profile < cGameProfileCount; ++Profile) {
    const TApplicationSwitch& Switch = ASwitches[static_cast<std::size_t>(Profile)];
    if (Switch.On &&
        std::any_of(Switch.Entries.begin(), Switch.Entries.end(), [&](const std::string& AEntry) {
          return ApplicationMatches(AEntry, AProgramPath);
        })) {
      return Profile;
    }
  }
  return std::nullopt;
}

} // namespace profile
