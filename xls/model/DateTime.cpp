#include "xls/model/DateTime.h"

#include <cmath>

namespace vorlix {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// Days from 1970-01-01 back to 1899-12-30.
constexpr std::int64_t kEpochShift = 25569;

// Days since 1970-01-01 of a civil date, and back (Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

}  // namespace

TDateTimeParts DecodeDateTime(double value) {
    TDateTimeParts parts;
    if (!std::isfinite(value) || std::fabs(value) > 1e10) return parts;
    const auto ms = static_cast<std::int64_t>(std::nearbyint(value * kMsPerDay));
    // The whole days count toward zero; the time of day is the distance from that day's
    // start, so -1.25 is 29 December 1899, 06:00.
    const std::int64_t days = ms / kMsPerDay;
    std::int64_t time = ms % kMsPerDay;
    if (time < 0) time = -time;
    CivilFromDays(days - kEpochShift, parts.Year, parts.Month, parts.Day);
    parts.Hour = static_cast<int>(time / 3600000);
    parts.Minute = static_cast<int>(time / 60000 % 60);
    parts.Second = static_cast<int>(time / 1000 % 60);
    parts.Millisecond = static_cast<int>(time % 1000);
    // 30 December 1899 was a Saturday.
    parts.DayOfWeek = static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
    return parts;
}

std::int64_t DaysFromDate(int year, int month, int day) {
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
           kEpochShift;
}

}  // namespace vorlix
