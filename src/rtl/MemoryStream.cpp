#include "rtl/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "rtl/Exceptions.h"

namespace rtl {

void TMemoryStream::SetSize(int64_t ASize) {
  if (ASize < 0) {
    throw EStreamError("Invalid stream size");
  }
  FData.resize(static_cast<std::size_t>(ASize), 0);
  FPosition = std::min(FPosition, ASize);
}

void TMemoryStream::SetPosition(int64_t APosition) {
  FPosition = std::clamp<int64_t>(APosition, 0, Size());
}

int64_t TMemoryStream::Write(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0 || ABuffer == nullptr) {
    return 0;
  }
  const int64_t End = FPosition + ACount;
  if (End > Size()) {
    FData.resize(static_cast<std::size_t>(End), 0);
  }
  std::memcpy(FData.data() + FPosition, ABuffer, static_cast<std::size_t>(ACount));
  FPosition = End;
  return ACount;
}

int64_t TMemoryStream::Read(void* ABuffer, int64_t ACount) {
  if (ACount <= 0 || ABuffer == nullptr) {
    return 0;
  }
  const int64_t Count = std::min(ACount, Size() - FPosition);
  if (Count <= 0) {
    return 0;
  }
  std::memcpy(ABuffer, FData.data() + FPosition, static_cast<std::size_t>(Count));
  FPosition += Count;
  return Count;
}

void TMemoryStream::Assign(std::vector<uint8_t> AData) {
  FData = std::move(AData);
  FPosition = 0;
}

} // namespace rtl
