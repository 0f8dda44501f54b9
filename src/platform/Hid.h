// HID class access: the present interfaces of a device interface class, and open interfaces
// with their capabilities and report transfers. Errors are system error codes (SysError).
// Every call may be made from any thread unless it says otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Guid.h"
#include "rtl/ManualResetEvent.h"

namespace platform {

struct THidInterfaceInfo {
  std::string DevicePath;
  // The device's hardware identifiers, most specific first; may be empty.
  std::vector<std::string> HardwareIds;
};

struct THidAttributes {
  uint16_t VendorID = 0;
  uint16_t ProductID = 0;
  uint16_t VersionNumber = 0;
};

// The top-level collection's capabilities; report lengths include the identifier byte.
struct THidCaps {
  uint16_t Usage = 0;
  uint16_t UsagePage = 0;
  uint16_t InputReportByteLength = 0;
  uint16_t OutputReportByteLength = 0;
  uint16_t FeatureReportByteLength = 0;
};

struct THidUsageAndPage {
  uint16_t Usage;
  uint16_t UsagePage;
};

struct THidReadResult {
  // 0, or the error that ended the read (6 invalid handle, 995 aborted, 1167 device gone,
  // 1784 a buffer shorter than the collection's input report; 258 for a stopped read the
  // driver did not finish within two seconds, left to finish on memory of its own).
  uint32_t Error = 0;
  // A completed read holds exactly the collection's input report length (a shorter report is
  // padded with zeros).
  uint32_t BytesRead = 0;
  // The stop event ended the wait (or was set before the read was issued: nothing was read);
  // the read was cancelled, and the caller's buffer is not written after ReadReport returns.
  bool Stopped = false;
  // The read failed as it was issued (Error says why): nothing was outstanding, as opposed to
  // a read that was outstanding and then failed.
  bool StartFailed = false;
};

// One open interface; closed when destroyed. A device object is used by one thread at a time
// (opened on one, it may be handed to a reader thread that then alone uses and destroys it).
// It must end before the service that opened it: on Windows it uses the service's HID
// library. Its removal notifications outlive it (see RegisterRemovalNotification).
class IHidDevice {
public:
  virtual ~IHidDevice() = default;
  // The platform's handle value, for display only; never fails.
  virtual uint32_t HandleValue() = 0;
  // False when they cannot be read (no HID library, a device that has gone); AAttributes is
  // meaningful only after true.
  virtual bool GetAttributes(THidAttributes& AAttributes) = 0;
  // False when the collection's description or capabilities cannot be read.
  virtual bool GetCaps(THidCaps& ACaps) = 0;
  // Feature reports and output reports: ABuffer starts with the report identifier. Each
  // blocks until the device has taken or answered the report (a write on an overlapped handle
  // too: it has no stop). 0, or the error: 1167 once the device has gone, InvalidHandle when
  // the HID library lacks the call, the device's own refusal otherwise.
  virtual uint32_t GetFeature(uint8_t* ABuffer, uint32_t ALength) = 0;
  virtual uint32_t SetFeature(const uint8_t* ABuffer, uint32_t ALength) = 0;
  virtual uint32_t Write(const uint8_t* ABuffer, uint32_t ALength) = 0;
  // How many input reports the platform keeps for this handle while nobody reads it (the
  // oldest is dropped when they are all taken); between cMinInputBuffers and cMaxInputBuffers,
  // false when refused (out of bounds, or more than this platform takes: try fewer).
  virtual bool SetInputBufferCount(uint32_t ACount) = 0;
  // The reader thread, one read at a time per device. Blocks until one input report is read,
  // the device goes, or AStop is set; costs nothing while it waits. Needs an interface opened
  // for overlapped reading. A stopped read is cancelled and waited for (up to two seconds)
  // before this returns; ABuffer is not written after it returns, whatever the outcome.
  virtual THidReadResult ReadReport(uint8_t* ABuffer, uint32_t ALength,
                                    const rtl::TManualResetEvent& AStop) = 0;
  // The usage services of the input reports: the longest usage list of all usage pages (0
  // when the collection's description cannot be read), and the usages that are on in a
  // report (at most AMaxUsages). False on a failed parse, also when more than AMaxUsages are
  // on; AUsages is to be ignored then.
  virtual uint32_t MaxUsageListLength() = 0;
  virtual bool GetUsages(const uint8_t* AReport, uint32_t ALength,
                         std::vector<THidUsageAndPage>& AUsages, uint32_t AMaxUsages) = 0;
};

// The input report ring of a new handle, and its bounds.
inline constexpr uint32_t cDefaultInputBuffers = 32;
inline constexpr uint32_t cMinInputBuffers = 2;
inline constexpr uint32_t cMaxInputBuffers = 512;

class IHid {
public:
  virtual ~IHid() = default;
  // The HID device interface class as the HID library reports it (the constant when the
  // library is missing); never fails.
  virtual TGuid HidGuid() = 0;
  // Blocks while the setup library walks the class. The present interfaces of the class that
  // have a device path, in enumeration order; empty when the setup library is missing or the
  // walk fails.
  virtual std::vector<THidInterfaceInfo> EnumerateInterfaces(const TGuid& AClass) = 0;
  // Opens for reading and writing, sharing both, existing only; blocks while the system opens
  // it. The caller owns the device. Null with AError on failure (FileNotFound for a path no
  // interface has, AccessDenied, SharingViolation).
  virtual std::unique_ptr<IHidDevice> Open(const std::string& APath, bool AOverlapped,
                                           uint32_t& AError) = 0;
  // A handle notification for an open interface: AWindow is sent the device-change message
  // with a TDevBroadcastHandle (dbch_hdevnotify the registration returned here) when the
  // device is asked to go (every handle to it must be closed by the time the window procedure
  // returns, else the removal fails), when that removal failed, and when the device went. The
  // messages come on AWindow's thread (the main thread). The registration outlives the
  // handle: it ends only when unregistered. 0 when refused (also for AWindow 0).
  virtual uintptr_t RegisterRemovalNotification(uintptr_t AWindow, IHidDevice& ADevice) = 0;
  // Ends a registration; 0 is ignored.
  virtual void UnregisterRemovalNotification(uintptr_t ARegistration) = 0;
};

} // namespace platform
