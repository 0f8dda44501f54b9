// Method-reference events: a receiver and the code to call on it, tested for assignment
// before they are raised, as the component model expects.
#pragma once

#include <functional>
#include <utility>

namespace rtl {

template <class TSignature> class TMethodEvent;

template <class R, class... TArgs> class TMethodEvent<R(TArgs...)> {
public:
  TMethodEvent() = default;

  // Binds a member function of a receiver, the usual way handlers are attached.
  template <class TReceiver>
  TMethodEvent(TReceiver* AReceiver, R (TReceiver::*AMethod)(TArgs...))
      : FReceiver(AReceiver), FCall([AReceiver, AMethod](TArgs... AArgs) -> R {
          return (AReceiver->*AMethod)(std::forward<TArgs>(AArgs)...);
        }) {}

  // Binds any callable (a lambda in tests and in wiring code); it has no receiver.
  template <class TCallable,
            class = std::enable_if_t<std::is_invocable_r_v<R, TCallable&, TArgs...> &&
                                     !std::is_same_v<std::decay_t<TCallable>, TMethodEvent>>>
  TMethodEvent(TCallable&& ACallable) : FCall(std::forward<TCallable>(ACallable)) {}

  bool Assigned() const { return static_cast<bool>(FCall); }
  const void* Receiver() const { return FReceiver; }

  R operator()(TArgs... AArgs) const { return FCall(std::forward<TArgs>(AArgs)...); }

private:
  const void* FReceiver = nullptr;
  std::function<R(TArgs...)> FCall;
};

class TComponent;
using TNotifyEvent = TMethodEvent<void(TComponent* ASender)>;

} // namespace rtl
