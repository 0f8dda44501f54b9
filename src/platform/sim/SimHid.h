// The virtual mouse, modelled on the platform's HID class driver: a set of HID interfaces
// with their collections (device paths compared without regard to case), input reports kept
// in a ring of 32 per open handle (the oldest dropped when full) and read at exactly the
// collection's input report length, feature and output reports handed to a firmware handler,
// and plug and unplug with their notifications.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Hid.h"

namespace platform::sim {

// Buttons as consecutive bits from a byte of the input report, for the usage services.
struct TSimButtonLayout {
  uint16_t UsagePage = 0x09;
  uint16_t FirstUsage = 1;
  uint16_t ButtonCount = 0;
  uint32_t ByteOffset = 1;
  // The input report that carries the buttons; 0 when the collection has no report
  // identifiers. A report with another identifier holds no buttons and does not parse.
  uint8_t ReportID = 0;
};

struct TSimHidInterface {
  std::string Path;
  std::vector<std::string> HardwareIds;
  THidCaps Caps;
  bool CapsReadable = true;
  THidAttributes Attributes;
  TSimButtonLayout Buttons;
};

enum class TSimHidOp { GetFeature, SetFeature, Write };

struct TSimHidTransfer {
  TSimHidOp Op;
  std::string Path;
  std::vector<uint8_t> Bytes;
};

// Answers a transfer: 0, or the error code that refuses it. A get fills ABuffer.
using TSimHidFirmware = std::function<uint32_t(const std::string& APath, TSimHidOp AOp,
                                               uint8_t* ABuffer, uint32_t ALength)>;

inline constexpr std::size_t cSimInputRingSize = 32;

class TSimHid : public IHid {
public:
  TSimHid();
  ~TSimHid() override;
  TGuid HidGuid() override { return cHidInterfaceClass; }
  std::vector<THidInterfaceInfo> EnumerateInterfaces(const TGuid& AClass) override;
  std::unique_ptr<IHidDevice> Open(const std::string& APath, bool AOverlapped,
                                   uint32_t& AError) override;

  // Adds an interface; after the first plug notification hook is set, raises an arrival.
  void Plug(const TSimHidInterface& AInterface);
  // Removes it: outstanding reads end with 1167, later transfers fail with 1167.
  void Unplug(const std::string& APath);
  // Gives every open handle of the interface its own copy of the report, cut or padded with
  // zeros to the collection's input report length; an empty report cannot exist and throws.
  void InjectInputReport(const std::string& APath, const std::vector<uint8_t>& AReport);
  uint64_t DroppedReports() const;
  // Reports taken by completed reads on handles of the interface so far.
  uint64_t ReportsTaken(const std::string& APath) const;
  // Reads waiting on handles of the interface right now.
  int WaitingReads(const std::string& APath) const;
  // Reports that reached a reading handle of the interface and were not read yet.
  std::size_t UnreadReports(const std::string& APath) const;
  int OpenHandles(const std::string& APath) const;
  // How often a waiting read woke up, for the idle-cost measurements.
  uint64_t ReadWakeups() const;

  void SetFirmware(TSimHidFirmware AFirmware);
  // With a code other than 0 every transfer is refused with it.
  void RefuseTransfers(uint32_t ACode);
  std::vector<TSimHidTransfer> Transfers() const;
  void ClearTransfers();

  // Arrival (0x8000) and removal (0x8004) of an interface; the world wires it to the desktop.
  void SetDeviceChangeHook(std::function<void(uintptr_t AEvent)> AHook);

  struct TState;

private:
  std::shared_ptr<TState> FState;
};

} // namespace platform::sim
