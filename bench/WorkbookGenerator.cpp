#include "bench/WorkbookGenerator.h"

#include <string>
#include <vector>

namespace vorlix::bench {

namespace {

using test::BiffBuilder;
using test::Body;
using test::Bytes;

constexpr std::uint16_t kBof = 0x0809, kEof = 0x000A, kFont = 0x0031, kXf = 0x00E0,
                        kFormat = 0x041E, kBoundSheet = 0x0085, kSst = 0x00FC, kContinue = 0x003C,
                        kDimensions = 0x0200, kRow = 0x0208, kNumber = 0x0203, kRk = 0x027E,
                        kLabelSst = 0x00FD, kWindow2 = 0x023E;
constexpr std::size_t kMaxBody = 8224;  // the longest body real writers produce

Bytes BofBody(std::uint16_t type) {
    return Body().u16(0x0600).u16(type).u16(0x0DBB).u16(0x07CC).u32(0x000100C9).u32(0x00000406);
}

Bytes FontBody(const std::string& name) {
    return Body()
        .u16(200)
        .u16(0)
        .u16(0x7FFF)
        .u16(400)
        .u16(0)
        .u8(0)
        .u8(0)
        .u8(0)
        .u8(0)
        .u8(static_cast<std::uint32_t>(name.size()))
        .u8(0)
        .ascii(name);
}

Bytes XfBody(std::uint16_t font, std::uint16_t format, bool style) {
    return Body()
        .u16(font)
        .u16(format)
        .u16(style ? 0xFFF5 : 0x0001)
        .u16(0x0020)
        .u32(0)
        .u32(0)
        .u16(0x20C0);
}

// The shared string table, cut into SST + CONTINUE records at string boundaries.
void AddSst(BiffBuilder& b, std::uint32_t total, std::uint32_t distinct) {
    Body body;
    body.u32(total).u32(distinct);
    bool first = true;
    for (std::uint32_t i = 0; i < distinct; ++i) {
        const std::string s = "Text value number " + std::to_string(i);
        Body one;
        one.u16(static_cast<std::uint32_t>(s.size())).u8(0).ascii(s);
        if (body.size() + one.size() > kMaxBody) {
            b.Record(first ? kSst : kContinue, body);
            first = false;
            body = Body();
        }
        body.bytes(one);
    }
    b.Record(first ? kSst : kContinue, body);
}

std::uint32_t RkInteger(std::int32_t v) {
    return static_cast<std::uint32_t>(v) << 2 | 2;
}

}  // namespace

test::Bytes GenerateLargeSheetStream(const SheetShape& shape,
                                     const std::optional<std::u16string>& password) {
    BiffBuilder b;
    b.Record(kBof, BofBody(0x0005));
    if (password) b.FilePass(*password);
    for (int i = 0; i < 5; ++i)
        b.Record(kFont, FontBody("Arial"));
    b.Record(kFormat, Body().u16(164).u16(10).u8(0).ascii("yyyy-mm-dd"));
    for (int i = 0; i < 15; ++i)
        b.Record(kXf, XfBody(0, 0, true));
    b.Record(kXf, XfBody(0, 0, false));    // 15: general cells
    b.Record(kXf, XfBody(0, 164, false));  // 16: dates
    b.Record(kXf, XfBody(0, 4, false));    // 17: #,##0.00
    const std::size_t boundSheetAt = b.Size();
    b.Record(kBoundSheet, Body().u32(0).u8(0).u8(0).u8(5).u8(0).ascii("Large"));
    const std::uint64_t cells = static_cast<std::uint64_t>(shape.rows) * shape.cols;
    AddSst(b, static_cast<std::uint32_t>(cells / 4), shape.distinctStrings);
    b.Record(kEof, {});

    const std::size_t sheetAt = b.Size();
    b.Record(kBof, BofBody(0x0010));
    b.Record(kDimensions, Body().u32(0).u32(shape.rows).u16(0).u16(shape.cols).u16(0));
    for (std::uint32_t r = 0; r < shape.rows; ++r) {
        if (r % 32 == 0) {
            for (std::uint32_t k = r; k < r + 32 && k < shape.rows; ++k) {
                b.Record(kRow, Body().u16(k).u16(0).u16(shape.cols).u16(255).u32(0).u32(0x0100));
            }
        }
        for (std::uint32_t c = 0; c < shape.cols; ++c) {
            switch ((r + c) % 4) {
                case 0:
                    b.Record(kNumber, Body().u16(r).u16(c).u16(17).f64(r * 1.25 + c / 8.0));
                    break;
                case 1:
                    b.Record(kRk, Body().u16(r).u16(c).u16(15).u32(
                                      RkInteger(static_cast<std::int32_t>(r * 100 + c))));
                    break;
                case 2:
                    b.Record(kLabelSst, Body().u16(r).u16(c).u16(15).u32((r * 31 + c) %
                                                                         shape.distinctStrings));
                    break;
                default:
                    b.Record(kNumber,
                             Body().u16(r).u16(c).u16(16).f64(40000.0 + (r % 3000) + c / 48.0));
                    break;
            }
        }
    }
    b.Record(kWindow2, Body().u16(0x06B6).u16(0).u16(0).u16(64).u16(0).u16(0).u32(0));
    b.Record(kEof, {});

    Bytes stream = b.Build();
    // The sheet's stream position stays plain in encrypted files too.
    for (int i = 0; i < 4; ++i)
        stream[boundSheetAt + 4 + i] = static_cast<std::uint8_t>(sheetAt >> (8 * i));
    return stream;
}

test::Bytes GenerateManySheetsStream(int sheets) {
    BiffBuilder b;
    b.Record(kBof, BofBody(0x0005));
    for (int i = 0; i < 5; ++i)
        b.Record(kFont, FontBody("Arial"));
    for (int i = 0; i < 15; ++i)
        b.Record(kXf, XfBody(0, 0, true));
    b.Record(kXf, XfBody(0, 0, false));
    std::vector<std::size_t> boundSheets;
    for (int s = 0; s < sheets; ++s) {
        const std::string name = "Sheet" + std::to_string(s + 1);
        boundSheets.push_back(b.Size());
        b.Record(kBoundSheet, Body()
                                  .u32(0)
                                  .u8(0)
                                  .u8(0)
                                  .u8(static_cast<std::uint32_t>(name.size()))
                                  .u8(0)
                                  .ascii(name));
    }
    AddSst(b, static_cast<std::uint32_t>(sheets), 10);
    b.Record(kEof, {});
    std::vector<std::size_t> sheetStarts;
    for (int s = 0; s < sheets; ++s) {
        sheetStarts.push_back(b.Size());
        b.Record(kBof, BofBody(0x0010));
        b.Record(kDimensions, Body().u32(0).u32(3).u16(0).u16(2).u16(0));
        b.Record(kNumber, Body().u16(0).u16(0).u16(15).f64(s));
        b.Record(kLabelSst, Body().u16(1).u16(1).u16(15).u32(static_cast<std::uint32_t>(s % 10)));
        b.Record(kWindow2, Body().u16(0x06B6).u16(0).u16(0).u16(64).u16(0).u16(0).u32(0));
        b.Record(kEof, {});
    }
    Bytes stream = b.Build();
    for (int s = 0; s < sheets; ++s) {
        for (int i = 0; i < 4; ++i) {
            stream[boundSheets[s] + 4 + i] = static_cast<std::uint8_t>(sheetStarts[s] >> (8 * i));
        }
    }
    return stream;
}

}  // namespace vorlix::bench
