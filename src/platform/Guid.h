// A GUID as the platform lays it out, and its registry text form. The functions are pure:
// any thread, no blocking, results by value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct TGuid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
  friend bool operator==(const TGuid& A, const TGuid& B);
};
static_assert(sizeof(TGuid) == 16);

// "{4d1e55b2-f16f-11cf-88cb-001111000030}", any letter case; nothing for other text (no
// braces, no hyphens, surrounding blanks); never throws.
std::optional<TGuid> ParseGuid(std::string_view AText);
// Lower-case registry form with braces.
std::string GuidToString(const TGuid& AGuid);

// The HID device interface class.
inline constexpr TGuid cHidInterfaceClass{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

} // namespace platform
