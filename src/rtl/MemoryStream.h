// A growable in-memory byte stream with a position, as the persistent streams hold images.
#pragma once

#include <cstdint>
#include <vector>

namespace rtl {

class TMemoryStream {
public:
  int64_t Size() const { return static_cast<int64_t>(FData.size()); }
  // Resizes, keeping the leading bytes and zero-filling growth; the position is clamped to
  // the new size. A negative size raises EStreamError.
  void SetSize(int64_t ASize);
  int64_t Position() const { return FPosition; }
  // Positions are clamped to 0..Size.
  void SetPosition(int64_t APosition);

  // Writes at the position, growing the stream when needed; returns the bytes written (0 for
  // a count below 1).
  int64_t Write(const void* ABuffer, int64_t ACount);
  // Reads from the position; returns the bytes read, fewer near the end.
  int64_t Read(void* ABuffer, int64_t ACount);

  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }
  const std::vector<uint8_t>& Bytes() const { return FData; }

  // Replaces the whole content and positions at the start.
  void Assign(std::vector<uint8_t> AData);
  void Clear() { Assign({}); }

private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

} // namespace rtl
