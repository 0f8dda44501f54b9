// The system error codes the system relies on. They are the platform's own numbers on
// Windows; the simulated world answers with the same numbers.
#pragma once

#include <cstdint>

namespace platform::SysError {

inline constexpr uint32_t Success = 0;
inline constexpr uint32_t FileNotFound = 2;
inline constexpr uint32_t PathNotFound = 3;
inline constexpr uint32_t AccessDenied = 5;
inline constexpr uint32_t InvalidHandle = 6;
inline constexpr uint32_t NotEnoughMemory = 8;
inline constexpr uint32_t InvalidData = 13;
inline constexpr uint32_t WriteFault = 29;
inline constexpr uint32_t ReadFault = 30;
inline constexpr uint32_t SharingViolation = 32;
inline constexpr uint32_t InvalidParameter = 87;
inline constexpr uint32_t InsufficientBuffer = 122;
inline constexpr uint32_t InvalidName = 123;
inline constexpr uint32_t BadPathName = 161;
inline constexpr uint32_t DiskFull = 112;
inline constexpr uint32_t AlreadyExists = 183;
inline constexpr uint32_t FileTooLarge = 223;
inline constexpr uint32_t MoreData = 234;
inline constexpr uint32_t NoMoreItems = 259;
inline constexpr uint32_t DirectoryInvalid = 267;
inline constexpr uint32_t OperationAborted = 995;
inline constexpr uint32_t ServiceDoesNotExist = 1060;
inline constexpr uint32_t ServiceMarkedForDelete = 1072;
inline constexpr uint32_t ServiceExists = 1073;
inline constexpr uint32_t DuplicateServiceName = 1078;
inline constexpr uint32_t DeviceNotConnected = 1167;
inline constexpr uint32_t DatatypeMismatch = 1629;
inline constexpr uint32_t InvalidUserBuffer = 1784;
inline constexpr uint32_t RebootRequired = 3010;
// The device installation's own code for a device node that is not there (any more).
inline constexpr uint32_t NoSuchDeviceInstance = 0xE000020B;

} // namespace platform::SysError
