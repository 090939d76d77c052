#include "xls/read/HyperlinkDecoder.h"

#include <algorithm>
#include <cstring>

#include "platform/CodePage.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TCells.h"

namespace vorlix {

namespace {

constexpr std::size_t kFixedPart = 32;
constexpr std::size_t kFlagsOffset = 28;
constexpr std::uint32_t kHasMoniker = 0x01;
constexpr std::uint32_t kSiteGaveDisplayName = 0x04;
constexpr std::uint32_t kHasLocation = 0x08;
constexpr std::uint32_t kHasDisplayName = 0x10;
constexpr std::uint32_t kHasFrameName = 0x80;
constexpr std::uint32_t kMonikerSavedAsText = 0x100;

// Class ids as stored (the first three groups little-endian).
constexpr std::uint8_t kFileMoniker[16] = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint8_t kUrlMoniker[16] = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                                          0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};

constexpr std::size_t kFileMonikerReserved = 24;

[[noreturn]] void Fail() {
    throw EXLSError(16);
}

class Cursor {
  public:
    explicit Cursor(std::string_view body) : body_(body) {}

    std::size_t Remaining() const { return body_.size() - at_; }
    std::uint16_t U16At(std::size_t offset) const {
        return static_cast<std::uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
    }
    std::uint32_t U32At(std::size_t offset) const {
        return static_cast<std::uint32_t>(U16At(offset)) |
               static_cast<std::uint32_t>(U16At(offset + 2)) << 16;
    }
    void Seek(std::size_t offset) { at_ = offset; }
    void Skip(std::size_t n) {
        if (n > Remaining()) Fail();
        at_ += n;
    }
    std::uint32_t U32() {
        if (Remaining() < 4) Fail();
        const std::uint32_t v = U32At(at_);
        at_ += 4;
        return v;
    }
    std::string_view Take(std::uint64_t n) {
        if (n > Remaining()) Fail();
        const std::string_view out = body_.substr(at_, static_cast<std::size_t>(n));
        at_ += static_cast<std::size_t>(n);
        return out;
    }
    bool Matches(const std::uint8_t (&bytes)[16]) const {
        return Remaining() >= 16 && std::memcmp(body_.data() + at_, bytes, 16) == 0;
    }

    // A 32-bit count, then the characters: UTF-16 counted in characters or in bytes, or
    // 8-bit text in the workbook's code page. A trimmed text ends at its first zero.
    enum class Unit { Utf16Chars, Utf16Bytes, AnsiChars };
    std::u16string String(Unit unit, bool trimmed) {
        const std::uint64_t count = U32();
        const std::uint64_t bytes = unit == Unit::Utf16Chars ? count * 2 : count;
        const std::string_view raw = Take(bytes);
        std::u16string text = unit == Unit::AnsiChars
                                  ? platform::MultiByteToWide(platform::LibraryCodePage(), raw)
                                  : BytesToWide(raw);
        if (trimmed) text.resize(std::min(text.size(), text.find(u'\0')));
        return text;
    }

  private:
    std::uint8_t Byte(std::size_t offset) const {
        return offset < body_.size() ? static_cast<std::uint8_t>(body_[offset]) : 0;
    }

    std::string_view body_;
    std::size_t at_ = 0;
};

}  // namespace

THyperlink DecodeHyperlink(std::string_view body) {
    if (body.size() < kFixedPart) Fail();
    Cursor in(body);
    THyperlink link;
    link.FirstRow = in.U16At(0);
    link.LastRow = in.U16At(2);
    link.FirstCol = in.U16At(4);
    link.LastCol = in.U16At(6);
    const std::uint32_t flags = in.U32At(kFlagsOffset);
    in.Seek(kFixedPart);

    link.Kind = (flags & kMonikerSavedAsText) != 0 ? hkNetwork
                : (flags & kHasMoniker) != 0       ? hkURL
                                                   : hkLocation;
    if ((flags & kHasDisplayName) != 0 && (flags & kSiteGaveDisplayName) != 0) {
        in.String(Cursor::Unit::Utf16Chars, true);
    }
    if ((flags & kHasFrameName) != 0) in.String(Cursor::Unit::Utf16Chars, true);

    switch (link.Kind) {
        case hkURL: {
            if (in.Remaining() < 16) Fail();
            if (in.Matches(kFileMoniker)) {
                link.Kind = hkFile;
            } else if (!in.Matches(kUrlMoniker)) {
                Fail();
            }
            in.Skip(16);
            if (link.Kind == hkURL) {
                link.Text = in.String(Cursor::Unit::Utf16Bytes, true);
                break;
            }
            if (in.Remaining() < 6) Fail();
            in.Skip(2);  // how many folders up the path starts
            const std::u16string shortPath = in.String(Cursor::Unit::AnsiChars, true);
            if (in.Remaining() < kFileMonikerReserved) Fail();
            in.Skip(kFileMonikerReserved);
            const std::uint32_t extra = in.U32();
            if (extra == 0) {
                link.Text = shortPath;
                break;
            }
            const std::uint32_t pathBytes = in.U32();
            in.Skip(2);  // key value
            const std::u16string longPath = BytesToWide(in.Take(pathBytes));
            link.Text = longPath.size() < shortPath.size() ? shortPath : longPath;
            break;
        }
        case hkNetwork:
            link.Text = in.String(Cursor::Unit::Utf16Chars, true);
            break;
        default:
            if ((flags & kHasLocation) != 0) link.Text = in.String(Cursor::Unit::Utf16Chars, true);
            break;
    }
    return link;
}

}  // namespace vorlix
