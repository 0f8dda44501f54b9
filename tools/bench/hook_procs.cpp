// Measures the hook callbacks with full rule lists (median and 99th percentile per event), on
// the simulated hook library: the component's callback alone, and the whole way from an
// injected event through the library's thread and the component's rule scan (that hand-over
// between threads is the simulation's own, not the platform's).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "BenchArguments.h"
#include "backend/sim/SimWorld.h"
#include "hook/uiHook.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class TEvent> void Measure(const char* AName, int ACount, TEvent AEvent) {
  std::vector<double> Times;
  Times.reserve(static_cast<std::size_t>(ACount));
  for (int I = 0; I < ACount; ++I) {
    const auto Start = Clock::now();
    AEvent(static_cast<uint32_t>(I));
    Times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - Start).count());
  }
  std::sort(Times.begin(), Times.end());
  std::printf("%-36s median %.3f us, p99 %.3f us, max %.1f us over %d events\n", AName,
              Times[Times.size() / 2], Times[Times.size() * 99 / 100], Times.back(), ACount);
}

} // namespace

int main(int argc, char** argv) {
  bench::ReadWholeArguments(argc, argv, {});
  platform::sim::TSimWorld World;
  hook::TuiHook Hook(nullptr,
                     {World.HookLibrary, World.HookLibrary, World.Dialogs, World.Environment});
  // Every rule but the last misses: the scans run the whole list.
  for (int I = 0; I < 10; ++I) {
    Hook.AddMouseHookObject(std::make_unique<hook::TMouseHookDetailObject>(hook::TMouseHookDetail{
        hook::BUTTONX3, hook::StateBit(hook::MOUSEHWHEEL), hook::BUTTON_NONE, hook::HOOK_DOWN}));
  }
  Hook.AddMouseHookObject(std::make_unique<hook::TMouseHookDetailObject>(hook::TMouseHookDetail{
      hook::WHEELDOWN, hook::StateBit(hook::MOUSEWHEEL), hook::BUTTON_NONE, hook::HOOK_DOWN}));
  for (int I = 0; I < 255; ++I) {
    Hook.AddKeyboardHookObject(std::make_unique<hook::TKeyBoardHookDetailObject>(
        hook::TKeyBoardHookDetail{0x100 + I, 0, 0, 0}));
  }
  Hook.AddKeyboardHookObject(
      std::make_unique<hook::TKeyBoardHookDetailObject>(hook::TKeyBoardHookDetail{0x41, 0, 0, 1}));
  int Raised = 0;
  Hook.SetOnHookMouseButton([&](hook::TMouseButtons, int32_t, bool& ABlocked) {
    ABlocked = true;
    ++Raised;
  });
  Hook.SetOnHookKeyboardKey([&](int32_t, int32_t, int32_t, bool&, uint32_t) { ++Raised; });
  Hook.SetOnHookMouseMove([&](int32_t, int32_t, double) {});
  Hook.StartHookMouse();
  Hook.StartHookKeyboard();
  const int Count = 200000;
  Measure("callback: wheel, 11 mouse rules", Count, [&](uint32_t ATime) {
    const hook::TMSLLHOOKSTRUCT Record{1, 2, 120u << 16, 0, ATime, 0};
    bool Blocked = false;
    Hook.MouseHookProc(0, hook::WM_MOUSEWHEEL_MSG, Record, Blocked);
  });
  Measure("callback: key, 256 keyboard rules", Count, [&](uint32_t ATime) {
    const hook::TKBDLLHOOKRECORD Record{0x41, 0x1E, 0, ATime, 0};
    bool Blocked = false;
    Hook.KeyboardHookProc(0, hook::WM_KEYDOWN_MSG, Record, Blocked);
  });
  Measure("wheel, 11 mouse rules", Count, [&](uint32_t ATime) {
    World.HookLibrary.InjectMouse(hook::WM_MOUSEWHEEL_MSG, 1, 2, 120u << 16, 0, ATime);
  });
  Measure("move", Count, [&](uint32_t ATime) {
    World.HookLibrary.InjectMouse(hook::WM_MOUSEMOVE_MSG, 1, 2, 0, 0, ATime);
  });
  Measure("key, 256 keyboard rules", Count,
          [&](uint32_t ATime) { World.HookLibrary.InjectKeyboard(0x41, 0x1E, 0, ATime); });
  std::printf("handlers raised %d times\n", Raised);
  return 0;
}
