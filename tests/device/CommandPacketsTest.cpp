#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "backend/sim/SimMouseFirmware.h"
#include "backend/sim/SimWorld.h"
#include "device/CommandPackets.h"
#include "device/CpiUnit.h"
#include "platform/SysError.h"
#include "rtl/Exceptions.h"
#include "support/Devices.h"

namespace {

using namespace device;
using platform::sim::TSimHidOp;

const std::string cMousePath = test::Devices::VendorCollection().Path;

std::vector<uint8_t> Bytes(std::initializer_list<int> AValues, std::size_t ASize) {
  std::vector<uint8_t> Result;
  for (int Value : AValues) {
    Result.push_back(static_cast<uint8_t>(Value));
  }
  Result.resize(ASize, 0);
  return Result;
}

class DeviceTest : public ::testing::Test {
protected:
  DeviceTest() {
    World.Hid.Plug(test::Devices::VendorCollection());
    Hid = std::make_unique<hid::TuiHIDData>(
        nullptr, hid::THidServices{World.Hid, World.Desktop, World.Desktop, World.Files,
                                   World.Environment, World.Dialogs});
    Command = std::make_unique<TuiSTDCommand>(nullptr, TStdCommandServices::Of(World.Platform()));
  }
  TCpiTarget Target() { return {*Hid, *Command, World.Desktop, World.Clock}; }
  CPI_UNIT SentUnit() {
    CPI_UNIT Unit{};
    const auto Sent = World.Drivers.LastCpiUnit();
    EXPECT_TRUE(Sent);
    if (Sent) {
      EXPECT_EQ(Sent->size(), 238u);
      std::memcpy(&Unit, Sent->data(), sizeof(Unit));
    }
    return Unit;
  }

  platform::sim::TSimWorld World;
  platform::sim::TSimMouseFirmware Firmware{World.Hid};
  std::unique_ptr<hid::TuiHIDData> Hid;
  std::unique_ptr<TuiSTDCommand> Command;
};

TEST_F(DeviceTest, ABlockReadAsksWithReport2AndIsAnsweredWithReport3) {
  Firmware.WriteMemory(64, {0x11, 0x22, 0x05, 0x00, 0x44});
  uint8_t Block[44] = {};
  ASSERT_EQ(ReadBlock44(*Hid, Block, 64), 0u);
  const auto Transfers = World.Hid.Transfers();
  ASSERT_EQ(Transfers.size(), 2u);
  EXPECT_EQ(Transfers[0].Op, TSimHidOp::SetFeature);
  EXPECT_EQ(Transfers[0].Bytes, Bytes({0x02, 0x08, 0x40, 0x00, 0x2C, 0x00, 0xFA, 0xFA}, 16));
  EXPECT_EQ(Transfers[1].Op, TSimHidOp::GetFeature);
  EXPECT_EQ(Transfers[1].Bytes.size(), 64u);
  EXPECT_EQ(Transfers[1].Bytes[0], 3);
  EXPECT_EQ(Block[0], 0x11);
  EXPECT_EQ(Block[2], 0x05);
  EXPECT_EQ(Block[4], 0x44);
  int32_t Level = -1;
  EXPECT_EQ(ReadCurrentCpiIndex(*Hid, 0, Level), 0u);
  EXPECT_EQ(Level, 5);
}

TEST_F(DeviceTest, TheSwitchCommandIsOneShortReport) {
  SendCommand11(*Hid, 1);
  ASSERT_EQ(World.Hid.Transfers().size(), 1u);
  EXPECT_EQ(World.Hid.Transfers()[0].Bytes, Bytes({0x02, 0x0B, 0x01}, 16));
  EXPECT_EQ(Firmware.SwitchValues(), std::vector<uint8_t>{1});
}

TEST(CommandPackets, ReportClassesAtTheirBoundaries) {
  const std::pair<uint32_t, uint8_t> Cases[] = {{8, 2},    {9, 3},    {56, 3},   {57, 4},
                                                {248, 4},  {249, 5},  {1016, 5}, {1017, 6},
                                                {2040, 6}, {2041, 2}, {0, 2}};
  for (const auto& [Data, Id] : Cases) {
    EXPECT_EQ(ReportIdForLength(Data + 8), Id) << Data;
  }
  EXPECT_EQ(ReportSizeForId(2), 16u);
  EXPECT_EQ(ReportSizeForId(3), 64u);
  EXPECT_EQ(ReportSizeForId(6), 2048u);
  EXPECT_EQ(ReportSizeForId(7), 16u);
  EXPECT_EQ(ReportSizeForId(1), 16u);

  TCommandPacket Packet{};
  Packet.Command = 0x88; // bit 7 is ignored
  Packet.Parameters[2] = 0x34;
  Packet.Parameters[3] = 0x12;
  EXPECT_EQ(CommandDataLength(Packet), 0x1234u);
  Packet.Command = 0;
  Packet.Parameters[1] = 9;
  EXPECT_EQ(CommandDataLength(Packet), 9u);
  Packet.Command = 11;
  EXPECT_EQ(CommandDataLength(Packet), 0u);
  Packet.Command = 12;
  EXPECT_EQ(CommandDataLength(Packet), 0u);
}

TEST(CommandPackets, AReportCarriesTheCommandSixParametersAndTheData) {
  TCommandPacket Packet{};
  Packet.Signature = cPacketSignature;
  Packet.Command = 3;
  for (uint8_t I = 0; I < 7; ++I) {
    Packet.Parameters[I] = static_cast<uint8_t>(0x10 + I);
  }
  Packet.Data[0] = 0xAA;
  Packet.Data[8] = 0xBB;
  auto Report = std::make_unique<hid::THidReallyData>();
  std::memset(Report.get(), 0xEE, sizeof(hid::THidReallyData));
  FormFeatureReport(Packet, 3, 9, *Report);
  EXPECT_EQ(Report->DATASIZE, 64u);
  const auto* Raw = &Report->ReportID;
  EXPECT_EQ(std::vector<uint8_t>(Raw, Raw + 18),
            (std::vector<uint8_t>{3, 3, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xAA, 0, 0, 0, 0, 0, 0,
                                  0, 0xBB, 0}));
  EXPECT_EQ(Raw[63], 0);
  EXPECT_EQ(Raw[64], 0xEE); // nothing past the report's size
}

TEST_F(DeviceTest, FailedReadsLeaveTheLevelAndOversizedRequestsAreRangeErrors) {
  World.Hid.RefuseTransfers(platform::SysError::InvalidParameter);
  int32_t Level = 4;
  EXPECT_EQ(ReadCurrentCpiIndex(*Hid, 0, Level), platform::SysError::InvalidParameter);
  EXPECT_EQ(Level, 4);
  uint8_t Buffer[8] = {};
  EXPECT_THROW(ReadDeviceBlock(*Hid, Buffer, 65536, 0), rtl::ERangeError);
  EXPECT_THROW(ReadDeviceBlock(*Hid, Buffer, 2041, 0), rtl::ERangeError);
  EXPECT_THROW(ReadDeviceBlock(*Hid, Buffer, 8, 65536), rtl::ERangeError);
  World.Hid.ClearTransfers();
  EXPECT_THROW(ReadCurrentCpiIndex(*Hid, 315, Level), rtl::ERangeError);
  EXPECT_THROW(ReadCurrentCpiIndex(*Hid, -1, Level), rtl::ERangeError);
  // Block numbers whose address would wrap around 64 bits are out of range too; 2^60 * 208
  // is a multiple of 2^64 and would wrap to block 0's address.
  EXPECT_THROW(ReadCurrentCpiIndex(*Hid, int64_t{1} << 60, Level), rtl::ERangeError);
  EXPECT_THROW(ReadCurrentCpiIndex(*Hid, INT64_MAX, Level), rtl::ERangeError);
  EXPECT_THROW(ReadCurrentCpiIndex(*Hid, INT64_MIN, Level), rtl::ERangeError);
  EXPECT_TRUE(World.Hid.Transfers().empty());
  // No device at all: the transfer reports it, the level stays.
  World.Hid.RefuseTransfers(0);
  World.Hid.Unplug(cMousePath);
  EXPECT_EQ(ReadCurrentCpiIndex(*Hid, 0, Level), platform::SysError::DeviceNotConnected);
  EXPECT_EQ(Level, 4);
}

TEST(Cpi, SnappingToTheHardwareSteps) {
  const std::pair<uint32_t, uint32_t> Cases[] = {
      {0, 250},     {250, 250},   {1100, 1000}, {1125, 1000},  {1126, 1250}, {1130, 1250},
      {1600, 1500}, {3999, 4000}, {8200, 4000}, {65535, 4000}, {375, 250},   {376, 500}};
  for (const auto& [Value, Step] : Cases) {
    EXPECT_EQ(SnapToHardwareCpi(Value), Step) << Value;
  }
  EXPECT_EQ(NearerOf(1000, 1250, 1125), 1000u);
  EXPECT_EQ(HardwareCpiSteps.size(), 16u);
  EXPECT_EQ(HardwareCpiSteps[15], 4000u);
}

TEST(Cpi, RatesArePercentOfTheHardwareStep) {
  CPI_UNIT Unit{};
  Unit.STCpi[0] = {1, 8200, 8200};
  Unit.HWCpi[0] = {1, 4000, 4000};
  Unit.STCpi[1] = {1, 800, 1600};
  Unit.HWCpi[1] = {1, 1500, 1500};
  Unit.STCpi[2] = {0, 0, 0};
  Unit.HWCpi[2] = {0, 250, 250};
  Unit.STCpi[3] = {1, 65535, 65535};
  Unit.HWCpi[3] = {1, 4000, 4000};
  Unit.STCpi[4] = {1, 500, 500};
  Unit.HWCpi[4] = {1, 0, 500};
  ComputeCpiRates(Unit);
  EXPECT_EQ(+Unit.XYCpiRate[0].X, 205);
  EXPECT_EQ(+Unit.XYCpiRate[1].X, 53);
  EXPECT_EQ(+Unit.XYCpiRate[1].Y, 106);
  EXPECT_EQ(+Unit.XYCpiRate[2].X, 0);
  EXPECT_EQ(+Unit.XYCpiRate[3].X, 1638);
  EXPECT_EQ(+Unit.XYCpiRate[4].Y, 0);
}

TEST_F(DeviceTest, TheUnitIsBuiltFromTheProfileAndSentByteForByte) {
  auto Profile = std::make_unique<profile::TMouseProfileInfo>();
  const uint16_t Levels[5][3] = {
      {1000, 1000, 1}, {1125, 1126, 1}, {0, 0, 0}, {8200, 800, 1}, {65535, 1, 1}};
  for (int I = 0; I < 5; ++I) {
    Profile->ConfigInfo.CPIState[I] = {Levels[I][0], Levels[I][1], Levels[I][2], {}};
  }
  Profile->ConfigInfo.CPIState[5] = {3000, 3000, 1, {}}; // never sent
  CPI_UNIT Unit{};
  BuildAndSendCpiUnit(Target(), Unit, 3, *Profile);
  const auto Sent = World.Drivers.LastCpiUnit();
  ASSERT_TRUE(Sent);
  const std::vector<uint8_t> Head(Sent->begin(), Sent->begin() + 18);
  EXPECT_EQ(Head,
            (std::vector<uint8_t>{0x5C, 0x3A, 1, 0, 8, 0, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 3, 0}));
  // Level 0 of HWCpi: enabled, 1000, 1000.
  EXPECT_EQ(std::vector<uint8_t>(Sent->begin() + 18, Sent->begin() + 27),
            (std::vector<uint8_t>{1, 0xE8, 0x03, 0, 0, 0xE8, 0x03, 0, 0}));
  const CPI_UNIT Decoded = SentUnit();
  EXPECT_EQ(+Decoded.HWCpi[1].X, 1250u); // the larger of 1125 and 1126
  EXPECT_EQ(+Decoded.STCpi[1].Y, 1126u);
  EXPECT_EQ(+Decoded.HWCpi[2].X, 250u);
  EXPECT_EQ(+Decoded.HWCpi[2].Enabled, 0);
  EXPECT_EQ(+Decoded.XYCpiRate[2].X, 0);
  EXPECT_EQ(+Decoded.XYCpiRate[3].X, 205);
  EXPECT_EQ(+Decoded.XYCpiRate[3].Y, 20);
  EXPECT_EQ(+Decoded.XYCpiRate[4].X, 1638);
  for (int Level = 5; Level < 10; ++Level) {
    EXPECT_EQ(+Decoded.HWCpi[Level].X | Decoded.STCpi[Level].X | Decoded.HWCpi[Level].Enabled, 0u);
    EXPECT_EQ(+Decoded.XYCpiRate[Level].X, 0);
  }
  // The copy sent is the driver's; the caller's unit keeps what was built.
  EXPECT_EQ(+Unit.CurrentCpi, 3);

  for (int32_t Index : {11, -1}) {
    BuildAndSendCpiUnit(Target(), Unit, Index, *Profile);
    EXPECT_EQ(+SentUnit().CurrentCpi, 0) << Index;
  }
  BuildAndSendCpiUnit(Target(), Unit, 10, *Profile);
  EXPECT_EQ(+SentUnit().CurrentCpi, 10);
}

TEST_F(DeviceTest, TheReleaseCarriesTheLevelReportedSinceTheBuild) {
  auto Profile = std::make_unique<profile::TMouseProfileInfo>();
  CPI_UNIT Unit{};
  BuildAndSendCpiUnit(Target(), Unit, 1, *Profile);
  Unit.CurrentCpi = 3; // a level change the device reported
  SendCpiRelease(Target(), Unit);
  const CPI_UNIT Released = SentUnit();
  EXPECT_EQ(+Released.NeedApplyNewCPI, 0);
  EXPECT_EQ(+Released.CurrentCpi, 3);
  EXPECT_EQ(+Released.password, 0x3A5C);
  SetCurrentCpi(*Command, 3);
  EXPECT_EQ(World.Drivers.LastCurrentCpi(), 3);
  const auto Controls = World.Drivers.Controls();
  EXPECT_EQ(Controls.back().Code, test::Devices::cSetCurrentCpiCode);
  EXPECT_EQ(Controls.back().Bytes, (std::vector<uint8_t>{3, 0}));
}

TEST_F(DeviceTest, TheCurrentLevelIsReadBetweenTheTwoSwitchCommands) {
  auto Profile = std::make_unique<profile::TMouseProfileInfo>();
  Firmware.InjectStatus(cMousePath, 2, 3);
  int32_t Level = 0;
  ReadCurrentCpiFromDevice(Target(), Level, *Profile);
  EXPECT_EQ(Level, 3);
  EXPECT_EQ(Profile->ConfigInfo.CurrentCPIIndex, 3);
  EXPECT_EQ(Firmware.SwitchValues(), (std::vector<uint8_t>{0, 1}));

  // A failed read keeps the earlier level, copies it all the same and still closes.
  World.Hid.RefuseTransfers(platform::SysError::InvalidParameter);
  Firmware.SetCurrentLevel(1);
  Profile->ConfigInfo.CurrentCPIIndex = 9;
  ReadCurrentCpiFromDevice(Target(), Level, *Profile);
  EXPECT_EQ(Level, 3);
  EXPECT_EQ(Profile->ConfigInfo.CurrentCPIIndex, 3);
  const auto Transfers = World.Hid.Transfers();
  EXPECT_EQ(Transfers.back().Bytes, Bytes({0x02, 0x0B, 0x01}, 16));
}

TEST_F(DeviceTest, WithoutTheDriverNothingIsSent) {
  World.Drivers.SetPresent(false);
  uint8_t Buffer[2] = {1, 0};
  EXPECT_EQ(Command->DeviceRW(Buffer, 2, IOCTL_SET_CURRENT_CPI), 21u);
  EXPECT_FALSE(Command->IsDeviceExist());
  CPI_UNIT Unit{};
  EXPECT_EQ(SendCpiUnit(*Command, Unit), 21u);
  EXPECT_TRUE(World.Drivers.Controls().empty());
}

} // namespace
