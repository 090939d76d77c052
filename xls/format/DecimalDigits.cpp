#include "xls/format/DecimalDigits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/RegionalSettings.h"
#include "xls/format/TextHelpers.h"
#include "xls/format/ValueFormatter.h"

namespace vorlix {

namespace format {

namespace {

void DropTrailingZeros(TDecimal& d) {
    while (d.Count > 0 && d.Digits[d.Count - 1] == '0')
        --d.Count;
    if (d.Count == 0) d.Exponent = 0;
}

}  // namespace

TDecimal SignificantDigits(double value) {
    TDecimal d;
    value = std::fabs(value);
    if (value == 0 || !std::isfinite(value)) return d;
    if (value < 1e17 && value == std::floor(value)) {
        // Whole numbers of up to 17 digits: their digits are exact without a float print.
        char digits[24];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(value)).ptr;
        d.Count = static_cast<int>(end - digits);
        std::memcpy(d.Digits, digits, static_cast<std::size_t>(d.Count));
        d.Exponent = d.Count;
        DropTrailingZeros(d);
        return d;
    }
    char buffer[48];  // "d.ddddddddddddddddde-308"
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific, kSignificantDigits - 1)
                         .ptr;
    d.Digits[0] = buffer[0];
    std::memcpy(d.Digits + 1, buffer + 2, kSignificantDigits - 1);
    d.Count = kSignificantDigits;
    const char* e = std::find(buffer, end, 'e');
    const bool negative = e + 1 < end && e[1] == '-';
    int exponent = 0;
    std::from_chars(e + 2, end, exponent);
    d.Exponent = (negative ? -exponent : exponent) + 1;
    DropTrailingZeros(d);
    return d;
}

void RoundDigits(TDecimal& d, int keep) {
    if (keep >= d.Count) return;
    if (keep < 0) {
        d = TDecimal{};
        return;
    }
    const bool up = d.Digits[keep] >= '5';
    d.Count = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.Digits[i] == '9')
            --i;
        if (i < 0) {
            // 0.999 -> 1.000: one digit more before the point.
            d.Digits[0] = '1';
            d.Count = 1;
            ++d.Exponent;
            return;
        }
        ++d.Digits[i];
        d.Count = i + 1;
    }
    DropTrailingZeros(d);
}

// The first 18 digits rounded to 15. When the shortest text that reads back as the number
// has no more than 15 digits, those are the digits: the number lies within half a unit in
// its last binary place of that text, far closer than the half unit in the 15th decimal
// place that rounding would need to move it elsewhere.
TDecimal FifteenDigits(double value) {
    const auto rounded = [value] {
        TDecimal d = SignificantDigits(value);
        RoundDigits(d, 15);
        return d;
    };
    // Subnormal numbers have too few binary places for that.
    if (std::fabs(value) < std::numeric_limits<double>::min()) return rounded();
    // Most numbers in sheets have a few decimals: when |value| x 10^d is a whole number N
    // below 10^15 and N / 10^d reads back as the value, N's digits are the ones (N / 10^d,
    // both exact, is rounded once, to the value).
    const double magnitude = std::fabs(value);
    if (magnitude < 1e11 && magnitude >= 1e-3) {
        constexpr double kScale[] = {1, 10, 100, 1000, 10000};
        for (int places = 0; places < 5; ++places) {
            const double scaled = magnitude * kScale[places];
            const double whole = std::nearbyint(scaled);
            if (whole != scaled) continue;
            if (whole / kScale[places] != magnitude) break;
            char digits[24];
            const auto end =
                std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(whole))
                    .ptr;
            TDecimal d;
            d.Count = static_cast<int>(end - digits);
            std::memcpy(d.Digits, digits, static_cast<std::size_t>(d.Count));
            d.Exponent = d.Count - places;
            while (d.Count > 0 && d.Digits[d.Count - 1] == '0')
                --d.Count;
            return d;
        }
    }
    char buffer[48];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific).ptr;
    const char* e = std::find(buffer, end, 'e');
    TDecimal d;
    int count = 0;
    for (const char* p = buffer; p != e; ++p) {
        if (*p == '.') continue;
        if (count == 15) {
            count = 16;
            break;
        }
        d.Digits[count++] = *p;
    }
    if (count > 15) return rounded();
    int exponent = 0;
    const bool negative = e + 1 < end && e[1] == '-';
    std::from_chars(e + (e + 1 < end && (e[1] == '-' || e[1] == '+') ? 2 : 1), end, exponent);
    d.Count = count;
    d.Exponent = (negative ? -exponent : exponent) + 1;
    while (d.Count > 0 && d.Digits[d.Count - 1] == '0')
        --d.Count;
    return d;
}

}  // namespace format

// ---------------------------------------------------------------------------------------
// General number text

namespace {

template <typename String>
void AppendExponent(String& out, int exponent) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, exponent).ptr;
    for (const char* p = digits; p != end; ++p)
        out += static_cast<typename String::value_type>(*p);
}

// The general form of a number, appended to `out` with `point` as decimal separator.
template <typename String>
void AppendGeneralNumber(String& out, double value, typename String::value_type point) {
    using Char = typename String::value_type;
    // Infinities and NaN cannot come out of a workbook's number records in a meaningful way;
    // they show as zero rather than as a text no spreadsheet would show.
    if (value == 0 || !std::isfinite(value)) {
        out += Char('0');
        return;
    }
    format::TDecimal d = format::FifteenDigits(value);
    const auto digit = [&d](int i) { return Char(i < d.Count ? d.Digits[i] : '0'); };

    if (value < 0) out += Char('-');
    const int e = d.Exponent;
    if (e >= -3 && e <= 15) {
        if (e <= 0) {
            out += Char('0');
            out += point;
            out.append(static_cast<std::size_t>(-e), Char('0'));
            for (int i = 0; i < d.Count; ++i)
                out += digit(i);
            return;
        }
        for (int i = 0; i < e; ++i)
            out += digit(i);
        if (d.Count > e) {
            out += point;
            for (int i = e; i < d.Count; ++i)
                out += digit(i);
        }
        return;
    }
    out += digit(0);
    if (d.Count > 1) {
        out += point;
        for (int i = 1; i < d.Count; ++i)
            out += digit(i);
    }
    out += Char('E');
    AppendExponent(out, e - 1);
}

}  // namespace

std::u16string GeneralNumberText(double value, char16_t point) {
    std::u16string out;
    AppendGeneralNumber(out, value, point);
    return out;
}

std::u16string GeneralNumberText(double value) {
    return GeneralNumberText(value, platform::RegionalSettings().DecimalSeparator);
}

bool AppendGeneralNumberText(std::string& out, double value, char16_t point) {
    if (point >= 0x80) return false;
    AppendGeneralNumber(out, value, static_cast<char>(point));
    return true;
}

}  // namespace vorlix
