#include "bench/WorkbookGenerator.h"

#include <algorithm>
#include <optional>
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
                        kLabelSst = 0x00FD, kWindow2 = 0x023E, kFormula = 0x0006, kShrFmla = 0x04BC,
                        kMulRk = 0x00BD, kExtSst = 0x00FF, kCodePage = 0x0042;
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

// --- Sheets as other programs write them ---------------------------------------------

// The texts of the shared-string table: names and words of varied length, one in twenty
// in Greek (16-bit characters).
std::u16string WrittenText(std::uint32_t i) {
    static const char16_t* const kWords[] = {u"Invoice", u"Müller GmbH", u"north",   u"Total",
                                             u"pending", u"Café",        u"shipped", u"returned"};
    std::u16string text = kWords[i % 8];
    text += u' ';
    for (const char digit : std::to_string(i))
        text += static_cast<char16_t>(digit);
    if (i % 20 == 7) text += u" Ελλάδα";
    if (i % 3 == 0) text += u" of the second quarter";
    return text;
}

bool IsWide(const std::u16string& text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
}

// The shared-string table as spreadsheet programs write it: records of at most 8224 bytes,
// a string's characters going on in the next CONTINUE record behind an option byte of their
// own, then EXTSST with the place of every eighth string.
void AddWrittenSst(BiffBuilder& b, std::uint32_t total, std::uint32_t distinct) {
    constexpr std::uint32_t kBucket = 8;
    Body body;
    body.u32(total).u32(distinct);
    bool first = true;
    const auto emit = [&] {
        b.Record(first ? kSst : kContinue, body);
        first = false;
        body = Body();
    };
    Body index;
    index.u16(kBucket);
    for (std::uint32_t i = 0; i < distinct; ++i) {
        const std::u16string text = WrittenText(i);
        const bool wide = IsWide(text);
        const std::size_t unit = wide ? 2 : 1;
        // The count and option byte and a first character stay with the string's start.
        if (body.size() + 3 + unit > kMaxBody) emit();
        if (i % kBucket == 0) {
            index.u32(static_cast<std::uint32_t>(b.Size() + 4 + body.size()))
                .u16(static_cast<std::uint32_t>(4 + body.size()))
                .u16(0);
        }
        body.u16(static_cast<std::uint32_t>(text.size())).u8(wide ? 1 : 0);
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t room = (kMaxBody - body.size()) / unit;
            const std::size_t n = std::min(room, text.size() - at);
            for (std::size_t k = at; k < at + n; ++k) {
                if (wide) {
                    body.u16(text[k]);
                } else {
                    body.u8(text[k]);
                }
            }
            at += n;
            if (at < text.size()) {
                emit();
                body.u8(wide ? 1 : 0);
            }
        }
    }
    emit();
    b.Record(kExtSst, index);
}

// What a cell of the writer-shaped sheet holds, by its column.
enum class TWrittenCell { Integer, Decimal, Float, Text, Date, Formula };

TWrittenCell WrittenCellAt(std::uint32_t col) {
    switch (col % 10) {
        case 0:
        case 5:
            return TWrittenCell::Integer;
        case 1:
        case 7:
            return TWrittenCell::Decimal;
        case 2:
            return TWrittenCell::Float;
        case 4:
            return TWrittenCell::Date;
        case 9:
            return TWrittenCell::Formula;
        default:
            return TWrittenCell::Text;
    }
}

double WrittenNumber(std::uint32_t row, std::uint32_t col) {
    switch (WrittenCellAt(col)) {
        case TWrittenCell::Integer:
            return static_cast<double>(row * 3 + col);
        case TWrittenCell::Decimal:
            return row * 0.25 + col;  // cents: RK holds it times 100
        case TWrittenCell::Float:
            return row / 7.0 + col;
        case TWrittenCell::Date:
            return 40000.0 + row % 3000;
        default:
            return 0;
    }
}

// The RK form of a number the record can hold exactly, or none.
std::optional<std::uint32_t> RkOf(double v) {
    for (const bool hundredths : {false, true}) {
        const double x = hundredths ? v * 100 : v;
        if (x == static_cast<double>(static_cast<std::int32_t>(x)) && x >= -(1 << 29) &&
            x < (1 << 29)) {
            return static_cast<std::uint32_t>(static_cast<std::int32_t>(x)) << 2 | 2 |
                   (hundredths ? 1 : 0);
        }
    }
    return std::nullopt;
}

// The tokens of A(r)+C(r) for a formula in column `col`: the cells nine and seven columns
// to the left, as plain relative references of their own or as offsets in a shared formula.
Bytes WrittenFormulaTokens(TWriter writer, std::uint32_t row, std::uint32_t col) {
    Body t;
    for (const std::uint32_t back : {9u, 7u}) {
        if (writer == TWriter::SharedFormulas) {
            RefN(t, 0, -static_cast<int>(back));
        } else {
            t.u8(0x24).u16(row).u16(0xC000 | (col - back));
        }
    }
    t.u8(0x03);  // +
    return t;
}

void AddWrittenFormula(BiffBuilder& b, TWriter writer, std::uint32_t rows, std::uint32_t row,
                       std::uint32_t col) {
    const double result = WrittenNumber(row, col - 9) + WrittenNumber(row, col - 7);
    const auto body = [&](std::uint16_t options, const Bytes& tokens) {
        return Body()
            .u16(row)
            .u16(col)
            .u16(15)
            .f64(result)
            .u16(options)
            .u32(0)
            .u16(static_cast<std::uint32_t>(tokens.size()))
            .bytes(tokens);
    };
    if (writer == TWriter::OwnFormulas) {
        b.Record(kFormula, body(0x0002, WrittenFormulaTokens(writer, row, col)));
        return;
    }
    const std::uint32_t first =
        std::max<std::uint32_t>(1, row / kSharedBlockRows * kSharedBlockRows);
    const std::uint32_t last =
        std::min(rows - 1, row / kSharedBlockRows * kSharedBlockRows + kSharedBlockRows - 1);
    b.Record(kFormula, body(kSharedFlag, Body().u8(0x01).u16(first).u16(col)));
    if (row == first) {
        const Bytes tokens = WrittenFormulaTokens(writer, row, col);
        b.Record(kShrFmla, Body()
                               .u16(first)
                               .u16(last)
                               .u8(col)
                               .u8(col)
                               .u8(0)
                               .u8(last - first + 1)
                               .u16(static_cast<std::uint32_t>(tokens.size()))
                               .bytes(tokens));
    }
}

// One row's cells: runs of RK numbers in MULRK (one alone in RK), the rest in records of
// their own.
void AddWrittenRow(BiffBuilder& b, TWriter writer, std::uint32_t rows, std::uint32_t r,
                   std::uint32_t cols, std::uint32_t distinct, std::uint32_t& nextText) {
    std::vector<std::pair<std::uint16_t, std::uint32_t>> run;  // (XF, RK) from runStart
    std::uint32_t runStart = 0;
    const auto flush = [&] {
        if (run.size() == 1) {
            b.Record(kRk, Body().u16(r).u16(runStart).u16(run[0].first).u32(run[0].second));
        } else if (run.size() > 1) {
            Body body;
            body.u16(r).u16(runStart);
            for (const auto& [xf, rk] : run)
                body.u16(xf).u32(rk);
            body.u16(runStart + static_cast<std::uint32_t>(run.size()) - 1);
            b.Record(kMulRk, body);
        }
        run.clear();
    };
    for (std::uint32_t c = 0; c < cols; ++c) {
        const TWrittenCell kind = r == 0 ? TWrittenCell::Text : WrittenCellAt(c);
        if (kind == TWrittenCell::Integer || kind == TWrittenCell::Decimal ||
            kind == TWrittenCell::Date || kind == TWrittenCell::Float) {
            const double v = WrittenNumber(r, c);
            const std::uint16_t xf = kind == TWrittenCell::Date      ? 16
                                     : kind == TWrittenCell::Integer ? 15
                                                                     : 17;
            if (const auto rk = RkOf(v)) {
                if (run.empty()) runStart = c;
                run.emplace_back(xf, *rk);
                continue;
            }
            flush();
            b.Record(kNumber, Body().u16(r).u16(c).u16(xf).f64(v));
            continue;
        }
        flush();
        if (kind == TWrittenCell::Formula) {
            AddWrittenFormula(b, writer, rows, r, c);
        } else {
            b.Record(kLabelSst, Body().u16(r).u16(c).u16(15).u32(nextText++ % distinct));
        }
    }
    flush();
}

// The five fonts, the date format and the XF records every generated workbook has: the
// fifteen style XFs, then 15 for general cells, 16 for dates and 17 for "#,##0.00".
void AddStyles(BiffBuilder& b) {
    for (int i = 0; i < 5; ++i)
        b.Record(kFont, FontBody("Arial"));
    b.Record(kFormat, Body().u16(164).u16(10).u8(0).ascii("yyyy-mm-dd"));
    for (int i = 0; i < 15; ++i)
        b.Record(kXf, XfBody(0, 0, true));
    b.Record(kXf, XfBody(0, 0, false));    // 15: general cells
    b.Record(kXf, XfBody(0, 164, false));  // 16: dates
    b.Record(kXf, XfBody(0, 4, false));    // 17: #,##0.00
}

// Writes the position of the sheet's BOF into the BOUNDSHEET record at `boundSheetAt`.
void SetSheetPosition(Bytes& stream, std::size_t boundSheetAt, std::size_t sheetAt) {
    for (int i = 0; i < 4; ++i)
        stream[boundSheetAt + 4 + i] = static_cast<std::uint8_t>(sheetAt >> (8 * i));
}

}  // namespace

test::Bytes GenerateWrittenSheetStream(TWriter writer, std::uint32_t rows, std::uint32_t cols) {
    constexpr std::uint32_t kDistinct = 20000;
    BiffBuilder b;
    b.Record(kBof, BofBody(0x0005));
    b.Record(kCodePage, Body().u16(1200));
    AddStyles(b);
    const std::size_t boundSheetAt = b.Size();
    b.Record(kBoundSheet, Body().u32(0).u8(0).u8(0).u8(5).u8(0).ascii("Sheet"));
    std::uint32_t texts = cols;  // the header row
    for (std::uint32_t c = 0; c < cols; ++c) {
        if (WrittenCellAt(c) == TWrittenCell::Text) texts += rows - 1;
    }
    AddWrittenSst(b, texts, kDistinct);
    b.Record(kEof, {});

    const std::size_t sheetAt = b.Size();
    b.Record(kBof, BofBody(0x0010));
    b.Record(kDimensions, Body().u32(0).u32(rows).u16(0).u16(cols).u16(0));
    std::uint32_t nextText = 0;
    for (std::uint32_t r = 0; r < rows; ++r) {
        if (r % 32 == 0) {
            for (std::uint32_t k = r; k < r + 32 && k < rows; ++k)
                b.Record(kRow, Body().u16(k).u16(0).u16(cols).u16(255).u32(0).u32(0x0100));
        }
        AddWrittenRow(b, writer, rows, r, cols, kDistinct, nextText);
    }
    b.Record(kWindow2, Body().u16(0x06B6).u16(0).u16(0).u16(64).u16(0).u16(0).u32(0));
    b.Record(kEof, {});

    Bytes stream = b.Build();
    SetSheetPosition(stream, boundSheetAt, sheetAt);
    return stream;
}

test::Bytes GenerateLargeSheetStream(const SheetShape& shape,
                                     const std::optional<std::u16string>& password) {
    BiffBuilder b;
    b.Record(kBof, BofBody(0x0005));
    if (password) b.FilePass(*password);
    AddStyles(b);
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
    SetSheetPosition(stream, boundSheetAt, sheetAt);
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
