#include <gtest/gtest.h>

#include <stdexcept>

#include "backend/sim/SimWorld.h"
#include "hid/uiHIDEvent.h"
#include "platform/WindowMessages.h"
#include "support/Devices.h"

namespace {

using namespace hid;

class HidEventTest : public ::testing::Test {
protected:
  HidEventTest() : Event(nullptr, World.Desktop, World.Dialogs) {
    Event.SetOnDeviceArrival([this](rtl::TComponent* ASender) {
      EXPECT_EQ(ASender, &Event);
      Log.push_back("arrival@" + std::to_string(World.Clock.TickCount() - Start));
    });
    Event.SetOnDeviceRemove([this](rtl::TComponent*) { Log.push_back("remove"); });
    Event.SetOnDeviceChange([this](rtl::TComponent*) { Log.push_back("change"); });
  }
  platform::sim::TSimWorld World;
  uint64_t Start = World.Clock.TickCount();
  TuiHIDEvent Event;
  std::vector<std::string> Log;
};

TEST_F(HidEventTest, StartUpRaisesOneChangeAndOneArrivalAfter1500Ms) {
  EXPECT_TRUE(Event.Registered());
  World.Desktop.ProcessMessages();
  EXPECT_EQ(Log, std::vector<std::string>{"change"});
  World.Desktop.Advance(1499);
  EXPECT_EQ(Log.size(), 1u);
  World.Desktop.Advance(1);
  World.Desktop.Advance(10000);
  EXPECT_EQ(Log, (std::vector<std::string>{"change", "arrival@1500"}));
  EXPECT_FALSE(World.Desktop.TimerRunning(Event.WindowHandle(), cStartMonitorTimerId));
}

TEST_F(HidEventTest, InterfaceArrivalsAndRemovalsOfTheClassAreReported) {
  World.Desktop.Advance(2000);
  Log.clear();
  const auto Keyboard = test::Devices::KeyboardInterface();
  World.Hid.Plug(Keyboard);
  World.Desktop.ProcessMessages();
  World.Hid.Unplug(Keyboard.Path);
  World.Desktop.ProcessMessages();
  // A volume arriving, or another interface class, raises nothing.
  World.Desktop.BroadcastDeviceChange(platform::cHidInterfaceClass,
                                      platform::DBT_DEVICEARRIVAL_VALUE, 2);
  World.Desktop.BroadcastDeviceChange(platform::TGuid{1, 2, 3, {4}},
                                      platform::DBT_DEVICEARRIVAL_VALUE,
                                      platform::DBT_DEVTYP_DEVICEINTERFACE_VALUE);
  World.Desktop.BroadcastDeviceChange(platform::cHidInterfaceClass, 0x8001,
                                      platform::DBT_DEVTYP_DEVICEINTERFACE_VALUE);
  World.Desktop.ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"arrival@2000", "remove"}));
}

TEST_F(HidEventTest, HandlerExceptionsStayInsideTheComponent) {
  Event.SetOnDeviceChange([](rtl::TComponent*) { throw std::runtime_error("handler failed"); });
  int Arrivals = 0;
  Event.SetOnDeviceArrival([&](rtl::TComponent*) {
    ++Arrivals;
    throw std::runtime_error("arrival failed");
  });
  EXPECT_NO_THROW(World.Desktop.ProcessMessages());
  // The one-shot arrival fails too, once, and is not repeated.
  World.Desktop.Advance(5000);
  EXPECT_EQ(Arrivals, 1);
  EXPECT_FALSE(World.Desktop.TimerRunning(Event.WindowHandle(), cStartMonitorTimerId));
  // Caught by the component itself, not by the desktop's last resort.
  EXPECT_EQ(World.Dialogs.DebugLines(), (std::vector<std::string>{"TuiHIDEvent: handler failed",
                                                                  "TuiHIDEvent: arrival failed"}));
}

TEST(HidEventLifetime, TheWindowGoesWithTheComponent) {
  platform::sim::TSimWorld World;
  {
    TuiHIDEvent Event(nullptr, World.Desktop, World.Dialogs);
    EXPECT_EQ(World.Desktop.WindowCount(), 1);
  }
  EXPECT_EQ(World.Desktop.WindowCount(), 0);
  // Its pending start-up arrival dies with it.
  World.Desktop.Advance(2000);
}

} // namespace
