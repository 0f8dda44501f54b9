#include "rtl/DateTime.h"

namespace rtl {

namespace {
// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t AYear, unsigned AMonth, unsigned ADay) {
  AYear -= AMonth <= 2 ? 1 : 0;
  const int64_t Era = (AYear >= 0 ? AYear : AYear - 399) / 400;
  const auto YearOfEra = static_cast<unsigned>(AYear - Era * 400);
  const unsigned DayOfYear = (153 * (AMonth + (AMonth > 2 ? -3 : 9)) + 2) / 5 + ADay - 1;
  const unsigned DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
  return Era * 146097 + static_cast<int64_t>(DayOfEra) - 719468;
}

constexpr int64_t cDaysFrom1899To1970 = 25569;
constexpr double cMillisecondsPerDay = 86400000.0;
} // namespace

TDateTime EncodeDateTime(const TDateTimeParts& AParts) {
  const int64_t Days = DaysFromCivil(AParts.Year, static_cast<unsigned>(AParts.Month),
                                     static_cast<unsigned>(AParts.Day)) +
                       cDaysFrom1899To1970;
  const int64_t Milliseconds =
      ((static_cast<int64_t>(AParts.Hour) * 60 + AParts.Minute) * 60 + AParts.Second) * 1000 +
      AParts.Millisecond;
  // Before the epoch the fraction still counts forward from midnight, as the format has it.
  const double Fraction = static_cast<double>(Milliseconds) / cMillisecondsPerDay;
  return Days >= 0 ? static_cast<double>(Days) + Fraction : static_cast<double>(Days) - Fraction;
}

} // namespace rtl
