#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Audio.h"
#include "support/TestHost.h"
#include "support/TestPlatform.h"
#include "support/Wait.h"
#ifdef _WIN32
#include "backend/win32/Win32AudioCallback.h"
#endif

namespace {

using namespace platform;
using namespace std::chrono_literals;

// What a change handler heard, and on which threads.
struct TListener {
  std::mutex Lock;
  std::vector<bool> Heard;
  std::vector<std::thread::id> Threads;

  TEndpointNotify Notify() {
    return [this](bool AMuted) {
      std::lock_guard<std::mutex> Guard(Lock);
      Heard.push_back(AMuted);
      Threads.push_back(std::this_thread::get_id());
    };
  }
  std::vector<bool> Snapshot() {
    std::lock_guard<std::mutex> Guard(Lock);
    return Heard;
  }
};

class AudioTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { FBackend = test::MakeTestPlatform(GetParam()); }
  IAudio& Audio() { return FBackend->Platform().Audio; }
  sim::TSimWorld* Sim() { return FBackend->Sim(); }
  std::unique_ptr<test::TTestPlatform> FBackend;
};

TEST_P(AudioTest, TheEndpointMuteToggledTwiceComesBackAndEachChangeIsHeard) {
  uint32_t Error = 1;
  auto Endpoint = Audio().OpenDefaultCaptureEndpoint(Error);
  // Wine's lane always has its null device; a Windows machine may have no microphone.
  if (Sim() == nullptr && !test::UnderWine() && Error == E_NOTFOUND_VALUE) {
    GTEST_SKIP() << "no recording device on this machine";
  }
  ASSERT_EQ(Error, S_OK_VALUE);
  ASSERT_NE(Endpoint, nullptr);
  EXPECT_TRUE(Endpoint->IsDefault());
  TListener Listener;
  ASSERT_EQ(Endpoint->RegisterChangeNotify(Listener.Notify()), S_OK_VALUE);
  EXPECT_EQ(Endpoint->RegisterChangeNotify([](bool) {}), E_ILLEGAL_METHOD_CALL_VALUE);

  bool Before = false;
  ASSERT_EQ(Endpoint->GetMute(Before), S_OK_VALUE);
  for (int Press = 0; Press < 2; ++Press) {
    bool Now = false;
    ASSERT_EQ(Endpoint->GetMute(Now), S_OK_VALUE);
    EXPECT_EQ(Endpoint->SetMute(!Now), S_OK_VALUE);
  }
  bool After = !Before;
  ASSERT_EQ(Endpoint->GetMute(After), S_OK_VALUE);
  EXPECT_EQ(After, Before);
  EXPECT_EQ(Endpoint->SetMute(Before), S_FALSE_VALUE);

  // Wine takes the registration but never calls it; the simulated world and Windows call it,
  // on threads of their own. (Windows tells of every volume change too, also another
  // program's: the first two calls are this test's.)
  const bool Calls = Sim() != nullptr || !test::UnderWine();
  if (Sim() != nullptr) {
    Sim()->Audio.WaitForNotifications();
  } else if (Calls) {
    EXPECT_TRUE(test::WaitUntil([&] { return Listener.Snapshot().size() >= 2; }));
  }
  Endpoint->UnregisterChangeNotify();
  if (Calls) {
    std::vector<bool> Heard = Listener.Snapshot();
    if (Sim() == nullptr) {
      Heard.resize(std::min<std::size_t>(Heard.size(), 2));
    }
    EXPECT_EQ(Heard, (std::vector<bool>{!Before, Before}));
    std::lock_guard<std::mutex> Guard(Listener.Lock);
    for (const std::thread::id Thread : Listener.Threads) {
      EXPECT_NE(Thread, std::this_thread::get_id());
    }
  }
}

TEST_P(AudioTest, TheMixerFindsLinesAndControlsByTypeAndAMuteValueHolds) {
  const uint32_t Count = Audio().MixerDeviceCount();
  ASSERT_GE(Count, 1u);
  uint32_t Error = 0;
  EXPECT_EQ(Audio().OpenMixer(Count, Error), nullptr);
  EXPECT_EQ(Error, MMSYSERR_BADDEVICEID_VALUE);

  // A microphone line with a mute control (under Wine: on the recording device's mixer).
  bool MicrophoneMuteFound = false;
  for (uint32_t Device = 0; Device < Count && !MicrophoneMuteFound; ++Device) {
    auto Mixer = Audio().OpenMixer(Device, Error);
    ASSERT_NE(Mixer, nullptr) << Error;
    uint32_t Line = 0;
    uint32_t Control = 0;
    MicrophoneMuteFound =
        Mixer->GetLineByComponentType(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE_VALUE, Line) ==
            MMSYSERR_NOERROR_VALUE &&
        Mixer->GetLineControlByType(Line, MIXERCONTROL_CONTROLTYPE_MUTE_VALUE, Control) ==
            MMSYSERR_NOERROR_VALUE;
  }
  EXPECT_TRUE(MicrophoneMuteFound);

  // The speakers' mute written and read back through the one-channel 32-bit value.
  auto Mixer = Audio().OpenMixer(0, Error);
  ASSERT_NE(Mixer, nullptr) << Error;
  uint32_t Speakers = 0;
  ASSERT_EQ(Mixer->GetLineByComponentType(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS_VALUE, Speakers),
            MMSYSERR_NOERROR_VALUE);
  uint32_t Mute = 0;
  ASSERT_EQ(Mixer->GetLineControlByType(Speakers, MIXERCONTROL_CONTROLTYPE_MUTE_VALUE, Mute),
            MMSYSERR_NOERROR_VALUE);
  uint32_t Before = 2;
  ASSERT_EQ(Mixer->GetControlValue(Mute, Before), MMSYSERR_NOERROR_VALUE);
  ASSERT_LE(Before, 1u);
  for (const uint32_t Value : {1 - Before, Before}) {
    EXPECT_EQ(Mixer->SetControlValue(Mute, Value), MMSYSERR_NOERROR_VALUE);
    uint32_t Read = 2;
    EXPECT_EQ(Mixer->GetControlValue(Mute, Read), MMSYSERR_NOERROR_VALUE);
    EXPECT_EQ(Read, Value);
  }

  // What the device does not have.
  uint32_t Unused = 0;
  EXPECT_EQ(Mixer->GetLineByComponentType(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC_VALUE, Unused),
            MIXERR_INVALLINE_VALUE);
  EXPECT_NE(Mixer->GetLineControlByType(Speakers, MIXERCONTROL_CONTROLTYPE_BASS_VALUE, Unused),
            MMSYSERR_NOERROR_VALUE);
  EXPECT_EQ(Mixer->GetControlValue(0x7777, Unused), MIXERR_INVALCONTROL_VALUE);
}

INSTANTIATE_TEST_SUITE_P(Backends, AudioTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

TEST(SimAudio, UnregisteringWaitsForTheCallInFlightAndNoCallFollows) {
  sim::TSimWorld World;
  uint32_t Error = 0;
  auto Endpoint = World.Audio.OpenDefaultCaptureEndpoint(Error);
  auto Other = World.Audio.OpenDefaultCaptureEndpoint(Error);
  ASSERT_NE(Endpoint, nullptr);
  ASSERT_NE(Other, nullptr);
  std::atomic<int> Calls{0};
  std::atomic<bool> Release{false};
  ASSERT_EQ(Endpoint->RegisterChangeNotify([&](bool) {
    ++Calls;
    test::WaitUntil([&] { return Release.load(); });
  }),
            S_OK_VALUE);
  // The positive control: a registration that stays hears every later change.
  TListener Staying;
  ASSERT_EQ(Other->RegisterChangeNotify(Staying.Notify()), S_OK_VALUE);

  EXPECT_EQ(Endpoint->SetMute(true), S_OK_VALUE);
  ASSERT_TRUE(test::WaitUntil([&] { return Calls == 1; }));
  std::atomic<bool> Unregistered{false};
  std::thread Unregistering([&] {
    Endpoint->UnregisterChangeNotify();
    Unregistered = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(Unregistered);
  Release = true;
  Unregistering.join();
  EXPECT_TRUE(Unregistered);

  EXPECT_EQ(Endpoint->SetMute(false), S_OK_VALUE);
  World.Audio.SetMutedElsewhere(true);
  World.Audio.WaitForNotifications();
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(Staying.Snapshot(), (std::vector<bool>{true, false, true}));
}

TEST(SimAudio, AHandlerMayThrowOrUnregisterItselfAndAClosedEndpointHearsNothing) {
  sim::TSimWorld World;
  uint32_t Error = 0;
  auto Throwing = World.Audio.OpenDefaultCaptureEndpoint(Error);
  auto Leaving = World.Audio.OpenDefaultCaptureEndpoint(Error);
  auto Closed = World.Audio.OpenDefaultCaptureEndpoint(Error);
  int ThrowingCalls = 0;
  int LeavingCalls = 0;
  int ClosedCalls = 0;
  Throwing->RegisterChangeNotify([&](bool) {
    if (++ThrowingCalls == 1) {
      throw std::runtime_error("handler failed");
    }
  });
  Leaving->RegisterChangeNotify([&](bool) {
    ++LeavingCalls;
    Leaving->UnregisterChangeNotify();
  });
  Closed->RegisterChangeNotify([&](bool) { ++ClosedCalls; });
  Closed.reset();
  EXPECT_EQ(World.Audio.Registrations(), 2);

  World.Audio.SetMutedElsewhere(true);
  World.Audio.SetMutedElsewhere(false);
  World.Audio.WaitForNotifications();
  EXPECT_EQ(ThrowingCalls, 2);
  EXPECT_EQ(LeavingCalls, 1);
  EXPECT_EQ(ClosedCalls, 0);
  EXPECT_EQ(World.Audio.Registrations(), 1);
  EXPECT_EQ(World.Dialogs.DebugLines(),
            std::vector<std::string>{"Audio change notification: handler failed"});
}

TEST(SimAudio, NoRecordingDeviceThenOneAppearsAndGoesAgain) {
  sim::TSimWorld World;
  World.Audio.SetMicrophonePresent(false);
  uint32_t Error = 0;
  EXPECT_EQ(World.Audio.OpenDefaultCaptureEndpoint(Error), nullptr);
  EXPECT_EQ(Error, E_NOTFOUND_VALUE);

  World.Audio.SetMicrophonePresent(true);
  auto Endpoint = World.Audio.OpenDefaultCaptureEndpoint(Error);
  ASSERT_NE(Endpoint, nullptr);
  EXPECT_EQ(Endpoint->SetMute(true), S_OK_VALUE);
  EXPECT_TRUE(World.Audio.Muted());

  // An endpoint outlives its device as a handle whose every call fails.
  World.Audio.SetMicrophonePresent(false);
  bool Muted = false;
  EXPECT_EQ(Endpoint->GetMute(Muted), AUDCLNT_E_DEVICE_INVALIDATED_VALUE);
  EXPECT_EQ(Endpoint->SetMute(false), AUDCLNT_E_DEVICE_INVALIDATED_VALUE);
  EXPECT_EQ(Endpoint->RegisterChangeNotify([](bool) {}), AUDCLNT_E_DEVICE_INVALIDATED_VALUE);
  EXPECT_TRUE(World.Audio.Muted());
  EXPECT_EQ(World.Audio.EndpointOpens(), 2);
  EXPECT_FALSE(Endpoint->IsDefault());
  // The same device back is the default again, but only a new endpoint reaches it.
  World.Audio.SetMicrophonePresent(true);
  EXPECT_TRUE(Endpoint->IsDefault());
  EXPECT_EQ(Endpoint->GetMute(Muted), AUDCLNT_E_DEVICE_INVALIDATED_VALUE);
  // Another device chosen: the former one's endpoint still works, on its own mute state.
  auto Former = World.Audio.OpenDefaultCaptureEndpoint(Error);
  ASSERT_NE(Former, nullptr);
  World.Audio.ReplaceDefaultMicrophone();
  EXPECT_FALSE(Former->IsDefault());
  EXPECT_FALSE(World.Audio.Muted());
  EXPECT_EQ(Former->GetMute(Muted), S_OK_VALUE);
  EXPECT_TRUE(Muted);
  EXPECT_EQ(Former->SetMute(false), S_OK_VALUE);
  World.Audio.SetMutedElsewhere(true);
  EXPECT_EQ(Former->GetMute(Muted), S_OK_VALUE);
  EXPECT_FALSE(Muted);

  // Systems before NT 6 have no endpoints at all; and the endpoint is the main thread's.
  World.Audio.SetMicrophonePresent(true);
  World.Environment.SetOsVersion({5, 1, 2600});
  EXPECT_EQ(World.Audio.OpenDefaultCaptureEndpoint(Error), nullptr);
  EXPECT_EQ(Error, REGDB_E_CLASSNOTREG_VALUE);
  std::thread([&] {
    EXPECT_THROW(World.Audio.OpenDefaultCaptureEndpoint(Error), std::logic_error);
  }).join();
}

TEST(SimAudio, TheMixerFailsWhereWindowsFailsAndRecordsWhatItWasAsked) {
  sim::TSimWorld World;
  uint32_t Error = 0;
  auto Mixer = World.Audio.OpenMixer(0, Error);
  ASSERT_NE(Mixer, nullptr);
  uint32_t Line = 0;
  uint32_t Mute = 0;
  ASSERT_EQ(Mixer->GetLineByComponentType(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE_VALUE, Line), 0u);
  ASSERT_EQ(Mixer->GetLineControlByType(Line, MIXERCONTROL_CONTROLTYPE_MUTE_VALUE, Mute), 0u);
  // The mixer's microphone mute is the endpoint's.
  EXPECT_EQ(Mixer->SetControlValue(Mute, 1), 0u);
  EXPECT_TRUE(World.Audio.Muted());

  World.Audio.FailMixer(sim::TSimMixerOp::GetValue, MMSYSERR_NODRIVER_VALUE);
  World.Audio.FailMixer(sim::TSimMixerOp::SetValue, MMSYSERR_ERROR_VALUE);
  uint32_t Value = 7;
  EXPECT_EQ(Mixer->GetControlValue(Mute, Value), MMSYSERR_NODRIVER_VALUE);
  EXPECT_EQ(Value, 7u);
  EXPECT_EQ(Mixer->SetControlValue(Mute, 0), MMSYSERR_ERROR_VALUE);
  EXPECT_TRUE(World.Audio.Muted());

  World.Audio.SetMicrophoneMuteControl(false);
  EXPECT_EQ(Mixer->GetLineControlByType(Line, MIXERCONTROL_CONTROLTYPE_MUTE_VALUE, Mute),
            MIXERR_INVALCONTROL_VALUE);
  World.Audio.SetMicrophoneLine(false);
  EXPECT_EQ(Mixer->GetLineByComponentType(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE_VALUE, Line),
            MIXERR_INVALLINE_VALUE);
  Mixer.reset();
  EXPECT_EQ(World.Audio.OpenMixers(), 0);
  World.Audio.SetMixerDevices(0);
  EXPECT_EQ(World.Audio.MixerDeviceCount(), 0u);
  EXPECT_EQ(World.Audio.OpenMixer(0, Error), nullptr);
  EXPECT_EQ(Error, MMSYSERR_BADDEVICEID_VALUE);

  std::vector<uint32_t> Types;
  for (const sim::TSimMixerCall& Call : World.Audio.MixerCalls()) {
    if (Call.Op == sim::TSimMixerOp::GetLine) {
      Types.push_back(Call.ComponentType);
    } else if (Call.Op == sim::TSimMixerOp::GetControl) {
      Types.push_back(Call.ControlType);
    }
  }
  EXPECT_EQ(Types, (std::vector<uint32_t>{0x1003, 0x20010002, 0x20010002, 0x1003}));
}

#ifdef _WIN32
// Wine never calls the callback it is given, so the callback's own side is driven here the
// way the audio service would drive it, from threads of its own.
TEST(Win32Audio, TheChangeCallbackIsAComObjectWhoseWithdrawalHolds) {
  sim::TSimDialogs Debug;
  std::atomic<int> Calls{0};
  std::atomic<bool> Hold{false};
  std::atomic<bool> Release{false};
  TListener Listener;
  auto* Callback = new win32::TWin32VolumeCallback(
      [&](bool AMuted) {
        Listener.Notify()(AMuted);
        if (++Calls == 2) {
          throw std::runtime_error("handler failed");
        }
        if (Hold) {
          test::WaitUntil([&] { return Release.load(); });
        }
      },
      Debug);

  void* Interface = nullptr;
  EXPECT_EQ(Callback->QueryInterface(__uuidof(IAudioEndpointVolumeCallback), &Interface), S_OK);
  EXPECT_EQ(Interface, static_cast<IAudioEndpointVolumeCallback*>(Callback));
  EXPECT_EQ(Callback->QueryInterface(IID_IUnknown, &Interface), S_OK);
  EXPECT_EQ(Interface, static_cast<IUnknown*>(Callback));
  EXPECT_EQ(Callback->QueryInterface(__uuidof(IAudioEndpointVolume), &Interface), E_NOINTERFACE);
  EXPECT_EQ(Interface, nullptr);
  EXPECT_EQ(Callback->AddRef(), 4u);
  for (ULONG Left : {3u, 2u, 1u}) {
    EXPECT_EQ(Callback->Release(), Left);
  }

  AUDIO_VOLUME_NOTIFICATION_DATA Data{};
  Data.nChannels = 1;
  auto NotifyElsewhere = [&](BOOL AMuted) {
    Data.bMuted = AMuted;
    HRESULT Result = E_FAIL;
    std::thread([&] { Result = Callback->OnNotify(&Data); }).join();
    return Result;
  };
  EXPECT_EQ(NotifyElsewhere(TRUE), S_OK);
  EXPECT_EQ(NotifyElsewhere(FALSE), S_OK); // the handler throws
  EXPECT_EQ(Listener.Snapshot(), (std::vector<bool>{true, false}));
  EXPECT_NE(Listener.Threads[0], std::this_thread::get_id());
  EXPECT_EQ(Debug.DebugLines(),
            std::vector<std::string>{"Audio change notification: handler failed"});

  Hold = true;
  Data.bMuted = TRUE;
  std::thread InFlight([&] { Callback->OnNotify(&Data); });
  ASSERT_TRUE(test::WaitUntil([&] { return Calls == 3; }));
  std::atomic<bool> Withdrawn{false};
  std::thread Withdrawing([&] {
    Callback->Withdraw();
    Withdrawn = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(Withdrawn);
  Release = true;
  Withdrawing.join();
  InFlight.join();
  EXPECT_TRUE(Withdrawn);
  EXPECT_EQ(NotifyElsewhere(TRUE), S_OK);
  EXPECT_EQ(Calls, 3);
  Callback->Release();
}
#endif

} // namespace
