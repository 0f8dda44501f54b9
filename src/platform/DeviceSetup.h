// Device nodes of a setup class as the platform's device installation keeps them: their
// multi-string registry properties, their status and the class installer's property change.
// Errors are system error codes (SysError), 0 for success.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Guid.h"

namespace platform {

// The multi-string registry properties of a device node, by the platform's numbers.
enum class TDeviceProperty : uint32_t {
  HardwareId = 0x01,
  UpperFilters = 0x11,
  LowerFilters = 0x12
};

// A property change through the class installer, by the platform's numbers. PropertyChange
// restarts the node's stack in one step and stores nothing: a restart broken off leaves no
// node that stays disabled across boots, as a disable followed by an enable can.
enum class TDeviceStateChange : uint32_t { Enable = 1, Disable = 2, PropertyChange = 3 };

// Node status bits.
inline constexpr uint32_t cDeviceNodeStarted = 0x00000008;
inline constexpr uint32_t cDeviceNodeHasProblem = 0x00000400;
// Problem codes.
inline constexpr uint32_t cDeviceProblemDisabled = 22;
inline constexpr uint32_t cDeviceProblemDriverFailedLoad = 39;

// The present nodes of one setup class, taken when the list was opened; a node is addressed
// by its position in the list. Main thread (the driver installation); every call blocks on
// the device installation. Closed when destroyed; the list may outlive the service. A node
// that has gone since the list was taken fails its calls (NoSuchDeviceInstance, or false).
class IDeviceNodeList {
public:
  virtual ~IDeviceNodeList() = default;
  // False once AIndex is past the last node: the walk ends there. A node that has gone since
  // still counts.
  virtual bool HasNode(uint32_t AIndex) = 0;
  // The property's strings in order, read through a 32768-byte buffer; AStrings is empty on
  // failure. InvalidData when the node has no such property, DatatypeMismatch when it holds
  // something other than strings, InsufficientBuffer when it does not fit the buffer. An
  // index past the end fails too (NoMoreItems on Windows, NoSuchDeviceInstance in the
  // simulated world): walk with HasNode.
  virtual uint32_t ReadStrings(uint32_t AIndex, TDeviceProperty AProperty,
                               std::vector<std::string>& AStrings) = 0;
  // Replaces the property's whole list (an empty list stays an empty list); AccessDenied for
  // a process without administrator rights. A list ends at its first empty string, as a
  // multi-string does: the strings after it are not written.
  virtual uint32_t WriteStrings(uint32_t AIndex, TDeviceProperty AProperty,
                                const std::vector<std::string>& AStrings) = 0;
  // The configuration manager's status bits and problem code of the node; false, with both
  // 0, when it cannot tell (a node that has gone, no configuration manager).
  virtual bool ReadStatus(uint32_t AIndex, uint32_t& AStatus, uint32_t& AProblem) = 0;
  // Sets the node's class-install parameters to this property change (enable and disable
  // with global scope, a restart for the current hardware profile) and calls the class
  // installer with it. Blocks until the installer is done; a disable or a restart first asks
  // every holder of the node's device interfaces (this process's windows too) whether they
  // may go. RebootRequired when the change takes effect only after a restart of the system (a
  // disable or a restart that a holder of the device vetoed); AccessDenied for a process
  // without administrator rights.
  virtual uint32_t ChangeState(uint32_t AIndex, TDeviceStateChange AChange) = 0;
};

class IDeviceSetup {
public:
  virtual ~IDeviceSetup() = default;
  // Main thread; blocks while the device installation builds the list. The present nodes of
  // the setup class AClass, owned by the caller; null, with AError, when the list cannot be
  // opened (InvalidHandle when the setup library is missing).
  virtual std::unique_ptr<IDeviceNodeList> OpenPresentNodes(const TGuid& AClass,
                                                            uint32_t& AError) = 0;
};

} // namespace platform
