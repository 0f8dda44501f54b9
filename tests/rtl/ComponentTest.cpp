#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "rtl/Component.h"
#include "rtl/Events.h"
#include "rtl/ManualResetEvent.h"

namespace {

using rtl::TComponent;

class TLoggedComponent : public TComponent {
public:
  TLoggedComponent(TComponent* AOwner, std::string AName, std::vector<std::string>& ALog)
      : TComponent(AOwner), FLog(ALog) {
    SetName(AName);
    PublishTextProperty("Caption", &FCaption);
    PublishTextProperty("Hint", &FHint);
  }
  ~TLoggedComponent() override { FLog.push_back(Name()); }
  std::string ClassName() const override { return "TLoggedComponent"; }
  std::vector<std::string> Changes;

protected:
  void TextPropertyChanged(std::string_view AName) override { Changes.emplace_back(AName); }

private:
  std::vector<std::string>& FLog;
  std::string FCaption;
  std::string FHint;
};

TEST(Component, OwnerDestroysOwnedComponentsLastCreatedFirst) {
  std::vector<std::string> Log;
  {
    TLoggedComponent Owner(nullptr, "Owner", Log);
    auto* First = new TLoggedComponent(&Owner, "First", Log);
    new TLoggedComponent(First, "Grandchild", Log);
    new TLoggedComponent(&Owner, "Second", Log);
    auto* Third = new TLoggedComponent(&Owner, "Third", Log);
    ASSERT_EQ(Owner.ComponentCount(), 3);
    // A component destroyed early leaves its owner's list.
    delete Third;
    EXPECT_EQ(Owner.ComponentCount(), 2);
    EXPECT_EQ(Owner.Components(1)->Name(), "Second");
    EXPECT_EQ(Owner.Components(2), nullptr);
    EXPECT_EQ(Owner.Components(-1), nullptr);
  }
  // Each destructor body runs before the components it owns go.
  EXPECT_EQ(Log, (std::vector<std::string>{"Third", "Owner", "Second", "First", "Grandchild"}));
}

TEST(Component, FindsOwnedComponentsByNameWithoutRegardToCase) {
  std::vector<std::string> Log;
  TLoggedComponent Owner(nullptr, "MouseMonitor", Log);
  auto* Item = new TLoggedComponent(&Owner, "ExitItem", Log);
  EXPECT_EQ(Owner.FindComponent("exititem"), Item);
  EXPECT_EQ(Owner.FindComponent("Other"), nullptr);
  EXPECT_EQ(Owner.FindComponent(""), nullptr);
  EXPECT_EQ(Item->Owner(), &Owner);
  EXPECT_EQ(Item->ClassName(), "TLoggedComponent");
}

TEST(Component, TextPropertiesAreReachedByName) {
  std::vector<std::string> Log;
  TLoggedComponent Item(nullptr, "Item", Log);
  TComponent Plain(nullptr);
  std::string Value = "untouched";

  EXPECT_TRUE(Item.SetTextProperty("caption", "Exit"));
  EXPECT_TRUE(Item.GetTextProperty("Caption", Value));
  EXPECT_EQ(Value, "Exit");
  // Setting the same text again is not a change.
  EXPECT_TRUE(Item.SetTextProperty("Caption", "Exit"));
  EXPECT_EQ(Item.Changes, std::vector<std::string>{"Caption"});

  EXPECT_FALSE(Item.SetTextProperty("Text", "x"));
  EXPECT_FALSE(Plain.GetTextProperty("Caption", Value));
  EXPECT_FALSE(Plain.HasTextProperty("Hint"));
  EXPECT_TRUE(Item.HasTextProperty("HINT"));
  EXPECT_EQ(Value, "Exit");
}

struct TReceiver {
  int Calls = 0;
  void Handle(TComponent* ASender) {
    ++Calls;
    Sender = ASender;
  }
  TComponent* Sender = nullptr;
};

TEST(MethodEvent, IsUnassignedUntilBoundAndCallsItsReceiver) {
  rtl::TNotifyEvent Event;
  EXPECT_FALSE(Event.Assigned());

  TReceiver Receiver;
  TComponent Sender(nullptr);
  Event = rtl::TNotifyEvent(&Receiver, &TReceiver::Handle);
  ASSERT_TRUE(Event.Assigned());
  EXPECT_EQ(Event.Receiver(), &Receiver);
  Event(&Sender);
  EXPECT_EQ(Receiver.Calls, 1);
  EXPECT_EQ(Receiver.Sender, &Sender);

  int Value = 0;
  rtl::TMethodEvent<void(int&)> ByReference = [](int& AValue) { AValue = 42; };
  ByReference(Value);
  EXPECT_EQ(Value, 42);
}

TEST(ManualResetEvent, StaysSetAndWakesEveryWaiterUntilReset) {
  rtl::TManualResetEvent Event;
  std::atomic<int> Woken{0};
  std::vector<std::thread> Waiters;
  for (int I = 0; I < 3; ++I) {
    Waiters.emplace_back([&] {
      Event.WaitFor();
      ++Woken;
    });
  }
  EXPECT_FALSE(Event.WaitFor(0));
  Event.Set();
  for (auto& Waiter : Waiters) {
    Waiter.join();
  }
  EXPECT_EQ(Woken, 3);
  EXPECT_TRUE(Event.IsSet());
  EXPECT_TRUE(Event.WaitFor(0));
  Event.Reset();
  EXPECT_FALSE(Event.IsSet());
  EXPECT_FALSE(Event.WaitFor(1));
}

TEST(ManualResetEvent, ListenersRunOncePerTransitionToSet) {
  rtl::TManualResetEvent Event;
  int Calls = 0;
  const int Token = Event.AddSetListener([&] { ++Calls; });
  Event.Set();
  Event.Set();
  EXPECT_EQ(Calls, 1);
  Event.Reset();
  Event.Set();
  EXPECT_EQ(Calls, 2);
  Event.RemoveSetListener(Token);
  Event.Reset();
  Event.Set();
  EXPECT_EQ(Calls, 2);
}

} // namespace
