// The hook library: low-level mouse and keyboard hooks reported to the callback given at
// enable time; an event is swallowed when the callback sets the blocked flag.
//
// Windows calls a low-level hook on the thread that installed it and holds the event (for the
// whole desktop) until the hook returns, and silently drops a hook that keeps it waiting too
// long. The hooks therefore live on a thread of this library that does nothing but wait for
// hook calls, so a caller busy with blocking work never holds up anyone's pointer. Enabling
// and disabling are carried to that thread and return once the hook is in place or gone;
// the callbacks run there. The thread starts with the first hook and ends when a disable
// leaves none.
//
// Releasing the library. A caller disables its hooks before it releases the library: a
// disable that returns has waited for any callback in flight and, once no hook is left, for
// the thread to end. The library's detach cannot wait for a thread to end (it runs under the
// loader lock, which an ending thread needs). Released with a hook still enabled, the library
// stops reaching the callbacks and hands its thread two asynchronous calls of the system's
// own code, which the thread runs in order once it is back in its alertable wait: the first
// tells the detach that the thread is there, outside the library's code, the second ends it
// before it could return into that code; its hooks end with it. The detach waits for the
// first only up to a bound: a callback that outlasts it, or that needs the loader lock, still
// has the library's code taken from under it, which only a disable can rule out.
#include <windows.h>

#include <atomic>

#include "hooklib/HookCore.h"

namespace {

enum class THookKind { Mouse, Keyboard };

// One enable (a callback) or disable (none), answered by the hook thread.
struct TRequest {
  THookKind Kind;
  hook::THookCallback Callback;
  void* Context;
  // Set by the hook thread: no hook is left and it ends after answering.
  bool ThreadEnds;
};

HMODULE GModule = nullptr;

// Callers, one at a time. The hook thread never takes it: a caller holding it waits for the
// hook thread.
CRITICAL_SECTION GControl;
HANDLE GThread = nullptr;
std::atomic<DWORD> GThreadId{0};
HANDLE GRequestReady = nullptr;
HANDLE GRequestDone = nullptr;
TRequest* GRequest = nullptr;

// The hook thread's own; only a release with a hook still enabled clears the slots from
// elsewhere.
HHOOK GMouseHook = nullptr;
HHOOK GKeyboardHook = nullptr;
hooklib::THookSlot GMouse;
hooklib::THookSlot GKeyboard;

LRESULT CALLBACK MouseProc(int ACode, WPARAM AWParam, LPARAM ALParam) {
  if (ACode == HC_ACTION && GMouse.Dispatch(ACode, AWParam, reinterpret_cast<void*>(ALParam))) {
    return 1;
  }
  return CallNextHookEx(GMouseHook, ACode, AWParam, ALParam);
}

LRESULT CALLBACK KeyboardProc(int ACode, WPARAM AWParam, LPARAM ALParam) {
  if (ACode == HC_ACTION && GKeyboard.Dispatch(ACode, AWParam, reinterpret_cast<void*>(ALParam))) {
    return 1;
  }
  return CallNextHookEx(GKeyboardHook, ACode, AWParam, ALParam);
}

// On the hook thread. Enabling twice leaves one hook: the old one goes first. True when no
// hook is left.
bool Serve(const TRequest& ARequest) {
  const bool Mouse = ARequest.Kind == THookKind::Mouse;
  HHOOK& Hook = Mouse ? GMouseHook : GKeyboardHook;
  hooklib::THookSlot& Slot = Mouse ? GMouse : GKeyboard;
  Slot.Disable();
  if (Hook != nullptr) {
    UnhookWindowsHookEx(Hook);
    Hook = nullptr;
  }
  if (ARequest.Callback != nullptr) {
    Slot.Enable(ARequest.Callback, ARequest.Context);
    Hook = SetWindowsHookExW(Mouse ? WH_MOUSE_LL : WH_KEYBOARD_LL, Mouse ? MouseProc : KeyboardProc,
                             GModule, 0);
    if (Hook == nullptr) {
      Slot.Disable();
    }
  }
  return GMouseHook == nullptr && GKeyboardHook == nullptr;
}

DWORD WINAPI HookThreadMain(LPVOID) {
  try {
    MSG Message;
    // The thread's message queue exists before the first hook is installed here.
    PeekMessageW(&Message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(GRequestDone);
    for (;;) {
      // Alertable: a release ends the thread from inside this wait.
      const DWORD Woken = MsgWaitForMultipleObjectsEx(1, &GRequestReady, INFINITE, QS_ALLINPUT,
                                                      MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
      if (Woken == WAIT_OBJECT_0) {
        // The request lives on the caller's stack, which it leaves once answered: nothing of
        // it is read after the answer.
        const bool Ends = Serve(*GRequest);
        GRequest->ThreadEnds = Ends;
        SetEvent(GRequestDone);
        if (Ends) {
          return 0;
        }
      }
      // Hook calls are made while the queue is read.
      while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&Message);
        DispatchMessageW(&Message);
      }
    }
  } catch (...) {
    // Nothing the thread calls is expected to throw (every callback is caught in its
    // dispatch); should anything, the thread ends and takes its hooks with it.
  }
  return 0;
}

// Waits for AHandle while serving messages sent to this thread: a callback on the hook thread
// that sends to the waiting thread (a hand-over to a main thread) is answered rather than
// waited for both ways.
void AwaitServing(HANDLE AHandle) {
  for (;;) {
    const DWORD Woken = MsgWaitForMultipleObjectsEx(1, &AHandle, INFINITE, QS_SENDMESSAGE, 0);
    if (Woken != WAIT_OBJECT_0 + 1) {
      return;
    }
    MSG Message;
    PeekMessageW(&Message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

// How long a release with a hook still enabled waits for the thread to be back in its wait
// (the platform gives up on a slow low-level hook within this).
constexpr DWORD cParkWaitMs = 2000;

// A system function of one pointer-sized argument as a thread's asynchronous call, so that the
// thread runs no code of this library for it.
template <class TFunction> PAPCFUNC SystemCall(TFunction* AFunction) {
  return reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(AFunction));
}

bool StartThread() {
  if (GRequestReady == nullptr) {
    GRequestReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  if (GRequestDone == nullptr) {
    GRequestDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  if (GRequestReady == nullptr || GRequestDone == nullptr) {
    return false;
  }
  DWORD Id = 0;
  GThread = CreateThread(nullptr, 0, HookThreadMain, nullptr, 0, &Id);
  if (GThread == nullptr) {
    return false;
  }
  GThreadId = Id;
  AwaitServing(GRequestDone);
  return true;
}

void Request(THookKind AKind, hook::THookCallback ACallback, void* AContext) {
  TRequest Request{AKind, ACallback, AContext, false};
  // From inside a callback: the hook thread itself, which cannot wait for itself. A disable
  // there that leaves no hook keeps the thread, idle, until the next call from outside.
  if (GetCurrentThreadId() == GThreadId) {
    Serve(Request);
    return;
  }
  EnterCriticalSection(&GControl);
  if (GThread != nullptr || (ACallback != nullptr && StartThread())) {
    GRequest = &Request;
    SetEvent(GRequestReady);
    AwaitServing(GRequestDone);
    GRequest = nullptr;
    if (Request.ThreadEnds) {
      AwaitServing(GThread);
      CloseHandle(GThread);
      GThread = nullptr;
      GThreadId = 0;
    }
  }
  LeaveCriticalSection(&GControl);
}

} // namespace

extern "C" {

__declspec(dllexport) void EnableKeyboardHook(hook::THookCallback ACallback, void* AContext,
                                              int32_t AReserved) {
  (void)AReserved;
  Request(THookKind::Keyboard, ACallback, AContext);
}

__declspec(dllexport) void DisableKeyboardHook() {
  Request(THookKind::Keyboard, nullptr, nullptr);
}

__declspec(dllexport) void EnableMouseHook(hook::THookCallback ACallback, void* AContext,
                                           int32_t AReserved) {
  (void)AReserved;
  Request(THookKind::Mouse, ACallback, AContext);
}

__declspec(dllexport) void DisableMouseHook() {
  Request(THookKind::Mouse, nullptr, nullptr);
}

BOOL WINAPI DllMain(HINSTANCE AInstance, DWORD AReason, LPVOID AReserved) {
  if (AReason == DLL_PROCESS_ATTACH) {
    GModule = AInstance;
    InitializeCriticalSection(&GControl);
  } else if (AReason == DLL_PROCESS_DETACH && AReserved == nullptr) {
    // At process exit (AReserved set) the other threads are gone already, and their hooks with
    // them. Released with a hook still enabled: see the top of this file.
    if (GThread != nullptr) {
      GMouse.Disable();
      GKeyboard.Disable();
      const HANDLE Parked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      const bool Told = Parked != nullptr && QueueUserAPC(SystemCall(&SetEvent), GThread,
                                                          reinterpret_cast<ULONG_PTR>(Parked)) != 0;
      QueueUserAPC(SystemCall(&ExitThread), GThread, 0);
      // Left open when the thread has not got there: it may still set it later. The request
      // event stays open too, as the thread may still be waiting on it.
      // Released from inside a callback, the thread is this one: nothing can be waited for.
      if (Told && GetCurrentThreadId() != GThreadId &&
          WaitForSingleObject(Parked, cParkWaitMs) == WAIT_OBJECT_0) {
        CloseHandle(Parked);
      }
      CloseHandle(GThread);
      GThread = nullptr;
    } else {
      if (GRequestReady != nullptr) {
        CloseHandle(GRequestReady);
      }
      if (GRequestDone != nullptr) {
        CloseHandle(GRequestDone);
      }
    }
    DeleteCriticalSection(&GControl);
  }
  return TRUE;
}

} // extern "C"
