// Date and time formats: the first section of a format compiled once into a list of
// elements, and a date-time value rendered through it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegionalSettings.h"

namespace vorlix::format {

enum class TDateOp : std::uint8_t {
    Literal,
    Year2,
    Year4,
    Month,
    MonthShort,
    MonthLong,
    MonthLetter,
    Day,
    DayShort,
    DayLong,
    Hour,
    Minute,
    Second,
    SecondFraction,
    ElapsedHours,
    ElapsedMinutes,
    ElapsedSeconds,
    AmPmAsWritten,
    AmPmLocale,
    EraName,
    EraYear,
    SkipAtMidnight,  // skip `count` elements when the time of day is 00:00:00
};

struct TDateElement {
    TDateOp op = TDateOp::Literal;
    bool twelveHour = false;  // Hour
    std::uint32_t count = 1;  // digits, run length (eras), elements to skip
    std::u16string text;      // Literal; AmPmAsWritten: the AM text then the PM text
};

struct TDateFormat {
    std::vector<TDateElement> elements;
    int secondDecimals = 0;  // the value is rounded to this many decimals of a second
};

// The first section of a spreadsheet format.
TDateFormat CompileDateFormat(std::u16string_view format, const platform::TRegionalSettings& rs);
// A pattern of the date pattern language itself, as the regional settings hold them.
TDateFormat CompileDatePattern(std::u16string_view pattern, const platform::TRegionalSettings& rs);

// Whether a compiled format shows any part of a date (year, month, day, era), rather than
// times alone.
bool ShowsDate(const TDateFormat& format);

std::u16string FormatDate(const TDateFormat& format, double x,
                          const platform::TRegionalSettings& rs);

}  // namespace vorlix::format
