// What the save loop writes: two records of a game profile's size that differ in every byte.
#pragma once

#include <cstdint>
#include <vector>

namespace test {

inline std::vector<uint8_t> SavedRecord(int AWhich) {
  constexpr std::size_t cProfileRecordSize = 160 * 1024;
  std::vector<uint8_t> Record(cProfileRecordSize);
  for (std::size_t I = 0; I < Record.size(); ++I) {
    Record[I] = static_cast<uint8_t>(AWhich == 0 ? I * 7 : ~(I * 7));
  }
  return Record;
}

} // namespace test
