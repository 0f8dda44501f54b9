// Range checks for values handed to 16-bit device and record fields and for index ranges.
#pragma once

#include <cstdint>

#include "rtl/Exceptions.h"

namespace rtl {

// Returns AValue as a 16-bit unsigned value; raises ERangeError when it does not fit.
inline uint16_t CheckWord(int64_t AValue) {
  if (AValue < 0 || AValue > 0xFFFF) {
    throw ERangeError();
  }
  return static_cast<uint16_t>(AValue);
}

// Raises ERangeError unless ALow <= AIndex <= AHigh.
inline void CheckIndex(int64_t AIndex, int64_t ALow, int64_t AHigh) {
  if (AIndex < ALow || AIndex > AHigh) {
    throw ERangeError();
  }
}

} // namespace rtl
