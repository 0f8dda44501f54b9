// The common CRC-32 (reflected polynomial 0xEDB88320, initial value and final xor 0xFFFFFFFF;
// "123456789" gives 0xCBF43926), as zip files and most tools compute it, so that a user can
// check a sum the system writes with a tool of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rtl {

// The CRC-32 of ASize bytes at AData. A run of calls, each given the previous result as
// ACrc (0 to start), gives the CRC-32 of the bytes of all of them in order.
uint32_t Crc32(const uint8_t* AData, std::size_t ASize, uint32_t ACrc = 0);

inline uint32_t Crc32(std::string_view AText, uint32_t ACrc = 0) {
  return Crc32(reinterpret_cast<const uint8_t*>(AText.data()), AText.size(), ACrc);
}

} // namespace rtl
