#include "rtl/ManualResetEvent.h"

#include <algorithm>
#include <chrono>

namespace rtl {

void TManualResetEvent::Set() {
  TLockGuard Calling(FCallLock);
  std::vector<TSetListener> ToNotify;
  {
    TLockGuard Guard(FLock);
    if (FSet) {
      return;
    }
    FSet = true;
    for (const auto& Entry : FListeners) {
      ToNotify.push_back(Entry.second);
    }
  }
  FChanged.notify_all();
  for (const TSetListener& Listener : ToNotify) {
    Listener();
  }
}

void TManualResetEvent::Reset() {
  TLockGuard Guard(FLock);
  FSet = false;
}

bool TManualResetEvent::IsSet() const {
  TLockGuard Guard(FLock);
  return FSet;
}

bool TManualResetEvent::WaitFor(uint32_t ATimeoutMs) const {
  TUniqueLock Guard(FLock);
  if (ATimeoutMs == cInfinite) {
    while (!FSet) {
      Guard.Wait(FChanged);
    }
    return true;
  }
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
  while (!FSet) {
    if (!Guard.WaitUntil(FChanged, Deadline)) {
      return FSet;
    }
  }
  return true;
}

int TManualResetEvent::AddSetListener(TSetListener AListener) {
  TLockGuard Guard(FLock);
  const int Token = FNextToken++;
  FListeners.emplace_back(Token, std::move(AListener));
  return Token;
}

void TManualResetEvent::RemoveSetListener(int AToken) {
  TLockGuard Calling(FCallLock);
  TLockGuard Guard(FLock);
  FListeners.erase(std::remove_if(FListeners.begin(), FListeners.end(),
                                  [AToken](const auto& Entry) { return Entry.first == AToken; }),
                   FListeners.end());
}

std::size_t WaitForAnyEvent(std::initializer_list<TManualResetEvent*> AEvents) {
  // Guards nothing of its own: the events' state is read under each event's lock; this one
  // only keeps a listener's notification from falling between a test and the wait.
  TMutex Lock;
  std::condition_variable Woken;
  std::vector<std::pair<TManualResetEvent*, int>> Tokens;
  for (TManualResetEvent* Event : AEvents) {
    Tokens.emplace_back(Event, Event->AddSetListener([&] {
      TLockGuard Guard(Lock);
      Woken.notify_all();
    }));
  }
  std::size_t Found = 0;
  {
    TUniqueLock Guard(Lock);
    const auto AnySet = [&] {
      std::size_t Index = 0;
      for (TManualResetEvent* Event : AEvents) {
        if (Event->IsSet()) {
          Found = Index;
          return true;
        }
        ++Index;
      }
      return false;
    };
    while (!AnySet()) {
      Guard.Wait(Woken);
    }
  }
  for (const auto& [Event, Token] : Tokens) {
    Event->RemoveSetListener(Token);
  }
  return Found;
}

} // namespace rtl
