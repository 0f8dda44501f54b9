// The virtual mouse, modelled on the platform's HID class driver: a set of HID interfaces
// with their collections (device paths compared without regard to case), input reports kept
// in a ring per open handle (32 unless the handle asks for 2 to 512; the oldest dropped when
// full) and read at exactly the collection's input report length, feature and output reports
// handed to a firmware handler, plug and unplug with their notifications, and a removal that
// asks first (a device manager's disable, a driver update) and that any open handle vetoes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Hid.h"
#include "platform/WindowMessages.h"

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

// Sends a handle notification to a window and returns its answer (main thread only).
using TSimHandleEventHook = std::function<intptr_t(uintptr_t AWindow, uintptr_t AEvent,
                                                   const TDevBroadcastHandle& ABroadcast)>;

enum class TSimRemoval { Removed, Vetoed, VetoedByOpenHandle, NoDevice };

class TSimHid : public IHid {
public:
  TSimHid();
  ~TSimHid() override;
  TGuid HidGuid() override { return cHidInterfaceClass; }
  std::vector<THidInterfaceInfo> EnumerateInterfaces(const TGuid& AClass) override;
  std::unique_ptr<IHidDevice> Open(const std::string& APath, bool AOverlapped,
                                   uint32_t& AError) override;
  uintptr_t RegisterRemovalNotification(uintptr_t AWindow, IHidDevice& ADevice) override;
  void UnregisterRemovalNotification(uintptr_t ARegistration) override;

  // Adds an interface; after the first plug notification hook is set, raises an arrival.
  void Plug(const TSimHidInterface& AInterface);
  // Removes it: outstanding reads end with 1167, later transfers fail with 1167. (A surprise
  // removal: the handle notifications hear nothing of it here.)
  void Unplug(const std::string& APath);
  // The removal that asks first, on the main thread: every handle notification of the
  // interface is sent the query; a refusal, a handle still open afterwards (whoever holds it)
  // or a refusal from elsewhere (AVetoedElsewhere) vetoes it, and those asked are told that
  // it failed. Otherwise the interface goes as with Unplug and they are told it went.
  TSimRemoval RequestRemoval(const std::string& APath, bool AVetoedElsewhere = false);
  int RemovalRegistrations(const std::string& APath) const;
  // The interface as plugged, if it is there.
  std::optional<TSimHidInterface> Interface(const std::string& APath) const;
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
  // The world wires handle notifications to the desktop's windows.
  void SetHandleEventHook(TSimHandleEventHook AHook);

  struct TState;

private:
  std::shared_ptr<TState> FState;
};

} // namespace platform::sim
