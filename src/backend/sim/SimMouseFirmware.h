// The virtual mouse's firmware: device memory read with command 8 (the current resolution
// level is the word at offset 2 of the block at address 64), command 11 recorded with its
// value, and status reports that move the level.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "backend/sim/SimHid.h"
#include "rtl/Mutex.h"

namespace platform::sim {

// One command the firmware took, as it answered it.
struct TSimFirmwareCommand {
  uint8_t Command = 0;
  // Block reads: where and how much, and the bytes answered.
  uint16_t Address = 0;
  uint16_t Length = 0;
  std::vector<uint8_t> Answer;
  // Other commands: their first parameter byte.
  uint8_t Value = 0;
};

// The virtual mouse's interface at APath: its vendor collection (usage page 0xFFA0) with
// reports of 8 bytes, 24 buttons in report 7.
TSimHidInterface VirtualMouseInterface(const std::string& APath);

class TSimMouseFirmware {
public:
  // Answers the transfers of every interface of AHid.
  explicit TSimMouseFirmware(TSimHid& AHid);
  ~TSimMouseFirmware();

  void SetCurrentLevel(uint16_t ALevel);
  uint16_t CurrentLevel() const;
  void WriteMemory(uint16_t AAddress, const std::vector<uint8_t>& ABytes);
  // The values of every command 11, in order.
  std::vector<uint8_t> SwitchValues() const;
  // Every command taken, in order; a block read once its answer has been fetched.
  // Every command from the AFrom-th on.
  std::vector<TSimFirmwareCommand> Commands(std::size_t AFrom = 0) const;
  // Injects status report 8 (code, value) on the interface; code 2 moves the level first.
  void InjectStatus(const std::string& APath, uint8_t ACode, uint8_t AValue);

private:
  uint32_t Answer(TSimHidOp AOp, uint8_t* ABuffer, uint32_t ALength);

  TSimHid& FHid;
  mutable rtl::TMutex FLock;
  std::vector<uint8_t> FMemory;
  std::vector<uint8_t> FSwitchValues;
  std::vector<TSimFirmwareCommand> FCommands;
  bool FReadPending = false;
  uint8_t FPendingHeader[7] = {};
  uint16_t FPendingAddress = 0;
  uint16_t FPendingLength = 0;
};

} // namespace platform::sim
