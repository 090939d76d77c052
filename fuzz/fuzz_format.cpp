// The value formatting engine: a value and a number format, in the U.S. settings and in
// German-like settings that also have eras. Input: the kind of value, eight bytes of a
// double (or integer), the built-in format index, then the format text (UTF-8 or, when
// the kind's high bit is set, one character per byte).
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/format/ValueFormatter.h"
#include "xls/model/Errors.h"
#include "xls/model/TCellValue.h"

using namespace vorlix;

namespace {

platform::TRegionalSettings GermanLike() {
    platform::TRegionalSettings s;
    s.DecimalSeparator = u',';
    s.ThousandSeparator = u'.';
    s.ListSeparator = u';';
    s.DateSeparator = u'.';
    s.TimeSeparator = u':';
    s.CurrencyString = u"\u20AC";
    s.CurrencyFormat = 3;
    s.NegCurrFormat = 8;
    s.ShortDateFormat = u"dd.mm.yyyy";
    s.LongDateFormat = u"dddd, d. mmmm yyyy";
    s.ShortTimeFormat = u"hh:mm";
    s.LongTimeFormat = u"hh:mm:ss";
    s.TimeAMString = u"";
    s.TimePMString = u"";
    s.ShortMonthNames = {u"Jan", u"Feb", u"M\u00E4r", u"Apr", u"Mai", u"Jun",
                         u"Jul", u"Aug", u"Sep",      u"Okt", u"Nov", u"Dez"};
    s.LongMonthNames = {u"Januar", u"Februar", u"M\u00E4rz", u"April",   u"Mai",      u"Juni",
                        u"Juli",   u"August",  u"September", u"Oktober", u"November", u"Dezember"};
    s.ShortDayNames = {u"So", u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa"};
    s.LongDayNames = {u"Sonntag",    u"Montag",  u"Dienstag", u"Mittwoch",
                      u"Donnerstag", u"Freitag", u"Samstag"};
    // Two eras, newest first, so that era codes in a format have something to show.
    s.Eras.push_back({u"Neu", u"%EC%Ey", 1989, 1, 8, 1, 1});
    s.Eras.push_back({u"Alt", u"", 1926, 12, 25, 1, 1});
    return s;
}

TCellValue MakeValue(std::uint8_t kind, std::uint64_t bits, std::u16string_view text) {
    const double number = std::bit_cast<double>(bits);
    const auto integer = static_cast<std::int64_t>(bits);
    switch (kind % 10) {
        case 0:
            return TCellValue::Number(number);
        case 1:
            return TCellValue::DateTime(number);
        case 2:
            return TCellValue::Boolean((bits & 1) != 0);
        case 3:
            return TCellValue::Currency(integer);
        case 4:
            return TCellValue::Integer(vkInteger, static_cast<std::int32_t>(integer));
        case 5:
            return TCellValue::Integer(vkInt64, integer);
        case 6:
            return TCellValue::Single(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
        case 7:
            return TCellValue::Wide(std::u16string(text.substr(0, text.size() / 2)));
        case 8:
            return TCellValue::Null();
        default:
            return TCellValue::Number(static_cast<double>(integer % 100000) / 16.0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const platform::TRegionalSettings us{};
    static const platform::TRegionalSettings german = GermanLike();
    fuzz::TInputSplitter in(data, size);
    const std::uint8_t kind = in.U8();
    const std::uint64_t bits = in.U64();
    const std::uint16_t index = in.U16();
    const std::string_view rest = in.Rest();
    std::u16string format;
    if (kind & 0x80) {
        for (const char c : rest)
            format += static_cast<char16_t>(static_cast<unsigned char>(c));
    } else {
        format = platform::Utf8ToUtf16(rest);
    }
    const TCellValue value = MakeValue(kind, bits, format);
    for (const platform::TRegionalSettings* settings : {&us, &german}) {
        platform::SetRegionalSettings(*settings);
        try {
            (void)FormatCellValue(value, index, format);
            // The built-in format alone, as a cell without format text shows it.
            if (format.empty()) (void)FormatCellValue(value, index % 64, {});
        } catch (const Exception&) {
        }
    }
    return 0;
}
