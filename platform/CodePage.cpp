#include "platform/CodePage.h"

#include <glib.h>
#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/ByteCursor.h"

namespace vorlix::platform {

namespace {

// The default of new workbooks and of the string helpers called without a code page;
// atomic, as it may be set on any thread.
std::atomic<std::uint32_t> gLibraryCodePage{kCodePageUtf8};

constexpr char16_t kReplacement = 0xFFFD;

// iconv's name for a Windows code page number.
std::string IconvName(std::uint32_t codePage) {
    switch (codePage) {
        case 65001:
            return "UTF-8";
        case 1200:
            return "UTF-16LE";
        case 1201:
            return "UTF-16BE";
        case 20127:
            return "ASCII";
        case 10000:
        case 32768:  // Mac Roman as some writers number it
            return "MACINTOSH";
        case 10007:
            return "MAC-CYRILLIC";
        case 10017:
            return "MACUKRAINIAN";
        case 10029:
            return "MAC-CENTRALEUROPE";
        case 10079:
            return "MAC-IS";
        case 32769:  // Windows Latin 1 as some writers number it
            return "CP1252";
        case 21010:  // UTF-16 as one writer numbers it
            return "UTF-16LE";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 54936:
            return "GB18030";
        default:
            break;
    }
    if (codePage >= 28591 && codePage <= 28599) {
        return "ISO-8859-" + std::to_string(codePage - 28590);
    }
    if (codePage == 28605) return "ISO-8859-15";
    return "CP" + std::to_string(codePage);
}

// An iconv descriptor keeps the state of the conversion under way, and one descriptor per
// code page serves every thread: a conversion holds `busy` from its reset to its end.
struct IconvHandle {
    iconv_t handle = reinterpret_cast<iconv_t>(-1);
    mutable std::mutex busy;
    IconvHandle() = default;
    IconvHandle(const char* to, const char* from) : handle(iconv_open(to, from)) {}
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    ~IconvHandle() {
        if (valid()) iconv_close(handle);
    }
    bool valid() const { return handle != reinterpret_cast<iconv_t>(-1); }
    void reset() const { iconv(handle, nullptr, nullptr, nullptr, nullptr); }
};

// Everything known about one code page, built once on first use.
struct CodePageInfo {
    bool supported = false;
    bool singleByte = false;
    std::array<char16_t, 256> decode{};  // single-byte code pages only
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};
    std::unique_ptr<IconvHandle> toWide;    // code page -> UTF-16LE
    std::unique_ptr<IconvHandle> fromWide;  // UTF-16LE -> code page
};

// Converts `in` with `cd`; returns nullopt on any failure (invalid or incomplete input,
// unmappable character).
std::optional<std::string> ConvertAll(const IconvHandle& cd, std::string_view in) {
    std::lock_guard lock(cd.busy);
    cd.reset();
    std::string out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    if (iconv(cd.handle, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
        return std::nullopt;
    }
    if (iconv(cd.handle, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) {
        return std::nullopt;
    }
    out.resize(out.size() - dstLeft);
    return out;
}

std::u16string FromUtf16LeBytes(std::string_view bytes) {
    return TByteCursor(bytes).Chars16(bytes.size() / 2);
}

std::string ToUtf16LeBytes(std::u16string_view text) {
    std::string out(text.size() * 2, '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<char>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return out;
}

// One letter mapped through Unicode's simple case mapping, kept only when the result
// has a single-byte form in the same code page.
void BuildCaseTables(CodePageInfo& info) {
    for (int b = 0; b < 256; ++b) {
        info.upper[b] = static_cast<unsigned char>(b);
        info.lower[b] = static_cast<unsigned char>(b);
        if (b >= 'a' && b <= 'z') info.upper[b] = static_cast<unsigned char>(b - 32);
        if (b >= 'A' && b <= 'Z') info.lower[b] = static_cast<unsigned char>(b + 32);
    }
    if (!info.singleByte) return;
    std::map<char16_t, unsigned char> encode;
    for (int b = 0; b < 256; ++b)
        encode.emplace(info.decode[b], static_cast<unsigned char>(b));
    for (int b = 0x80; b < 256; ++b) {
        const char16_t ch = info.decode[b];
        if (ch == kReplacement) continue;
        const auto up = static_cast<char16_t>(g_unichar_toupper(ch));
        const auto low = static_cast<char16_t>(g_unichar_tolower(ch));
        if (auto it = encode.find(up); it != encode.end()) info.upper[b] = it->second;
        if (auto it = encode.find(low); it != encode.end()) info.lower[b] = it->second;
    }
}

std::unique_ptr<CodePageInfo> BuildInfo(std::uint32_t codePage) {
    auto info = std::make_unique<CodePageInfo>();
    const std::string name = IconvName(codePage);
    info->toWide = std::make_unique<IconvHandle>("UTF-16LE", name.c_str());
    info->fromWide = std::make_unique<IconvHandle>(name.c_str(), "UTF-16LE");
    info->supported = info->toWide->valid() && info->fromWide->valid();
    if (!info->supported || codePage == kCodePageUtf8) {
        // UTF-8 is converted by hand; unsupported code pages are read as Latin-1.
        info->singleByte = !info->supported;
        for (int b = 0; b < 256; ++b)
            info->decode[b] = static_cast<char16_t>(b);
        BuildCaseTables(*info);
        return info;
    }
    // A code page is single-byte when no byte on its own is an incomplete sequence.
    info->singleByte = true;
    for (int b = 0; b < 256 && info->singleByte; ++b) {
        const char in = static_cast<char>(b);
        info->toWide->reset();
        char* src = const_cast<char*>(&in);
        size_t srcLeft = 1;
        char buf[16];
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t r = iconv(info->toWide->handle, &src, &srcLeft, &dst, &dstLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == EINVAL) {
                info->singleByte = false;
                break;
            }
            // Undefined in the code page: keep the byte value, as the platform does
            // for the holes of its single-byte tables.
            info->decode[b] = static_cast<char16_t>(b);
        } else {
            const auto wide = FromUtf16LeBytes(std::string_view(buf, sizeof buf - dstLeft));
            info->decode[b] = wide.size() == 1 ? wide[0] : kReplacement;
        }
    }
    BuildCaseTables(*info);
    return info;
}

const CodePageInfo& Info(std::uint32_t codePage) {
    static std::mutex mutex;
    static std::map<std::uint32_t, std::unique_ptr<CodePageInfo>> cache;
    std::lock_guard lock(mutex);
    auto& slot = cache[codePage];
    if (!slot) slot = BuildInfo(codePage);
    return *slot;
}

// Decodes the next code point of UTF-8 text; invalid or truncated sequences consume one
// byte and give U+FFFD.
char32_t NextUtf8(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (s.size() - i <= static_cast<size_t>(extra)) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = cp << 6 | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return cp;
}

}  // namespace

std::uint32_t SystemCodePage() {
    return kCodePageUtf8;
}

std::uint32_t LibraryCodePage() {
    return gLibraryCodePage.load(std::memory_order_relaxed);
}

void SetLibraryCodePage(std::uint32_t codePage) {
    gLibraryCodePage.store(codePage, std::memory_order_relaxed);
}

bool IsCodePageSupported(std::uint32_t codePage) {
    return Info(codePage).supported;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    // A UTF-8 text never has more UTF-16 units than bytes.
    std::u16string out(text.size(), u'\0');
    char16_t* p = out.data();
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            *p++ = b;
            ++i;
            continue;
        }
        const char32_t cp = NextUtf8(text, i);
        if (cp >= 0x10000) {
            *p++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *p++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *p++ = static_cast<char16_t>(cp);
        }
    }
    out.resize(static_cast<size_t>(p - out.data()));
    return out;
}

void AppendUtf8(std::string& out, std::u16string_view text) {
    const size_t start = out.size();
    // The exact length first: one byte per ASCII unit, up to three per other unit (a
    // surrogate pair takes four for its two units).
    size_t length = 0;
    for (const char16_t u : text)
        length += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
    out.resize(start + length);
    char* p = out.data() + start;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp < 0x80) {
            *p++ = static_cast<char>(cp);
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;  // an unpaired surrogate has no UTF-8 form
        }
        if (cp < 0x800) {
            *p++ = static_cast<char>(0xC0 | cp >> 6);
        } else if (cp < 0x10000) {
            *p++ = static_cast<char>(0xE0 | cp >> 12);
            *p++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        } else {
            *p++ = static_cast<char>(0xF0 | cp >> 18);
            *p++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            *p++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        }
        *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    out.resize(static_cast<size_t>(p - out.data()));  // pairs took less than counted
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    AppendUtf8(out, text);
    return out;
}

std::u16string FileNameToUtf16(std::string_view name) {
    std::u16string out;
    out.reserve(name.size());
    size_t i = 0;
    while (i < name.size()) {
        const size_t start = i;
        const char32_t cp = NextUtf8(name, i);
        if (cp == kReplacement && name.substr(start, i - start) != "\xEF\xBF\xBD") {
            out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(name[start]));
        } else if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16ToFileName(std::u16string_view name) {
    std::string out;
    size_t from = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t u = name[i];
        const bool pairedLow =
            i > 0 && name[i - 1] >= 0xD800 && name[i - 1] <= 0xDBFF && u >= 0xDC00 && u <= 0xDFFF;
        if (u < 0xDC80 || u > 0xDCFF || pairedLow) continue;
        AppendUtf8(out, name.substr(from, i - from));
        out += static_cast<char>(u - 0xDC00);
        from = i + 1;
    }
    AppendUtf8(out, name.substr(from));
    return out;
}

std::u16string MultiByteToWide(std::uint32_t codePage, std::string_view text) {
    if (text.empty()) return {};
    if (codePage == kCodePageUtf8) return Utf8ToUtf16(text);
    const CodePageInfo& info = Info(codePage);
    if (info.singleByte) {
        std::u16string out(text.size(), u'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            out[i] = info.decode[static_cast<unsigned char>(text[i])];
        }
        return out;
    }
    if (auto all = ConvertAll(*info.toWide, text)) return FromUtf16LeBytes(*all);
    // Multi-byte text with a bad sequence: convert piece by piece, one U+FFFD per byte
    // that does not start a valid character.
    std::u16string out;
    const IconvHandle& cd = *info.toWide;
    std::lock_guard lock(cd.busy);
    cd.reset();
    char* src = const_cast<char*>(text.data());
    size_t srcLeft = text.size();
    std::string buf(text.size() * 4 + 16, '\0');
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        const size_t r = iconv(cd.handle, &src, &srcLeft, &dst, &dstLeft);
        out += FromUtf16LeBytes(std::string_view(buf.data(), buf.size() - dstLeft));
        if (r == static_cast<size_t>(-1) && srcLeft > 0) {
            out += kReplacement;
            ++src;
            --srcLeft;
            cd.reset();
        }
    }
    return out;
}

std::string WideToMultiByte(std::uint32_t codePage, std::u16string_view text) {
    if (text.empty()) return {};
    if (codePage == kCodePageUtf8) return Utf16ToUtf8(text);
    const CodePageInfo& info = Info(codePage);
    if (!info.supported) {
        std::string out(text.size(), '?');
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] < 0x100) out[i] = static_cast<char>(text[i]);
        }
        return out;
    }
    const std::string bytes = ToUtf16LeBytes(text);
    if (auto all = ConvertAll(*info.fromWide, bytes)) return *all;
    // Some character has no form in this code page: convert one character at a time.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t len = 1;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            len = 2;
        }
        if (auto one = ConvertAll(*info.fromWide, std::string_view(bytes).substr(2 * i, 2 * len))) {
            out += *one;
        } else {
            out += '?';
        }
        i += len - 1;
    }
    return out;
}

unsigned char CharUpperA(std::uint32_t codePage, unsigned char c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
    return Info(codePage).upper[c];
}

unsigned char CharLowerA(std::uint32_t codePage, unsigned char c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
    return Info(codePage).lower[c];
}

}  // namespace vorlix::platform
