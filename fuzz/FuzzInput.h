// Reading a fuzzer's input as a sequence of small values: every read succeeds, past the end
// it gives zeros, so any input decodes to some sequence of actions.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class TFuzzInput {
public:
  TFuzzInput(const uint8_t* AData, std::size_t ASize) : FData(AData), FSize(ASize) {}

  bool Empty() const { return FPosition >= FSize; }
  std::size_t Left() const { return FSize - FPosition; }

  uint8_t Byte() { return Empty() ? 0 : FData[FPosition++]; }
  uint16_t Word() {
    const uint16_t Low = Byte();
    return static_cast<uint16_t>(Low | Byte() << 8);
  }
  uint32_t Long() {
    const uint32_t Low = Word();
    return Low | static_cast<uint32_t>(Word()) << 16;
  }
  // Up to ACount bytes, fewer at the end of the input.
  std::vector<uint8_t> Bytes(std::size_t ACount) {
    const std::size_t Count = std::min(ACount, Left());
    std::vector<uint8_t> Result(FData + FPosition, FData + FPosition + Count);
    FPosition += Count;
    return Result;
  }
  std::vector<uint8_t> Rest() { return Bytes(Left()); }

private:
  const uint8_t* FData;
  std::size_t FSize;
  std::size_t FPosition = 0;
};

} // namespace fuzz
