#include "xls/model/StringHelpers.h"

#include <algorithm>

#include "platform/ByteCursor.h"
#include "platform/CodePage.h"

namespace vorlix {

std::string WideToAnsi(std::uint32_t codePage, std::u16string_view text, std::size_t count) {
    if (count == 0) return {};
    return platform::WideToMultiByte(codePage, text.substr(0, count));
}

std::string WideBytesToAnsi(std::uint32_t codePage, std::string_view bytes) {
    return WideToAnsi(codePage, BytesToWide(bytes));
}

std::u16string AnsiToWide(std::uint32_t codePage, std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty()) return {};
    return platform::MultiByteToWide(codePage, text);
}

std::string WideToAnsi(std::u16string_view text, std::size_t count) {
    return WideToAnsi(platform::LibraryCodePage(), text, count);
}

std::string WideToAnsi(std::u16string_view text) {
    return WideToAnsi(platform::LibraryCodePage(), text);
}

std::string WideBytesToAnsi(std::string_view bytes) {
    return WideBytesToAnsi(platform::LibraryCodePage(), bytes);
}

std::u16string AnsiToWide(std::string_view text) {
    return AnsiToWide(platform::LibraryCodePage(), text);
}

std::u16string WideLowerCaseBytes(std::u16string_view text) {
    return WideLowerCaseBytes(platform::LibraryCodePage(), text);
}

std::string AnsiUpperCaseBytes(std::string_view text) {
    return AnsiUpperCaseBytes(platform::LibraryCodePage(), text);
}

std::string WideToBytes(std::u16string_view text) {
    std::string out(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<char>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return out;
}

std::u16string ExpandLatin1(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

std::u16string BytesToWide(std::string_view bytes) {
    return platform::TByteCursor(bytes).Chars16(bytes.size() / 2);
}

void FlaggedBytesToWide(std::string_view flagged, std::u16string& out) {
    if (!flagged.empty() && flagged[0] == '\x01') out = BytesToWide(flagged.substr(1));
}

std::string ExpandCompressedBytes(std::string_view text) {
    std::string out(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[2 * i] = text[i];
    return out;
}

std::u16string WideReplaceAll(std::u16string_view text, std::u16string_view from,
                              std::u16string_view to) {
    if (from.empty()) return std::u16string(text);
    std::u16string out;
    out.reserve(text.size());
    std::size_t at = 0;
    for (std::size_t hit; (hit = text.find(from, at)) != std::u16string_view::npos;
         at = hit + from.size()) {
        out.append(text.substr(at, hit - at));
        out.append(to);
    }
    out.append(text.substr(at));
    return out;
}

std::u16string WideLowerCaseBytes(std::uint32_t cp, std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& ch : out) {
        const auto lo = platform::CharLowerA(cp, static_cast<unsigned char>(ch & 0xFF));
        const auto hi = platform::CharLowerA(cp, static_cast<unsigned char>(ch >> 8));
        ch = static_cast<char16_t>(lo | hi << 8);
    }
    return out;
}

std::string AnsiUpperCaseBytes(std::uint32_t cp, std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        ch = static_cast<char>(platform::CharUpperA(cp, static_cast<unsigned char>(ch)));
    }
    return out;
}

}  // namespace vorlix
