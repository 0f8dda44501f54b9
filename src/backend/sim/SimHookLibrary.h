// The simulated hook library: the real library's core behind the four exports, into which a
// test injects low-level mouse and keyboard events and sees the blocked flag come back. As
// the real library does, it keeps its hooks on a thread of its own: enabling and disabling
// are carried to that thread and return once done, the callbacks run there (never on the
// test's thread), and the thread ends when a disable leaves no hook. An injected event waits
// until that thread has dispatched it. It lies in the program's folder and is found only by
// that full path, never by a bare name or from another folder; it can be missing, or present
// with an export missing. Also the simulated keyboard state.
//
// Where the real library cannot be used safely it fails loudly (the process aborts with a
// message): released from inside one of its callbacks (the real one would have its code
// unloaded under the callback), or an event injected from inside a callback (the platform
// would wait for the very thread that sends it).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "hooklib/HookCore.h"
#include "platform/Libraries.h"
#include "rtl/Mutex.h"

namespace platform::sim {

class TSimHookLibrary : public ILibraries, public IKeyboardState {
public:
  // AModuleFolder: the simulated program's folder, with its trailing delimiter.
  explicit TSimHookLibrary(std::string AModuleFolder);
  ~TSimHookLibrary() override;
  std::unique_ptr<ILoadedLibrary> Load(const std::string& AFullPath) override;
  int16_t KeyState(int32_t AVirtualKey) override;

  void SetMissing(bool AMissing) { FMissing = AMissing; }
  void SetMissingExport(const std::string& AName) { FMissingExport = AName; }
  int LoadAttempts() const { return FLoadAttempts; }
  bool Loaded() const { return FLoadedCount > 0; }

  // Any thread but the library's: delivers one event to the installed hook on the library's
  // thread and waits for it; true when it was swallowed.
  bool InjectMouse(uint32_t AMessage, int32_t AX, int32_t AY, uint32_t AMouseData, uint32_t AFlags,
                   uint32_t ATime);
  bool InjectKeyboard(uint32_t AVirtualKey, uint32_t AScanCode, uint32_t AFlags, uint32_t ATime);
  bool MouseHookInstalled() const { return FMouse.Enabled(); }
  bool KeyboardHookInstalled() const { return FKeyboard.Enabled(); }
  int MouseEnables() const { return FMouseEnables; }
  // Whether the library's thread is running.
  bool ThreadRunning() const;

  void SetKeyDown(int32_t AVirtualKey, bool ADown);

  // The exports' work, reaching the instance that is current.
  void Request(bool AMouse, hook::THookCallback ACallback, void* AContext);
  void LibraryReleased();

private:
  // A request or an event, answered on the library's thread.
  struct TJob {
    enum TKind { KindRequest, KindEvent, KindEnd } Kind;
    bool Mouse;
    hook::THookCallback Callback;
    void* Context;
    uintptr_t Message;
    void* Record;
    bool Blocked = false;
    bool ThreadEnds = false;
    bool Done = false;
  };
  bool OnLibraryThread() const { return std::this_thread::get_id() == FThreadId.load(); }
  // On the library's thread; true when no hook is left.
  bool Serve(bool AMouse, hook::THookCallback ACallback, void* AContext);
  void Run();
  // Queues AJob for the library's thread and waits for it; false when the thread is not
  // running.
  bool Submit(TJob& AJob);
  void EndThread();
  bool Inject(bool AMouse, uintptr_t AMessage, void* ARecord);

  std::string FModuleFolder;
  bool FMissing = false;
  std::string FMissingExport;
  int FLoadAttempts = 0;
  int FLoadedCount = 0;
  std::atomic<int> FMouseEnables{0};
  std::set<int32_t> FKeysDown MONITOR_GUARDED_BY(FLock);
  mutable rtl::TMutex FLock;

  // Callers one at a time; the library's thread never takes it.
  rtl::TMutex FControl MONITOR_ACQUIRED_BEFORE(FJobLock);
  std::thread FThread;
  std::atomic<std::thread::id> FThreadId;
  // Guards the jobs and whether the thread takes any.
  mutable rtl::TMutex FJobLock;
  std::condition_variable FJobReady;
  std::condition_variable FJobDone;
  std::deque<TJob*> FJobs MONITOR_GUARDED_BY(FJobLock);
  bool FTakingJobs MONITOR_GUARDED_BY(FJobLock) = false;
  hooklib::THookSlot FMouse;
  hooklib::THookSlot FKeyboard;
};

} // namespace platform::sim
