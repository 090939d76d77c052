#include "xls/format/ValueFormatter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/RegionalSettings.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

std::u16string GeneralNumberText(double value) {
    if (value == 0 || !std::isfinite(value)) return u"0";
    // The significant digits of |value|, far enough to see what lies beyond the 15th.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.40e", std::fabs(value));
    std::string mantissa;
    mantissa += buffer[0];
    mantissa.append(buffer + 2, 14);
    int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
    // Halves away from zero: the 16th digit decides.
    if (buffer[16] >= '5') {
        int i = 14;
        while (i >= 0 && mantissa[static_cast<std::size_t>(i)] == '9') mantissa[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            mantissa.insert(mantissa.begin(), '1');
            mantissa.pop_back();
            ++exponent;
        } else {
            ++mantissa[static_cast<std::size_t>(i)];
        }
    }
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    const char16_t point = platform::RegionalSettings().DecimalSeparator;
    std::u16string out = value < 0 ? u"-" : u"";
    // Written as 0.d1d2... x 10^E, E = exponent + 1.
    const int e = exponent + 1;
    if (e >= -3 && e <= 15) {
        if (e <= 0) {
            out += u"0";
            out += point;
            out.append(static_cast<std::size_t>(-e), u'0');
            for (char c : mantissa) out += static_cast<char16_t>(c);
        } else {
            for (int i = 0; i < e; ++i) {
                out += static_cast<char16_t>(i < static_cast<int>(mantissa.size()) ? mantissa[i] : '0');
            }
            if (static_cast<int>(mantissa.size()) > e) {
                out += point;
                for (std::size_t i = static_cast<std::size_t>(e); i < mantissa.size(); ++i) {
                    out += static_cast<char16_t>(mantissa[i]);
                }
            }
        }
        return out;
    }
    out += static_cast<char16_t>(mantissa[0]);
    if (mantissa.size() > 1) {
        out += point;
        for (std::size_t i = 1; i < mantissa.size(); ++i) out += static_cast<char16_t>(mantissa[i]);
    }
    out += u"E";
    if (exponent < 0) out += u"-";
    for (char c : std::to_string(std::abs(exponent))) out += static_cast<char16_t>(c);
    return out;
}

std::u16string FormatCellValue(const TCellValue& value, std::uint16_t /*formatIndex*/,
                               std::u16string_view /*formatText*/) {
    switch (value.Kind()) {
        case vkEmpty:
        case vkNull:
            return {};
        case vkWideString:
            return value.WideText();
        case vkString:
        case vkUString:
            return AnsiToWide(value.AnsiText());
        case vkBoolean:
            return value.AsBoolean() ? u"TRUE" : u"FALSE";
        default:
            return GeneralNumberText(value.AsDouble());
    }
}

}  // namespace vorlix
