// The resolution (CPI) table the filter driver applies to the mouse's movement reports, the
// current-level packet, and how the table is built from the current profile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "device/uiStdCmd.h"
#include "hid/uiHIDData.h"
#include "platform/Clock.h"
#include "platform/MainThread.h"
#include "profile/ProfileRecords.h"

namespace device {

inline constexpr int cCpiUnitLevels = 10;
inline constexpr int cCpiLevelsSent = 5;
inline constexpr int32_t cMaxCpiIndex = 10;

#pragma pack(push, 1)
struct CPI_LEVEL {
  uint8_t Enabled;
  uint32_t X;
  uint32_t Y;
};
struct CPI_RATE {
  int16_t X;
  int16_t Y;
};
struct CPI_UNIT {
  uint16_t password;
  uint16_t NeedApplyNewCPI;
  uint16_t ReportLength;
  uint8_t X_LowByte;
  uint8_t X_HighByte;
  uint8_t Y_LowByte;
  uint8_t Y_HighByte;
  int16_t X_Counter;
  int16_t Y_Counter;
  uint16_t CpiCount;
  uint16_t CurrentCpi;
  CPI_LEVEL HWCpi[cCpiUnitLevels];
  CPI_LEVEL STCpi[cCpiUnitLevels];
  CPI_RATE XYCpiRate[cCpiUnitLevels];
};
#pragma pack(pop)
static_assert(sizeof(CPI_LEVEL) == 9 && offsetof(CPI_LEVEL, X) == 1 && offsetof(CPI_LEVEL, Y) == 5);
static_assert(sizeof(CPI_RATE) == 4);
static_assert(sizeof(CPI_UNIT) == 238);
static_assert(offsetof(CPI_UNIT, X_LowByte) == 6 && offsetof(CPI_UNIT, X_Counter) == 10);
static_assert(offsetof(CPI_UNIT, CpiCount) == 14 && offsetof(CPI_UNIT, CurrentCpi) == 16);
static_assert(offsetof(CPI_UNIT, HWCpi) == 18 && offsetof(CPI_UNIT, STCpi) == 108);
static_assert(offsetof(CPI_UNIT, XYCpiRate) == 198);

// The control codes, from the one CTL_CODE-shaped helper.
inline constexpr uint32_t CtlCode(uint32_t ADeviceType, uint32_t AFunction, uint32_t AMethod,
                                  uint32_t AAccess) {
  return ADeviceType << 16 | AAccess << 14 | AFunction << 2 | AMethod;
}
inline constexpr uint32_t IOCTL_CPI_UNIT = CtlCode(0x8000, 0x2001, 0, 0);
inline constexpr uint32_t IOCTL_SET_CURRENT_CPI = CtlCode(0x8000, 0x2003, 0, 0);
static_assert(IOCTL_CPI_UNIT == 0x80008004u && IOCTL_SET_CURRENT_CPI == 0x8000800Cu);

// 250 to 4000 in steps of 250.
extern const std::array<uint32_t, 16> HardwareCpiSteps;

uint32_t NearerOf(uint32_t ALower, uint32_t AUpper, uint32_t AValue);
uint32_t SnapToHardwareCpi(uint32_t AValue);
void ComputeCpiRates(CPI_UNIT& AUnit);

// A 238-byte copy goes to the driver (and takes what it writes back); AUnit is never changed.
uint32_t SendCpiUnit(TuiSTDCommand& ACommand, const CPI_UNIT& AUnit);
void SetCurrentCpi(TuiSTDCommand& ACommand, uint16_t AValue);

// What the monitor window hands to its CPI operations.
struct TCpiTarget {
  hid::TuiHIDData& HidData;
  TuiSTDCommand& Command;
  platform::IMainThread& MainThread;
  platform::IClock& Clock;
};

// Reads the device's level into ACurrentIndex (left as it was when the read fails) and copies
// it into the profile's CurrentCPIIndex, bracketed by the switch command with 0 and 1.
void ReadCurrentCpiFromDevice(const TCpiTarget& ATarget, int32_t& ACurrentIndex,
                              profile::TMouseProfileInfo& AProfile);
// Builds AUnit from the profile's levels 0..4 and the current index, and sends it.
void BuildAndSendCpiUnit(const TCpiTarget& ATarget, CPI_UNIT& AUnit, int32_t ACurrentIndex,
                         const profile::TMouseProfileInfo& AProfile);
// Sends AUnit as last built with NeedApplyNewCPI 0, so that the driver stops scaling.
void SendCpiRelease(const TCpiTarget& ATarget, CPI_UNIT& AUnit);

} // namespace device
