#include "xls/format/FormatLexer.h"

#include <charconv>
#include <cstddef>

namespace vorlix::format {

namespace {

using TextView = std::u16string_view;

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// One character at `at`, both halves of a surrogate pair where there is one.
std::size_t CharLength(TextView text, std::size_t at) {
    return at + 1 < text.size() && IsHighSurrogate(text[at]) ? 2 : 1;
}

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

}  // namespace

std::vector<TFormatSection> LexFormat(TextView format) {
    std::vector<TFormatSection> sections(1);
    std::size_t i = 0;
    const auto add = [&sections](TFormatToken::Kind kind, TextView text) {
        sections.back().push_back(TFormatToken{kind, text});
    };
    while (i < format.size()) {
        const char16_t c = format[i];
        switch (c) {
            case u'"':
            case u'[': {
                const char16_t close = c == u'"' ? u'"' : u']';
                std::size_t end = format.find(close, i + 1);
                if (end == TextView::npos) end = format.size();
                add(c == u'"' ? TFormatToken::Kind::Quoted : TFormatToken::Kind::Bracket,
                    format.substr(i + 1, end - i - 1));
                i = end + 1;
                continue;
            }
            case u'\\':
            case u'_':
            case u'*': {
                const auto kind = c == u'\\'  ? TFormatToken::Kind::Escaped
                                  : c == u'_' ? TFormatToken::Kind::Pad
                                              : TFormatToken::Kind::Fill;
                // The character that follows belongs to the code; at the end of a section
                // there is none (a ";" after padding or a fill still ends the section).
                std::size_t n = i + 1 < format.size() ? CharLength(format, i + 1) : 0;
                if (c != u'\\' && n == 1 && format[i + 1] == u';') n = 0;
                add(kind, format.substr(i + 1, n));
                i += 1 + n;
                continue;
            }
            case u';':
                sections.emplace_back();
                ++i;
                continue;
            default:
                add(TFormatToken::Kind::Code, format.substr(i, CharLength(format, i)));
                i += CharLength(format, i);
                continue;
        }
    }
    return sections;
}

char16_t ElapsedUnit(TextView bracket, int& digits) {
    if (bracket.empty()) return 0;
    const char16_t unit = Lower(bracket[0]);
    if (unit != u'h' && unit != u'm' && unit != u's') return 0;
    for (char16_t c : bracket) {
        if (Lower(c) != unit) return 0;
    }
    digits = static_cast<int>(bracket.size());
    return unit;
}

TextView CurrencySymbol(TextView bracket) {
    if (bracket.empty() || bracket[0] != u'$') return {};
    const TextView rest = bracket.substr(1);
    return rest.substr(0, rest.find(u'-'));
}

bool TCondition::Holds(double x) const {
    switch (op) {
        case Op::Less:
            return x < operand;
        case Op::LessEqual:
            return x <= operand;
        case Op::Greater:
            return x > operand;
        case Op::GreaterEqual:
            return x >= operand;
        case Op::Equal:
            return x == operand;
        case Op::NotEqual:
            return x != operand;
    }
    return false;
}

std::optional<TCondition> ParseCondition(TextView bracket) {
    struct OpText {
        TextView text;
        TCondition::Op op;
    };
    static constexpr OpText kOps[] = {
        {u"<=", TCondition::Op::LessEqual}, {u">=", TCondition::Op::GreaterEqual},
        {u"<>", TCondition::Op::NotEqual},  {u"<", TCondition::Op::Less},
        {u">", TCondition::Op::Greater},    {u"=", TCondition::Op::Equal},
    };
    for (const OpText& o : kOps) {
        if (!bracket.starts_with(o.text)) continue;
        const TextView number = bracket.substr(o.text.size());
        // The operand is plain ASCII: a sign, digits, a point, an exponent.
        std::string ascii;
        for (char16_t c : number) {
            if (c > 0x7F) return std::nullopt;
            ascii += static_cast<char>(c);
        }
        TCondition condition;
        condition.op = o.op;
        const char* first = ascii.data();
        if (!ascii.empty() && ascii[0] == '+') ++first;
        const auto [end, error] =
            std::from_chars(first, ascii.data() + ascii.size(), condition.operand);
        if (error != std::errc() || end != ascii.data() + ascii.size()) return std::nullopt;
        return condition;
    }
    return std::nullopt;
}

bool HasElapsedTime(TextView format) {
    for (const TFormatSection& section : LexFormat(format)) {
        for (const TFormatToken& t : section) {
            int digits = 0;
            if (t.kind == TFormatToken::Kind::Bracket && ElapsedUnit(t.text, digits) != 0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace vorlix::format
