// Date-times as the model holds them: days since 30 December 1899 (day 0), the fraction
// being the time of day.
#pragma once

#include <cstdint>

namespace vorlix {

struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
    int DayOfWeek = 7;  // 1 Sunday .. 7 Saturday
};

// Splits a date-time after rounding it to the nearest millisecond (ties to even).
TDateTimeParts DecodeDateTime(double value);
// Days since 30 December 1899 of a calendar date (proleptic Gregorian).
std::int64_t DaysFromDate(int year, int month, int day);

}  // namespace vorlix
