#include "backend/sim/SimHookLibrary.h"

#include <cstdio>
#include <cstdlib>

#include "hooklib/HookRecords.h"
#include "rtl/Component.h"
#include "rtl/Mutex.h"

namespace platform::sim {

namespace {

TSimHookLibrary* GCurrent = nullptr;

[[noreturn]] void Fatal(const char* AWhat) {
  std::fprintf(stderr, "simulated hook library: %s\n", AWhat);
  std::fflush(stderr);
  std::abort();
}

} // namespace

struct TSimHookExports {
  static void EnableKeyboardHook(hook::THookCallback ACallback, void* AContext, int32_t) {
    if (GCurrent != nullptr) {
      GCurrent->Request(false, ACallback, AContext);
    }
  }
  static void DisableKeyboardHook() {
    if (GCurrent != nullptr) {
      GCurrent->Request(false, nullptr, nullptr);
    }
  }
  static void EnableMouseHook(hook::THookCallback ACallback, void* AContext, int32_t) {
    if (GCurrent != nullptr) {
      GCurrent->Request(true, ACallback, AContext);
    }
  }
  static void DisableMouseHook() {
    if (GCurrent != nullptr) {
      GCurrent->Request(true, nullptr, nullptr);
    }
  }
};

namespace {

class TSimLoadedHookLibrary : public ILoadedLibrary {
public:
  TSimLoadedHookLibrary(TSimHookLibrary& AOwner, std::string AMissingExport)
      : FOwner(AOwner), FMissingExport(std::move(AMissingExport)) {}
  ~TSimLoadedHookLibrary() override { FOwner.LibraryReleased(); }
  void* Resolve(const std::string& AName) override {
    if (AName == FMissingExport) {
      return nullptr;
    }
    if (AName == hook::cEnableKeyboardHook) {
      return reinterpret_cast<void*>(&TSimHookExports::EnableKeyboardHook);
    }
    if (AName == hook::cDisableKeyboardHook) {
      return reinterpret_cast<void*>(&TSimHookExports::DisableKeyboardHook);
    }
    if (AName == hook::cEnableMouseHook) {
      return reinterpret_cast<void*>(&TSimHookExports::EnableMouseHook);
    }
    if (AName == hook::cDisableMouseHook) {
      return reinterpret_cast<void*>(&TSimHookExports::DisableMouseHook);
    }
    return nullptr;
  }

private:
  TSimHookLibrary& FOwner;
  std::string FMissingExport;
};

} // namespace

TSimHookLibrary::TSimHookLibrary(std::string AModuleFolder)
    : FModuleFolder(std::move(AModuleFolder)) {
  GCurrent = this;
}

TSimHookLibrary::~TSimHookLibrary() {
  EndThread();
  if (GCurrent == this) {
    GCurrent = nullptr;
  }
}

std::unique_ptr<ILoadedLibrary> TSimHookLibrary::Load(const std::string& AFullPath) {
  ++FLoadAttempts;
  // Paths compare as the platform's file names do, without regard to case.
  if (FMissing || !rtl::SameText(AFullPath, FModuleFolder + hook::cHookLibraryName)) {
    return nullptr;
  }
  ++FLoadedCount;
  return std::make_unique<TSimLoadedHookLibrary>(*this, FMissingExport);
}

// Releasing the library removes any hook it still holds, and its thread with them, once a
// callback in flight has returned.
void TSimHookLibrary::LibraryReleased() {
  if (OnLibraryThread()) {
    Fatal("released from inside one of its own callbacks");
  }
  EndThread();
  --FLoadedCount;
}

int16_t TSimHookLibrary::KeyState(int32_t AVirtualKey) {
  rtl::TLockGuard Guard(FLock);
  return FKeysDown.count(AVirtualKey) > 0 ? static_cast<int16_t>(0xFF80) : 0;
}

void TSimHookLibrary::SetKeyDown(int32_t AVirtualKey, bool ADown) {
  rtl::TLockGuard Guard(FLock);
  if (ADown) {
    FKeysDown.insert(AVirtualKey);
  } else {
    FKeysDown.erase(AVirtualKey);
  }
}

bool TSimHookLibrary::ThreadRunning() const {
  rtl::TLockGuard Guard(FJobLock);
  return FTakingJobs;
}

bool TSimHookLibrary::Serve(bool AMouse, hook::THookCallback ACallback, void* AContext) {
  hooklib::THookSlot& Slot = AMouse ? FMouse : FKeyboard;
  // Enabling twice leaves one hook: the old one goes first.
  Slot.Disable();
  if (ACallback != nullptr) {
    Slot.Enable(ACallback, AContext);
    if (AMouse) {
      ++FMouseEnables;
    }
  }
  return !FMouse.Enabled() && !FKeyboard.Enabled();
}

void TSimHookLibrary::Run() {
  for (;;) {
    TJob* Job = nullptr;
    {
      rtl::TUniqueLock Guard(FJobLock);
      while (FJobs.empty()) {
        Guard.Wait(FJobReady);
      }
      Job = FJobs.front();
      FJobs.pop_front();
    }
    bool Ends = false;
    switch (Job->Kind) {
    case TJob::KindRequest:
      Ends = Job->ThreadEnds = Serve(Job->Mouse, Job->Callback, Job->Context);
      break;
    case TJob::KindEvent:
      // The core catches what the callback throws: nothing ends this thread.
      Job->Blocked = (Job->Mouse ? FMouse : FKeyboard).Dispatch(0, Job->Message, Job->Record);
      break;
    case TJob::KindEnd:
      FMouse.Disable();
      FKeyboard.Disable();
      Ends = true;
      break;
    }
    rtl::TLockGuard Guard(FJobLock);
    Job->Done = true;
    if (Ends) {
      // Whatever is still queued finds no hook: it passes.
      FTakingJobs = false;
      for (TJob* Left : FJobs) {
        Left->Done = true;
      }
      FJobs.clear();
    }
    FJobDone.notify_all();
    if (Ends) {
      return;
    }
  }
}

bool TSimHookLibrary::Submit(TJob& AJob) {
  rtl::TUniqueLock Guard(FJobLock);
  if (!FTakingJobs) {
    return false;
  }
  FJobs.push_back(&AJob);
  FJobReady.notify_one();
  while (!AJob.Done) {
    Guard.Wait(FJobDone);
  }
  return true;
}

void TSimHookLibrary::Request(bool AMouse, hook::THookCallback ACallback, void* AContext) {
  // From inside a callback: the library's thread itself, which cannot wait for itself.
  if (OnLibraryThread()) {
    Serve(AMouse, ACallback, AContext);
    return;
  }
  rtl::TLockGuard Control(FControl);
  if (!FThread.joinable()) {
    if (ACallback == nullptr) {
      return;
    }
    {
      rtl::TLockGuard Guard(FJobLock);
      FTakingJobs = true;
    }
    FThread = std::thread([this] { Run(); });
    FThreadId = FThread.get_id();
  }
  TJob Job{TJob::KindRequest, AMouse, ACallback, AContext, 0, nullptr};
  Submit(Job);
  if (Job.ThreadEnds) {
    FThread.join();
    FThreadId = std::thread::id();
  }
}

void TSimHookLibrary::EndThread() {
  rtl::TLockGuard Control(FControl);
  if (FThread.joinable()) {
    TJob Job{TJob::KindEnd, false, nullptr, nullptr, 0, nullptr};
    Submit(Job);
    FThread.join();
    FThreadId = std::thread::id();
  }
}

bool TSimHookLibrary::Inject(bool AMouse, uintptr_t AMessage, void* ARecord) {
  if (OnLibraryThread()) {
    Fatal("an event injected from inside one of its own callbacks");
  }
  TJob Job{TJob::KindEvent, AMouse, nullptr, nullptr, AMessage, ARecord};
  // No thread, no hook: the event passes.
  return Submit(Job) && Job.Blocked;
}

bool TSimHookLibrary::InjectMouse(uint32_t AMessage, int32_t AX, int32_t AY, uint32_t AMouseData,
                                  uint32_t AFlags, uint32_t ATime) {
  hook::TMSLLHOOKSTRUCT Record{AX, AY, AMouseData, AFlags, ATime, 0};
  return Inject(true, AMessage, &Record);
}

bool TSimHookLibrary::InjectKeyboard(uint32_t AVirtualKey, uint32_t AScanCode, uint32_t AFlags,
                                     uint32_t ATime) {
  hook::TKBDLLHOOKRECORD Record{AVirtualKey, AScanCode, AFlags, ATime, 0};
  const uint32_t Message =
      (AFlags & hook::LLKHF_UP_FLAG) != 0 ? hook::WM_KEYUP_MSG : hook::WM_KEYDOWN_MSG;
  return Inject(false, Message, &Record);
}

} // namespace platform::sim
