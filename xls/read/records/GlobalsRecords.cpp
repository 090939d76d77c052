#include "xls/read/records/GlobalsRecords.h"

namespace vorlix::records {

TBofRecord DecodeBof(TByteCursor& body) {
    TBofRecord r;
    r.Version = body.U16();
    r.Type = body.U16();
    return r;
}

TBoundSheetRecord DecodeBoundSheet(TByteCursor& body) {
    TBoundSheetRecord r;
    r.Position = body.U32();
    r.Options = body.U16();
    r.Name = body.ShortString();
    return r;
}

TFormatRecord DecodeFormat(TByteCursor& body) {
    TFormatRecord r;
    r.Index = body.U16();
    r.Text = body.LongString();
    return r;
}

std::vector<std::uint32_t> DecodePalette(TByteCursor& body) {
    std::vector<std::uint32_t> colors;
    const std::uint16_t count = body.U16();
    while (colors.size() < count && body.Remaining() >= 4)
        colors.push_back(body.U32());
    if (colors.size() < count) body.Skip(4);  // the body ends before the colours do
    return colors;
}

}  // namespace vorlix::records
