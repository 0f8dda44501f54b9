// Moving records in and out of a stream's memory, for the data module and its defaults.
#pragma once

#include <cstring>
#include <memory>

#include "rtl/MemoryStream.h"

namespace profile {

// Extends a shorter stream with zero bytes to the record's size; a longer one is left as it is.
template <class T> void ExtendStreamTo(rtl::TMemoryStream& AStream) {
  if (AStream.Size() < static_cast<int64_t>(sizeof(T))) {
    AStream.SetSize(sizeof(T));
  }
}

// The record held at the start of the stream (extended first).
template <class T> std::unique_ptr<T> TakeStreamRecord(rtl::TMemoryStream& AStream) {
  ExtendStreamTo<T>(AStream);
  auto Record = std::make_unique<T>();
  std::memcpy(static_cast<void*>(Record.get()), AStream.Memory(), sizeof(T));
  return Record;
}

// Writes the record back in place; never past the record's size.
template <class T> void PutStreamRecord(rtl::TMemoryStream& AStream, const T& ARecord) {
  ExtendStreamTo<T>(AStream);
  std::memcpy(AStream.Memory(), static_cast<const void*>(&ARecord), sizeof(T));
}

} // namespace profile
