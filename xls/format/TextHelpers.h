// Small text helpers shared by the number and date formatters.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlix::format {

inline char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

inline bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

inline bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
    }
    return true;
}

// A decimal integer, "-" first when negative, zero-padded to `minDigits`.
inline void AppendInteger(std::u16string& out, std::int64_t value, int minDigits = 1) {
    char buffer[24];
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, magnitude).ptr;
    if (value < 0) out += u'-';
    const auto digits = static_cast<int>(end - buffer);
    if (digits < minDigits) out.append(static_cast<std::size_t>(minDigits - digits), u'0');
    out.append(buffer, end);
}

// The first character of a text, both halves of a surrogate pair where there is one.
inline std::u16string_view FirstCharacter(std::u16string_view text) {
    const bool pair = text.size() >= 2 && text[0] >= 0xD800 && text[0] <= 0xDBFF;
    return text.substr(0, pair ? 2 : 1);
}

}  // namespace vorlix::format
