#include "xls/read/records/CellRecords.h"

#include <algorithm>
#include <bit>

namespace vorlix::records {

namespace {

constexpr std::uint32_t kRkDiv100 = 0x01;
constexpr std::uint32_t kRkInteger = 0x02;
constexpr std::uint8_t kWideChars = 0x01;

// The bytes of a field, zero where the body ends first.
template <std::size_t N>
void CopyBytes(TByteCursor& body, std::array<std::uint8_t, N>& out) {
    const std::string_view bytes = body.Bytes(N);
    std::copy(bytes.begin(), bytes.end(), out.begin());
}

}  // namespace

TCellAddress DecodeCellAddress(TByteCursor& body) {
    TCellAddress a;
    a.Row = body.U16();
    a.Col = body.U16();
    a.XF = body.U16();
    return a;
}

TNumberRecord DecodeNumber(TByteCursor& body) {
    TNumberRecord r;
    r.Cell = DecodeCellAddress(body);
    r.Value = body.F64();
    return r;
}

double RkValue(std::uint32_t rk) {
    double value;
    if ((rk & kRkInteger) != 0) {
        value = static_cast<double>(static_cast<std::int32_t>(rk & ~3u) >> 2);
    } else {
        value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & ~3u) << 32);
    }
    return (rk & kRkDiv100) != 0 ? value / 100.0 : value;
}

TNumberRecord DecodeRk(TByteCursor& body) {
    TNumberRecord r;
    r.Cell = DecodeCellAddress(body);
    r.Value = RkValue(body.U32());
    return r;
}

void DecodeMulRk(TByteCursor& body, TMulRkRecord& out) {
    out.Row = body.U16();
    out.FirstCol = body.U16();
    out.Cells.clear();
    // Pairs of XF and RK up to the last-column field that ends the record.
    while (body.Remaining() > 6) {
        const std::uint16_t xf = body.U16();
        out.Cells.push_back({xf, RkValue(body.U32())});
    }
    out.LastCol = body.U16();
}

void DecodeMulBlank(TByteCursor& body, TMulBlankRecord& out) {
    out.Row = body.U16();
    out.FirstCol = body.U16();
    out.XFs.clear();
    while (body.Remaining() > 2)
        out.XFs.push_back(body.U16());
    out.LastCol = body.U16();
}

TLabelRecord DecodeLabel(TByteCursor& body) {
    TLabelRecord r;
    r.Cell = DecodeCellAddress(body);
    const std::uint16_t count = body.U16();
    if (count == 0) return r;
    r.Wide = (body.U8() & kWideChars) != 0;
    const std::size_t bytes = r.Wide ? 2 * std::size_t{count} : count;
    if (body.Has(bytes)) {
        r.Chars = body.Bytes(bytes);
    } else {
        body.Skip(bytes);  // marks the body short
    }
    return r;
}

TLabelSstRecord DecodeLabelSst(TByteCursor& body) {
    TLabelSstRecord r;
    r.Cell = DecodeCellAddress(body);
    r.Index = body.U32();
    return r;
}

TBoolErrRecord DecodeBoolErr(TByteCursor& body) {
    TBoolErrRecord r;
    r.Cell = DecodeCellAddress(body);
    // One 16-bit field: the value byte, then the error flag.
    const std::uint16_t value = body.U16();
    r.Value = static_cast<std::uint8_t>(value & 0xFF);
    r.Error = (value >> 8) != 0;
    return r;
}

double TFormulaRecord::Number() const {
    return TByteCursor(Result.data(), Result.size()).F64();
}

TFormulaRecord DecodeFormula(TByteCursor& body) {
    TFormulaRecord r;
    r.Cell = DecodeCellAddress(body);
    CopyBytes(body, r.Result);
    CopyBytes(body, r.Options);
    body.Skip(4);  // a cache of the formula's place in a calculation chain
    const std::uint16_t length = body.U16();
    r.Tokens = body.Bytes(length);
    r.Extra = body.Rest();
    return r;
}

}  // namespace vorlix::records
