#include "rtl/DateTime.h"

#include <cmath>
#include <cstdio>

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

// The civil date of a day counted from 1970-01-01.
void CivilFromDays(int64_t ADays, TDateTimeParts& AParts) {
  ADays += 719468;
  const int64_t Era = (ADays >= 0 ? ADays : ADays - 146096) / 146097;
  const auto DayOfEra = static_cast<unsigned>(ADays - Era * 146097);
  const unsigned YearOfEra =
      (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
  const unsigned DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  const unsigned MonthIndex = (5 * DayOfYear + 2) / 153;
  AParts.Day = static_cast<int>(DayOfYear - (153 * MonthIndex + 2) / 5 + 1);
  AParts.Month = static_cast<int>(MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9);
  AParts.Year =
      static_cast<int>(static_cast<int64_t>(YearOfEra) + Era * 400 + (AParts.Month <= 2 ? 1 : 0));
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

std::string FormatDateTime(TDateTime AValue) {
  // Dates from 1899-12-30 on: the day and the time of day, to the second.
  const double Clamped = std::isfinite(AValue) && AValue > 0 ? AValue : 0;
  const auto Days = static_cast<int64_t>(std::floor(Clamped));
  auto Seconds =
      static_cast<int64_t>(std::llround((Clamped - static_cast<double>(Days)) * 86400.0));
  TDateTimeParts Parts;
  CivilFromDays(Days - cDaysFrom1899To1970 + Seconds / 86400, Parts);
  Seconds %= 86400;
  char Text[32];
  std::snprintf(Text, sizeof(Text), "%04d-%02d-%02d %02d:%02d:%02d", Parts.Year, Parts.Month,
                Parts.Day, static_cast<int>(Seconds / 3600), static_cast<int>(Seconds / 60 % 60),
                static_cast<int>(Seconds % 60));
  return Text;
}

} // namespace rtl
