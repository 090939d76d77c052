// A cell's value: a tagged value whose kind codes are part of the library's interface
// (callers test them by number).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlix {

enum TValueKind : std::uint16_t {
    vkEmpty = 0,
    vkNull = 1,
    vkSmallInt = 2,    // 16-bit signed
    vkInteger = 3,     // 32-bit signed
    vkSingle = 4,      // 32-bit float
    vkDouble = 5,      // numbers read from a workbook
    vkCurrency = 6,    // 64-bit integer scaled by 10000
    vkDate = 7,        // days since 30 December 1899, fraction = time of day (TDateTimeUse)
    vkWideString = 8,  // UTF-16
    vkError = 10,      // an error value: the file format's error code
    vkBoolean = 11,
    vkShortInt = 16,  // 8-bit signed
    vkByte = 17,      // 8-bit unsigned
    vkWord = 18,      // 16-bit unsigned
    vkLongWord = 19,  // 32-bit unsigned
    vkInt64 = 20,
    vkString = 256,   // 8-bit text in the library code page
    vkUString = 258,  // accepted like 256; nothing produces it
};

// The error codes of the file format.
enum TErrorCode : std::uint8_t {
    ecNull = 0x00,
    ecDivisionByZero = 0x07,
    ecValue = 0x0F,
    ecReference = 0x17,
    ecName = 0x1D,
    ecNumber = 0x24,
    ecNotAvailable = 0x2A,
};

// The text of an error code ("#DIV/0!"), empty for a code the format does not define.
constexpr std::string_view ErrorCodeText(std::uint8_t code) {
    switch (code) {
        case ecNull:
            return "#NULL!";
        case ecDivisionByZero:
            return "#DIV/0!";
        case ecValue:
            return "#VALUE!";
        case ecReference:
            return "#REF!";
        case ecName:
            return "#NAME?";
        case ecNumber:
            return "#NUM!";
        case ecNotAvailable:
            return "#N/A";
        default:
            return {};
    }
}

// What a date-time value counts: a point in time; a time of day alone (the fraction of a
// day, on day 0); or a duration, a count of days ("[h]:mm" shows it as elapsed time).
enum class TDateTimeUse : std::uint8_t { Date, TimeOfDay, Duration };

class TCellValue {
  public:
    TCellValue() = default;

    static TCellValue Number(double v) { return Numeric(vkDouble, v); }
    static TCellValue DateTime(double v, TDateTimeUse use = TDateTimeUse::Date);
    static TCellValue TimeOfDay(double dayFraction) {
        return DateTime(dayFraction, TDateTimeUse::TimeOfDay);
    }
    static TCellValue Duration(double days) { return DateTime(days, TDateTimeUse::Duration); }
    static TCellValue Error(std::uint8_t code);
    static TCellValue Boolean(bool v);
    static TCellValue Integer(TValueKind kind, std::int64_t v);  // kinds 2, 3, 16..20
    static TCellValue Single(float v) { return Numeric(vkSingle, v); }
    // value / 10000 is the amount
    static TCellValue Currency(std::int64_t scaled);
    static TCellValue Wide(std::u16string text);
    static TCellValue Ansi(std::string text, TValueKind kind = vkString);
    static TCellValue Null();

    TValueKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == vkEmpty; }
    // Kinds that hold a number (not dates, booleans, errors or texts).
    bool IsNumeric() const;
    bool IsText() const { return kind_ == vkWideString || kind_ == vkString || kind_ == vkUString; }

    // The number a numeric, date-time or boolean value holds (booleans: 0 or -1); 0 else.
    double AsDouble() const;
    std::int64_t IntegerPart() const { return integer_; }
    bool AsBoolean() const { return integer_ != 0; }
    // Of a date-time value: what it counts (Date for every other kind).
    TDateTimeUse DateTimeUse() const { return use_; }
    // Of an error value: its code, and the text a spreadsheet shows for it ("#N/A" for a
    // code the format does not define).
    std::uint8_t ErrorCode() const { return static_cast<std::uint8_t>(integer_); }
    std::string_view ErrorText() const;
    const std::u16string& WideText() const { return wide_; }
    const std::string& AnsiText() const { return ansi_; }
    // Any text value as UTF-16 (8-bit texts through the code page of their workbook).
    std::u16string AsWideText(std::uint32_t codePage) const;
    // The same through the library code page.
    std::u16string AsWideText() const;

    bool operator==(const TCellValue& other) const;

  private:
    static TCellValue Numeric(TValueKind kind, double v);

    TValueKind kind_ = vkEmpty;
    TDateTimeUse use_ = TDateTimeUse::Date;
    double number_ = 0;
    std::int64_t integer_ = 0;
    std::u16string wide_;
    std::string ansi_;
};

}  // namespace vorlix
