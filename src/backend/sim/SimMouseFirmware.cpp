#include "backend/sim/SimMouseFirmware.h"
#include "backend/sim/SimRecord.h"

#include <algorithm>
#include <cstring>

#include "platform/SysError.h"
#include "rtl/Mutex.h"

namespace platform::sim {

namespace {
constexpr uint16_t cLevelAddress = 64 + 2;
constexpr uint8_t cBlockRead = 8;
constexpr uint8_t cSwitch = 11;
constexpr uint8_t cStatusReport = 8;
constexpr uint8_t cLevelChanged = 2;
constexpr uint32_t cHeader = 8;
} // namespace

TSimHidInterface VirtualMouseInterface(const std::string& APath) {
  TSimHidInterface Mouse;
  Mouse.Path = APath;
  Mouse.HardwareIds = {"HID\\VID_1234&PID_5678&REV_0100&MI_01"};
  Mouse.Caps = {0x0001, 0xFFA0, 8, 8, 2048};
  Mouse.Buttons.ButtonCount = 24;
  Mouse.Buttons.ReportID = 7;
  return Mouse;
}

TSimMouseFirmware::TSimMouseFirmware(TSimHid& AHid) : FHid(AHid), FMemory(65536 + 2048, 0) {
  FHid.SetFirmware([this](const std::string&, TSimHidOp AOp, uint8_t* ABuffer, uint32_t ALength) {
    return Answer(AOp, ABuffer, ALength);
  });
}

TSimMouseFirmware::~TSimMouseFirmware() {
  FHid.SetFirmware(nullptr);
}

uint32_t TSimMouseFirmware::Answer(TSimHidOp AOp, uint8_t* ABuffer, uint32_t ALength) {
  rtl::TLockGuard Guard(FLock);
  if (ALength < cHeader) {
    return SysError::InvalidParameter;
  }
  if (AOp == TSimHidOp::SetFeature) {
    const uint8_t Command = ABuffer[1] & 0x7F;
    if (Command == cBlockRead) {
      FReadPending = true;
      std::memcpy(FPendingHeader, ABuffer + 1, 7);
      FPendingAddress = static_cast<uint16_t>(ABuffer[2] | ABuffer[3] << 8);
      FPendingLength = static_cast<uint16_t>(ABuffer[4] | ABuffer[5] << 8);
    } else {
      if (Command == cSwitch) {
        FSwitchValues.push_back(ABuffer[2]);
      }
      TSimFirmwareCommand Taken;
      Taken.Command = Command;
      Taken.Value = ABuffer[2];
      FCommands.push_back(std::move(Taken));
    }
    return SysError::Success;
  }
  if (AOp == TSimHidOp::GetFeature) {
    std::fill(ABuffer + 1, ABuffer + ALength, uint8_t{0});
    if (FReadPending) {
      std::memcpy(ABuffer + 1, FPendingHeader, 7);
      const uint32_t Count = std::min<uint32_t>(FPendingLength, ALength - cHeader);
      std::memcpy(ABuffer + cHeader, FMemory.data() + FPendingAddress, Count);
      FReadPending = false;
      TSimFirmwareCommand Taken;
      Taken.Command = cBlockRead;
      Taken.Address = FPendingAddress;
      Taken.Length = FPendingLength;
      Taken.Answer.assign(ABuffer + cHeader, ABuffer + cHeader + Count);
      FCommands.push_back(std::move(Taken));
    }
    return SysError::Success;
  }
  return SysError::Success;
}

void TSimMouseFirmware::SetCurrentLevel(uint16_t ALevel) {
  rtl::TLockGuard Guard(FLock);
  FMemory[cLevelAddress] = static_cast<uint8_t>(ALevel & 0xFF);
  FMemory[cLevelAddress + 1] = static_cast<uint8_t>(ALevel >> 8);
}

uint16_t TSimMouseFirmware::CurrentLevel() const {
  rtl::TLockGuard Guard(FLock);
  return static_cast<uint16_t>(FMemory[cLevelAddress] | FMemory[cLevelAddress + 1] << 8);
}

void TSimMouseFirmware::WriteMemory(uint16_t AAddress, const std::vector<uint8_t>& ABytes) {
  rtl::TLockGuard Guard(FLock);
  std::copy(ABytes.begin(), ABytes.end(), FMemory.begin() + AAddress);
}

std::vector<uint8_t> TSimMouseFirmware::SwitchValues() const {
  rtl::TLockGuard Guard(FLock);
  return FSwitchValues;
}

std::vector<TSimFirmwareCommand> TSimMouseFirmware::Commands(std::size_t AFrom) const {
  rtl::TLockGuard Guard(FLock);
  return RecordFrom(FCommands, AFrom);
}

void TSimMouseFirmware::InjectStatus(const std::string& APath, uint8_t ACode, uint8_t AValue) {
  if (ACode == cLevelChanged) {
    SetCurrentLevel(AValue);
  }
  FHid.InjectInputReport(APath, {cStatusReport, ACode, AValue, 0, 0, 0, 0, 0});
}

} // namespace platform::sim
