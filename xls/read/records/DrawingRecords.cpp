#include "xls/read/records/DrawingRecords.h"

namespace vorlix::records {

namespace {

constexpr std::size_t kBseSkippedHead = 20;   // platform types, identifier, tag
constexpr std::size_t kBseSkippedMiddle = 9;  // reference count, delay offset, usage
constexpr std::size_t kBseUnused = 2;         // two unused bytes after the name length
constexpr std::uint16_t kTxoHeader = 10;      // options, rotation, reserved
constexpr std::uint8_t kWideCharacters = 0x01;

}  // namespace

TMSORecordHeader DecodeMSOHeader(TByteCursor& body) {
    TMSORecordHeader h;
    const std::uint32_t word = body.U32();
    h.Version = static_cast<std::uint8_t>(word & 0x0F);
    h.Instance = static_cast<std::uint16_t>(word >> 4 & 0x0FFF);
    h.Type = static_cast<std::uint16_t>(word >> 16);
    h.Length = body.U32();
    return h;
}

TBseRecord DecodeBse(TByteCursor& body) {
    TBseRecord r;
    body.Skip(kBseSkippedHead);
    r.PictureSize = body.U32();
    body.Skip(kBseSkippedMiddle);
    r.NameLength = body.U8();
    body.Skip(kBseUnused);
    body.Skip(r.NameLength);
    return r;
}

TShapeRecord DecodeShape(TByteCursor& body) {
    TShapeRecord r;
    r.ShapeId = body.U32();
    r.Flags = body.U32();
    return r;
}

TDrawingRect DecodeDrawingRect(TByteCursor& body) {
    TDrawingRect r;
    r.Left = static_cast<std::int32_t>(body.U32());
    r.Top = static_cast<std::int32_t>(body.U32());
    r.Right = static_cast<std::int32_t>(body.U32());
    r.Bottom = static_cast<std::int32_t>(body.U32());
    return r;
}

TClientAnchor DecodeClientAnchor(TByteCursor& body) {
    TClientAnchor a;
    body.Skip(2);  // flags: how the shape moves and sizes with its cells
    a.Col1 = body.U16();
    a.Dx1 = body.U16();
    a.Row1 = body.U16();
    a.Dy1 = body.U16();
    a.Col2 = body.U16();
    a.Dx2 = body.U16();
    a.Row2 = body.U16();
    a.Dy2 = body.U16();
    return a;
}

TObjRecord DecodeObj(TByteCursor& body) {
    TObjRecord r;
    if (body.Remaining() < 4) return r;
    const std::uint16_t type = body.U16();
    const std::uint16_t length = body.U16();
    // The common object data is 18 bytes long; a shorter length is no such sub-record
    // (in the older layout the first word counts the objects, and may well be 0x15).
    if (type != TObjRecord::kCommonObject || length < 4) return r;
    if (body.Remaining() < 4) {
        r.Truncated = true;
        return r;
    }
    r.ObjectType = body.U16();
    r.ObjectId = body.U16();
    return r;
}

TTxoRecord DecodeTxo(TByteCursor& body) {
    TTxoRecord r;
    body.Skip(kTxoHeader);
    r.TextLength = body.U16();
    r.RunsLength = body.U16();
    return r;
}

std::u16string DecodeTxoText(TByteCursor& body) {
    const bool wide = (body.U8() & kWideCharacters) != 0;
    return body.Chars(wide ? body.Remaining() / 2 : body.Remaining(), wide);
}

TTxoContent DecodeTxoContent(const TRecordCursor& record, const TTxoRecord& txo) {
    TTxoContent out;
    std::size_t& next = out.Next;
    const std::size_t count = record.BodyCount();
    if (next >= count) return out;
    std::u16string text;
    do {
        TByteCursor body = record.Body(next++);
        text += DecodeTxoText(body);
    } while (text.size() < txo.TextLength && next < count);
    const bool whole = text.size() >= txo.TextLength;
    out.Text = std::move(text);
    if (!whole || next >= count) return out;
    std::string runs;
    do {
        runs += record.Body(next++).Rest();
    } while (runs.size() < txo.RunsLength && next < count);
    out.Runs = std::move(runs);
    return out;
}

TNoteRecord DecodeNote(TByteCursor& body) {
    TNoteRecord r;
    r.Row = body.U16();
    r.Col = body.U16();
    body.Skip(2);  // options: shown, hidden
    r.ObjectId = body.U16();
    const std::uint16_t length = body.U16();
    if (length != 0) r.Author = body.StringOf(length);
    return r;
}

}  // namespace vorlix::records
