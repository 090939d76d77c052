// Records of pictures and comments decoded from their bodies: the Office Drawing record
// header and the atoms the reader keeps (picture store entry, shape, client anchor), and
// the BIFF records that tie shapes to objects, texts and cells (OBJ, TXO, NOTE). A field a
// short body lacks reads as 0 and the cursor says so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ByteCursor.h"
#include "xls/read/RecordCursor.h"

namespace vorlix::records {

using platform::TByteCursor;

// Office Drawing record header: a 32-bit word (bits 0..3 version, 4..15 instance, 16..31
// record type), then the 32-bit body length.
struct TMSORecordHeader {
    std::uint8_t Version = 0;
    std::uint16_t Instance = 0;
    std::uint16_t Type = 0;
    std::uint32_t Length = 0;
    static constexpr std::size_t kSize = 8;
};
TMSORecordHeader DecodeMSOHeader(TByteCursor& body);

// Record types of the drawing records the reader looks at.
namespace mso {
inline constexpr std::uint16_t kFirstContainer = 0xF000;  // containers: their body is
inline constexpr std::uint16_t kLastContainer = 0xF005;   // the records they hold
inline constexpr std::uint16_t kGroupContainer = 0xF003;  // a group: its shape, then members
inline constexpr std::uint16_t kBse = 0xF007;             // picture store entry
inline constexpr std::uint16_t kGroupBounds = 0xF009;     // FSPGR: a group's coordinates
inline constexpr std::uint16_t kShape = 0xF00A;           // FSP
inline constexpr std::uint16_t kProperties = 0xF00B;      // FOPT
inline constexpr std::uint16_t kChildAnchor = 0xF00F;
inline constexpr std::uint16_t kClientAnchor = 0xF010;
// Shape types (the FSP instance) that are kept.
inline constexpr std::uint16_t kPictureFrame = 75;
inline constexpr std::uint16_t kTextBox = 202;  // the form comments take
// The property that names a picture frame's picture (1-based in the picture store), and
// the flags of a property id: the value is a picture store index, the value is the size of
// data that follows the property table.
inline constexpr std::uint16_t kPropertyIdMask = 0x3FFF;
inline constexpr std::uint16_t kPictureIndexProperty = 0x0104;
inline constexpr std::uint16_t kPropertyIsBlipId = 0x4000;
inline constexpr std::uint16_t kPropertyIsComplex = 0x8000;
}  // namespace mso

// The fixed part of a picture store entry (BSE) and its name: the two platform types, the
// 16-byte identifier and the tag are skipped; the size of the picture record that follows,
// the reference count, delay offset and usage are skipped; the name length (in bytes,
// the terminator included) and two unused bytes; then the name (16-bit characters and a
// terminator), skipped.
struct TBseRecord {
    std::uint32_t PictureSize = 0;
    std::uint8_t NameLength = 0;
};
TBseRecord DecodeBse(TByteCursor& body);

// FSP: the shape id, then flags, of which those that tell a group's own shape.
struct TShapeRecord {
    std::uint32_t ShapeId = 0;
    std::uint32_t Flags = 0;
    static constexpr std::uint32_t kGroup = 0x01;
    static constexpr std::uint32_t kPatriarch = 0x04;  // the group of the whole drawing
};
TShapeRecord DecodeShape(TByteCursor& body);

// A rectangle of 32-bit signed coordinates: left, top, right, bottom. It is the body of
// FSPGR (the coordinates a group gives its members) and of the child anchor (a group
// member's place in those coordinates).
struct TDrawingRect {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    static constexpr std::size_t kSize = 16;
};
TDrawingRect DecodeDrawingRect(TByteCursor& body);

// Client anchor: 2 flag bytes, then first column, its offset (1/1024 of the column width),
// first row, its offset (1/256 of the row height), last column, offset, last row, offset.
struct TClientAnchor {
    std::uint16_t Col1 = 0, Dx1 = 0, Row1 = 0, Dy1 = 0;
    std::uint16_t Col2 = 0, Dx2 = 0, Row2 = 0, Dy2 = 0;
    static constexpr std::size_t kSize = 18;
};
TClientAnchor DecodeClientAnchor(TByteCursor& body);

// OBJ: sub-records (16-bit type, 16-bit length, data), of which the first is the common
// object data (type 0x15) with the object type and id. A body that does not start with it,
// or whose first sub-record claims fewer than 4 bytes, names no object: some writers put
// the older format's object layout into these files. `Truncated` when the body ends
// before the type and id it announces.
struct TObjRecord {
    std::optional<std::uint16_t> ObjectType;
    std::uint16_t ObjectId = 0;
    bool Truncated = false;
    static constexpr std::uint16_t kCommonObject = 0x15;
    static constexpr std::uint16_t kPicture = 8;
    static constexpr std::uint16_t kComment = 25;
};
TObjRecord DecodeObj(TByteCursor& body);

// TXO: options, rotation, 6 reserved bytes, then the length of the text in characters and
// of its formatting runs in bytes; both follow in CONTINUE records.
struct TTxoRecord {
    std::uint16_t TextLength = 0;
    std::uint16_t RunsLength = 0;
};
TTxoRecord DecodeTxo(TByteCursor& body);

// A CONTINUE holding text of a TXO: an option byte (not 0: 16-bit characters), then
// characters to the end of the body (8-bit ones are code points 0..255).
std::u16string DecodeTxoText(TByteCursor& body);

// What the CONTINUE bodies after a TXO's own hold: its text, in the first body and as many
// more as it takes to reach the text length (each body a text of DecodeTxoText), then its
// formatting runs, in the next body and as many more as it takes to reach their length.
// Either is missing when the record has no body for it (a text the bodies cut short stops
// the runs too). `Next` is the body after them: drawing data that goes on after the object.
struct TTxoContent {
    std::optional<std::u16string> Text;
    std::optional<std::string> Runs;
    std::size_t Next = 1;
};
TTxoContent DecodeTxoContent(const TRecordCursor& record, const TTxoRecord& txo);

// NOTE: row, column, options (skipped), object id, then the author as a 16-bit counted
// string with an option byte (bit 0: 16-bit characters) when the count is not 0.
struct TNoteRecord {
    std::uint16_t Row = 0;
    std::uint16_t Col = 0;
    std::uint16_t ObjectId = 0;
    std::u16string Author;
    static constexpr std::size_t kMinSize = 10;
};
TNoteRecord DecodeNote(TByteCursor& body);

}  // namespace vorlix::records
