#include "device/CommandPackets.h"

#include <algorithm>
#include <cstring>

#include "rtl/RangeCheck.h"

namespace device {

namespace {

uint16_t Word(const uint8_t* ABytes) {
  return static_cast<uint16_t>(ABytes[0] | ABytes[1] << 8);
}

void PutWord(uint8_t* ABytes, uint16_t AValue) {
  ABytes[0] = static_cast<uint8_t>(AValue & 0xFF);
  ABytes[1] = static_cast<uint8_t>(AValue >> 8);
}

// The transfer record holds a 64 KiB report buffer: it lives on the heap, not the stack.
std::unique_ptr<hid::THIDDataParam> NewParam(hid::TuiHIDData& AHidData) {
  auto Param = std::make_unique<hid::THIDDataParam>();
  const hid::USAGE_AND_PAGE Own = AHidData.GetUsageAndPage();
  hid::USAGE_AND_PAGE Default = hid::DeviceUsageAndPage();
  if (Default.UsagePage == 0) {
    Default = hid::cVendorUsageAndPage;
  }
  Param->UsageAndPage = Own.UsagePage != 0 ? Own : Default;
  Param->DeviceID = AHidData.DeviceID();
  Param->DeviceHandle = 0;
  return Param;
}

TCommandPacket NewPacket(uint8_t ACommand) {
  TCommandPacket Packet{};
  Packet.Signature = cPacketSignature;
  Packet.Command = ACommand;
  return Packet;
}

} // namespace

uint32_t CommandDataLength(const TCommandPacket& APacket) {
  switch (APacket.Command & 0x7F) {
  case 0:
    return APacket.Parameters[1];
  case 2:
  case 3:
  case 7:
  case 8:
    return Word(APacket.Parameters + 2);
  default:
    return 0;
  }
}

uint8_t ReportIdForLength(uint32_t ALength) {
  if (ALength <= 16) {
    return 2;
  }
  if (ALength <= 64) {
    return 3;
  }
  if (ALength <= 256) {
    return 4;
  }
  if (ALength <= 1024) {
    return 5;
  }
  if (ALength <= 2048) {
    return 6;
  }
  return 2;
}

uint32_t ReportSizeForId(uint8_t AReportId) {
  switch (AReportId) {
  case 3:
    return 64;
  case 4:
    return 256;
  case 5:
    return 1024;
  case 6:
    return 2048;
  default:
    return 16;
  }
}

void FormFeatureReport(const TCommandPacket& APacket, uint8_t AReportId, uint32_t AData,
                       hid::THidReallyData& AReport) {
  const uint32_t Size = ReportSizeForId(AReportId);
  // Never more data than the report class holds.
  const uint32_t Data = std::min<uint32_t>(AData, Size - cReportHeaderSize);
  std::memset(&AReport.ReportID, 0, Size);
  AReport.ReportID = AReportId;
  const auto* Packet = reinterpret_cast<const uint8_t*>(&APacket);
  std::memcpy(AReport.DATAReally, Packet + 3, 7);
  std::memcpy(AReport.DATAReally + 7, APacket.Data, Data);
  AReport.DATASIZE = Size;
}

uint32_t SendCommandPacket(hid::TuiHIDData& AHidData, const TCommandPacket& APacket) {
  const uint32_t Data = CommandDataLength(APacket);
  const uint8_t Id = ReportIdForLength(Data + cReportHeaderSize);
  const auto Param = NewParam(AHidData);
  FormFeatureReport(APacket, Id, Data, Param->Data);
  return AHidData.HidFindAndSetFeatureReport(*Param);
}

uint32_t QueryCommandPacket(hid::TuiHIDData& AHidData, TCommandPacket& APacket) {
  const auto Param = NewParam(AHidData);
  FormFeatureReport(APacket, 2, 0, Param->Data);
  if (const uint32_t Result = AHidData.HidFindAndSetFeatureReport(*Param)) {
    return Result;
  }
  const uint32_t Data = CommandDataLength(APacket);
  const uint8_t Id = ReportIdForLength(Data + cReportHeaderSize);
  FormFeatureReport(APacket, Id, Data, Param->Data);
  if (const uint32_t Result = AHidData.HidFindAndGetFeatureReport(*Param)) {
    return Result;
  }
  const uint32_t Size = ReportSizeForId(Id);
  auto* Packet = reinterpret_cast<uint8_t*>(&APacket);
  std::memcpy(Packet + 3, Param->Data.DATAReally, 7);
  Packet[10] = 0;
  std::memcpy(APacket.Data, Param->Data.DATAReally + 7, Size - cReportHeaderSize);
  return 0;
}

uint32_t ReadDeviceBlock(hid::TuiHIDData& AHidData, uint8_t* ABuffer, int64_t ALength,
                         int64_t AAddress) {
  const uint16_t Length = rtl::CheckWord(ALength);
  const uint16_t Address = rtl::CheckWord(AAddress);
  // A longer block cannot come back in one answer.
  if (Length > cMaxBlockLength) {
    throw rtl::ERangeError();
  }
  TCommandPacket Packet = NewPacket(cCommandBlockRead);
  PutWord(Packet.Parameters, Address);
  PutWord(Packet.Parameters + 2, Length);
  Packet.Parameters[4] = Packet.Parameters[5] = Packet.Parameters[6] = 0xFA;
  if (const uint32_t Result = QueryCommandPacket(AHidData, Packet)) {
    return Result;
  }
  std::memcpy(ABuffer, Packet.Data, Length);
  return 0;
}

uint32_t ReadBlock44(hid::TuiHIDData& AHidData, uint8_t* ABuffer, int64_t AAddress) {
  return ReadDeviceBlock(AHidData, ABuffer, cBlock44Length, AAddress);
}

void SendCommand11(hid::TuiHIDData& AHidData, uint8_t AValue) {
  TCommandPacket Packet = NewPacket(cCommandSwitch);
  Packet.Parameters[0] = AValue;
  SendCommandPacket(AHidData, Packet);
}

uint32_t ReadCurrentCpiIndex(hid::TuiHIDData& AHidData, int64_t ABlock, int32_t& AIndex) {
  // The block is checked before it is multiplied: an absurd block number must be a range
  // error, not an overflow that may wrap into a valid address.
  constexpr int64_t cLastBlock = (0xFFFF - cCurrentCpiBlockAddress) / cBlockStride;
  rtl::CheckIndex(ABlock, 0, cLastBlock);
  const uint16_t Address = rtl::CheckWord(ABlock * cBlockStride + cCurrentCpiBlockAddress);
  uint8_t Block[cBlock44Length] = {};
  const uint32_t Result = ReadBlock44(AHidData, Block, Address);
  if (Result == 0) {
    AIndex = Word(Block + 2);
  }
  return Result;
}

} // namespace device
