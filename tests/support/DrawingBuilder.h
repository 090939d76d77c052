// Drawing records for test workbooks: Office Drawing records (header, containers, picture
// store entries, shapes, properties, client anchors) and the BIFF records that tie shapes
// to objects, texts and cells (OBJ, TXO and its CONTINUE records, NOTE), written field by
// field from the published layout, independent of the reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"

namespace vorlix::test {

// Office Drawing record types.
inline constexpr std::uint16_t kMsoDggContainer = 0xF000;
inline constexpr std::uint16_t kMsoBStoreContainer = 0xF001;
inline constexpr std::uint16_t kMsoDgContainer = 0xF002;
inline constexpr std::uint16_t kMsoSpgrContainer = 0xF003;
inline constexpr std::uint16_t kMsoSpContainer = 0xF004;
inline constexpr std::uint16_t kMsoDgg = 0xF006;
inline constexpr std::uint16_t kMsoBse = 0xF007;
inline constexpr std::uint16_t kMsoDg = 0xF008;
inline constexpr std::uint16_t kMsoSpgr = 0xF009;
inline constexpr std::uint16_t kMsoSp = 0xF00A;
inline constexpr std::uint16_t kMsoOpt = 0xF00B;
inline constexpr std::uint16_t kMsoClientTextbox = 0xF00D;
inline constexpr std::uint16_t kMsoChildAnchor = 0xF00F;
inline constexpr std::uint16_t kMsoClientAnchor = 0xF010;
inline constexpr std::uint16_t kMsoClientData = 0xF011;

// Picture store types and shape types.
inline constexpr std::uint8_t kBlipEmf = 2;
inline constexpr std::uint8_t kBlipWmf = 3;
inline constexpr std::uint8_t kBlipJpeg = 5;
inline constexpr std::uint8_t kBlipPng = 6;
inline constexpr std::uint8_t kBlipDib = 7;
inline constexpr std::uint8_t kBlipCmykJpeg = 18;
inline constexpr std::uint16_t kShapePictureFrame = 75;
inline constexpr std::uint16_t kShapeHostControl = 201;  // charts and form controls
inline constexpr std::uint16_t kShapeTextBox = 202;      // comments

// OBJ object types.
inline constexpr std::uint16_t kObjChart = 5;
inline constexpr std::uint16_t kObjButton = 7;
inline constexpr std::uint16_t kObjPicture = 8;
inline constexpr std::uint16_t kObjComment = 25;

// A record: the header word (version, instance, type) and length, then the body.
Bytes MsoRecord(std::uint16_t type, std::uint16_t instance, const Bytes& body,
                std::uint8_t version = 0);
// A container (version 0xF) holding the given records.
Bytes MsoContainer(std::uint16_t type, const Bytes& children);
Bytes Join(const std::vector<Bytes>& parts);

// A picture store entry of the given type holding `picture` in its picture record: after
// the record header a 16-byte identifier, then for bitmaps (JPEG, PNG, DIB) a tag byte and
// the bytes, for metafiles (EMF, WMF) a 34-byte metafile header and the (compressed) bytes.
// `empty` writes a picture size of 0 and no picture record; `secondId` a second identifier
// after the first (the picture record's instance is odd then).
Bytes BseEntry(std::uint8_t blipType, const Bytes& picture, bool empty = false,
               bool secondId = false);
// The body of a drawing group: the drawing group container with its header and the picture
// store holding the entries.
Bytes DrawingGroupBody(const std::vector<Bytes>& entries);

struct Anchor {
    std::uint16_t col1 = 0, dx1 = 0, row1 = 0, dy1 = 0;
    std::uint16_t col2 = 0, dx2 = 0, row2 = 0, dy2 = 0;
};
// A shape container: the shape (FSP) of a type, its properties (the picture index when
// given) and client anchor (when given), and the client data that an OBJ record completes.
Bytes ShapeContainer(std::uint16_t shapeType, std::optional<std::uint32_t> blipIndex,
                     std::optional<Anchor> anchor);
// Groups: a rectangle (left, top, right, bottom) of the coordinates a group gives its
// members, or of a member's place in them.
struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
// The header of a group container whose body (the group's shape, then its members) is
// `length` bytes; the body may go on in later records.
Bytes GroupContainerHeader(std::size_t length);
// A group's own shape container: the coordinates it gives its members, its shape (a group)
// and its place: a client anchor on the sheet, or a child anchor in the group it is in.
Bytes GroupShapeContainer(const Rect& coordinates, std::optional<Anchor> anchor,
                          std::optional<Rect> child);
// A picture frame in a group, at its child anchor.
Bytes MemberPictureContainer(std::uint32_t blipIndex, const Rect& child);
// What starts a sheet's drawing: the drawing container, its header, the group container
// and the group's own shape.
Bytes SheetDrawingStart();

// OBJ with the common object sub-record (type and id) and the end sub-record.
Bytes ObjBody(std::uint16_t objectType, std::uint16_t objectId);
// TXO with the length of its text (characters) and of its formatting runs (bytes).
Bytes TxoBody(std::uint16_t textLength, std::uint16_t runsLength);
// A CONTINUE holding TXO text: an option byte, then 16-bit or 8-bit characters.
Bytes TxoTextBody(const std::u16string& text, bool wide);
// A CONTINUE holding formatting runs: (first character, font index) entries and the
// closing entry at the text's end.
Bytes TxoRunsBody(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& runs,
                  std::uint16_t textLength);
// NOTE: cell, object id and the author (8-bit characters, or 16-bit when `wide`).
Bytes NoteBody(std::uint16_t row, std::uint16_t col, std::uint16_t objectId,
               const std::u16string& author, bool wide = false);

// The records of a picture frame on a sheet: its shape in an MSODRAWING (after the start of
// the sheet's drawing when `first`) and its OBJ.
RecordList PictureRecords(std::uint16_t objectId, std::uint32_t blipIndex, const Anchor& anchor,
                          bool first = true);
// The records of a comment's box: its shape, OBJ, the text box's client data, the TXO and
// its text and runs (one run, font 0). Its NOTE comes after all of a sheet's drawings.
RecordList CommentRecords(std::uint16_t objectId, const std::u16string& text, const Anchor& anchor,
                          bool first = true);

}  // namespace vorlix::test
