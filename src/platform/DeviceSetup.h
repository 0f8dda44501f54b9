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
// by its position in the list. Main thread; every call blocks.
class IDeviceNodeList {
public:
  virtual ~IDeviceNodeList() = default;
  // False once AIndex is past the last node: the walk ends there.
  virtual bool HasNode(uint32_t AIndex) = 0;
  // The property's strings in order, read through a 32768-byte buffer; AStrings is empty on
  // failure. InvalidData when the node has no such property, DatatypeMismatch when it holds
  // something other than strings.
  virtual uint32_t ReadStrings(uint32_t AIndex, TDeviceProperty AProperty,
                               std::vector<std::string>& AStrings) = 0;
  // Replaces the property's whole list (an empty list stays an empty list); AccessDenied for
  // a process without administrator rights. A list ends at its first empty string, as a
  // multi-string does.
  virtual uint32_t WriteStrings(uint32_t AIndex, TDeviceProperty AProperty,
                                const std::vector<std::string>& AStrings) = 0;
  // The configuration manager's status bits and problem code of the node; false when it
  // cannot tell (a node that has gone).
  virtual bool ReadStatus(uint32_t AIndex, uint32_t& AStatus, uint32_t& AProblem) = 0;
  // Sets the node's class-install parameters to this property change (enable and disable
  // with global scope, a restart for the current hardware profile) and calls the class
  // installer with it. RebootRequired when the change takes effect only after a restart of
  // the system (a disable or a restart that a holder of the device vetoed).
  virtual uint32_t ChangeState(uint32_t AIndex, TDeviceStateChange AChange) = 0;
};

class IDeviceSetup {
public:
  virtual ~IDeviceSetup() = default;
  // The present nodes of the setup class AClass; null, with AError, when the list cannot be
  // opened.
  virtual std::unique_ptr<IDeviceNodeList> OpenPresentNodes(const TGuid& AClass,
                                                            uint32_t& AError) = 0;
};

} // namespace platform
