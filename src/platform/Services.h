// The service control manager: opening it, and opening, creating, reconfiguring and deleting
// services. Errors are system error codes (SysError), 0 for success. Main thread (the driver
// installation); every call blocks while the service control manager answers. A handle is
// closed when its object is destroyed, and the caller owns it; a service's handle may
// outlive the manager's that opened it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Access rights, by the platform's numbers.
inline constexpr uint32_t cScManagerConnect = 0x0001;
inline constexpr uint32_t cScManagerCreateService = 0x0002;
inline constexpr uint32_t cScManagerEnumerateService = 0x0004;
inline constexpr uint32_t cScManagerAllAccess = 0xF003F;
inline constexpr uint32_t cServiceQueryConfig = 0x0001;
inline constexpr uint32_t cServiceChangeConfig = 0x0002;
inline constexpr uint32_t cServiceDeleteAccess = 0x00010000;
inline constexpr uint32_t cServiceAllAccess = 0xF01FF;

// Service types, start types and error controls.
inline constexpr uint32_t cServiceKernelDriver = 1;
inline constexpr uint32_t cServiceDemandStart = 3;
inline constexpr uint32_t cServiceErrorNormal = 1;

// What a service is, as created or changed: no load-order group, tag, dependencies or
// account.
struct TServiceConfig {
  uint32_t ServiceType = cServiceKernelDriver;
  uint32_t StartType = cServiceDemandStart;
  uint32_t ErrorControl = cServiceErrorNormal;
  std::string BinaryPath;
  std::string DisplayName;
};

class IService {
public:
  virtual ~IService() = default;
  // Needs cServiceChangeConfig (else AccessDenied). DuplicateServiceName when another service
  // has the display name; ServiceMarkedForDelete for a deleted service that has not gone yet.
  virtual uint32_t ChangeConfig(const TServiceConfig& AConfig) = 0;
  // Needs cServiceDeleteAccess (else AccessDenied). The service goes once it is stopped and no
  // handle is open; until then it is marked for deletion (ServiceMarkedForDelete for a second
  // delete).
  virtual uint32_t Delete() = 0;
};

class IServiceManager {
public:
  virtual ~IServiceManager() = default;
  // Null with AError: ServiceDoesNotExist for a name no service has (names are compared
  // without regard to case), InvalidName for a name the platform cannot hold, AccessDenied
  // for rights this process does not have.
  virtual std::unique_ptr<IService> OpenExisting(const std::string& AName, uint32_t AAccess,
                                                 uint32_t& AError) = 0;
  // Needs cScManagerCreateService (else AccessDenied). Null with AError: ServiceExists when
  // the name is taken, ServiceMarkedForDelete while a deleted service of that name has not
  // gone, DuplicateServiceName when the display name is another service's name or display
  // name. The service's handle has AAccess.
  virtual std::unique_ptr<IService> Create(const std::string& AName, const TServiceConfig& AConfig,
                                           uint32_t AAccess, uint32_t& AError) = 0;
};

class IServiceControl {
public:
  virtual ~IServiceControl() = default;
  // The service control manager of this machine; null with AError (AccessDenied when a
  // process without administrator rights asks for more than connecting and enumerating).
  virtual std::unique_ptr<IServiceManager> OpenManager(uint32_t AAccess, uint32_t& AError) = 0;
};

} // namespace platform
