// The mouse's command packets, carried as HID feature reports over its vendor collection:
// the block read (command 8), the switch command (11) and the read of the current
// resolution level built on them. Multi-byte fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hid/uiHIDData.h"

namespace device {

inline constexpr uint16_t cPacketSignature = 0x3A5C;
inline constexpr uint32_t cPacketHeaderSize = 11;
inline constexpr uint32_t cPacketDataSize = 2048;
// Report bytes before the data: the report ID and the command with six parameter bytes.
inline constexpr uint32_t cReportHeaderSize = 8;
// The longest block one read can answer: class 6 carries 2048 bytes, 8 of them header.
inline constexpr uint32_t cMaxBlockLength = 2040;

inline constexpr uint8_t cCommandBlockRead = 8;
inline constexpr uint8_t cCommandSwitch = 11;
inline constexpr uint16_t cCurrentCpiBlockAddress = 64;
inline constexpr uint16_t cBlockStride = 208;
inline constexpr uint32_t cBlock44Length = 44;

#pragma pack(push, 1)
struct TCommandPacket {
  uint16_t Signature;
  uint8_t Reserved;
  uint8_t Command;
  uint8_t Parameters[7];
  uint8_t Data[cPacketDataSize];
};
#pragma pack(pop)
static_assert(sizeof(TCommandPacket) == 2059);
static_assert(offsetof(TCommandPacket, Command) == 3);
static_assert(offsetof(TCommandPacket, Parameters) == 4);
static_assert(offsetof(TCommandPacket, Data) == 11);

// The data length a command carries (bit 7 of the command is ignored).
uint32_t CommandDataLength(const TCommandPacket& APacket);
// The smallest feature report class for T bytes, and the size of a class.
uint8_t ReportIdForLength(uint32_t ALength);
uint32_t ReportSizeForId(uint8_t AReportId);
// The feature report for a packet with AData data bytes (as many as the class holds).
void FormFeatureReport(const TCommandPacket& APacket, uint8_t AReportId, uint32_t AData,
                       hid::THidReallyData& AReport);

uint32_t SendCommandPacket(hid::TuiHIDData& AHidData, const TCommandPacket& APacket);
uint32_t QueryCommandPacket(hid::TuiHIDData& AHidData, TCommandPacket& APacket);
// ALength above 2040 or 16 bits and addresses beyond 16 bits raise ERangeError.
uint32_t ReadDeviceBlock(hid::TuiHIDData& AHidData, uint8_t* ABuffer, int64_t ALength,
                         int64_t AAddress);
uint32_t ReadBlock44(hid::TuiHIDData& AHidData, uint8_t* ABuffer, int64_t AAddress);
void SendCommand11(hid::TuiHIDData& AHidData, uint8_t AValue);
// The level index at offset 2 of the 44-byte block at ABlock * 208 + 64; AIndex is left as it
// was when the read fails.
uint32_t ReadCurrentCpiIndex(hid::TuiHIDData& AHidData, int64_t ABlock, int32_t& AIndex);

} // namespace device
