#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

#include "backend/sim/SimWorld.h"
#include "hid/uiHIDData.h"
#include "platform/SysError.h"
#include "support/Devices.h"
#include "support/TestPlatform.h"
#include "support/Wait.h"

namespace {

using namespace hid;
using platform::sim::TSimHidInterface;
using platform::sim::TSimHidOp;

using test::Devices::VendorCollection;

// The mouse's vendor collection, and a second one.
const std::string cMousePath = VendorCollection(1).Path;
const std::string cMouseId = test::Devices::VendorId(1);
const std::string cOtherPath = VendorCollection(2).Path;
const std::string cOtherId = test::Devices::VendorId(2);

class HidTest : public ::testing::Test {
protected:
  void SetUp() override { World.Hid.Plug(VendorCollection(1)); }

  void WriteConfig(const std::string& AText) { test::WriteConfig(World, AText); }
  std::unique_ptr<TuiHIDData> MakeHid() {
    return std::make_unique<TuiHIDData>(nullptr, THidServices{World.Hid, World.Desktop,
                                                              World.Desktop, World.Files,
                                                              World.Environment, World.Dialogs});
  }
  static THIDDataParam Param(const std::string& ADeviceID, uint32_t ASize) {
    THIDDataParam Param;
    Param.UsageAndPage = cVendorUsageAndPage;
    Param.DeviceID = ADeviceID;
    Param.Data.ReportID = 2;
    Param.Data.DATASIZE = ASize;
    for (uint32_t I = 0; I < 64; ++I) {
      Param.Data.DATAReally[I] = static_cast<uint8_t>(0xA0 + I);
    }
    return Param;
  }
  // Serves hand-overs until the condition holds (or a generous real-time limit passes).
  bool PumpUntil(const std::function<bool()>& ACondition) {
    return test::WaitUntil(ACondition, test::cWaitBound, [&] { World.Desktop.WaitAndProcess(2); });
  }
  // Waits until the readers of the interface are waiting in a read.
  bool ReadersWaiting(const std::string& APath, int ACount) {
    return PumpUntil([&] { return World.Hid.WaitingReads(APath) >= ACount; });
  }
  // Readers on every vendor interface that count their deliveries, waiting on the mouse.
  std::unique_ptr<TuiHIDData> CountingReaders(int& ADelivered) {
    auto Hid = MakeHid();
    Hid->SetOnData([&ADelivered](const std::string&, const std::string&, uint8_t, const void*,
                                 uint16_t) { ++ADelivered; });
    Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
    EXPECT_TRUE(ReadersWaiting(cMousePath, 1));
    return Hid;
  }

  platform::sim::TSimWorld World;
};

TEST_F(HidTest, AnEmptyListAcceptsEveryInterfaceWithTheUsage) {
  auto Hid = MakeHid();
  EXPECT_TRUE(Hid->GetHIDDeviceList().empty());
  EXPECT_TRUE(Hid->IsDeviceExist(Param("", 0)));
  EXPECT_TRUE(Hid->IsDeviceExist(Param("*", 0)));
  EXPECT_TRUE(Hid->IsDeviceExist(Param(cMouseId, 0)));
  EXPECT_FALSE(Hid->IsDeviceExist(Param("HID\\VID_9999&PID_0001", 0)));
  THIDDataParam Keyboard = Param("", 0);
  Keyboard.UsageAndPage = {0x0006, 0x0001};
  EXPECT_FALSE(Hid->IsDeviceExist(Keyboard));
  EXPECT_EQ(Hid->HidGuid(), platform::cHidInterfaceClass);
}

TEST_F(HidTest, ListedIdentifiersMatchWholeAndWithoutRegardToCase) {
  WriteConfig(
      "[IncludeHIDDeviceList]\nid1=hid\\vid_1234&pid_5678&rev_0100&mi_01\nid2=HID\\VID_1234\n");
  auto Hid = MakeHid();
  ASSERT_EQ(Hid->GetHIDDeviceList().size(), 2u);
  EXPECT_TRUE(Hid->IsDeviceExist(Param("", 0)));
  EXPECT_TRUE(Hid->IsDeviceExist(Param("*", 0)));
  // A prefix names nothing.
  EXPECT_FALSE(Hid->IsDeviceExist(Param("HID\\VID_1234", 0)));

  WriteConfig("[IncludeHIDDeviceList]\nid1=HID\\VID_1234\n");
  auto PrefixOnly = MakeHid();
  EXPECT_FALSE(PrefixOnly->IsDeviceExist(Param("", 0)));
  EXPECT_FALSE(PrefixOnly->IsDeviceExist(Param("*", 0)));
}

TEST_F(HidTest, ListedInterfacesAreServedInEnumerationOrder) {
  World.Hid.Plug(VendorCollection(2));
  WriteConfig("[IncludeHIDDeviceList]\nid1=" + cOtherId + "\nid2=" + cMouseId + "\n");
  auto Hid = MakeHid();
  THIDDataParam Set = Param("*", 8);
  EXPECT_EQ(Hid->HidFindAndSetFeatureReport(Set), 0u);
  EXPECT_NE(Set.DeviceHandle, 0u);
  const auto Transfers = World.Hid.Transfers();
  ASSERT_EQ(Transfers.size(), 2u);
  EXPECT_EQ(Transfers[0].Path, cMousePath);
  EXPECT_EQ(Transfers[1].Path, cOtherPath);
  EXPECT_EQ(Transfers[0].Bytes,
            (std::vector<uint8_t>{2, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));

  // Naming one identifier serves that interface alone.
  World.Hid.ClearTransfers();
  THIDDataParam Named = Param(cOtherId, 8);
  EXPECT_EQ(Hid->HidFindAndSetFeatureReport(Named), 0u);
  ASSERT_EQ(World.Hid.Transfers().size(), 1u);
  EXPECT_EQ(World.Hid.Transfers()[0].Path, cOtherPath);
}

TEST_F(HidTest, TransfersSkipShortCollectionsAndReportRefusals) {
  auto Hid = MakeHid();
  World.Hid.SetFirmware([](const std::string&, TSimHidOp AOp, uint8_t* ABuffer, uint32_t ALength) {
    if (AOp == TSimHidOp::GetFeature) {
      for (uint32_t I = 1; I < ALength; ++I) {
        ABuffer[I] = static_cast<uint8_t>(I);
      }
    }
    return 0u;
  });
  const uint32_t Whole = VendorCollection().Caps.FeatureReportByteLength;
  THIDDataParam Get = Param("", Whole);
  EXPECT_EQ(Hid->HidFindAndGetFeatureReport(Get), 0u);
  EXPECT_EQ(Get.Data.ReportID, 2);
  EXPECT_EQ(Get.Data.DATAReally[0], 1);
  EXPECT_EQ(Get.Data.DATAReally[Whole - 2], static_cast<uint8_t>(Whole - 1));
  EXPECT_EQ(Get.Data.DATAReally[Whole - 1], 0); // beyond DATASIZE: untouched

  // Longer than the feature report: the interface is skipped, nothing is served.
  THIDDataParam TooLong = Param("", Whole + 1);
  EXPECT_EQ(Hid->HidFindAndGetFeatureReport(TooLong), platform::SysError::DeviceNotConnected);
  EXPECT_EQ(TooLong.Data.DATAReally[0], 0xA0);
  EXPECT_EQ(Hid->HidFindAndSetFeatureReport(TooLong), platform::SysError::DeviceNotConnected);

  World.Hid.RefuseTransfers(platform::SysError::InvalidParameter);
  THIDDataParam Refused = Param("", 8);
  EXPECT_EQ(Hid->HidFindAndGetFeatureReport(Refused), platform::SysError::InvalidParameter);
  EXPECT_EQ(Refused.Data.DATAReally[0], 0xA0);
  EXPECT_EQ(Hid->HidFindAndSetFeatureReport(Refused), platform::SysError::InvalidParameter);
  EXPECT_FALSE(Hid->HidFindAndWriteDevice(Refused));
}

TEST_F(HidTest, WritesSendIdentifierAndPayload) {
  WriteConfig("[IncludeHIDDeviceList]\nid1=HID\\VID_AAAA&PID_0001\n");
  auto Hid = MakeHid();
  // The listed device is absent: the write by identifiers reaches nothing ...
  EXPECT_FALSE(Hid->HidFindAndWriteDevice(Param("", 7)));
  // ... the write by usage reaches the unlisted interface, with DATASIZE bytes.
  EXPECT_TRUE(Hid->HidFindAndWriteDeviceBYHID(Param("", 7)));
  EXPECT_TRUE(Hid->HidFindAndWriteDevice(Param(cMouseId, 7)));
  const auto Transfers = World.Hid.Transfers();
  ASSERT_EQ(Transfers.size(), 2u);
  EXPECT_EQ(Transfers[0].Bytes.size(), 7u);
  EXPECT_EQ(Transfers[1].Bytes.size(), 8u);
  EXPECT_EQ(Transfers[1].Op, TSimHidOp::Write);
  EXPECT_FALSE(Hid->HidFindAndWriteDevice(Param(cMouseId, 9))); // output report too short
}

TEST_F(HidTest, ReadersDeliverReportsOnTheMainThread) {
  auto Hid = MakeHid();
  std::vector<std::vector<uint8_t>> Reports;
  std::vector<std::string> Sources;
  std::thread::id DeliveryThread;
  Hid->SetOnData([&](const std::string& AId, const std::string& APath, uint8_t AReportID,
                     const void* AData, uint16_t ASize) {
    DeliveryThread = std::this_thread::get_id();
    std::vector<uint8_t> Report{AReportID};
    const auto* Bytes = static_cast<const uint8_t*>(AData);
    Report.insert(Report.end(), Bytes, Bytes + ASize);
    Reports.push_back(Report);
    Sources.push_back(AId + "|" + APath);
  });
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  World.Hid.InjectInputReport(cMousePath, {8, 1, 2, 3, 4, 5, 6, 7});
  // The class driver hands over whole reports: a short one arrives padded with zeros.
  World.Hid.InjectInputReport(cMousePath, {7, 0x10});
  // Device paths name the same interface whatever their case.
  std::string UpperPath = cMousePath;
  std::transform(UpperPath.begin(), UpperPath.end(), UpperPath.begin(), ::toupper);
  World.Hid.InjectInputReport(UpperPath, {8, 9});
  ASSERT_TRUE(PumpUntil([&] { return Reports.size() >= 3; }));
  EXPECT_EQ(Reports[0], (std::vector<uint8_t>{8, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Reports[1], (std::vector<uint8_t>{7, 0x10, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Reports[2], (std::vector<uint8_t>{8, 9, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Sources[0], cMouseId + "|" + cMousePath);
  EXPECT_EQ(DeliveryThread, std::this_thread::get_id());
  const auto Lines = World.Dialogs.DebugLines();
  EXPECT_EQ(std::count(Lines.begin(), Lines.end(), "TuiHidDeviceReadThread start ++++++++++++++++"),
            1);
  Hid->HidStopRead();
  EXPECT_EQ(Reports.size(), 3u);
  EXPECT_FALSE(DeviceStopEvent().IsSet());
}

TEST_F(HidTest, TwoReadersOnOneInterfaceDeliverTwice) {
  auto Hid = MakeHid();
  int Delivered = 0;
  Hid->SetOnData(
      [&](const std::string&, const std::string&, uint8_t, const void*, uint16_t) { ++Delivered; });
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "*");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 2));
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return Delivered == 2; }));
  EXPECT_EQ(Hid->RunningReaders(), 2);
  Hid->HidStopRead();
  EXPECT_EQ(Hid->RunningReaders(), 0);
  EXPECT_EQ(World.Hid.OpenHandles(cMousePath), 0);
}

TEST_F(HidTest, ReadingSelectsEveryInterfaceWhenTheListIsEmpty) {
  World.Hid.Plug(VendorCollection(2));
  auto Hid = MakeHid();
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, cOtherId);
  EXPECT_EQ(Hid->RunningReaders(), 2);
  // Transfers with the same identifier serve the named interface only.
  THIDDataParam Set = Param(cOtherId, 8);
  Hid->HidFindAndSetFeatureReport(Set);
  ASSERT_EQ(World.Hid.Transfers().size(), 1u);
  Hid->HidStopRead();

  WriteConfig("[IncludeHIDDeviceList]\nid1=" + cMouseId + "\n");
  auto Listed = MakeHid();
  Listed->HidFindAndReadDevice(cVendorUsageAndPage, "*");
  EXPECT_EQ(Listed->RunningReaders(), 1);
  Listed->HidFindAndReadDevice(cVendorUsageAndPage, cOtherId);
  EXPECT_EQ(Listed->RunningReaders(), 2);
  Listed->HidFindAndReadDevice(cVendorUsageAndPage, "");
  EXPECT_EQ(Listed->RunningReaders(), 2);
}

TEST_F(HidTest, UnpluggingEndsTheReaderWithOneNotification) {
  auto Hid = MakeHid();
  std::atomic<int> Lost{0};
  std::atomic<int> Data{0};
  std::thread::id LossThread;
  Hid->SetOnData(
      [&](const std::string&, const std::string&, uint8_t, const void*, uint16_t) { ++Data; });
  Hid->SetOnDeviceNotConnected([&](const std::string& AId, const std::string& APath) {
    LossThread = std::this_thread::get_id();
    EXPECT_EQ(AId, cMouseId);
    EXPECT_EQ(APath, cMousePath);
    ++Lost;
  });
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  World.Hid.Unplug(cMousePath);
  ASSERT_TRUE(PumpUntil([&] { return Hid->RunningReaders() == 0; }));
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  World.Desktop.WaitAndProcess(5);
  EXPECT_EQ(Lost, 1);
  EXPECT_EQ(Data, 0);
  EXPECT_NE(LossThread, std::this_thread::get_id());
  const auto Lines = World.Dialogs.DebugLines();
  EXPECT_NE(std::find(Lines.begin(), Lines.end(), "ERROR_DEVICE_NOT_CONNECTED++++++++++++++++"),
            Lines.end());
  // The finished reader is reclaimed by the next start; nothing is left running.
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  EXPECT_EQ(Hid->RunningReaders(), 0);
}

TEST_F(HidTest, AReadThatFailsAsItStartsEndsTheReaderQuietly) {
  auto Hid = MakeHid();
  std::atomic<int> Lost{0};
  int Data = 0;
  Hid->SetOnDeviceNotConnected([&](const std::string&, const std::string&) { ++Lost; });
  // The device goes while its reader is in a delivery: no read is outstanding, so the next
  // one fails as it starts.
  Hid->SetOnData([&](const std::string&, const std::string&, uint8_t, const void*, uint16_t) {
    ++Data;
    World.Hid.Unplug(cMousePath);
  });
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return Hid->RunningReaders() == 0; }));
  EXPECT_EQ(Data, 1);
  EXPECT_EQ(Lost, 0);
  const auto Lines = World.Dialogs.DebugLines();
  EXPECT_EQ(std::find(Lines.begin(), Lines.end(), "ERROR_DEVICE_NOT_CONNECTED++++++++++++++++"),
            Lines.end());

  // The read service tells the two cases apart: a buffer shorter than the report, or a
  // removed device, fails as the read starts.
  World.Hid.Plug(VendorCollection(2));
  uint32_t Error = 0;
  auto Device = World.Hid.Open(cOtherPath, true, Error);
  ASSERT_TRUE(Device);
  uint8_t Buffer[8] = {};
  rtl::TManualResetEvent Stop;
  platform::THidReadResult Short = Device->ReadReport(Buffer, 7, Stop);
  EXPECT_TRUE(Short.StartFailed);
  EXPECT_EQ(Short.Error, platform::SysError::InvalidUserBuffer);
  World.Hid.Unplug(cOtherPath);
  platform::THidReadResult Gone = Device->ReadReport(Buffer, 8, Stop);
  EXPECT_TRUE(Gone.StartFailed);
  EXPECT_EQ(Gone.Error, platform::SysError::DeviceNotConnected);
}

TEST_F(HidTest, ReadingRestartedWithoutAStopKeepsTheRunningReaders) {
  World.Hid.Plug(VendorCollection(2));
  auto Hid = MakeHid();
  std::atomic<int> Delivered{0};
  Hid->SetOnData(
      [&](const std::string&, const std::string&, uint8_t, const void*, uint16_t) { ++Delivered; });
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  ASSERT_TRUE(ReadersWaiting(cOtherPath, 1));
  // The first reader ends with its device; the one behind it goes on reading.
  World.Hid.Unplug(cMousePath);
  ASSERT_TRUE(PumpUntil([&] { return Hid->RunningReaders() == 1; }));
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  EXPECT_EQ(Hid->RunningReaders(), 2);
  ASSERT_TRUE(ReadersWaiting(cOtherPath, 2));
  World.Hid.InjectInputReport(cOtherPath, {8, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return Delivered == 2; }));
  Hid->HidStopRead();
  EXPECT_EQ(Hid->RunningReaders(), 0);
  EXPECT_EQ(World.Hid.OpenHandles(cOtherPath), 0);
}

TEST_F(HidTest, HandlerExceptionsAreDroppedAndTheReaderReadsOn) {
  auto Hid = MakeHid();
  std::atomic<int> Calls{0};
  const auto Throwing = [&](const std::string&, const std::string&, uint8_t, const void*,
                            uint16_t) {
    if (++Calls % 2 == 1) {
      throw std::runtime_error("bad report");
    }
  };
  const auto ExceptionLines = [&] {
    const auto Lines = World.Dialogs.DebugLines();
    return std::count(Lines.begin(), Lines.end(), "TuiHidDeviceReadThread: bad report");
  };
  // On the main thread, through the hand-over ...
  Hid->SetOnData(Throwing);
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return Calls == 2; }));
  EXPECT_EQ(ExceptionLines(), 1);
  // ... and on the reader itself.
  Hid->SetFastOnData(true);
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return Calls == 4; }));
  EXPECT_EQ(ExceptionLines(), 2);
  EXPECT_EQ(Hid->RunningReaders(), 1);
  // A failing loss handler ends its reader, as the loss does, and nothing more.
  Hid->SetOnDeviceNotConnected(
      [](const std::string&, const std::string&) { throw std::runtime_error("bad report"); });
  World.Hid.Unplug(cMousePath);
  ASSERT_TRUE(PumpUntil([&] { return Hid->RunningReaders() == 0; }));
  EXPECT_TRUE(PumpUntil([&] { return ExceptionLines() == 3; }));
  Hid->HidStopRead();
}

// A hundred rounds of each race the monitor meets over days: the mouse unplugged while a
// report is on its way, a stop while reports are being delivered, handlers that throw, and
// reading started again without a stop. No crash, no hang, no handle or reader left (the
// sanitizer lanes add: no leak, no bad access).
TEST_F(HidTest, HundredRoundsOfEachRaceLeaveNothingBehind) {
  constexpr int cRounds = 100;
  const std::vector<uint8_t> Report = {8, 6, 1, 0, 0, 0, 0, 0};
  auto Hid = MakeHid();
  std::atomic<int> Delivered{0};
  std::atomic<bool> Throw{false};
  Hid->SetOnData([&](const std::string&, const std::string&, uint8_t, const void*, uint16_t) {
    ++Delivered;
    if (Throw) {
      throw std::runtime_error("bad report");
    }
  });
  for (int Round = 0; Round < cRounds; ++Round) {
    // Unplugged while a report is on its way to the main thread.
    Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
    ASSERT_TRUE(ReadersWaiting(cMousePath, 1)) << Round;
    World.Hid.InjectInputReport(cMousePath, Report);
    World.Hid.Unplug(cMousePath);
    ASSERT_TRUE(PumpUntil([&] { return Hid->RunningReaders() == 0; })) << Round;
    World.Hid.Plug(VendorCollection(1));

    // Stopped while another thread keeps the reports coming; handlers that throw on odd
    // rounds; reading started again without a stop first.
    Throw = Round % 2 == 1;
    Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
    ASSERT_TRUE(ReadersWaiting(cMousePath, 1)) << Round;
    Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
    std::atomic<bool> Sending{true};
    std::thread Sender([&] {
      while (Sending) {
        World.Hid.InjectInputReport(cMousePath, Report);
        std::this_thread::yield();
      }
    });
    const int Before = Delivered;
    EXPECT_TRUE(PumpUntil([&] { return Delivered > Before; })) << Round;
    Hid->HidStopRead();
    Sending = false;
    Sender.join();
    ASSERT_EQ(Hid->RunningReaders(), 0) << Round;
    ASSERT_EQ(World.Hid.OpenHandles(cMousePath), 0) << Round;
  }
  // The positive control: after all of it a report still arrives.
  Throw = false;
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  const int Before = Delivered;
  World.Hid.InjectInputReport(cMousePath, Report);
  EXPECT_TRUE(PumpUntil([&] { return Delivered == Before + 1; }));
  Hid->HidStopRead();
}

TEST_F(HidTest, StoppingFromInsideADeliveryNeverWaitsForThatDelivery) {
  World.Hid.Plug(VendorCollection(2));
  auto Hid = MakeHid();
  std::atomic<int> Delivered{0};
  std::atomic<int> Stopped{0};
  const auto StopInside = [&](const std::string&, const std::string& APath, uint8_t, const void*,
                              uint16_t) {
    ++Delivered;
    if (APath == cMousePath) {
      Hid->HidStopRead();
      ++Stopped;
    }
  };
  // From a handler on the main thread, from a handler on the reader, and from work that a
  // handler on the reader hands to the main thread.
  for (int Way = 0; Way < 3; ++Way) {
    SCOPED_TRACE(Way);
    Delivered = 0;
    Stopped = 0;
    Hid->SetFastOnData(Way != 0);
    if (Way == 2) {
      Hid->SetOnData([&](const std::string& AId, const std::string& APath, uint8_t AReportID,
                         const void* AData, uint16_t ASize) {
        World.Desktop.Synchronize([&] { StopInside(AId, APath, AReportID, AData, ASize); });
      });
    } else {
      Hid->SetOnData(StopInside);
    }
    Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
    ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
    ASSERT_TRUE(ReadersWaiting(cOtherPath, 1));
    World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(PumpUntil([&] { return Stopped == 1; }));
    // Every reader ends: the one that delivered once its handler has returned.
    ASSERT_TRUE(PumpUntil([&] { return Hid->RunningReaders() == 0; }));
    World.Hid.InjectInputReport(cOtherPath, {8, 0, 0, 0, 0, 0, 0, 0});
    World.Desktop.WaitAndProcess(5);
    EXPECT_EQ(Delivered, 1);
    Hid->HidStopRead();
    EXPECT_EQ(World.Hid.OpenHandles(cMousePath), 0);
    EXPECT_EQ(World.Hid.OpenHandles(cOtherPath), 0);
  }
}

TEST_F(HidTest, StoppingEndsReadersThatAreHandingOverReports) {
  World.Hid.Plug(VendorCollection(2));
  int Delivered = 0;
  auto Hid = CountingReaders(Delivered);
  ASSERT_TRUE(ReadersWaiting(cOtherPath, 1));
  // Both readers take a report and wait for the main thread, which is not serving yet.
  World.Hid.InjectInputReport(cMousePath, {8, 1, 0, 0, 0, 0, 0, 0});
  World.Hid.InjectInputReport(cOtherPath, {8, 2, 0, 0, 0, 0, 0, 0});
  // Both wait in their hand-overs (a reader that has only left its read may still see the
  // stop first and drop its report, as the reading loop does).
  test::WaitUntil([&] { return World.Desktop.PendingHandOvers() == 2; }, std::chrono::seconds(5));
  Hid->HidStopRead();
  EXPECT_EQ(Hid->RunningReaders(), 0);
  EXPECT_EQ(Delivered, 2);
  EXPECT_EQ(World.Hid.OpenHandles(cMousePath), 0);
  EXPECT_EQ(World.Hid.OpenHandles(cOtherPath), 0);
  // Stopping with no reader running returns at once.
  Hid->HidStopRead();
  EXPECT_FALSE(DeviceStopEvent().IsSet());
}

TEST_F(HidTest, StoppingWaitsForAHandlerRunningOnTheReader) {
  auto Hid = MakeHid();
  Hid->SetFastOnData(true);
  std::atomic<bool> InHandler{false};
  std::atomic<bool> HandlerDone{false};
  Hid->SetOnData([&](const std::string&, const std::string&, uint8_t, const void*, uint16_t) {
    InHandler = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    HandlerDone = true;
  });
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(test::WaitUntil([&] { return InHandler.load(); }));
  Hid->HidStopRead();
  EXPECT_TRUE(HandlerDone);
  EXPECT_EQ(Hid->RunningReaders(), 0);
}

TEST_F(HidTest, ReadersAskForTheLargestRingAndLoseNothingWhileTheMainThreadIsBusy) {
  {
    // The class driver's bounds.
    uint32_t Error = 0;
    const auto Device = World.Hid.Open(cMousePath, true, Error);
    ASSERT_TRUE(Device);
    EXPECT_FALSE(Device->SetInputBufferCount(1));
    EXPECT_FALSE(Device->SetInputBufferCount(513));
    EXPECT_TRUE(Device->SetInputBufferCount(2));
    EXPECT_TRUE(Device->SetInputBufferCount(512));
  }
  int Delivered = 0;
  auto Hid = CountingReaders(Delivered);
  // The main thread does not serve the reader while 500 reports arrive: the first waits for
  // it, the rest wait in the ring (the default ring of 32 would lose 467 of them).
  for (int I = 0; I < 500; ++I) {
    World.Hid.InjectInputReport(cMousePath, {8, static_cast<uint8_t>(I), 0, 0, 0, 0, 0, 0});
  }
  EXPECT_TRUE(PumpUntil([&] { return Delivered == 500; }));
  EXPECT_EQ(World.Hid.DroppedReports(), 0u);
  Hid->HidStopRead();
}

TEST_F(HidTest, ARemovalThatAsksFirstFindsTheReadersHandleClosedAndItReadsAgainIfItFails) {
  using platform::sim::TSimRemoval;
  auto Hid = MakeHid();
  int Delivered = 0;
  int NotConnected = 0;
  std::optional<TSimRemoval> AskedInsideADelivery;
  bool AskInsideADelivery = false;
  Hid->SetOnData([&](const std::string&, const std::string&, uint8_t, const void*, uint16_t) {
    ++Delivered;
    if (AskInsideADelivery) {
      AskInsideADelivery = false;
      AskedInsideADelivery = World.Hid.RequestRemoval(cMousePath);
    }
  });
  Hid->SetOnDeviceNotConnected([&](const std::string&, const std::string&) { ++NotConnected; });
  const auto Reads = [&] {
    const int Before = Delivered;
    if (!ReadersWaiting(cMousePath, 1)) {
      return false;
    }
    World.Hid.InjectInputReport(cMousePath, {8, 0, 0, 0, 0, 0, 0, 0});
    return PumpUntil([&] { return Delivered > Before; });
  };
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(Reads());
  EXPECT_EQ(World.Hid.RemovalRegistrations(cMousePath), 1);

  // Refused elsewhere: the handle was closed for the query, and a new one reads.
  EXPECT_EQ(World.Hid.RequestRemoval(cMousePath, true), TSimRemoval::Vetoed);
  EXPECT_EQ(Hid->RunningReaders(), 1);
  EXPECT_EQ(World.Hid.RemovalRegistrations(cMousePath), 1);
  EXPECT_TRUE(Reads());

  // A handle nobody closes vetoes it, as it vetoed before readers were asked.
  {
    uint32_t Error = 0;
    const auto Held = World.Hid.Open(cMousePath, true, Error);
    ASSERT_TRUE(Held);
    EXPECT_EQ(World.Hid.RequestRemoval(cMousePath), TSimRemoval::VetoedByOpenHandle);
  }
  EXPECT_TRUE(Reads());

  // Asked while the reader's delivery runs on the main thread: it cannot close, refuses, and
  // reads on.
  AskInsideADelivery = true;
  EXPECT_TRUE(Reads());
  ASSERT_TRUE(AskedInsideADelivery.has_value());
  EXPECT_NE(*AskedInsideADelivery, TSimRemoval::Removed);
  EXPECT_TRUE(Reads());

  // Nothing refuses: the device goes, without a lost-device report, and nothing is left.
  EXPECT_EQ(World.Hid.RequestRemoval(cMousePath), TSimRemoval::Removed);
  EXPECT_EQ(Hid->RunningReaders(), 0);
  EXPECT_EQ(Hid->WatchedHandles(), 0);
  EXPECT_EQ(World.Hid.RemovalRegistrations(cMousePath), 0);
  EXPECT_EQ(World.Hid.OpenHandles(cMousePath), 0);
  EXPECT_EQ(NotConnected, 0);

  // A stop forgets a removal under way: a failure after it starts nothing.
  World.Hid.Plug(VendorCollection(1));
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(Reads());
  Hid->HidStopRead();
  EXPECT_EQ(World.Hid.RemovalRegistrations(cMousePath), 0);
  EXPECT_EQ(World.Hid.RequestRemoval(cMousePath, true), TSimRemoval::Vetoed);
  EXPECT_EQ(Hid->RunningReaders(), 0);
}

TEST_F(HidTest, ReadersWithoutADeviceOrWithoutInputReportsEndQuietly) {
  auto Hid = MakeHid();
  {
    TuiHidDeviceReadThread Missing(Hid.get(), "id", "\\\\?\\missing");
    Missing.WaitFor();
    EXPECT_TRUE(Missing.Finished());
  }
  TSimHidInterface NoInput = VendorCollection(3);
  NoInput.Caps.InputReportByteLength = 0;
  World.Hid.Plug(NoInput);
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, test::Devices::VendorId(3));
  EXPECT_EQ(Hid->RunningReaders(), 2);
  Hid->HidStopRead();
  EXPECT_EQ(Hid->RunningReaders(), 0);
}

TEST_F(HidTest, ButtonsParseIntoReleasedOrPressedUsages) {
  auto Hid = MakeHid();
  std::vector<uint32_t> Buttons;
  Hid->SetOnParsedData([&](const std::string&, const std::string&, uint8_t, uint32_t AButtons) {
    Buttons.push_back(AButtons);
  });
  Hid->HidFindAndReadDevice(cVendorUsageAndPage, "");
  ASSERT_TRUE(ReadersWaiting(cMousePath, 1));
  // Usages are bit numbers from 1: bit 2 is button 3, bit 4 button 5.
  // The previous usages are the process's: start from a report with no button down.
  // A status report (identifier 8) holds no buttons: it parses as 0 and leaves the previous
  // usages alone, whatever its bytes would mean as buttons.
  const std::vector<std::vector<uint8_t>> Reports = {
      {7, 0x00, 0, 0, 0, 0, 0, 0}, {7, 0x04, 0, 0, 0, 0, 0, 0}, // 3 pressed
      {8, 0x10, 0, 0, 0, 0, 0, 0},                              // status
      {7, 0x10, 0, 0, 0, 0, 0, 0},                              // 3 released, 5 pressed
      {7, 0x10, 0, 0, 0, 0, 0, 0},                              // nothing changed
      {7, 0x00, 0, 0, 0, 0, 0, 0},                              // 5 released
  };
  for (const auto& Report : Reports) {
    World.Hid.InjectInputReport(cMousePath, Report);
  }
  ASSERT_TRUE(PumpUntil([&] { return Buttons.size() == 6; }));
  Buttons.erase(Buttons.begin());
  EXPECT_EQ(Buttons, (std::vector<uint32_t>{3u << 16, 0u, 3u, 0u, 5u}));
  Hid->HidStopRead();
}

TEST(UsageLists, DifferenceStopsAtZeroAndAtTheLength) {
  const uint16_t Previous[4] = {3, 4, 0, 9};
  const uint16_t Current[4] = {4, 5, 6, 0};
  uint16_t Break[4];
  uint16_t Make[4];
  UsageListDifference(Previous, Current, Break, Make, 4);
  EXPECT_EQ(Break[0], 3);
  EXPECT_EQ(Break[1], 0);
  EXPECT_EQ(Make[0], 5);
  EXPECT_EQ(Make[1], 6);
  UsageListDifference(Previous, Current, Break, Make, 1);
  EXPECT_EQ(Break[0], 3);
  EXPECT_EQ(Make[0], 4);
}

} // namespace
