#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "hid/uiHIDData.h"
#include "hid/uiHIDEvent.h"
#include "platform/SysError.h"
#include "platform/WindowMessages.h"
#include "support/Devices.h"
#include "support/TestHost.h"
#include "support/TestPlatform.h"
#include "support/Wait.h"
#ifdef _WIN32
#include "backend/win32/Win32Platform.h"
#endif

namespace {

using namespace platform;

// Runs the main loop until the condition holds or a generous real-time limit passes; on the
// simulated desktop the virtual clock moves along with it.
bool RunUntil(test::TTestPlatform& ABackend, const std::function<bool()>& ACondition) {
  return test::WaitUntil(ACondition, test::cWaitBound, [&] {
    if (ABackend.Sim() != nullptr) {
      ABackend.Sim()->Desktop.Advance(10);
    }
    ABackend.Platform().Desktop.WaitAndProcess(5);
  });
}

class DesktopTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { FBackend = test::MakeTestPlatform(GetParam()); }
  IDesktop& Desktop() { return FBackend->Platform().Desktop; }
  std::unique_ptr<test::TTestPlatform> FBackend;
};

TEST_P(DesktopTest, HiddenWindowsTakePostedMessagesAndTimers) {
  std::vector<uint32_t> Seen;
  const TWindowHandle Window = Desktop().CreateHiddenWindow([&](TWindowMessage& AMessage) {
    if (AMessage.Msg == WM_USER_MESSAGE + 1 || AMessage.Msg == WM_TIMER_MESSAGE) {
      Seen.push_back(AMessage.Msg == WM_TIMER_MESSAGE
                         ? 1000 + static_cast<uint32_t>(AMessage.WParam)
                         : static_cast<uint32_t>(AMessage.LParam));
      return true;
    }
    return false;
  });
  ASSERT_NE(Window, 0u);
  EXPECT_TRUE(Desktop().PostWindowMessage(Window, WM_USER_MESSAGE + 1, 0, 42));
  Desktop().ProcessMessages();
  EXPECT_EQ(Seen, std::vector<uint32_t>{42});
  ASSERT_TRUE(Desktop().StartTimer(Window, 7, 50));
  ASSERT_TRUE(RunUntil(*FBackend, [&] { return Seen.size() >= 2; }));
  Desktop().StopTimer(Window, 7);
  EXPECT_EQ(Seen[1], 1007u);
  Desktop().DestroyHiddenWindow(Window);
  EXPECT_FALSE(Desktop().PostWindowMessage(Window, WM_USER_MESSAGE + 1, 0, 43));
}

TEST_P(DesktopTest, AnotherThreadHandsWorkToTheMainThread) {
  EXPECT_TRUE(Desktop().IsMainThread());
  std::thread::id RanOn;
  std::atomic<bool> Returned{false};
  std::thread Worker([&] {
    EXPECT_FALSE(Desktop().IsMainThread());
    Desktop().Synchronize([&] { RanOn = std::this_thread::get_id(); });
    Returned = true;
  });
  EXPECT_TRUE(RunUntil(*FBackend, [&] { return Returned.load(); }));
  Worker.join();
  EXPECT_EQ(RanOn, std::this_thread::get_id());
}

TEST_P(DesktopTest, WhatHandlersThrowNeverReachesTheDispatch) {
  // A hand-over completes and its exception goes back to the thread that handed it over.
  std::atomic<bool> Returned{false};
  std::string Caught;
  std::thread Worker([&] {
    try {
      Desktop().Synchronize([] { throw std::runtime_error("work failed"); });
    } catch (const std::runtime_error& E) {
      Caught = E.what();
    }
    Desktop().Synchronize([] {});
    Returned = true;
  });
  EXPECT_TRUE(RunUntil(*FBackend, [&] { return Returned.load(); }));
  Worker.join();
  EXPECT_EQ(Caught, "work failed");
  // A window procedure that throws gets the default handling; the loop goes on.
  std::vector<intptr_t> Seen;
  const TWindowHandle Window = Desktop().CreateHiddenWindow([&](TWindowMessage& AMessage) {
    if (AMessage.Msg != WM_USER_MESSAGE + 2) {
      return false;
    }
    Seen.push_back(AMessage.LParam);
    if (AMessage.LParam == 1) {
      throw std::runtime_error("window failed");
    }
    return true;
  });
  ASSERT_NE(Window, 0u);
  Desktop().PostWindowMessage(Window, WM_USER_MESSAGE + 2, 0, 1);
  Desktop().PostWindowMessage(Window, WM_USER_MESSAGE + 2, 0, 2);
  EXPECT_NO_THROW(Desktop().ProcessMessages());
  EXPECT_EQ(Seen, (std::vector<intptr_t>{1, 2}));
  Desktop().DestroyHiddenWindow(Window);
  if (FBackend->Sim() != nullptr) {
    EXPECT_EQ(FBackend->Sim()->Dialogs.DebugLines(),
              std::vector<std::string>{"Window procedure: window failed"});
  }
}

TEST_P(DesktopTest, TheArrivalNotifierRegistersAndReportsTheDeviceTreeChange) {
  int Changes = 0;
  int Arrivals = 0;
  hid::TuiHIDEvent Event(nullptr, Desktop(), FBackend->Platform().Debug);
  Event.SetOnDeviceChange([&](rtl::TComponent*) { ++Changes; });
  Event.SetOnDeviceArrival([&](rtl::TComponent*) { ++Arrivals; });
  EXPECT_TRUE(Event.Registered());
  ASSERT_TRUE(RunUntil(*FBackend, [&] { return Arrivals == 1; }));
  EXPECT_EQ(Changes, 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, DesktopTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

#ifdef _WIN32
// What Wine's HID stack honestly shows: its own virtual mouse and keyboard, whose feature
// reports fail and whose reads never complete.
TEST(Win32Hid, EnumeratesOpensAndStopsAReadThatNeverCompletes) {
  win32::TWin32Platform Real;
  IHid& Hid = Real.Platform().Hid;
  EXPECT_EQ(Hid.HidGuid(), cHidInterfaceClass);
  const auto Interfaces = Hid.EnumerateInterfaces(Hid.HidGuid());
  if (Interfaces.empty()) {
    GTEST_SKIP() << "no HID interface on this machine";
  }
  // The first collection that opens for reading: Wine's virtual mouse; on Windows, never a
  // mouse or keyboard, which the system keeps to itself.
  std::string Readable;
  uint32_t InputLength = 0;
  for (const THidInterfaceInfo& Interface : Interfaces) {
    SCOPED_TRACE(Interface.DevicePath);
    EXPECT_FALSE(Interface.DevicePath.empty());
    uint32_t Error = 0;
    auto Device = Hid.Open(Interface.DevicePath, false, Error);
    if (!Device) {
      continue;
    }
    THidAttributes Attributes;
    EXPECT_TRUE(Device->GetAttributes(Attributes));
    THidCaps Caps;
    if (Device->GetCaps(Caps) && Caps.InputReportByteLength > 0 && Readable.empty() &&
        Hid.Open(Interface.DevicePath, true, Error)) {
      Readable = Interface.DevicePath;
      InputLength = Caps.InputReportByteLength;
      uint8_t Buffer[64] = {1};
      if (Caps.FeatureReportByteLength == 0) {
        EXPECT_NE(Device->GetFeature(Buffer, 2), SysError::Success);
      }
    }
  }
  if (Readable.empty()) {
    GTEST_SKIP() << "no HID collection here opens for reading";
  }
  uint32_t Error = 0;
  auto Device = Hid.Open(Readable, true, Error);
  ASSERT_TRUE(Device) << Error;
  // The largest input report ring the class driver keeps, and no larger.
  EXPECT_TRUE(Device->SetInputBufferCount(cMaxInputBuffers));
  EXPECT_FALSE(Device->SetInputBufferCount(cMaxInputBuffers + 1));
  // The handle notification is taken (Wine never asks to remove a device).
  IMessageWindows& Windows = Real.Platform().Desktop;
  const TWindowHandle Window = Windows.CreateHiddenWindow([](TWindowMessage&) { return false; });
  const uintptr_t Registration = Hid.RegisterRemovalNotification(Window, *Device);
  EXPECT_NE(Registration, 0u);
  Hid.UnregisterRemovalNotification(Registration);
  Windows.DestroyHiddenWindow(Window);
  rtl::TManualResetEvent Stop;
  std::thread Stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Stop.Set();
  });
  std::vector<uint8_t> Buffer(256);
  const THidReadResult Result = Device->ReadReport(Buffer.data(), InputLength, Stop);
  Stopper.join();
  // Wine's reads never complete: the stop cancels the read and waits for it.
  EXPECT_TRUE(Result.Stopped) << Result.Error;
}

TEST(Win32Hid, MissingDevicesAreQuietFailures) {
  win32::TWin32Platform Real;
  uint32_t Error = 0;
  EXPECT_FALSE(Real.Platform().Hid.Open("\\\\?\\hid#vid_0000&pid_0000#missing", false, Error));
  EXPECT_NE(Error, 0u);
  hid::TuiHIDData Data(nullptr,
                       hid::THidServices{Real.Platform().Hid, Real.Platform().Desktop,
                                         Real.Platform().Desktop, Real.Platform().Files,
                                         Real.Platform().Environment, Real.Platform().Debug});
  hid::THIDDataParam Param;
  Param.UsageAndPage = hid::cVendorUsageAndPage;
  Param.Data.DATASIZE = 8;
  EXPECT_FALSE(Data.IsDeviceExist(Param));
  EXPECT_EQ(Data.HidFindAndGetFeatureReport(Param), SysError::DeviceNotConnected);
  // A reader on the platform's own mouse collection waits in a read that never completes,
  // and still stops.
  int MouseCollections = 0;
  for (const THidInterfaceInfo& Interface :
       Real.Platform().Hid.EnumerateInterfaces(Real.Platform().Hid.HidGuid())) {
    auto Device = Real.Platform().Hid.Open(Interface.DevicePath, false, Error);
    THidCaps Caps;
    if (Device && Device->GetCaps(Caps) && Caps.UsagePage == 0x0001 && Caps.Usage == 0x0002) {
      ++MouseCollections;
    }
  }
  if (MouseCollections == 0) {
    GTEST_SKIP() << "no mouse collection to read";
  }
  // Windows keeps the mouse collections to itself: it refuses to open them for reading, so no
  // reader starts there, quietly. Wine lets its virtual mouse be read.
  const int Readers = test::UnderWine() ? MouseCollections : 0;
  Data.HidFindAndReadDevice({0x0002, 0x0001}, "");
  EXPECT_EQ(Data.RunningReaders(), Readers);
  // Each reader's handle is watched for a removal that asks first.
  EXPECT_EQ(Data.WatchedHandles(), Readers);
  // Still reading a while later: the read is outstanding, not failed.
  Real.Platform().Desktop.WaitAndProcess(50);
  EXPECT_EQ(Data.RunningReaders(), Readers);
  Data.HidStopRead();
  EXPECT_EQ(Data.RunningReaders(), 0);
  EXPECT_EQ(Data.WatchedHandles(), 0);
}
#endif

} // namespace

#ifdef _WIN32
#include "device/uiStdCmd.h"

namespace {

TEST(Win32Driver, TheMissingDeviceObjectAnswers21) {
  platform::win32::TWin32Platform Real;
  platform::TPlatform Platform = Real.Platform();
  uint32_t Error = 0;
  EXPECT_FALSE(Platform.Drivers.OpenDeviceObject("\\\\.\\usbkmfx00001", false, Error));
  EXPECT_EQ(Error, platform::SysError::FileNotFound);
  device::TuiSTDCommand Command(nullptr, {Platform.Drivers, Platform.Desktop, Platform.Desktop,
                                          Platform.Files, Platform.Environment, Platform.Debug,
                                          Platform.Devices, Platform.Services, Platform.Shell,
                                          Platform.System, Platform.Clock});
  uint8_t Level[2] = {1, 0};
  EXPECT_EQ(Command.DeviceRW(Level, 2, test::Devices::cSetCurrentCpiCode), 21u);
  EXPECT_FALSE(Command.IsDeviceExist());
  // Presence only reads the device tree, any letter case, whole ids only: under Wine its
  // virtual mouse sits on its bus under a known id; on Windows, the first hardware id of the
  // machine's first HID node is looked for (read here from the same tree).
  std::string Present = "winebus\\vid_845e&pid_0001";
  if (!test::UnderWine()) {
    Present.clear();
    const auto Nodes = Platform.Devices.OpenPresentNodes(device::cHidSetupClass, Error);
    std::vector<std::string> Ids;
    for (uint32_t Node = 0; Nodes && Present.empty() && Nodes->HasNode(Node); ++Node) {
      if (Nodes->ReadStrings(Node, platform::TDeviceProperty::HardwareId, Ids) == 0 &&
          !Ids.empty()) {
        Present = Ids[0];
      }
    }
    if (Present.size() < 2) {
      GTEST_SKIP() << "no HID node with a hardware id on this machine";
    }
    std::transform(Present.begin(), Present.end(), Present.begin(),
                   [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  }
  EXPECT_TRUE(Command.ISHIDDeviceExist(Present)) << Present;
  std::string Part = Present.substr(0, Present.size() - 1);
  std::transform(Part.begin(), Part.end(), Part.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  EXPECT_FALSE(Command.ISHIDDeviceExist(Part)) << Part;
}

} // namespace
#endif
