// strftime patterns, as the C library gives a locale's date and time formats, translated
// into the date pattern language of the value formatter. Used by the regional settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegionalSettings.h"

namespace vorlix::platform::strftime {

// A pattern is cut into fields (conversions such as %d) and the literal text around them.
// Each field knows its element in the date pattern language and what it shows, so that a
// long date can drop the time fields and a short time the seconds.

enum class FieldClass : std::uint8_t { Date, Era, Hour, Minute, Second, AmPm, Unsupported };

struct Field {
    FieldClass cls = FieldClass::Unsupported;
    std::string_view text;      // the element as the pattern writes it
    std::string_view longText;  // the element in a long date (names in full)
    bool unpadded = false;      // minutes: "m"/"n" instead of "mm"/"nn"
};

// literals[i] stands before fields[i]; the last literal follows the last field.
struct Tokens {
    std::vector<std::string> literals{std::string()};
    std::vector<Field> fields;
};

// What %c, %x, %X and %r stand for: POSIX forms unless a locale has its own.
struct Aliases {
    std::string dateTime = "%a %b %e %H:%M:%S %Y";
    std::string date = "%m/%d/%y";
    std::string time = "%H:%M:%S";
    std::string time12 = "%I:%M:%S %p";
};

// The fields and literal text of a pattern; %c, %x, %X and %r are read through `aliases`.
Tokens Tokenize(std::string_view pattern, const Aliases& aliases);

// The fields `use` keeps, with the literal text that belongs to them, in the date pattern
// language.
std::u16string Render(const Tokens& tokens, TStrftimeUse use);

bool IsDateClass(FieldClass cls);
bool IsClockClass(FieldClass cls);

// The first ASCII punctuation character written between two fields of a group: "." in
// "%d.%m.%Y", ":" in "%H:%M"; none in "%Y年%m月%d日".
std::optional<char16_t> SeparatorBetween(const Tokens& tokens, bool (*inGroup)(FieldClass));

}  // namespace vorlix::platform::strftime
