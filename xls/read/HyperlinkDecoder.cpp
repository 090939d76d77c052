#include "xls/read/HyperlinkDecoder.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteCursor.h"
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
    throw EXLSError(xeHyperlink);
}

using platform::TByteCursor;

bool Matches(const TByteCursor& in, const std::uint8_t (&bytes)[16]) {
    return in.Has(16) && std::memcmp(in.Data() + in.Position(), bytes, 16) == 0;
}

// A 32-bit count, then the characters: UTF-16 counted in characters or in bytes, or 8-bit
// text in the workbook's code page. A trimmed text ends at its first zero.
enum class Unit { Utf16Chars, Utf16Bytes, AnsiChars };
std::u16string String(TByteCursor& in, Unit unit, bool trimmed) {
    const std::uint64_t count = in.U32();
    const std::uint64_t bytes = unit == Unit::Utf16Chars ? count * 2 : count;
    const std::string_view raw = in.Bytes(static_cast<std::size_t>(bytes));
    std::u16string text = unit == Unit::AnsiChars
                              ? platform::MultiByteToWide(platform::LibraryCodePage(), raw)
                              : BytesToWide(raw);
    if (trimmed) text.resize(std::min(text.size(), text.find(u'\0')));
    return text;
}

}  // namespace

THyperlink DecodeHyperlink(std::string_view body) {
    if (body.size() < kFixedPart) Fail();
    TByteCursor in(body);
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
        String(in, Unit::Utf16Chars, true);
    }
    if ((flags & kHasFrameName) != 0) String(in, Unit::Utf16Chars, true);

    switch (link.Kind) {
        case hkURL: {
            if (in.Remaining() < 16) Fail();
            if (Matches(in, kFileMoniker)) {
                link.Kind = hkFile;
            } else if (!Matches(in, kUrlMoniker)) {
                Fail();
            }
            in.Skip(16);
            if (link.Kind == hkURL) {
                link.Text = String(in, Unit::Utf16Bytes, true);
                break;
            }
            in.Skip(2);  // how many folders up the path starts
            const std::u16string shortPath = String(in, Unit::AnsiChars, true);
            in.Skip(kFileMonikerReserved);
            const std::uint32_t extra = in.U32();
            if (extra == 0) {
                link.Text = shortPath;
                break;
            }
            const std::uint32_t pathBytes = in.U32();
            in.Skip(2);  // key value
            const std::u16string longPath = BytesToWide(in.Bytes(pathBytes));
            link.Text = longPath.size() < shortPath.size() ? shortPath : longPath;
            break;
        }
        case hkNetwork:
            link.Text = String(in, Unit::Utf16Chars, true);
            break;
        default:
            if ((flags & kHasLocation) != 0) link.Text = String(in, Unit::Utf16Chars, true);
            break;
    }
    // Every part the flags announce must be there whole.
    if (in.Short()) Fail();
    return link;
}

}  // namespace vorlix
