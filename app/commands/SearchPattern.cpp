// Matching cell texts against regular expressions and whole words, for the text search.
//
// Texts are compared as sequences of code points (UTF-32 in a wide string), so that a "."
// of an expression stands for one character, not one byte, and a letter of any script
// compares by its case and counts as part of a word.
#include <locale>
// GCC 12 reports members of its own <regex> automaton as maybe uninitialised when it
// optimises; they are not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include <stdexcept>

#include "app/commands/Commands.h"
#include "platform/CodePage.h"

namespace vorlix::app {

namespace {

// The C library's UTF-8 locale gives every letter its Unicode case and character class;
// where it is missing the classic locale knows ASCII only.
std::locale UnicodeLocale() {
    try {
        return std::locale("C.UTF-8");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

std::wstring CodePoints(const std::string& utf8) {
    const std::u16string units = platform::Utf8ToUtf16(utf8);
    std::wstring text;
    text.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        text.push_back(static_cast<wchar_t>(c));
    }
    return text;
}

// True when no letter, digit or "_" lies right before `begin` or at `end`.
bool StandsAlone(const std::wstring& text, std::size_t begin, std::size_t end,
                 const std::locale& locale) {
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(locale);
    const auto wordChar = [&ctype](wchar_t c) {
        return c == L'_' || ctype.is(std::ctype_base::alnum, c);
    };
    return (begin == 0 || !wordChar(text[begin - 1])) &&
           (end >= text.size() || !wordChar(text[end]));
}

}  // namespace

std::function<bool(const std::string&)> PatternMatcher(const std::string& pattern, bool regex,
                                                       bool wholeWord, bool match,
                                                       bool caseSensitive) {
    const std::locale locale = UnicodeLocale();
    if (!regex) {
        // Both sides folded as the plain search folds them.
        const std::wstring wanted = CodePoints(SearchTextFor(pattern, caseSensitive));
        return [wanted, wholeWord, match, caseSensitive, locale](const std::string& cellText) {
            const std::wstring text = CodePoints(SearchTextFor(cellText, caseSensitive));
            if (match) return text == wanted;
            if (wanted.empty()) return false;
            for (std::size_t at = text.find(wanted); at != std::wstring::npos;
                 at = text.find(wanted, at + 1)) {
                if (!wholeWord || StandsAlone(text, at, at + wanted.size(), locale)) return true;
            }
            return false;
        };
    }
    std::wregex expression;
    expression.imbue(locale);
    auto flags = std::regex_constants::ECMAScript;
    if (!caseSensitive) flags |= std::regex_constants::icase;
    expression.assign(CodePoints(pattern), flags);
    return [expression, wholeWord, match, locale](const std::string& cellText) {
        const std::wstring text = CodePoints(cellText);
        if (match) return std::regex_match(text, expression);
        if (!wholeWord) return std::regex_search(text, expression);
        for (std::wsregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it) {
            const auto begin = static_cast<std::size_t>(it->position());
            if (StandsAlone(text, begin, begin + static_cast<std::size_t>(it->length()), locale))
                return true;
        }
        return false;
    };
}

}  // namespace vorlix::app
