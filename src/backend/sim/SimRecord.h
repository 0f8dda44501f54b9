// What the simulated world records for a test to read: a reader that follows a record as it
// grows asks only for what came after what it has seen, so that reading stays as cheap as what
// happened since the last look.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace platform::sim {

// The entries of ARecord from AFrom on (none when AFrom is past its end).
template <class T> std::vector<T> RecordFrom(const std::vector<T>& ARecord, std::size_t AFrom) {
  return {ARecord.begin() + static_cast<std::ptrdiff_t>(std::min(AFrom, ARecord.size())),
          ARecord.end()};
}

} // namespace platform::sim
