#include "xls/read/records/HyperlinkRecords.h"

#include <algorithm>
#include <cstring>

#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TCells.h"

namespace vorlix::records {

namespace {

constexpr std::size_t kObjectHeader = 20;  // the link object's class id and version
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

bool Matches(const TByteCursor& in, const std::uint8_t (&bytes)[16]) {
    return in.Has(16) && std::memcmp(in.Data() + in.Position(), bytes, 16) == 0;
}

std::u16string ToFirstZero(std::u16string text) {
    text.resize(std::min(text.size(), text.find(u'\0')));
    return text;
}

// A 32-bit count of UTF-16 characters, then the characters, to their first zero.
std::u16string CountedChars(TByteCursor& in) {
    return ToFirstZero(in.Chars16(in.U32()));
}

}  // namespace

THyperlinkRecord DecodeHyperlink(TByteCursor& in) {
    THyperlinkRecord link;
    link.FirstRow = in.U16();
    link.LastRow = in.U16();
    link.FirstCol = in.U16();
    link.LastCol = in.U16();
    in.Skip(kObjectHeader);
    const std::uint32_t flags = in.U32();
    if (in.Short()) Fail();

    link.Kind = (flags & kMonikerSavedAsText) != 0 ? hkNetwork
                : (flags & kHasMoniker) != 0       ? hkURL
                                                   : hkLocation;
    if ((flags & kHasDisplayName) != 0 && (flags & kSiteGaveDisplayName) != 0) CountedChars(in);
    if ((flags & kHasFrameName) != 0) CountedChars(in);

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
                // A 32-bit count of bytes, then UTF-16 characters.
                link.Text = ToFirstZero(BytesToWide(in.Bytes(in.U32())));
                break;
            }
            in.Skip(2);  // how many folders up the path starts
            link.ShortPath = in.Bytes(in.U32());
            in.Skip(kFileMonikerReserved);
            const std::uint32_t extra = in.U32();
            if (extra == 0) break;
            const std::uint32_t pathBytes = in.U32();
            in.Skip(2);  // key value
            link.Text = BytesToWide(in.Bytes(pathBytes));
            link.HasLongPath = true;
            break;
        }
        case hkNetwork:
            link.Text = CountedChars(in);
            break;
        default:
            if ((flags & kHasLocation) != 0) link.Text = CountedChars(in);
            break;
    }
    // Every part the flags announce must be there whole.
    if (in.Short()) Fail();
    return link;
}

}  // namespace vorlix::records
