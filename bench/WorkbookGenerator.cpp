#include "bench/WorkbookGenerator.h"

#include <algorithm>
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
                        kLabelSst = 0x00FD, kWindow2 = 0x023E, kFormula = 0x0006, kShrFmla = 0x04BC;
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
        .u16(0x0020)  // alignment, rotation
        .u16(0)       // indent, attributes used
        .u32(0)       // border lines and colours
        .u32(0)
        .u16(0x20C0);  // fill colours
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

// Formula tokens. A relative reference of a shared formula stores its offset from the
// formula's cell: the row as 16 bits, the column as 8 bits (both wrapping).
constexpr std::uint32_t kBothRelative = 0xC0;

Body& RefN(Body& t, int rowOffset, int colOffset) {
    return t.u8(0x4C)
        .u16(static_cast<std::uint16_t>(rowOffset))
        .u8(static_cast<std::uint8_t>(colOffset))
        .u8(kBothRelative);
}

// The shared formulas of the formula columns, by their place k among them, for a cell in
// column `col`: A(r)+B(r-1); SUM(A(r):D(r))*2; IF(x>100,x/2,ROUND(y,1)) of the two columns
// before.
Bytes SharedTokens(std::uint32_t k, std::uint32_t col) {
    const int c = static_cast<int>(col);
    Body t;
    switch (k % 3) {
        case 0:
            RefN(t, 0, -c);
            RefN(t, -1, 1 - c);
            t.u8(0x03);  // +
            break;
        case 1:
            t.u8(0x2D).u16(0).u16(0);  // area: rows offset 0..0
            t.u8(static_cast<std::uint8_t>(-c)).u8(kBothRelative);
            t.u8(static_cast<std::uint8_t>(3 - c)).u8(kBothRelative);
            t.u8(0x22).u8(1).u16(4);     // SUM, one argument
            t.u8(0x1E).u16(2).u8(0x05);  // 2, *
            break;
        default:
            RefN(t, 0, -2);
            t.u8(0x1E).u16(100).u8(0x0D);  // 100, >
            t.u8(0x19).u8(0x02).u16(9);    // if: jump over the true branch
            RefN(t, 0, -2);
            t.u8(0x1E).u16(2).u8(0x06);   // 2, /
            t.u8(0x19).u8(0x08).u16(15);  // goto the end
            RefN(t, 0, -1);
            t.u8(0x1E).u16(1);
            t.u8(0x41).u16(27);          // ROUND, two arguments
            t.u8(0x19).u8(0x08).u16(3);  // goto the end
            t.u8(0x42).u8(3).u16(1);     // IF, three arguments
            break;
    }
    return t;
}

// The last formula column: the cell before it minus $A$1, in tokens of its own.
Bytes OwnTokens(std::uint32_t row, std::uint32_t col) {
    return Body()
        .u8(0x44)
        .u16(row)
        .u8(col - 1)
        .u8(kBothRelative)  // the cell before
        .u8(0x44)
        .u16(0)
        .u8(0)
        .u8(0)      // $A$1
        .u8(0x04);  // -
}

constexpr std::uint32_t kSharedBlockRows = 32;  // rows of one shared formula range
constexpr std::uint16_t kSharedFlag = 0x0008;

Bytes FormulaBody(std::uint32_t row, std::uint32_t col, std::uint16_t options,
                  const Bytes& tokens) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(15)
        .f64(0)  // cached result
        .u16(options)
        .u32(0)
        .u16(static_cast<std::uint32_t>(tokens.size()))
        .bytes(tokens);
}

// A formula cell of the formula columns; the first cell of a shared range is followed by
// its SHRFMLA record.
void AddFormulaCell(BiffBuilder& b, const SheetShape& shape, std::uint32_t row, std::uint32_t col) {
    const std::uint32_t k = col - (shape.cols - shape.formulaColumns);
    if (col == shape.cols - 1) {
        b.Record(kFormula, FormulaBody(row, col, 0, OwnTokens(row, col)));
        return;
    }
    const std::uint32_t first =
        std::max<std::uint32_t>(1, row / kSharedBlockRows * kSharedBlockRows);
    const std::uint32_t last = std::min(
        shape.rows - 1, first / kSharedBlockRows * kSharedBlockRows + kSharedBlockRows - 1);
    const Bytes pointer = Body().u8(0x01).u16(first).u16(col);  // the range's first cell
    b.Record(kFormula, FormulaBody(row, col, kSharedFlag, pointer));
    if (row == first) {
        const Bytes tokens = SharedTokens(k, col);
        b.Record(kShrFmla, Body()
                               .u16(first)
                               .u16(last)
                               .u8(col)
                               .u8(col)
                               .u8(0)                 // reserved
                               .u8(last - first + 1)  // cells that use it
                               .u16(static_cast<std::uint32_t>(tokens.size()))
                               .bytes(tokens));
    }
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
            if (r > 0 && c + shape.formulaColumns >= shape.cols) {
                AddFormulaCell(b, shape, r, c);
                continue;
            }
            switch ((r + c) % 4) {
                case 0:
                    b.Record(kNumber, Body().u16(r).u16(c).u16(17).f64(r * 1.25 + c / 8.0));
                    break;
                case 1:
                    if (shape.numberRecordsOnly) {
                        b.Record(kNumber, Body().u16(r).u16(c).u16(15).f64(r * 100.0 + c));
                    } else {
                        b.Record(kRk, Body().u16(r).u16(c).u16(15).u32(
                                          RkInteger(static_cast<std::int32_t>(r * 100 + c))));
                    }
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

test::Bytes GenerateManySheetsStream(int sheets, std::uint32_t rows) {
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
        if (rows == 0) {
            b.Record(kDimensions, Body().u32(0).u32(3).u16(0).u16(2).u16(0));
            b.Record(kNumber, Body().u16(0).u16(0).u16(15).f64(s));
            b.Record(kLabelSst,
                     Body().u16(1).u16(1).u16(15).u32(static_cast<std::uint32_t>(s % 10)));
        } else {
            constexpr std::uint32_t kCols = 10;
            b.Record(kDimensions, Body().u32(0).u32(rows).u16(0).u16(kCols).u16(0));
            for (std::uint32_t r = 0; r < rows; ++r) {
                for (std::uint32_t c = 0; c < kCols; ++c) {
                    if ((r + c) % 2 == 0) {
                        b.Record(kNumber,
                                 Body().u16(r).u16(c).u16(15).f64(s * 1000.0 + r + c / 8.0));
                    } else {
                        b.Record(kLabelSst, Body().u16(r).u16(c).u16(15).u32((r * 7 + c) % 10));
                    }
                }
            }
        }
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
