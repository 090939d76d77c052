#include "tests/support/DrawingBuilder.h"

namespace vorlix::test {

namespace {

constexpr std::size_t kUidSize = 16;
constexpr std::uint16_t kBlipRecordBase = 0xF018;  // picture record type: base + store type

bool IsMetafile(std::uint8_t type) {
    return type == kBlipEmf || type == kBlipWmf;
}

}  // namespace

Bytes MsoRecord(std::uint16_t type, std::uint16_t instance, const Bytes& body,
                std::uint8_t version) {
    return Body()
        .u16(static_cast<std::uint32_t>(version & 0x0F) | static_cast<std::uint32_t>(instance) << 4)
        .u16(type)
        .u32(static_cast<std::uint32_t>(body.size()))
        .bytes(body);
}

Bytes MsoContainer(std::uint16_t type, const Bytes& children) {
    return MsoRecord(type, 0, children, 0x0F);
}

Bytes Join(const std::vector<Bytes>& parts) {
    Body b;
    for (const Bytes& p : parts)
        b.bytes(p);
    return b;
}

Bytes BseEntry(std::uint8_t blipType, const Bytes& picture, bool empty, bool secondId) {
    Body blip;
    blip.zeros(kUidSize);  // identifier of the picture
    if (secondId) blip.bytes(Bytes(kUidSize, 0xAB));
    if (IsMetafile(blipType)) {
        blip.u32(static_cast<std::uint32_t>(picture.size()))  // uncompressed size
            .u32(0)
            .u32(0)
            .u32(100)
            .u32(100)  // bounds
            .u32(1000)
            .u32(1000)                                        // size in EMU
            .u32(static_cast<std::uint32_t>(picture.size()))  // compressed size
            .u8(0)                                            // deflate
            .u8(0xFE);                                        // no filter
    } else {
        blip.u8(0xFF);  // tag
    }
    blip.bytes(picture);
    const Bytes blipRecord = MsoRecord(static_cast<std::uint16_t>(kBlipRecordBase + blipType),
                                       secondId ? 0x6E1 : 0x6E0, blip);
    Body bse;
    bse.u8(blipType)   // type on Windows
        .u8(blipType)  // type on the Mac
        .zeros(kUidSize)
        .u16(0xFF)  // tag
        .u32(empty ? 0 : static_cast<std::uint32_t>(blipRecord.size()))
        .u32(1)  // references
        .u32(0)  // offset in a delay stream
        .u8(0)   // usage
        .u8(0)   // name length
        .u8(0)
        .u8(0);
    if (!empty) bse.bytes(blipRecord);
    return MsoRecord(kMsoBse, blipType, bse, 2);
}

Bytes DrawingGroupBody(const std::vector<Bytes>& entries) {
    const Bytes dgg = MsoRecord(kMsoDgg, 0,
                                Body()
                                    .u32(1026)  // largest shape id
                                    .u32(2)     // id clusters + 1
                                    .u32(2)     // shapes saved
                                    .u32(1)     // drawings saved
                                    .u32(1)     // cluster: drawing 1
                                    .u32(2));   // shapes in it
    return MsoContainer(
        kMsoDggContainer,
        Join({dgg, MsoRecord(kMsoBStoreContainer, static_cast<std::uint16_t>(entries.size()),
                             Join(entries), 0x0F)}));
}

namespace {
Bytes ClientAnchorRecord(const Anchor& a) {
    return MsoRecord(kMsoClientAnchor, 0,
                     Body()
                         .u16(2)  // moves with its cells
                         .u16(a.col1)
                         .u16(a.dx1)
                         .u16(a.row1)
                         .u16(a.dy1)
                         .u16(a.col2)
                         .u16(a.dx2)
                         .u16(a.row2)
                         .u16(a.dy2));
}
}  // namespace

Bytes ShapeContainer(std::uint16_t shapeType, std::optional<std::uint32_t> blipIndex,
                     std::optional<Anchor> anchor) {
    std::vector<Bytes> parts;
    parts.push_back(MsoRecord(kMsoSp, shapeType,
                              Body()
                                  .u32(1025)     // shape id
                                  .u32(0x0A00),  // has an anchor, has a shape type
                              2));
    Body properties;
    std::uint16_t count = 1;
    properties.u16(0x007F).u32(0x00800080);  // protection flags
    if (blipIndex) {
        properties.u16(0x4104).u32(*blipIndex);  // picture index, a store id
        ++count;
    }
    parts.push_back(MsoRecord(kMsoOpt, count, properties, 3));
    if (anchor) parts.push_back(ClientAnchorRecord(*anchor));
    parts.push_back(MsoRecord(kMsoClientData, 0, {}));
    return MsoContainer(kMsoSpContainer, Join(parts));
}

Bytes GroupContainerHeader(std::size_t length) {
    return Body().u16(0x000F).u16(kMsoSpgrContainer).u32(static_cast<std::uint32_t>(length));
}

namespace {
Bytes RectBody(const Rect& r) {
    return Body()
        .u32(static_cast<std::uint32_t>(r.left))
        .u32(static_cast<std::uint32_t>(r.top))
        .u32(static_cast<std::uint32_t>(r.right))
        .u32(static_cast<std::uint32_t>(r.bottom));
}
}  // namespace

Bytes GroupShapeContainer(const Rect& coordinates, std::optional<Anchor> anchor,
                          std::optional<Rect> child) {
    std::vector<Bytes> parts = {MsoRecord(kMsoSpgr, 0, RectBody(coordinates), 1),
                                MsoRecord(kMsoSp, 0,
                                          Body()
                                              .u32(1030)     // shape id
                                              .u32(0x0201),  // a group, has an anchor
                                          2)};
    if (child) parts.push_back(MsoRecord(kMsoChildAnchor, 0, RectBody(*child)));
    if (anchor) parts.push_back(ClientAnchorRecord(*anchor));
    parts.push_back(MsoRecord(kMsoClientData, 0, {}));
    return MsoContainer(kMsoSpContainer, Join(parts));
}

Bytes MemberPictureContainer(std::uint32_t blipIndex, const Rect& child) {
    return MsoContainer(
        kMsoSpContainer,
        Join({MsoRecord(kMsoSp, kShapePictureFrame, Body().u32(1031).u32(0x0A02), 2),  // child
              MsoRecord(kMsoOpt, 1, Body().u16(0x4104).u32(blipIndex), 3),
              MsoRecord(kMsoChildAnchor, 0, RectBody(child)), MsoRecord(kMsoClientData, 0, {})}));
}

Bytes SheetDrawingStart() {
    const Bytes dg = MsoRecord(kMsoDg, 1, Body().u32(2).u32(1025));  // shapes, last id
    const Bytes group = MsoContainer(
        kMsoSpContainer,
        Join({MsoRecord(kMsoSpgr, 0, Body().zeros(16), 1),
              MsoRecord(kMsoSp, 0, Body().u32(1024).u32(0x0005), 2)}));  // group, patriarch
    // The containers' lengths cover shapes that follow in later records.
    return Join({Body().u16(0x000F).u16(kMsoDgContainer).u32(0x1000), dg,
                 Body().u16(0x000F).u16(kMsoSpgrContainer).u32(0x1000), group});
}

Bytes ObjBody(std::uint16_t objectType, std::uint16_t objectId) {
    return Body()
        .u16(0x15)  // common object data
        .u16(0x12)
        .u16(objectType)
        .u16(objectId)
        .u16(0x6011)  // locked, printed, auto fill and line
        .zeros(12)
        .u16(0x00)  // end
        .u16(0x00);
}

Bytes TxoBody(std::uint16_t textLength, std::uint16_t runsLength) {
    return Body()
        .u16(0x0212)  // left aligned, top aligned
        .u16(0)       // no rotation
        .zeros(6)
        .u16(textLength)
        .u16(runsLength)
        .zeros(4);
}

Bytes TxoTextBody(const std::u16string& text, bool wide) {
    Body b;
    b.u8(wide ? 1 : 0);
    for (char16_t c : text) {
        if (wide) {
            b.u16(c);
        } else {
            b.u8(c);
        }
    }
    return b;
}

Bytes TxoRunsBody(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& runs,
                  std::uint16_t textLength) {
    Body b;
    for (const auto& [first, font] : runs)
        b.u16(first).u16(font).u32(0);
    b.u16(textLength).u16(0).u32(0);  // closing entry
    return b;
}

Bytes NoteBody(std::uint16_t row, std::uint16_t col, std::uint16_t objectId,
               const std::u16string& author, bool wide) {
    Body b;
    b.u16(row).u16(col).u16(0).u16(objectId).u16(static_cast<std::uint32_t>(author.size()));
    b.u8(wide ? 1 : 0);
    for (char16_t c : author) {
        if (wide) {
            b.u16(c);
        } else {
            b.u8(c);
        }
    }
    b.u8(0);  // padding
    return b;
}

RecordList PictureRecords(std::uint16_t objectId, std::uint32_t blipIndex, const Anchor& anchor,
                          bool first) {
    const Bytes shape = ShapeContainer(kShapePictureFrame, blipIndex, anchor);
    return {{rec::kMsoDrawing, first ? Join({SheetDrawingStart(), shape}) : shape},
            {rec::kObj, ObjBody(kObjPicture, objectId)}};
}

RecordList CommentRecords(std::uint16_t objectId, const std::u16string& text, const Anchor& anchor,
                          bool first) {
    const Bytes shape = ShapeContainer(kShapeTextBox, std::nullopt, anchor);
    const auto length = static_cast<std::uint16_t>(text.size());
    return {{rec::kMsoDrawing, first ? Join({SheetDrawingStart(), shape}) : shape},
            {rec::kObj, ObjBody(kObjComment, objectId)},
            {rec::kMsoDrawing, MsoRecord(kMsoClientTextbox, 0, {})},
            {rec::kTxo, TxoBody(length, 16)},
            {rec::kContinue, TxoTextBody(text, false)},
            {rec::kContinue, TxoRunsBody({{0, 0}}, length)}};
}

}  // namespace vorlix::test
