// The mouse answering the monitor's command packets with any bytes: block reads of any
// length and address, the current level read and the resolution table built from it, and
// queries of any command. The mouse is the simulated one with its firmware replaced by the
// input: each feature report the monitor fetches is a status byte (from 0xF0 up it refuses the
// transfer) and the report's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#include "Bench.h"
#include "FuzzInput.h"
#include "backend/sim/SimMouseFirmware.h"
#include "backend/sim/SimWorld.h"
#include "device/CommandPackets.h"
#include "device/CpiUnit.h"
#include "platform/SysError.h"
#include "profile/ProfileRecords.h"

namespace {

using platform::sim::TSimHidOp;

const std::string cMousePath = "\\\\?\\hid#vid_1234&pid_5678&mi_01#7&1&0000#{4d1e55b2}";
// The simulated driver and mouse record every transfer: a fresh world now and then keeps
// a long campaign's memory flat.
constexpr int cInputsPerWorld = 2000;

class TCommandBench {
public:
  TCommandBench() {
    FWorld.Hid.Plug(platform::sim::VirtualMouseInterface(cMousePath));
    FWorld.Hid.SetFirmware([this](const std::string&, TSimHidOp AOp, uint8_t* ABuffer,
                                  uint32_t ALength) { return Answer(AOp, ABuffer, ALength); });
    FHid = std::make_unique<hid::TuiHIDData>(
        nullptr, hid::THidServices{FWorld.Hid, FWorld.Desktop, FWorld.Desktop, FWorld.Files,
                                   FWorld.Environment, FDebug});
    FCommand = std::make_unique<device::TuiSTDCommand>(
        nullptr,
        device::TStdCommandServices{FWorld.Drivers, FWorld.Desktop, FWorld.Desktop, FWorld.Files,
                                    FWorld.Environment, FDebug, FWorld.Devices, FWorld.Services,
                                    FWorld.Shell, FWorld.System, FWorld.Clock});
  }

  void Run(fuzz::TFuzzInput& AInput) {
    FInput = &AInput;
    const device::TCpiTarget Target{*FHid, *FCommand, FWorld.Desktop, FWorld.Clock};
    while (!AInput.Empty()) {
      try {
        Operation(AInput, Target);
      } catch (const std::exception&) {
        // A range error for a block the monitor cannot ask for.
      }
    }
    FWorld.Hid.ClearTransfers();
    FInput = nullptr;
  }

private:
  void Operation(fuzz::TFuzzInput& AInput, const device::TCpiTarget& ATarget) {
    switch (AInput.Byte() % 4) {
    case 0: {
      const uint16_t Length = AInput.Word();
      const uint16_t Address = AInput.Word();
      // Exactly as long as asked: a read past it is a fault the sanitizer sees.
      auto Buffer = std::make_unique<uint8_t[]>(Length == 0 ? 1 : Length);
      device::ReadDeviceBlock(*FHid, Buffer.get(), Length, Address);
      break;
    }
    case 1: {
      int32_t Index = -1;
      device::ReadCurrentCpiIndex(*FHid, AInput.Byte(), Index);
      break;
    }
    case 2: {
      device::TCommandPacket Packet{};
      Packet.Signature = device::cPacketSignature;
      Packet.Command = AInput.Byte();
      for (uint8_t& Parameter : Packet.Parameters) {
        Parameter = AInput.Byte();
      }
      device::QueryCommandPacket(*FHid, Packet);
      break;
    }
    default: {
      int32_t Index = FCurrentIndex;
      device::ReadCurrentCpiFromDevice(ATarget, Index, *FProfile);
      FCurrentIndex = Index;
      device::BuildAndSendCpiUnit(ATarget, FUnit, FCurrentIndex, *FProfile);
      break;
    }
    }
  }

  uint32_t Answer(TSimHidOp AOp, uint8_t* ABuffer, uint32_t ALength) {
    if (FInput == nullptr) {
      return platform::SysError::Success;
    }
    const uint8_t Status = FInput->Byte();
    if (Status >= 0xF0) {
      return platform::SysError::DeviceNotConnected + (Status & 0x0F);
    }
    if (AOp == TSimHidOp::GetFeature) {
      const auto Bytes = FInput->Bytes(ALength);
      if (!Bytes.empty()) {
        std::memcpy(ABuffer, Bytes.data(), Bytes.size());
      }
      std::memset(ABuffer + Bytes.size(), 0, ALength - Bytes.size());
    }
    return platform::SysError::Success;
  }

  platform::sim::TSimWorld FWorld;
  platform::sim::TSimDialogs FDebug;
  std::unique_ptr<hid::TuiHIDData> FHid;
  std::unique_ptr<device::TuiSTDCommand> FCommand;
  fuzz::TFuzzInput* FInput = nullptr;
  std::unique_ptr<profile::TMouseProfileInfo> FProfile =
      std::make_unique<profile::TMouseProfileInfo>();
  device::CPI_UNIT FUnit{};
  int32_t FCurrentIndex = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  fuzz::TFuzzInput Input(AData, ASize);
  fuzz::Bench<TCommandBench>(cInputsPerWorld).Run(Input);
  return 0;
}
