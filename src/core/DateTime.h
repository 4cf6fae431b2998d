#pragma once
// Date-times as days since 30 December 1899 with the time of day as the fraction (the
// OLE automation date), the form in which result items carry their modification time.
#include <cstdint>

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  bool operator==(const TDateTimeParts&) const = default;
};

double EncodeDateTime(const TDateTimeParts& parts);
// Splits a value back into its calendar parts, rounded to the millisecond.
TDateTimeParts DecodeDateTime(double value);
// True when the value has no time of day (exactly midnight, to the millisecond).
bool IsMidnight(double value);
