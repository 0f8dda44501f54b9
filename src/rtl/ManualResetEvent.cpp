#include "rtl/ManualResetEvent.h"

#include <algorithm>
#include <chrono>

namespace rtl {

void TManualResetEvent::Set() {
  std::lock_guard<std::mutex> Calling(FCallLock);
  std::vector<TSetListener> ToNotify;
  {
    std::lock_guard<std::mutex> Guard(FLock);
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
  std::lock_guard<std::mutex> Guard(FLock);
  FSet = false;
}

bool TManualResetEvent::IsSet() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FSet;
}

bool TManualResetEvent::WaitFor(uint32_t ATimeoutMs) const {
  std::unique_lock<std::mutex> Guard(FLock);
  if (ATimeoutMs == cInfinite) {
    FChanged.wait(Guard, [this] { return FSet; });
    return true;
  }
  return FChanged.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs), [this] { return FSet; });
}

int TManualResetEvent::AddSetListener(TSetListener AListener) {
  std::lock_guard<std::mutex> Guard(FLock);
  const int Token = FNextToken++;
  FListeners.emplace_back(Token, std::move(AListener));
  return Token;
}

void TManualResetEvent::RemoveSetListener(int AToken) {
  std::lock_guard<std::mutex> Calling(FCallLock);
  std::lock_guard<std::mutex> Guard(FLock);
  FListeners.erase(std::remove_if(FListeners.begin(), FListeners.end(),
                                  [AToken](const auto& Entry) { return Entry.first == AToken; }),
                   FListeners.end());
}

std::size_t WaitForAnyEvent(std::initializer_list<TManualResetEvent*> AEvents) {
  std::mutex Lock;
  std::condition_variable Woken;
  std::vector<std::pair<TManualResetEvent*, int>> Tokens;
  for (TManualResetEvent* Event : AEvents) {
    Tokens.emplace_back(Event, Event->AddSetListener([&] {
      std::lock_guard<std::mutex> Guard(Lock);
      Woken.notify_all();
    }));
  }
  std::size_t Found = 0;
  {
    std::unique_lock<std::mutex> Guard(Lock);
    Woken.wait(Guard, [&] {
      std::size_t Index = 0;
      for (TManualResetEvent* Event : AEvents) {
        if (Event->IsSet()) {
          Found = Index;
          return true;
        }
        ++Index;
      }
      return false;
    });
  }
  for (const auto& [Event, Token] : Tokens) {
    Event->RemoveSetListener(Token);
  }
  return Found;
}

} // namespace rtl
