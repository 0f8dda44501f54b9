#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "backend/sim/SimWorld.h"
#include "device/uiStdCmd.h"
#include "support/Devices.h"
#include "support/TestPlatform.h"
#include "support/Wait.h"

namespace {

using namespace device;

constexpr uint32_t cInitCode = 0x00222000;
constexpr uint32_t cReadCode = 0x00222004;

using test::WaitUntil;

class StdCommandTest : public ::testing::Test {
protected:
  void WriteConfig(const std::string& AText) { test::WriteConfig(World, AText); }
  std::unique_ptr<TuiSTDCommand> Make() {
    return std::make_unique<TuiSTDCommand>(nullptr, TStdCommandServices::Of(World.Platform()));
  }
  void StartMonitor(TuiSTDCommand& ACommand) {
    const uint8_t Init[4] = {0xD1, 0xD2, 0xD3, 0xD4};
    World.Drivers.SetMonitorReadCode(cReadCode);
    ACommand.SetDeviceInitData(Init, 4, cInitCode, cReadCode, 16, 64);
    ACommand.StartMonitorDevice();
  }
  int InitSends() const {
    int Count = 0;
    for (const auto& Control : World.Drivers.Controls()) {
      Count += Control.Code == cInitCode ? 1 : 0;
    }
    return Count;
  }
  platform::sim::TSimWorld World;
};

TEST_F(StdCommandTest, TheDriverDescriptionAndListsComeFromConfig) {
  auto Defaults = Make();
  EXPECT_EQ(Defaults->DevicePath(), "\\\\.\\usbkmfx00001");
  EXPECT_EQ(Defaults->DriverInfo().InfFileName, "usbkmfx00001.inf");
  EXPECT_EQ(Defaults->DriverInfo().FileName, "usbkmfx00001.sys");
  EXPECT_EQ(Defaults->DriverInfo().UpperFilter, 0);
  EXPECT_TRUE(Defaults->IsDeviceExist());

  WriteConfig("[DEVICE]\nDeviceName=mydrv\nUpperFilter=1\nWHQL=$1\n[devicelist]\nid1=HID\\VID_1\n"
              "id2=HID\\VID_2\n[usbdevicelist]\nid1=USB\\VID_1\n");
  auto Configured = Make();
  EXPECT_EQ(Configured->DevicePath(), "\\\\.\\mydrv");
  EXPECT_EQ(Configured->DriverInfo().UpperFilter, 1);
  EXPECT_EQ(Configured->DriverInfo().WHQL, 1);
  EXPECT_EQ(Configured->GetHIDDeviceList().size(), 2u);
  EXPECT_TRUE(Configured->HardwareIdsInConfigHidList({"x", "hid\\vid_2"}));
  EXPECT_FALSE(Configured->HardwareIdsInConfigHidList({"HID\\VID"}));
  EXPECT_TRUE(Configured->HardwareIdsInConfigUsbList({"USB\\VID_1"}));
  // The driver's device object has another name: nothing opens.
  uint8_t Byte = 0;
  EXPECT_EQ(Configured->DeviceRW(&Byte, 1, test::Devices::cCpiUnitCode), 21u);
}

TEST_F(StdCommandTest, WithoutInitDataTheMonitorStaysIdle) {
  auto Command = Make();
  Command->StartMonitorDevice();
  EXPECT_FALSE(Command->Active());
  EXPECT_FALSE(Command->WorkerRunning(1));
  EXPECT_FALSE(Command->WorkerRunning(2));
  EXPECT_TRUE(World.Drivers.Controls().empty());
}

TEST_F(StdCommandTest, WorkersTakeTurnsAndPassTheTurnBeforeDelivering) {
  auto Command = Make();
  std::mutex Lock;
  std::vector<std::thread::id> Deliverers;
  std::vector<std::vector<uint8_t>> Answers;
  std::atomic<bool> OtherWasReading{true};
  Command->SetOnDataReceived([&](const void* ABuffer, uint32_t ASize) {
    // The other worker's read is already outstanding while this one delivers.
    if (!WaitUntil([&] { return World.Drivers.WaitingReads() == 1; })) {
      OtherWasReading = false;
    }
    std::lock_guard<std::mutex> Guard(Lock);
    Deliverers.push_back(std::this_thread::get_id());
    const auto* Bytes = static_cast<const uint8_t*>(ABuffer);
    Answers.emplace_back(Bytes, Bytes + ASize);
  });
  StartMonitor(*Command);
  EXPECT_TRUE(Command->Active());
  ASSERT_EQ(World.Drivers.Controls().size(), 1u);
  EXPECT_EQ(World.Drivers.Controls()[0].Bytes, (std::vector<uint8_t>{0xD1, 0xD2, 0xD3, 0xD4}));
  const auto Delivered = [&](std::size_t ACount) {
    return WaitUntil([&] {
      std::lock_guard<std::mutex> Guard(Lock);
      return Answers.size() == ACount;
    });
  };
  World.Drivers.QueueMonitorAnswer({1, 2, 3});
  ASSERT_TRUE(Delivered(1));
  // An empty answer delivers nothing but passes the turn.
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  World.Drivers.QueueMonitorAnswer({});
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.ReadThreads().size() == 3; }));
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  World.Drivers.QueueMonitorAnswer({4});
  ASSERT_TRUE(Delivered(2));
  World.Drivers.QueueMonitorAnswer({5, 6});
  ASSERT_TRUE(Delivered(3));
  EXPECT_TRUE(OtherWasReading);
  EXPECT_EQ(Answers, (std::vector<std::vector<uint8_t>>{{1, 2, 3}, {4}, {5, 6}}));
  const auto Readers = World.Drivers.ReadThreads();
  ASSERT_GE(Readers.size(), 5u);
  // Worker 1 reads first; the turns alternate.
  EXPECT_EQ(Deliverers[0], Readers[0]);
  EXPECT_NE(Readers[0], Readers[1]);
  EXPECT_EQ(Readers[0], Readers[2]);
  EXPECT_EQ(Deliverers[1], Readers[2]);
  EXPECT_EQ(Deliverers[2], Readers[3]);
  Command->StopMonitorDevice();
  EXPECT_FALSE(Command->Active());
  EXPECT_FALSE(Command->WorkerRunning(1));
  EXPECT_FALSE(Command->WorkerRunning(2));
  EXPECT_EQ(World.Drivers.OpenHandles(), 0);
}

TEST_F(StdCommandTest, RemovalStopsBothWorkersAndARestartFollows) {
  auto Command = Make();
  World.Desktop.Advance(3100); // the notifier's own start-up arrival and its restart
  StartMonitor(*Command);
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  const int Sent = InitSends();
  World.Hid.Plug(test::Devices::KeyboardInterface());
  World.Hid.Unplug(test::Devices::KeyboardInterface().Path);
  World.Desktop.ProcessMessages();
  EXPECT_TRUE(WaitUntil([&] { return !Command->WorkerRunning(1) && !Command->WorkerRunning(2); }));
  EXPECT_EQ(World.Drivers.WaitingReads(), 0);
  World.Desktop.Advance(1499);
  EXPECT_EQ(InitSends(), Sent);
  World.Desktop.Advance(1);
  EXPECT_EQ(InitSends(), Sent + 1);
  EXPECT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
}

TEST_F(StdCommandTest, TwoArrivalsASecondApartRestartOnce) {
  auto Command = Make();
  const uint8_t Init[1] = {7};
  World.Drivers.SetMonitorReadCode(cReadCode);
  Command->SetDeviceInitData(Init, 1, cInitCode, cReadCode, 0, 16);
  World.Desktop.Advance(3100);
  const int Sent = InitSends();
  EXPECT_EQ(Sent, 1); // the start-up arrival restarted the monitor once
  World.Hid.Plug(test::Devices::KeyboardInterface(0));
  World.Desktop.Advance(1000);
  World.Hid.Plug(test::Devices::KeyboardInterface(1));
  World.Desktop.Advance(1499);
  EXPECT_EQ(InitSends(), Sent);
  World.Desktop.Advance(1);
  EXPECT_EQ(InitSends(), Sent + 1);
  World.Desktop.Advance(5000);
  EXPECT_EQ(InitSends(), Sent + 1);
}

TEST_F(StdCommandTest, AFailingDriverEndsTheWorkerWithoutPassingTheTurn) {
  auto Command = Make();
  StartMonitor(*Command);
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  World.Drivers.Remove(1167);
  // Worker 1's read fails: it ends without passing the turn, so worker 2 never reads and
  // waits for a turn that only a restart or a stop gives it.
  ASSERT_TRUE(WaitUntil([&] { return !Command->WorkerRunning(1); }));
  EXPECT_TRUE(Command->WorkerRunning(2));
  EXPECT_EQ(World.Drivers.ReadThreads().size(), 1u);
  EXPECT_EQ(World.Drivers.WaitingReads(), 0);
  Command->StopMonitorDevice();
  EXPECT_FALSE(Command->WorkerRunning(2));
}

TEST_F(StdCommandTest, StoppingServesAHandlerThatHandsWorkToTheMainThread) {
  auto Command = Make();
  std::atomic<bool> InHandler{false};
  int RanOnMain = 0;
  Command->SetOnDataReceived([&](const void*, uint32_t) {
    InHandler = true;
    World.Desktop.Synchronize([&] { ++RanOnMain; });
  });
  StartMonitor(*Command);
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  World.Drivers.QueueMonitorAnswer({1});
  ASSERT_TRUE(WaitUntil([&] { return InHandler.load(); }));
  // The worker waits for this thread, which is not serving yet: the stop must serve it.
  Command->StopMonitorDevice();
  EXPECT_EQ(RanOnMain, 1);
  EXPECT_FALSE(Command->WorkerRunning(1));
  EXPECT_FALSE(Command->WorkerRunning(2));
  EXPECT_EQ(World.Drivers.OpenHandles(), 0);
}

TEST_F(StdCommandTest, RestartsAskedFromInsideADeliveryRunOnTheMainThreadAfterIt) {
  auto Command = Make();
  std::atomic<int> Answers{0};
  std::atomic<int> Asked{0};
  // The first answer stops the monitor from the worker itself; the second restarts it from
  // work handed to the main thread, which the worker waits for.
  Command->SetOnDataReceived([&](const void*, uint32_t) {
    if (++Answers == 1) {
      Command->StopMonitorDevice();
    } else {
      World.Desktop.Synchronize([&] { Command->StartMonitorDevice(); });
    }
    ++Asked;
  });
  StartMonitor(*Command);
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  World.Drivers.QueueMonitorAnswer({1});
  ASSERT_TRUE(WaitUntil([&] { return Asked == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return !Command->WorkerRunning(1) && !Command->WorkerRunning(2); }));
  World.Desktop.ProcessMessages();
  EXPECT_FALSE(Command->Active());
  EXPECT_EQ(World.Drivers.OpenHandles(), 0);

  StartMonitor(*Command);
  const int Sent = InitSends();
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  World.Drivers.QueueMonitorAnswer({2});
  ASSERT_TRUE(WaitUntil([&] {
    World.Desktop.WaitForHandOvers(1);
    return Asked == 2;
  }));
  World.Desktop.ProcessMessages();
  EXPECT_TRUE(Command->Active());
  EXPECT_EQ(InitSends(), Sent + 1);
  EXPECT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
}

TEST_F(StdCommandTest, FailuresOfHandlersAndOfTheRestartTimerStayInside) {
  auto Command = Make();
  std::atomic<int> Calls{0};
  Command->SetOnDataReceived([&](const void*, uint32_t) {
    if (++Calls == 1) {
      throw std::runtime_error("bad answer");
    }
  });
  StartMonitor(*Command);
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1; }));
  World.Drivers.QueueMonitorAnswer({1});
  ASSERT_TRUE(WaitUntil([&] { return World.Drivers.WaitingReads() == 1 && Calls == 1; }));
  World.Drivers.QueueMonitorAnswer({2});
  ASSERT_TRUE(WaitUntil([&] { return Calls == 2; }));
  EXPECT_TRUE(Command->WorkerRunning(1));
  EXPECT_TRUE(Command->WorkerRunning(2));

  // A restart that fails on the timer leaves the monitor stopped and the timer quiet.
  World.Drivers.ThrowOnNextOpen();
  World.Desktop.Advance(cRestartMonitorDelayMs); // the notifier's own start-up arrival
  World.Desktop.Advance(cRestartMonitorDelayMs);
  EXPECT_FALSE(Command->Active());
  EXPECT_FALSE(Command->WorkerRunning(1));
  EXPECT_FALSE(Command->WorkerRunning(2));
  const auto Lines = World.Dialogs.DebugLines();
  EXPECT_EQ(Lines, (std::vector<std::string>{
                       "TuiSTDCommand: bad answer",
                       "TuiSTDCommand: the driver's device object could not be opened"}));
  // The next arrival starts it again.
  World.Hid.Plug(test::Devices::KeyboardInterface());
  World.Desktop.Advance(cRestartMonitorDelayMs);
  EXPECT_TRUE(Command->Active());
}

TEST_F(StdCommandTest, TheLengthsAreClampedToTheWorkerBuffers) {
  auto Command = Make();
  const uint8_t Init[1] = {1};
  Command->SetDeviceInitData(Init, 1, cInitCode, cReadCode, 20000, -5);
  EXPECT_EQ(Command->InputReportLength(), 10241);
  EXPECT_EQ(Command->OutputReportLength(), 0);
  Command->SetDeviceInitData(Init, 0, 1, 2, 3, 4); // a zero size changes nothing
  EXPECT_EQ(Command->DeviceDataInitIOCode(), cInitCode);
  Command->SetMonitorData();
  ASSERT_EQ(World.Drivers.Controls().size(), 1u);
  EXPECT_EQ(World.Drivers.Controls()[0].Code, cInitCode);
}

} // namespace
