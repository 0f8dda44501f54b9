#include "rtl/Crc32.h"

#include <array>

namespace rtl {

namespace {

constexpr uint32_t cPolynomial = 0xEDB88320;

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> Table{};
  for (uint32_t Byte = 0; Byte < Table.size(); ++Byte) {
    uint32_t Value = Byte;
    for (int Bit = 0; Bit < 8; ++Bit) {
      Value = (Value & 1) ? (Value >> 1) ^ cPolynomial : Value >> 1;
    }
    Table[Byte] = Value;
  }
  return Table;
}

constexpr std::array<uint32_t, 256> cTable = MakeTable();

} // namespace

uint32_t Crc32(const uint8_t* AData, std::size_t ASize, uint32_t ACrc) {
  uint32_t Value = ~ACrc;
  for (std::size_t I = 0; I < ASize; ++I) {
    Value = cTable[(Value ^ AData[I]) & 0xFF] ^ (Value >> 8);
  }
  return ~Value;
}

} // namespace rtl
