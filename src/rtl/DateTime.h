// Date-time values as the profile records keep them: a double counting days since
// 1899-12-30 00:00, the fraction being the time of day.
#pragma once

#include <cstdint>
#include <string>

namespace rtl {

using TDateTime = double;

struct TDateTimeParts {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// Encodes a Gregorian calendar date and time of day.
TDateTime EncodeDateTime(const TDateTimeParts& AParts);
// "yyyy-mm-dd hh:mm:ss" of a date-time from 1899-12-30 on (earlier ones as that day).
std::string FormatDateTime(TDateTime AValue);

} // namespace rtl
