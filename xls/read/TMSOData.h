// The drawing collector of one read: the workbook's picture store and the shapes of its
// sheets, gathered from the Office Drawing records and the OBJ, TXO and NOTE records that
// tie shapes to objects, texts and cells. The reader turns what survives pruning into
// sheet images and cell comments once every record is read.
//
// Office Drawing data is a sequence of records (8-byte header, body). Containers are
// entered: the records they hold are read one after the other, so nesting needs neither
// recursion nor a stack, and every step moves on by at least a header. Lengths are never
// trusted beyond the bytes at hand. Data that contradicts itself (an anchor cut short, a
// text or note for a shape that is no comment, a note without its shape) raises EXLSError
// 15; records that concern neither pictures nor comments are skipped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ByteCursor.h"
#include "xls/model/TEasyStream.h"
#include "xls/read/records/DrawingRecords.h"

namespace vorlix {

// One picture of the picture store. Data holds the picture as a file would, as far as the
// store allows: JPEG and PNG as they are; a device-independent bitmap behind a 14-byte
// bitmap file header whose size and offset fields are left empty ("BM" 0x4B, zeros);
// metafiles (EMF, WMF) behind the 10 bytes FF x 8, the type, FF, followed by the picture
// record's body from its identifier on: the 16-byte identifier (a second one, which some
// writers add, is left out), the 34-byte metafile header and the (compressed) metafile;
// other types as stored.
struct TMSOBLIP {
    TEasyStream Data;
    std::uint8_t BlipType = 0;  // 2 EMF, 3 WMF, 4 PICT, 5 JPEG, 6 PNG, 7 DIB
    bool Empty = false;         // the store gave a size of 0
};

enum class TMSOShapeKind : std::uint8_t { Other, Image, Comment };

// A group of shapes: where it is (its anchor to cells, or its child anchor in the
// coordinates of the group it belongs to) and the coordinates it gives its members.
struct TMSOGroup {
    std::int32_t SheetIndex = 0;
    std::int32_t Col1 = 0, Dx1 = 0, Row1 = 0, Dy1 = 0;
    std::int32_t Col2 = 0, Dx2 = 0, Row2 = 0, Dy2 = 0;
    std::int32_t Parent = -1;  // the group it belongs to (its position in Groups()), or -1
    records::TDrawingRect Child;
    records::TDrawingRect Bounds;
};

// A shape: its sheet, its anchor (first and last column and row with the offsets inside
// those cells, in 1/1024 of the column width and 1/256 of the row height) and the id of
// the object that names it (-1 until an OBJ record does). A member of a group is placed
// by its child anchor inside the group instead (Group: the group's position in Groups()).
class TMSOShape {
  public:
    explicit TMSOShape(std::int32_t sheetIndex, TMSOShapeKind kind = TMSOShapeKind::Other)
        : SheetIndex(sheetIndex), kind_(kind) {}
    virtual ~TMSOShape() = default;
    TMSOShapeKind Kind() const { return kind_; }

    std::int32_t SheetIndex;
    std::int32_t Col1 = 0, Dx1 = 0, Row1 = 0, Dy1 = 0;
    std::int32_t Col2 = 0, Dx2 = 0, Row2 = 0, Dy2 = 0;
    std::int32_t ObjectId = -1;
    std::int32_t Group = -1;
    records::TDrawingRect Child;
    // The 1-based position in the picture store of the picture its properties name, 0 when
    // none; a picture frame shows it.
    std::int32_t BlipIndex = 0;

  private:
    TMSOShapeKind kind_;
};

// A picture frame: a shape of that type, or any shape that names a picture and whose OBJ
// record makes it a picture (a control shown by a picture of itself, a picture given
// another outline).
class TMSOShapeImage : public TMSOShape {
  public:
    explicit TMSOShapeImage(std::int32_t sheetIndex)
        : TMSOShape(sheetIndex, TMSOShapeKind::Image) {}
};

// A comment's text box: the cell (-1 until a NOTE record names it), text, author and the
// raw formatting runs of the text (8 bytes each: first character, font index, unused).
class TMSOShapeComment : public TMSOShape {
  public:
    explicit TMSOShapeComment(std::int32_t sheetIndex)
        : TMSOShape(sheetIndex, TMSOShapeKind::Comment) {}
    std::int32_t Row = -1;
    std::int32_t Col = -1;
    std::u16string Text;
    std::u16string Author;
    std::string Runs;
};

// Why pruning removed a shape.
enum class TPruneReason : std::uint8_t {
    NoObject,      // no OBJ record of a picture or comment named it (charts, controls...)
    OtherShape,    // neither a picture frame nor a comment's text box
    NoPicture,     // a picture frame whose picture index is outside the store
    EmptyPicture,  // a picture frame whose picture the store left empty
    NoCell,        // a comment that no NOTE record tied to a cell
};
struct TPrunedShape {
    TMSOShapeKind Kind;
    std::int32_t BlipIndex;  // picture frames; 0 for others
    TPruneReason Reason;
};

class TMSOData {
  public:
    // The picture store: the drawing group's records joined into one stream.
    void ReadPictureStore(platform::TByteCursor stream);
    // The shape records of one MSODRAWING body, for the sheet at `sheetIndex`.
    void ReadShapes(platform::TByteCursor body, std::int32_t sheetIndex);
    // An OBJ body: its object type, and the id of the last shape when it is a picture or
    // a comment.
    void ReadObj(platform::TByteCursor body);
    // The object type of the last OBJ record, -1 before the first.
    std::int32_t LastObjectType() const { return lastObjectType_; }
    // A comment's text and formatting runs from the CONTINUE records after its TXO; the
    // last shape must be a comment.
    void SetCommentText(std::u16string text);
    void SetCommentRuns(std::string runs);
    // A NOTE body read on the sheet at `sheetIndex`: the comment shape with its object id
    // on that sheet gets its cell and author.
    void ReadNote(platform::TByteCursor body, std::int32_t sheetIndex);
    // Removes, from the last shape to the first, what cannot be placed (see TPruneReason).
    void Prune();

    int PictureCount() const { return static_cast<int>(pictures_.size()); }
    TMSOBLIP& Picture(int index) const { return *pictures_.at(static_cast<std::size_t>(index)); }
    int ShapeCount() const { return static_cast<int>(shapes_.size()); }
    TMSOShape& Shape(int index) const { return *shapes_.at(static_cast<std::size_t>(index)); }
    // The groups, each after the group it belongs to.
    const std::vector<TMSOGroup>& Groups() const { return groups_; }
    // What the last Prune removed, from the last shape to the first.
    const std::vector<TPrunedShape>& Pruned() const { return pruned_; }

  private:
    void ReadBse(platform::TByteCursor& stream, const records::TMSORecordHeader& header);
    void ReadProperties(platform::TByteCursor body, std::uint16_t count);
    void AddShape(std::unique_ptr<TMSOShape> shape);
    TMSOShapeComment& LastComment();
    // Shape positions by sheet and object id, each list in creation order.
    static std::uint64_t ObjectKey(std::int32_t sheetIndex, std::int32_t objectId);
    void Unindex(std::size_t position);

    std::vector<std::unique_ptr<TMSOBLIP>> pictures_;
    std::vector<std::unique_ptr<TMSOShape>> shapes_;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byObject_;
    std::vector<TPrunedShape> pruned_;
    std::int32_t lastObjectType_ = -1;
    bool shapeCreated_ = false;

    // Where the shape records of a sheet are: a sheet's drawing is one run of records over
    // its MSODRAWING bodies (and drawing data after objects), whose containers span bodies.
    // The group containers open at the current place, innermost last: where each ends in
    // that run, its group (-1 for the drawing's own group, and until its shape is read) and
    // the coordinates it gives its members (they may come before its shape).
    struct TOpenGroup {
        std::uint64_t End;
        std::int32_t Group;
        records::TDrawingRect Bounds;
    };
    std::vector<TMSOGroup> groups_;
    std::vector<TOpenGroup> openGroups_;
    std::int32_t drawingSheet_ = -1;
    std::uint64_t drawingPlace_ = 0;
    // The group whose own shape is the last one read, or -1.
    std::int32_t shapeGroup_ = -1;
};

}  // namespace vorlix
