// The HID usage selector: which top-level collection of the mouse the system talks to. The
// usage and the usage page are two 16-bit values handled as one 32-bit value with the usage
// in the low half.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hid {

struct USAGE_AND_PAGE {
  uint16_t Usage;
  uint16_t UsagePage;

  constexpr uint32_t Value() const { return static_cast<uint32_t>(UsagePage) << 16 | Usage; }
  static constexpr USAGE_AND_PAGE FromValue(uint32_t AValue) {
    return {static_cast<uint16_t>(AValue & 0xFFFF), static_cast<uint16_t>(AValue >> 16)};
  }
  friend constexpr bool operator==(USAGE_AND_PAGE A, USAGE_AND_PAGE B) {
    return A.Value() == B.Value();
  }
};
static_assert(sizeof(USAGE_AND_PAGE) == 4);
static_assert(offsetof(USAGE_AND_PAGE, UsagePage) == 2);

// The mouse's vendor collection.
inline constexpr USAGE_AND_PAGE cVendorUsageAndPage{0x0001, 0xFFA0};

// The process-wide selector; any thread may read it.
USAGE_AND_PAGE DeviceUsageAndPage();
void SetDeviceUsageAndPage(USAGE_AND_PAGE AValue);

} // namespace hid
