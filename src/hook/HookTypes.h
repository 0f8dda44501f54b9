// The input enumerations shared by the hook component, the recorders and the key names. They
// are one byte each in records, with ordinal values from 0.
#pragma once

#include <cstdint>

namespace hook {

enum TMouseButtons : uint8_t {
  BUTTON_NONE,
  LCLICK,
  RCLICK,
  MCLICK,
  XCLICK4,
  XCLICK5,
  WHEELUP,
  WHEELDOWN,
  BUTTONX1,
  BUTTONX2,
  BUTTONX3
};

// Each value is the platform's mouse message number minus 0x200.
enum TMouseButtonStates : uint8_t {
  MOUSEMOVE,
  LBUTTONDOWN,
  LBUTTONUP,
  LBUTTONDBLCLK,
  RBUTTONDOWN,
  RBUTTONUP,
  RBUTTONDBLCLK,
  MBUTTONDOWN,
  MBUTTONUP,
  MBUTTONDBLCLK,
  MOUSEWHEEL,
  XBUTTONDOWN,
  XBUTTONUP,
  XBUTTONDBLCLK,
  MOUSEHWHEEL,
  OTHERFUNCTION
};

// A set of TMouseButtonStates: bit n for value n.
using TMouseButtonStateSet = uint16_t;

inline constexpr TMouseButtonStateSet StateBit(TMouseButtonStates AState) {
  return static_cast<TMouseButtonStateSet>(1u << AState);
}

static_assert(sizeof(TMouseButtons) == 1 && BUTTONX3 == 10);
static_assert(sizeof(TMouseButtonStates) == 1 && MOUSEWHEEL == 10 && OTHERFUNCTION == 15);
static_assert(StateBit(MOUSEWHEEL) == 1024);

} // namespace hook
