#include "platform/StrftimePattern.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace vorlix::platform::strftime {

namespace {

// A locale whose %x names %c names %x must not recurse for ever.
constexpr int kMaxAliasDepth = 4;

Field FieldFor(char conv, char modifier, bool unpadded) {
    using C = FieldClass;
    if (modifier == 'E') {
        // Era name and year of era; other conversions ignore the modifier.
        if (conv == 'C') return {C::Era, "ggg", "ggg"};
        if (conv == 'y') return {C::Era, "e", "e"};
        if (conv == 'Y') return {C::Era, "ggge", "ggge"};
    }
    switch (conv) {
        case 'a':
            return {C::Date, "ddd", "dddd"};
        case 'A':
            return {C::Date, "dddd", "dddd"};
        case 'b':
        case 'h':
            return {C::Date, "mmm", "mmmm"};
        case 'B':
            return {C::Date, "mmmm", "mmmm"};
        case 'd':
            return unpadded ? Field{C::Date, "d", "d"} : Field{C::Date, "dd", "dd"};
        case 'e':
            return {C::Date, "d", "d"};  // padded with a space, not a zero
        case 'm':
            return unpadded ? Field{C::Date, "m", "m"} : Field{C::Date, "mm", "mm"};
        case 'y':
        case 'g':
            return {C::Date, "yy", "yy"};
        case 'Y':
        case 'G':
            return {C::Date, "yyyy", "yyyy"};
        case 'H':
        case 'I':
            return unpadded ? Field{C::Hour, "h", "h"} : Field{C::Hour, "hh", "hh"};
        case 'k':
        case 'l':
            return {C::Hour, "h", "h"};
        case 'M':
            return {C::Minute, "", "", unpadded};
        case 'S':
            return unpadded ? Field{C::Second, "s", "s"} : Field{C::Second, "ss", "ss"};
        case 'p':
        case 'P':
            return {C::AmPm, "AMPM", "AMPM"};
        default:
            return {};  // time zones, week numbers, day of year, century, ...
    }
}

void Tokenize(std::string_view pattern, const Aliases& aliases, int depth, Tokens& out) {
    constexpr std::string_view kFlags = "_-0^#";
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i++];
        if (c != '%') {
            out.literals.back() += c;
            continue;
        }
        bool unpadded = false;
        while (i < pattern.size() && kFlags.find(pattern[i]) != std::string_view::npos) {
            if (pattern[i] == '_' || pattern[i] == '-') unpadded = true;
            ++i;
        }
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9')
            ++i;  // width
        char modifier = 0;
        if (i < pattern.size() && (pattern[i] == 'E' || pattern[i] == 'O')) modifier = pattern[i++];
        if (i >= pattern.size()) {
            out.literals.back() += '%';
            break;
        }
        const char conv = pattern[i++];
        std::string_view expansion;
        switch (conv) {
            case '%':
                out.literals.back() += '%';
                continue;
            case 'n':
            case 't':
                out.literals.back() += ' ';
                continue;
            case 'c':
                expansion = aliases.dateTime;
                break;
            case 'x':
                expansion = aliases.date;
                break;
            case 'X':
                expansion = aliases.time;
                break;
            case 'r':
                expansion = aliases.time12;
                break;
            case 'T':
                expansion = "%H:%M:%S";
                break;
            case 'R':
                expansion = "%H:%M";
                break;
            case 'D':
                expansion = "%m/%d/%y";
                break;
            case 'F':
                expansion = "%Y-%m-%d";
                break;
            default:
                out.fields.push_back(FieldFor(conv, modifier, unpadded));
                out.literals.emplace_back();
                continue;
        }
        if (depth < kMaxAliasDepth) Tokenize(expansion, aliases, depth + 1, out);
    }
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsAsciiPunct(unsigned char c) {
    return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}

// The literal between two fields, in three parts. Around white space, the text before it
// belongs to the field on the left ("日" in "%d日 %H") and the text after it to the field on
// the right; the rest separates the two. Without white space, ASCII text (":", ".", "-")
// separates, and other text is a unit written after the field on the left ("時", "分").
struct LiteralParts {
    std::string_view left, sep, right;
};

LiteralParts SplitBetween(std::string_view literal) {
    const std::size_t first =
        std::find_if(literal.begin(), literal.end(), IsAsciiSpace) - literal.begin();
    if (first == literal.size()) {
        const bool ascii = std::all_of(literal.begin(), literal.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        return ascii ? LiteralParts{{}, literal, {}} : LiteralParts{literal, {}, {}};
    }
    const std::size_t last =
        literal.size() - 1 -
        (std::find_if(literal.rbegin(), literal.rend(), IsAsciiSpace) - literal.rbegin());
    return {literal.substr(0, first), literal.substr(first, last + 1 - first),
            literal.substr(last + 1)};
}

bool Keeps(FieldClass cls, TStrftimeUse use) {
    switch (cls) {
        case FieldClass::Unsupported:
            return false;
        case FieldClass::Date:
        case FieldClass::Era:
            return true;
        case FieldClass::Second:
            return use == TStrftimeUse::AsWritten;
        default:
            return use != TStrftimeUse::LongDate;
    }
}

// Writes fields and literal text into a date pattern. Literal text holding letters (which
// the pattern language would read as elements) or quote characters is quoted. Minutes are
// written "mm" straight after an hour element, where the language reads "m" as minutes,
// and "nn" anywhere else.
class PatternWriter {
  public:
    void Literal(std::string_view text) { pending_ += text; }

    void AddField(const Field& field, bool longDate) {
        FlushLiteral();
        std::string_view text = longDate ? field.longText : field.text;
        if (field.cls == FieldClass::Minute) {
            const bool afterHour = lastWasHour_ && !quotedSince_;
            text = afterHour ? (field.unpadded ? "m" : "mm") : (field.unpadded ? "n" : "nn");
        }
        out_.append(text.begin(), text.end());  // elements are ASCII
        lastWasHour_ = field.cls == FieldClass::Hour;
        quotedSince_ = false;
    }

    std::u16string Finish() {
        FlushLiteral();
        return std::move(out_);
    }

  private:
    void FlushLiteral() {
        if (pending_.empty()) return;
        const std::u16string text = Utf8ToUtf16(pending_);
        pending_.clear();
        const bool quote = std::any_of(text.begin(), text.end(), [](char16_t c) {
            return IsAsciiLetter(c) || c == u'"' || c == u'\'';
        });
        if (!quote) {
            out_ += text;
            return;
        }
        // Double quotes around the text; a double quote itself goes between single ones.
        bool open = false;
        for (char16_t c : text) {
            if (c == u'"') {
                if (open) out_ += u'"';
                out_ += u"'\"'";
                open = false;
                continue;
            }
            if (!open) out_ += u'"';
            open = true;
            out_ += c;
        }
        if (open) out_ += u'"';
        quotedSince_ = true;
    }

    std::string pending_;
    std::u16string out_;
    bool lastWasHour_ = false;
    bool quotedSince_ = false;
};

}  // namespace

Tokens Tokenize(std::string_view pattern, const Aliases& aliases) {
    Tokens tokens;
    Tokenize(pattern, aliases, 0, tokens);
    return tokens;
}

// The fields `use` keeps, with the literal text that belongs to them. Where fields were
// left out between two kept ones, the separator before the next kept field stays.
std::u16string Render(const Tokens& tokens, TStrftimeUse use) {
    const std::size_t n = tokens.fields.size();
    PatternWriter writer;
    if (n == 0) {
        writer.Literal(tokens.literals.front());
        return writer.Finish();
    }
    std::vector<LiteralParts> parts(n + 1);
    parts[0] = {{}, {}, tokens.literals[0]};
    parts[n] = {tokens.literals[n], {}, {}};
    for (std::size_t i = 1; i < n; ++i)
        parts[i] = SplitBetween(tokens.literals[i]);

    std::optional<std::size_t> prev;
    for (std::size_t j = 0; j < n; ++j) {
        if (!Keeps(tokens.fields[j].cls, use)) continue;
        if (prev) {
            writer.Literal(parts[*prev + 1].left);
            const bool adjacent = j == *prev + 1;
            writer.Literal(adjacent || !parts[j].sep.empty() ? parts[j].sep : parts[*prev + 1].sep);
        }
        writer.Literal(parts[j].right);
        writer.AddField(tokens.fields[j], use == TStrftimeUse::LongDate);
        prev = j;
    }
    if (prev) writer.Literal(parts[*prev + 1].left);
    return writer.Finish();
}

bool IsDateClass(FieldClass cls) {
    return cls == FieldClass::Date;
}

bool IsClockClass(FieldClass cls) {
    return cls == FieldClass::Hour || cls == FieldClass::Minute || cls == FieldClass::Second;
}

// The first ASCII punctuation character written between two fields of a group: "." in
// "%d.%m.%Y", ":" in "%H:%M"; none in "%Y年%m月%d日".
std::optional<char16_t> SeparatorBetween(const Tokens& tokens, bool (*inGroup)(FieldClass)) {
    for (std::size_t i = 1; i < tokens.fields.size(); ++i) {
        if (!inGroup(tokens.fields[i - 1].cls) || !inGroup(tokens.fields[i].cls)) continue;
        for (char c : tokens.literals[i]) {
            const auto u = static_cast<unsigned char>(c);
            if (IsAsciiPunct(u) && c != '"' && c != '\'' && c != '%') return char16_t{u};
        }
    }
    return std::nullopt;
}

}  // namespace vorlix::platform::strftime

namespace vorlix::platform {

std::u16string StrftimeToDatePattern(std::string_view pattern, TStrftimeUse use) {
    return strftime::Render(strftime::Tokenize(pattern, strftime::Aliases{}), use);
}

}  // namespace vorlix::platform
