#include "xls/read/records/SheetRecords.h"

namespace vorlix::records {

namespace {

// The protection options of a FEATHDR follow 19 bytes of header: the record's own
// header (12), the feature type (2), a reserved byte, the size field (4).
constexpr std::size_t kFeatHdrOptionsAt = 19;
constexpr std::size_t kFeatHdrSmallest = 21;

}  // namespace

TRowRecord DecodeRow(TByteCursor& body) {
    TRowRecord r;
    r.Row = body.U16();
    body.Skip(4);  // first and last column
    r.HeightTwips = body.U16();
    body.Skip(4);  // unused, and a cache of the row's place in the file
    r.Options = body.U16();
    r.XF = body.U16();
    return r;
}

TDefaultRowHeightRecord DecodeDefaultRowHeight(TByteCursor& body) {
    TDefaultRowHeightRecord r;
    r.Options = body.U16();
    r.HeightTwips = body.U16();
    return r;
}

TColInfoRecord DecodeColInfo(TByteCursor& body) {
    TColInfoRecord r;
    r.First = body.U16();
    r.Last = body.U16();
    r.Width = body.U16();
    r.XF = body.U16();
    r.Options = body.U16();
    return r;
}

std::vector<TCellArea> DecodeMergeCells(TByteCursor& body) {
    std::vector<TCellArea> areas;
    body.Skip(2);  // the area count
    while (body.Remaining() >= 8) {
        TCellArea a;
        a.FirstRow = body.U16();
        a.LastRow = body.U16();
        a.FirstCol = body.U16();
        a.LastCol = body.U16();
        areas.push_back(a);
    }
    return areas;
}

std::optional<std::u16string> DecodeHeaderFooter(TByteCursor& body) {
    if (body.Size() == 0) return std::nullopt;
    return body.LongString();
}

TSetupRecord DecodeSetup(TByteCursor& body) {
    TSetupRecord r;
    r.PaperSize = body.U16();
    r.Scale = body.I16();
    r.FirstPageNumber = body.I16();
    r.FitWidth = body.I16();
    r.FitHeight = body.I16();
    r.Options = body.U16();
    body.Skip(4);  // print and vertical resolution
    r.HeaderMargin = body.F64();
    r.FooterMargin = body.F64();
    return r;
}

double DecodeMargin(TByteCursor& body) {
    return body.F64();
}

bool DecodePrintFlag(TByteCursor& body) {
    return body.U16() == 1;
}

std::uint16_t DecodeWord(TByteCursor& body) {
    return body.U16();
}

TPaneRecord DecodePane(TByteCursor& body) {
    TPaneRecord r;
    r.Horizontal = body.U16();
    r.Vertical = body.U16();
    return r;
}

TSclRecord DecodeScl(TByteCursor& body) {
    TSclRecord r;
    r.Numerator = body.U16();
    r.Denominator = body.U16();
    return r;
}

std::optional<std::uint16_t> DecodeFeatHdrProtection(TByteCursor& body) {
    if (body.Size() < kFeatHdrSmallest) return std::nullopt;
    body.Seek(kFeatHdrOptionsAt);
    return body.U16();
}

}  // namespace vorlix::records
