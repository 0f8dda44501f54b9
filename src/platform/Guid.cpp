#include "platform/Guid.h"

#include <cstdio>
#include <cstring>

#include "rtl/Hex.h"

namespace platform {

bool operator==(const TGuid& A, const TGuid& B) {
  return std::memcmp(&A, &B, sizeof(TGuid)) == 0;
}

std::optional<TGuid> ParseGuid(std::string_view AText) {
  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
  if (AText.size() != 38 || AText.front() != '{' || AText.back() != '}' || AText[9] != '-' ||
      AText[14] != '-' || AText[19] != '-' || AText[24] != '-') {
    return std::nullopt;
  }
  uint8_t Bytes[16];
  std::size_t Out = 0;
  for (std::size_t I = 1; I + 1 < AText.size(); ++I) {
    if (AText[I] == '-') {
      continue;
    }
    const int High = rtl::HexDigitValue(AText[I]);
    const int Low = I + 1 < AText.size() ? rtl::HexDigitValue(AText[I + 1]) : -1;
    if (High < 0 || Low < 0 || Out >= 16) {
      return std::nullopt;
    }
    Bytes[Out++] = static_cast<uint8_t>(High << 4 | Low);
    ++I;
  }
  if (Out != 16) {
    return std::nullopt;
  }
  TGuid Guid{};
  Guid.Data1 = static_cast<uint32_t>(Bytes[0]) << 24 | static_cast<uint32_t>(Bytes[1]) << 16 |
               static_cast<uint32_t>(Bytes[2]) << 8 | Bytes[3];
  Guid.Data2 = static_cast<uint16_t>(Bytes[4] << 8 | Bytes[5]);
  Guid.Data3 = static_cast<uint16_t>(Bytes[6] << 8 | Bytes[7]);
  std::memcpy(Guid.Data4, Bytes + 8, 8);
  return Guid;
}

std::string GuidToString(const TGuid& AGuid) {
  char Buffer[40];
  std::snprintf(Buffer, sizeof(Buffer), "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                static_cast<unsigned>(AGuid.Data1), AGuid.Data2, AGuid.Data3, AGuid.Data4[0],
                AGuid.Data4[1], AGuid.Data4[2], AGuid.Data4[3], AGuid.Data4[4], AGuid.Data4[5],
                AGuid.Data4[6], AGuid.Data4[7]);
  return Buffer;
}

} // namespace platform
