#include "xls/read/TMSOData.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

#include "xls/model/Errors.h"

namespace vorlix {

using platform::TByteCursor;
using records::TMSORecordHeader;
namespace mso = records::mso;

namespace {

// Picture store types.
constexpr std::uint8_t kEmf = 2;
constexpr std::uint8_t kWmf = 3;
constexpr std::uint8_t kJpeg = 5;
constexpr std::uint8_t kDib = 7;
constexpr std::uint16_t kCmykJpeg = 18;

// Leading bytes of the picture record inside a store entry that are not the picture:
// metafiles lose the record header (their body keeps its identifier and metafile header);
// bitmaps the record header, their 16-byte identifier and a tag byte.
constexpr std::size_t kMetafileSkip = 8;
constexpr std::size_t kBitmapSkip = 25;
constexpr std::size_t kIdSize = 16;

// What takes the place of a bitmap file header before a device-independent bitmap: its
// signature and no size or offset.
constexpr std::array<std::uint8_t, 14> kBitmapPrefix = {0x42, 0x4D, 0x4B};

bool IsContainer(const TMSORecordHeader& h) {
    return h.Type >= mso::kFirstContainer && h.Type <= mso::kLastContainer;
}

[[noreturn]] void DrawingError() {
    throw EXLSError(xeDrawingStream);
}

// A cursor over the next `length` bytes of `stream` (fewer when it holds fewer), without
// moving it.
TByteCursor Slice(const TByteCursor& stream, std::size_t length) {
    return TByteCursor(stream.Data() + stream.Position(), std::min(length, stream.Remaining()));
}

}  // namespace

void TMSOData::ReadPictureStore(TByteCursor stream) {
    while (stream.Remaining() > 7) {
        const TMSORecordHeader h = records::DecodeMSOHeader(stream);
        if (IsContainer(h)) continue;
        if (h.Type == mso::kBse) {
            ReadBse(stream, h);
        } else {
            stream.Skip(std::min<std::size_t>(h.Length, stream.Remaining()));
        }
    }
}

// The entry's picture record follows its fixed part and name; what is read of it goes on
// from there, by the size the entry gives. The record's instance is odd when a second
// 16-byte identifier follows the first; it is skipped, so that the bytes kept have one
// layout whatever the writer chose.
void TMSOData::ReadBse(TByteCursor& stream, const TMSORecordHeader& header) {
    const records::TBseRecord entry = records::DecodeBse(stream);
    auto blip = std::make_unique<TMSOBLIP>();
    // The low four bits of the instance give the type, except for a JPEG in CMYK colours,
    // whose code (18) would read as a metafile's.
    blip->BlipType =
        header.Instance == kCmykJpeg ? kJpeg : static_cast<std::uint8_t>(header.Instance & 0x0F);
    blip->Empty = entry.PictureSize == 0;
    const std::uint8_t type = blip->BlipType;
    const bool metafile = type == kEmf || type == kWmf;
    const bool bitmap = type >= kJpeg && type <= kDib;
    // An empty entry has no picture record, so nothing of it is read either: the next
    // entry starts right after this one's fixed part.
    if (blip->Empty) {
        pictures_.push_back(std::move(blip));
        return;
    }
    const bool secondId =
        (metafile || bitmap) && stream.Has(2) && (stream.U16At(stream.Position()) >> 4 & 1) != 0;
    std::size_t left = entry.PictureSize;  // of the picture record
    const auto take = [&](std::size_t n) {
        const std::string_view bytes = stream.Bytes(std::min({n, left, stream.Remaining()}));
        left -= bytes.size();
        return bytes;
    };
    const auto put = [&](std::string_view bytes) {
        blip->Data.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    };
    if (bitmap) {
        take(kBitmapSkip + (secondId ? kIdSize : 0));
        if (type == kDib) blip->Data.Write(kBitmapPrefix.data(), kBitmapPrefix.size());
    } else if (metafile) {
        take(kMetafileSkip);
        const std::array<std::uint8_t, 10> prefix = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                     0xFF, 0xFF, 0xFF, type, 0xFF};
        blip->Data.Write(prefix.data(), prefix.size());
        put(take(kIdSize));
        if (secondId) take(kIdSize);
    }
    put(take(left));
    blip->Data.SetPosition(0);
    pictures_.push_back(std::move(blip));
}

void TMSOData::ReadShapes(TByteCursor body, std::int32_t sheetIndex) {
    if (sheetIndex != drawingSheet_) {
        drawingSheet_ = sheetIndex;
        drawingPlace_ = 0;
        openGroups_.clear();
    }
    const std::uint64_t start = drawingPlace_;
    drawingPlace_ += body.Size();
    while (body.Remaining() > 7) {
        const std::uint64_t place = start + body.Position();
        while (!openGroups_.empty() && openGroups_.back().End <= place)
            openGroups_.pop_back();
        const TMSORecordHeader h = records::DecodeMSOHeader(body);
        if (h.Type == mso::kGroupContainer) {
            openGroups_.push_back({place + TMSORecordHeader::kSize + h.Length, -1, {}});
        }
        if (IsContainer(h)) {
            shapeGroup_ = -1;  // what follows is another shape's
            continue;
        }
        const std::size_t length = std::min<std::size_t>(h.Length, body.Remaining());
        switch (h.Type) {
            case mso::kShape: {
                // The instance is the shape type.
                TByteCursor fields = Slice(body, length);
                const records::TShapeRecord fsp = records::DecodeShape(fields);
                if (h.Instance == mso::kTextBox) {
                    AddShape(std::make_unique<TMSOShapeComment>(sheetIndex));
                } else if (h.Instance == mso::kPictureFrame) {
                    AddShape(std::make_unique<TMSOShapeImage>(sheetIndex));
                } else {
                    AddShape(std::make_unique<TMSOShape>(sheetIndex));
                }
                shapeCreated_ = true;
                shapeGroup_ = -1;
                // The first shape of a group container is the group's own; the others are
                // its members. The drawing's own group places its members by their client
                // anchors, other groups by their child anchors.
                const bool groupShape = (fsp.Flags & records::TShapeRecord::kGroup) != 0 &&
                                        (fsp.Flags & records::TShapeRecord::kPatriarch) == 0 &&
                                        !openGroups_.empty() && openGroups_.back().Group == -1 &&
                                        openGroups_.size() > 1;
                const std::size_t owner = openGroups_.size() - (groupShape ? 1 : 0);
                const std::int32_t parent = owner > 0 ? openGroups_[owner - 1].Group : -1;
                shapes_.back()->Group = parent;
                if (groupShape) {
                    TMSOGroup group;
                    group.SheetIndex = sheetIndex;
                    group.Parent = parent;
                    group.Bounds = openGroups_.back().Bounds;
                    shapeGroup_ = static_cast<std::int32_t>(groups_.size());
                    groups_.push_back(group);
                    openGroups_.back().Group = shapeGroup_;
                }
                break;
            }
            case mso::kGroupBounds:
            case mso::kChildAnchor: {
                if (body.Remaining() < records::TDrawingRect::kSize) DrawingError();
                TByteCursor at = Slice(body, records::TDrawingRect::kSize);
                const records::TDrawingRect r = records::DecodeDrawingRect(at);
                if (h.Type == mso::kGroupBounds && shapeGroup_ >= 0) {
                    groups_[static_cast<std::size_t>(shapeGroup_)].Bounds = r;
                } else if (h.Type == mso::kGroupBounds && !openGroups_.empty()) {
                    openGroups_.back().Bounds = r;  // before the group's shape
                } else if (h.Type == mso::kChildAnchor && shapeCreated_ && !shapes_.empty()) {
                    shapes_.back()->Child = r;
                    if (shapeGroup_ >= 0) groups_[static_cast<std::size_t>(shapeGroup_)].Child = r;
                }
                break;
            }
            case mso::kProperties:
                ReadProperties(Slice(body, length), h.Instance);
                break;
            case mso::kClientAnchor: {
                if (body.Remaining() < records::TClientAnchor::kSize) DrawingError();
                TByteCursor at = Slice(body, records::TClientAnchor::kSize);
                const records::TClientAnchor a = records::DecodeClientAnchor(at);
                // An anchor before any shape belongs to none.
                if (!shapeCreated_) break;
                if (shapes_.empty()) DrawingError();
                TMSOShape& s = *shapes_.back();
                s.Col1 = a.Col1;
                s.Dx1 = a.Dx1;
                s.Row1 = a.Row1;
                s.Dy1 = a.Dy1;
                s.Col2 = a.Col2;
                s.Dx2 = a.Dx2;
                s.Row2 = a.Row2;
                s.Dy2 = a.Dy2;
                if (shapeGroup_ >= 0) {
                    TMSOGroup& g = groups_[static_cast<std::size_t>(shapeGroup_)];
                    g.Col1 = a.Col1;
                    g.Dx1 = a.Dx1;
                    g.Row1 = a.Row1;
                    g.Dy1 = a.Dy1;
                    g.Col2 = a.Col2;
                    g.Dx2 = a.Dx2;
                    g.Row2 = a.Row2;
                    g.Dy2 = a.Dy2;
                }
                break;
            }
            default:
                break;
        }
        body.Skip(length);
    }
}

// The property table: `count` entries of a 16-bit id with flags and a 32-bit value; the
// data of complex properties follows the table and is not read.
void TMSOData::ReadProperties(TByteCursor body, std::uint16_t count) {
    for (std::uint16_t i = 0; i < count && body.Remaining() > 5; ++i) {
        const std::uint16_t id = body.U16();
        const std::uint32_t value = body.U32();
        if ((id & mso::kPropertyIdMask) != mso::kPictureIndexProperty ||
            (id & mso::kPropertyIsBlipId) == 0 || (id & mso::kPropertyIsComplex) != 0) {
            continue;
        }
        if (!shapes_.empty()) shapes_.back()->BlipIndex = static_cast<std::int32_t>(value);
    }
}

void TMSOData::AddShape(std::unique_ptr<TMSOShape> shape) {
    shapes_.push_back(std::move(shape));
}

std::uint64_t TMSOData::ObjectKey(std::int32_t sheetIndex, std::int32_t objectId) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(sheetIndex)) << 32 |
           static_cast<std::uint32_t>(objectId);
}

void TMSOData::ReadObj(TByteCursor body) {
    const records::TObjRecord obj = records::DecodeObj(body);
    if (obj.Truncated) DrawingError();
    if (!obj.ObjectType) return;
    const std::uint16_t type = *obj.ObjectType;
    if ((type == records::TObjRecord::kComment || type == records::TObjRecord::kPicture) &&
        !shapes_.empty()) {
        // Only the last shape changes its id, and it holds the highest position: each list
        // of positions stays in creation order.
        const std::size_t position = shapes_.size() - 1;
        const TMSOShape& last = *shapes_.back();
        if (type == records::TObjRecord::kPicture && last.Kind() == TMSOShapeKind::Other &&
            last.BlipIndex != 0) {
            // A picture object whose shape is of another type but names a picture.
            auto image = std::make_unique<TMSOShapeImage>(last.SheetIndex);
            image->Col1 = last.Col1;
            image->Dx1 = last.Dx1;
            image->Row1 = last.Row1;
            image->Dy1 = last.Dy1;
            image->Col2 = last.Col2;
            image->Dx2 = last.Dx2;
            image->Row2 = last.Row2;
            image->Dy2 = last.Dy2;
            image->ObjectId = last.ObjectId;
            image->Group = last.Group;
            image->Child = last.Child;
            image->BlipIndex = last.BlipIndex;
            shapes_.back() = std::move(image);
        }
        TMSOShape& shape = *shapes_.back();
        if (shape.ObjectId != -1) Unindex(position);
        shape.ObjectId = obj.ObjectId;
        byObject_[ObjectKey(shape.SheetIndex, shape.ObjectId)].push_back(position);
    }
    lastObjectType_ = type;
}

void TMSOData::Unindex(std::size_t position) {
    const TMSOShape& shape = *shapes_[position];
    const auto it = byObject_.find(ObjectKey(shape.SheetIndex, shape.ObjectId));
    if (it == byObject_.end() || it->second.empty() || it->second.back() != position) {
        throw std::logic_error("shape missing from the object index");
    }
    it->second.pop_back();
}

TMSOShapeComment& TMSOData::LastComment() {
    if (shapes_.empty() || shapes_.back()->Kind() != TMSOShapeKind::Comment) DrawingError();
    return static_cast<TMSOShapeComment&>(*shapes_.back());
}

void TMSOData::SetCommentText(std::u16string text) {
    LastComment().Text = std::move(text);
}

void TMSOData::SetCommentRuns(std::string runs) {
    LastComment().Runs = std::move(runs);
}

void TMSOData::ReadNote(TByteCursor body, std::int32_t sheetIndex) {
    if (body.Remaining() < records::TNoteRecord::kMinSize) DrawingError();
    records::TNoteRecord note = records::DecodeNote(body);
    const auto it = byObject_.find(ObjectKey(sheetIndex, note.ObjectId));
    if (it == byObject_.end() || it->second.empty()) DrawingError();
    TMSOShape& shape = *shapes_[it->second.front()];
    if (shape.Kind() != TMSOShapeKind::Comment) DrawingError();
    auto& comment = static_cast<TMSOShapeComment&>(shape);
    comment.Author = std::move(note.Author);
    comment.Row = note.Row;
    comment.Col = note.Col;
    comment.SheetIndex = sheetIndex;
}

void TMSOData::Prune() {
    pruned_.clear();
    byObject_.clear();
    std::vector<bool> keep(shapes_.size(), true);
    const auto count = static_cast<std::int64_t>(pictures_.size());
    for (std::size_t i = shapes_.size(); i-- > 0;) {
        const TMSOShape& s = *shapes_[i];
        const auto image =
            s.Kind() == TMSOShapeKind::Image ? static_cast<const TMSOShapeImage*>(&s) : nullptr;
        const std::int32_t blip = image != nullptr ? image->BlipIndex : 0;
        std::optional<TPruneReason> reason;
        if (s.ObjectId == -1) {
            reason = TPruneReason::NoObject;
        } else if (s.Kind() == TMSOShapeKind::Other) {
            reason = TPruneReason::OtherShape;
        } else if (image != nullptr && (blip < 1 || blip > count)) {
            reason = TPruneReason::NoPicture;
        } else if (image != nullptr && pictures_[static_cast<std::size_t>(blip - 1)]->Empty) {
            reason = TPruneReason::EmptyPicture;
        } else if (s.Kind() == TMSOShapeKind::Comment &&
                   static_cast<const TMSOShapeComment&>(s).Row < 0) {
            reason = TPruneReason::NoCell;
        }
        if (reason) {
            keep[i] = false;
            pruned_.push_back({s.Kind(), blip, *reason});
        }
    }
    std::size_t to = 0;
    for (std::size_t i = 0; i < shapes_.size(); ++i) {
        if (keep[i]) shapes_[to++] = std::move(shapes_[i]);
    }
    shapes_.resize(to);
}

}  // namespace vorlix
