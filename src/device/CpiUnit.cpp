#include "device/CpiUnit.h"

#include <algorithm>
#include <cstring>

#include "device/CommandPackets.h"

namespace device {

const std::array<uint32_t, 16> HardwareCpiSteps = {250,  500,  750,  1000, 1250, 1500, 1750, 2000,
                                                   2250, 2500, 2750, 3000, 3250, 3500, 3750, 4000};

namespace {
constexpr uint32_t cProcessMessagesPauseMs = 10;
constexpr uint16_t cMovementReportLength = 8;
} // namespace

uint32_t NearerOf(uint32_t ALower, uint32_t AUpper, uint32_t AValue) {
  const auto Distance = [AValue](uint32_t AStep) {
    return AValue > AStep ? AValue - AStep : AStep - AValue;
  };
  return Distance(ALower) <= Distance(AUpper) ? ALower : AUpper;
}

uint32_t SnapToHardwareCpi(uint32_t AValue) {
  if (AValue <= HardwareCpiSteps.front()) {
    return HardwareCpiSteps.front();
  }
  if (AValue >= HardwareCpiSteps.back()) {
    return HardwareCpiSteps.back();
  }
  for (std::size_t I = 0; I + 1 < HardwareCpiSteps.size(); ++I) {
    if (HardwareCpiSteps[I] <= AValue && AValue < HardwareCpiSteps[I + 1]) {
      return NearerOf(HardwareCpiSteps[I], HardwareCpiSteps[I + 1], AValue);
    }
  }
  return HardwareCpiSteps.back();
}

void ComputeCpiRates(CPI_UNIT& AUnit) {
  for (int Level = 0; Level < cCpiLevelsSent; ++Level) {
    const CPI_LEVEL& Hardware = AUnit.HWCpi[Level];
    const CPI_LEVEL& Set = AUnit.STCpi[Level];
    CPI_RATE& Rate = AUnit.XYCpiRate[Level];
    if (Hardware.X != 0 && Hardware.Y != 0) {
      Rate.X = static_cast<int16_t>(Set.X * 100u / Hardware.X);
      Rate.Y = static_cast<int16_t>(Set.Y * 100u / Hardware.Y);
    } else {
      Rate.X = 0;
      Rate.Y = 0;
    }
  }
}

uint32_t SendCpiUnit(TuiSTDCommand& ACommand, const CPI_UNIT& AUnit) {
  CPI_UNIT Copy = AUnit;
  return ACommand.DeviceRW(&Copy, sizeof(Copy), IOCTL_CPI_UNIT);
}

void SetCurrentCpi(TuiSTDCommand& ACommand, uint16_t AValue) {
  uint8_t Packet[2] = {static_cast<uint8_t>(AValue & 0xFF), static_cast<uint8_t>(AValue >> 8)};
  ACommand.DeviceRW(Packet, sizeof(Packet), IOCTL_SET_CURRENT_CPI);
}

void ReadCurrentCpiFromDevice(const TCpiTarget& ATarget, int32_t& ACurrentIndex,
                              profile::TMouseProfileInfo& AProfile) {
  SendCommand11(ATarget.HidData, 0);
  ATarget.MainThread.ProcessMessages();
  ATarget.Clock.SleepMs(cProcessMessagesPauseMs);
  ReadCurrentCpiIndex(ATarget.HidData, 0, ACurrentIndex);
  AProfile.ConfigInfo.CurrentCPIIndex = ACurrentIndex;
  SendCommand11(ATarget.HidData, 1);
}

void BuildAndSendCpiUnit(const TCpiTarget& ATarget, CPI_UNIT& AUnit, int32_t ACurrentIndex,
                         const profile::TMouseProfileInfo& AProfile) {
  AUnit.password = cPacketSignature;
  AUnit.NeedApplyNewCPI = 1;
  AUnit.ReportLength = cMovementReportLength;
  AUnit.X_LowByte = 2;
  AUnit.X_HighByte = 3;
  AUnit.Y_LowByte = 4;
  AUnit.Y_HighByte = 5;
  AUnit.CurrentCpi = static_cast<uint16_t>(
      ACurrentIndex >= 0 && ACurrentIndex <= cMaxCpiIndex ? ACurrentIndex : 0);
  for (int Level = 0; Level < cCpiLevelsSent; ++Level) {
    const profile::TCPISTATEITEM& State = AProfile.ConfigInfo.CPIState[Level];
    CPI_LEVEL& Set = AUnit.STCpi[Level];
    Set.X = State.CPIX;
    Set.Y = State.CPIY;
    Set.Enabled = static_cast<uint8_t>(State.Enabled & 0xFF);
    const uint32_t Hardware = SnapToHardwareCpi(std::max<uint32_t>(State.CPIX, State.CPIY));
    AUnit.HWCpi[Level] = {Set.Enabled, Hardware, Hardware};
  }
  ComputeCpiRates(AUnit);
  SendCpiUnit(ATarget.Command, AUnit);
}

void SendCpiRelease(const TCpiTarget& ATarget, CPI_UNIT& AUnit) {
  AUnit.NeedApplyNewCPI = 0;
  SendCpiUnit(ATarget.Command, AUnit);
}

} // namespace device
