#include "core/DateTime.h"

#include <cmath>

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Days from 1 March of year 0 in the proleptic Gregorian calendar (Howard Hinnant's method).
constexpr std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

std::int64_t TotalMs(double value) { return std::llround(value * static_cast<double>(kMsPerDay)); }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

double EncodeDateTime(const TDateTimeParts& p) {
  const std::int64_t days = DaysFromCivil(p.Year, p.Month, p.Day) - kEpoch;
  const std::int64_t ms = ((p.Hour * 60LL + p.Minute) * 60 + p.Second) * 1000 + p.Millisecond;
  return static_cast<double>(days) + static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

TDateTimeParts DecodeDateTime(double value) {
  TDateTimeParts p;
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return p;  // outside any calendar we show
  const std::int64_t total = TotalMs(value);
  const std::int64_t days = FloorDiv(total, kMsPerDay);
  std::int64_t ms = total - days * kMsPerDay;
  CivilFromDays(days + kEpoch, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(ms / 3600000);
  ms %= 3600000;
  p.Minute = static_cast<int>(ms / 60000);
  ms %= 60000;
  p.Second = static_cast<int>(ms / 1000);
  p.Millisecond = static_cast<int>(ms % 1000);
  return p;
}

bool IsMidnight(double value) {
  if (!std::isfinite(value)) return true;
  const std::int64_t total = TotalMs(value);
  return total - FloorDiv(total, kMsPerDay) * kMsPerDay == 0;
}
