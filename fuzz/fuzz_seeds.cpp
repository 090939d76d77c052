// Writes the seed inputs of every harness with the tests' workbook builder:
//   fuzz_seeds DIR   makes DIR/<harness>/<seed> for each harness.
// The inputs are small and well formed, so that the fuzzer starts from every kind of
// record and token the parsers know and mutates from there.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/DrawingBuilder.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/read/RecordIds.h"

using namespace vorlix;
using namespace vorlix::test;
namespace fs = std::filesystem;

namespace {

using Seeds = std::vector<std::pair<std::string, Bytes>>;

// A length-prefixed piece, as the harnesses' splitter takes them.
Body& Piece(Body& b, const Bytes& bytes) {
    return b.u16(static_cast<std::uint32_t>(bytes.size())).bytes(bytes);
}

Bytes Int(std::uint16_t v) {
    return Body().u8(0x1E).u16(v);
}
Bytes Ref(std::uint8_t id, std::uint16_t row, std::uint8_t col, std::uint8_t flags) {
    return Body().u8(id).u16(row).u8(col).u8(flags);
}

const Bytes kStdLink = {0xD0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                        0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
const Bytes kUrlMoniker = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                           0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
const Bytes kFileMoniker = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

Body HLinkHead(std::uint16_t r1, std::uint16_t r2, std::uint16_t c1, std::uint16_t c2,
               std::uint32_t flags) {
    Body b;
    b.u16(r1).u16(r2).u16(c1).u16(c2).bytes(kStdLink).u32(2).u32(flags);
    return b;
}

Bytes UrlLink(const std::u16string& url) {
    Body b = HLinkHead(0, 1, 0, 1, 0x01 | 0x02);
    b.bytes(kUrlMoniker).u32(static_cast<std::uint32_t>(2 * (url.size() + 1))).utf16(url).u16(0);
    return b;
}

Bytes FileLink(const std::string& shortPath, const std::u16string& longPath) {
    Body b = HLinkHead(2, 2, 3, 3, 0x01 | 0x10);
    b.u32(5).utf16(u"Docs").u16(0);  // display name, zero included
    b.bytes(kFileMoniker).u16(1).u32(static_cast<std::uint32_t>(shortPath.size() + 1));
    b.ascii(shortPath).u8(0).u16(0xDEAD).zeros(22);
    const auto bytes = static_cast<std::uint32_t>(2 * longPath.size());
    b.u32(bytes + 6).u32(bytes).u16(3).utf16(longPath);
    return b;
}

Bytes LocationLink(const std::u16string& location) {
    Body b = HLinkHead(4, 4, 0, 0, 0x08);
    b.u32(static_cast<std::uint32_t>(location.size() + 1)).utf16(location).u16(0);
    return b;
}

Bytes DvBody(std::uint32_t options, const Bytes& formula1, const Bytes& formula2) {
    Body b;
    b.u32(options);
    b.u16(5).u8(0).ascii("Title");
    b.u16(0).u8(0);
    b.u16(4).u8(1).utf16(u"Pick");
    b.u16(0).u8(0);
    b.u16(static_cast<std::uint32_t>(formula1.size())).u16(0).bytes(formula1);
    b.u16(static_cast<std::uint32_t>(formula2.size())).u16(0).bytes(formula2);
    b.u16(2).u16(1).u16(5).u16(0).u16(0).u16(2).u16(3).u16(4).u16(6);
    return b;
}

Bytes FormulaBody(std::uint16_t row, std::uint16_t col, double cached, const Bytes& tokens) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(15)  // XF
        .f64(cached)
        .u16(0)  // options
        .u32(0)
        .u16(static_cast<std::uint32_t>(tokens.size()))
        .bytes(tokens);
}

const Bytes kSum = Body()
                       .bytes(Ref(0x24, 0, 0, 0xC0))
                       .bytes(Ref(0x24, 1, 0, 0xC0))
                       .u8(0x22)
                       .u8(2)
                       .u16(4);  // SUM(A1,A2)

// An Excel 5.0/95 workbook: 8-bit texts in code page 1251, the older FONT, XF, FORMAT,
// BOUNDSHEET, NAME, EXTERNSHEET, LABEL, STRING and HEADER layouts, and formulas of the
// older token layouts (3-D references, names, string constants, a shared formula).
Bytes Biff5Stream() {
    const auto bof = [](std::uint16_t type) {
        return Body().u16(0x0500).u16(type).u16(0x0DBB).u16(0x07CC);
    };
    const auto formula = [](std::uint16_t row, std::uint16_t col, const Bytes& tokens,
                            std::uint16_t options, double cached) {
        return Body()
            .u16(row)
            .u16(col)
            .u16(0)
            .f64(cached)
            .u16(options)
            .u32(0)
            .u16(static_cast<std::uint32_t>(tokens.size()))
            .bytes(tokens);
    };
    const Bytes area3d =
        Body().u8(0x3B).u16(0xFFFF).zeros(8).u16(0).u16(0).u16(0).u16(3).u8(0).u8(1);
    BiffBuilder b;
    b.Record(0x0809, bof(0x0005));
    b.Record(0x0042, Body().u16(1251));
    b.Record(0x0031,
             Body().u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0).u8(5).ascii(
                 "Arial"));
    b.Record(0x041E, Body().u16(164).u8(9).ascii("0.00\"\xF0\xF3\xE1\""));
    for (int i = 0; i < 2; ++i)
        b.Record(0x00E0, Body()
                             .u16(0)
                             .u16(i == 0 ? 0 : 164)
                             .u16(1)
                             .u8(0x20)
                             .u8(2)
                             .u32(0x01410A0A)
                             .u32(0x0D0C0801));
    b.Record(0x0085, Body().u32(0).u16(0).u8(5).ascii("\xCB\xE8\xF1\xF2\x31"));
    b.Record(0x0017, Body().u8(6).u8(0x03).ascii("\xCB\xE8\xF1\xF2\x31"));
    b.Record(0x0018, Body()
                         .u16(0)
                         .u8(0)
                         .u8(5)
                         .u16(static_cast<std::uint32_t>(area3d.size()))
                         .zeros(8)
                         .ascii("Total")
                         .bytes(area3d));
    b.Record(0x000A, {});
    b.Record(0x0809, bof(0x0010));
    b.Record(0x0204, Body().u16(0).u16(0).u16(0).u16(6).ascii("\xCF\xF0\xE8\xE2\xE5\xF2"));
    b.Record(0x00D6, Body().u16(0).u16(1).u16(1).u16(4).ascii("Rich").u8(1).u8(0).u8(0));
    b.Record(
        0x0006,
        formula(
            1, 0,
            Body().u8(0x3A).u16(0xFFFF).zeros(8).u16(0).u16(0).u16(0xC000).u8(1).u8(0x1E).u16(1).u8(
                0x03),
            0, 2));
    b.Record(0x0006,
             formula(1, 1, Body().u8(0x3A).u16(1).zeros(8).u16(0).u16(0).u16(0).u8(0), 0, 2));
    b.Record(0x0006, formula(1, 2, Body().u8(0x23).u16(1).zeros(12).u8(0x22).u8(1).u16(4), 0, 2));
    b.Record(0x0006, formula(1, 3, Body().u8(0x17).u8(3).ascii("\xE0\xE1\xE2"), 0,
                             std::bit_cast<double>(0xFFFF000000000000ull)));
    b.Record(0x0207, Body().u16(3).ascii("\xE0\xE1\xE2"));
    b.Record(0x0006, formula(2, 0, Body().u8(0x01).u16(2).u16(0), 0x0008, 1));
    b.Record(0x04BC,
             Body().u16(2).u16(3).u8(0).u8(0).u8(0).u8(2).u16(4).u8(0x2C).u16(0xFFFF).u8(0));
    b.Record(0x0006, formula(3, 0, Body().u8(0x01).u16(2).u16(0), 0x0008, 1));
    b.Record(0x0014, Body().u8(5).ascii("&C\xC7\xE0\xE3"));
    b.Record(0x000A, {});
    return b.Build();
}

// Whole workbook streams: cells, formats, formulas, names, links, merged areas,
// hyperlinks, validations, pictures and comments.
std::vector<std::pair<std::string, Bytes>> Streams() {
    std::vector<std::pair<std::string, Bytes>> out;
    const RecordList globals = {
        {rec::kFormat, FormatBody(164, "#,##0.00;[Red]-#,##0.00")},
        {rec::kFormat, FormatBody(165, "yyyy-mm-dd hh:mm:ss.000")},
        {rec::kXf, XfBody(0, 164)},
        {rec::kXf, XfBody(0, 165)},
        {rec::kSst, SstBody({"alpha", "beta", "M\xFCller"})},
    };
    out.emplace_back("cells", WorkbookStream({{"Data",
                                               {{rec::kNumber, NumberBody(0, 0, 15, 1234.5)},
                                                {rec::kNumber, NumberBody(1, 0, 16, 45000.25)},
                                                {rec::kLabelSst, LabelSstBody(0, 1, 15, 0)},
                                                {rec::kLabelSst, LabelSstBody(1, 1, 15, 2)},
                                                {rec::kBoolErr, BoolErrBody(2, 0, 15, 1, 0)},
                                                {rec::kBoolErr, BoolErrBody(2, 1, 15, 7, 1)},
                                                {rec::kBlank, BlankCellBody(3, 0, 15)},
                                                {rec::kLabel, LabelCellBody(3, 1, 15, "text")}}},
                                              {"Second", {}}},
                                             globals));
    const Bytes area = Area3d(0, 0, 3, 0, 1);
    out.emplace_back(
        "formulas",
        WorkbookStream(
            {{"Sheet1",
              {{rec::kNumber, NumberBody(0, 0, 15, 2)},
               {rec::kNumber, NumberBody(1, 0, 15, 3)},
               {rec::kFormula, FormulaBody(2, 0, 5, kSum)},
               {rec::kFormula, FormulaBody(3, 0, 0, Body().bytes(Int(1)).bytes(Int(2)).u8(0x07))},
               {rec::kFormula, FormulaBody(4, 0, 0, Body().u8(0x23).u32(1))}}}},
            {{rec::kSupBook, SelfSupbookBody(1)},
             {rec::kExternSheet, ExternSheetBody({{0, 0, 0}})},
             {rec::kLbl, NameBody(0, "Total", area)},
             {rec::kLbl, NameBody(0x20, std::string(1, '\x06'), area)}}));
    out.emplace_back(
        "merged",
        WorkbookStream({{"Sheet1",
                         {{rec::kNumber, NumberBody(0, 0, 15, 1)},
                          {rec::kMergeCells,
                           Body().u16(2).u16(0).u16(3).u16(0).u16(2).u16(5).u16(6).u16(1).u16(1)},
                          {rec::kHLink, UrlLink(u"http://example.com/")},
                          {rec::kHLink, LocationLink(u"Sheet1!A1")},
                          {rec::kDVal, Body().u16(0).u32(0).u32(0).u32(0xFFFFFFFF).u32(1)},
                          {rec::kDv, DvBody(0x00080183, Int(5), Int(9))}}}}));
    const std::vector<Bytes> entries = {BseEntry(kBlipPng, {0x89, 'P', 'N', 'G', 0, 0, 0, 0}),
                                        BseEntry(kBlipJpeg, {0xFF, 0xD8, 0xFF, 0xE0, 0, 0})};
    RecordList drawing = PictureRecords(1, 1, Anchor{1, 0, 1, 0, 3, 512, 4, 0});
    for (auto& r : CommentRecords(2, u"Note text", Anchor{2, 0, 1, 0, 4, 0, 5, 0}, false))
        drawing.push_back(std::move(r));
    drawing.push_back({rec::kNote, NoteBody(0, 0, 2, u"Author")});
    out.emplace_back("drawings",
                     WorkbookStream({{"Sheet1", drawing}},
                                    {{rec::kMsoDrawingGroup, DrawingGroupBody(entries)}}));
    out.emplace_back("encrypted", EncryptedWorkbookStream(u"VelvetSweatshop"));
    out.emplace_back("encrypted-xor", XorWorkbookStream("VelvetSweatshop"));
    out.emplace_back("encrypted-cryptoapi", CryptoApiWorkbookStream(u"VelvetSweatshop", 40));
    out.emplace_back("biff5", Biff5Stream());
    return out;
}

// Worksheet files of versions 2 and 4: bare record streams with the cells, fonts, formats
// and XFs of their own layouts.
Seeds EarlyBiffSeeds() {
    const auto counted = [](const std::string& text) {
        return Body().u8(static_cast<std::uint32_t>(text.size())).ascii(text);
    };
    BiffBuilder biff2;
    biff2.Record(0x0009, Body().u16(2).u16(0x10))
        .Record(0x0000, Body().u16(0).u16(2).u16(0).u16(2))
        .Record(0x0042, Body().u16(32768))
        .Record(0x0031, Body().u16(200).u16(1).bytes(counted("Helv")))
        .Record(0x001E, counted("0.00"))
        .Record(0x0043, Body().u8(0).u8(0).u8(0).u8(0x88))
        .Record(0x0044, Body().u16(0))
        .Record(0x0002, Body().u16(0).u16(0).u8(63).u8(0).u8(0).u16(7))
        .Record(0x0004, Body().u16(0).u16(1).u8(0).u8(0).u8(0).bytes(counted("Caf\x8E")))
        .Record(0x0006,
                Body().u16(1).u16(0).u8(0).u8(0).u8(0).u8(0).zeros(5).u16(0xFFFF).u8(0).u8(0))
        .Record(0x0007, counted("text"))
        .Record(0x000A, {});
    BiffBuilder biff4;
    biff4.Record(0x0409, Body().u16(0x0400).u16(0x10).u16(0))
        .Record(0x0231, Body().u16(200).u16(2).u16(8).bytes(counted("Arial")))
        .Record(0x041E, Body().u16(0).bytes(counted("d-mmm")))
        .Record(0x0443, Body().u8(0).u8(0).u16(1).u8(0x28).u8(0).u16(0x41).u32(0x09090909))
        .Record(0x0204, Body().u16(0).u16(0).u16(0).u16(2).ascii("ok"))
        .Record(0x0406, Body().u16(1).u16(0).u16(0).f64(3).u16(0).u16(3).u8(0x1E).u16(3))
        .Record(0x000A, {});
    return {{"biff2.xls", biff2.Build()}, {"biff4.xls", biff4.Build()}};
}

Seeds WorkbookSeeds() {
    Seeds seeds;
    for (const auto& [name, stream] : Streams())
        seeds.emplace_back(name + ".xls",
                           CompoundBytes({{name == "biff5" ? "Book" : "Workbook", stream}}));
    for (auto& seed : EarlyBiffSeeds())
        seeds.push_back(std::move(seed));
    return seeds;
}

Seeds StreamSeeds() {
    Seeds seeds;
    for (const auto& [name, stream] : Streams())
        seeds.emplace_back(name + ".bin", stream);
    return seeds;
}

// sheet, row, column, options, tokens (length first), extra data.
Bytes FormulaInput(const Bytes& tokens, const Bytes& extra = {}, std::uint16_t options = 0) {
    Body b;
    b.u8(0).u16(5).u8(2).u16(options);
    Piece(b, tokens).bytes(extra);
    return b;
}

Seeds FormulaSeeds() {
    Seeds seeds;
    seeds.emplace_back("sum", FormulaInput(kSum));
    seeds.emplace_back(
        "arith",
        FormulaInput(
            Body().bytes(Int(1)).bytes(Int(2)).u8(0x03).u8(0x15).bytes(Int(3)).u8(0x05).u8(0x13).u8(
                0x14)));
    seeds.emplace_back("if", FormulaInput(Body()
                                              .bytes(Int(1))
                                              .u8(0x19)
                                              .u8(0x02)
                                              .u16(7)
                                              .bytes(Int(2))
                                              .u8(0x19)
                                              .u8(0x08)
                                              .u16(7)
                                              .bytes(Int(3))
                                              .u8(0x19)
                                              .u8(0x08)
                                              .u16(3)
                                              .u8(0x42)
                                              .u8(3)
                                              .u16(1)));
    seeds.emplace_back("string", FormulaInput(Body()
                                                  .u8(0x17)
                                                  .u8(3)
                                                  .u8(0)
                                                  .ascii("abc")
                                                  .u8(0x17)
                                                  .u8(2)
                                                  .u8(1)
                                                  .utf16(u"\u00E4\u20AC")
                                                  .u8(0x08)));
    seeds.emplace_back(
        "number", FormulaInput(Body().u8(0x1F).f64(3.25).u8(0x1D).u8(1).u8(0x1C).u8(7).u8(0x06)));
    seeds.emplace_back("area3d", FormulaInput(Body()
                                                  .bytes(Area3d(1, 0, 9, 0, 2))
                                                  .u8(0x3A)
                                                  .u16(2)
                                                  .u16(0)
                                                  .u16(0xC000)
                                                  .u8(0x41)
                                                  .u16(0)
                                                  .u8(0x23)
                                                  .u32(1)
                                                  .u8(0x39)
                                                  .u16(2)
                                                  .u16(1)
                                                  .u16(0)
                                                  .u8(0x42)
                                                  .u8(3)
                                                  .u16(4)));
    seeds.emplace_back("array", FormulaInput(Body().u8(0x20).zeros(7), Body()
                                                                           .u8(1)
                                                                           .u16(1)
                                                                           .u8(1)
                                                                           .f64(1.5)
                                                                           .u8(2)
                                                                           .u16(1)
                                                                           .u8(0)
                                                                           .ascii("x")
                                                                           .u8(4)
                                                                           .u8(1)
                                                                           .zeros(7)
                                                                           .u8(16)
                                                                           .u8(7)
                                                                           .zeros(7)));
    seeds.emplace_back("shared", FormulaInput(Body().u8(0x01).u16(0).u16(0), {}, 0x0008));
    seeds.emplace_back("refs", FormulaInput(Body()
                                                .bytes(Ref(0x2C, 0xFFFF, 0xFF, 0xC0))
                                                .u8(0x2D)
                                                .u16(0)
                                                .u16(2)
                                                .u8(0xFF)
                                                .u8(0xC0)
                                                .u8(5)
                                                .u8(0x80)
                                                .u8(0x10)
                                                .u8(0x2A)
                                                .zeros(4)
                                                .u8(0x11)));
    return seeds;
}

// kind, eight bytes of value, built-in index, format text.
Bytes FormatInput(std::uint8_t kind, double value, std::uint16_t index, const std::string& text) {
    return Body().u8(kind).f64(value).u16(index).ascii(text);
}

Seeds FormatSeeds() {
    Seeds seeds;
    const std::vector<std::pair<std::string, std::string>> formats = {
        {"general", "General"},
        {"thousands", "#,##0.00;[Red]-#,##0.00;\"zero\";@"},
        {"percent", "0.0%"},
        {"scientific", "0.00E+00"},
        {"fraction", "# ?/?"},
        {"date", "yyyy-mm-dd hh:mm:ss.000"},
        {"elapsed", "[h]:mm:ss"},
        {"currency", "[$\xE2\x82\xAC-407] #,##0.00"},
        {"conditions", "[>=100]\"big\" 0;[<0]\"neg\" 0;0"},
        {"era", "[$-411]ggge\"/\"m\"/\"d"},
        {"text", "\"Value: \"@*-"},
        {"ampm", "h:mm AM/PM dddd mmmm"},
        {"scaled", "#,##0,,\"M\"_)"},
    };
    int i = 0;
    for (const auto& [name, text] : formats) {
        seeds.emplace_back(
            name, FormatInput(static_cast<std::uint8_t>(i % 2), 45123.678 - 3 * i, 0, text));
        ++i;
    }
    seeds.emplace_back("builtin-date", FormatInput(1, 45123.5, 14, ""));
    seeds.emplace_back("builtin-money", FormatInput(0, -1234.567, 8, ""));
    seeds.emplace_back("text-value", FormatInput(7, 0, 0, "@\"!\""));
    return seeds;
}

// The picture store, then records: type byte, body with its length.
Seeds DrawingSeeds() {
    Seeds seeds;
    const Bytes store = DrawingGroupBody({BseEntry(kBlipPng, {0x89, 'P', 'N', 'G', 1, 2, 3, 4}),
                                          BseEntry(kBlipDib, {40, 0, 0, 0, 1, 0, 0, 0}),
                                          BseEntry(kBlipEmf, {}, true)});
    auto records = [](const RecordList& list) {
        Body b;
        bool text = true;  // the first CONTINUE after a TXO holds the text, the next the runs
        for (const auto& [id, body] : list) {
            std::uint8_t type = 0;
            if (id == rec::kTxo) {
                text = true;
                continue;
            }
            if (id == rec::kObj) type = 1;
            if (id == rec::kNote) type = 4;
            if (id == rec::kContinue) {
                type = text ? 2 : 3;
                text = false;
            }
            b.u8(type);
            Piece(b, body);
        }
        return Bytes(b);
    };
    {
        Body b;
        Piece(b, store).bytes(records(PictureRecords(1, 1, Anchor{1, 0, 1, 0, 3, 512, 4, 0})));
        seeds.emplace_back("picture", b);
    }
    {
        Body b;
        RecordList list = CommentRecords(3, u"Comment", Anchor{2, 0, 1, 0, 4, 0, 5, 0});
        list.push_back({rec::kNote, NoteBody(1, 1, 3, u"Writer")});
        Piece(b, {}).bytes(records(list));
        seeds.emplace_back("comment", b);
    }
    return seeds;
}

Seeds HyperlinkValidationSeeds() {
    Seeds seeds;
    seeds.emplace_back("url", Body().u8(0).bytes(UrlLink(u"https://example.com/a?b")));
    seeds.emplace_back("file",
                       Body().u8(0).bytes(FileLink("..\\doc.txt", u"C:\\docs\\d\u00F6c.txt")));
    seeds.emplace_back("location", Body().u8(0).bytes(LocationLink(u"'Sheet 2'!B4")));
    seeds.emplace_back("dv-whole", Body().u8(1).bytes(DvBody(0x00080183, Int(5), Int(9))));
    seeds.emplace_back(
        "dv-list",
        Body().u8(3).bytes(DvBody(3 | 3 << 4, Body().u8(0x17).u8(5).u8(0).ascii("a\0b\0c"), {})));
    seeds.emplace_back("dv-ref",
                       Body().u8(5).bytes(DvBody(4 | 1 << 4, Body().bytes(Area3d(1, 0, 9, 0, 0)),
                                                 Ref(0x44, 1, 1, 0xC0))));
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path root(argv[1]);
    const std::vector<std::pair<std::string, Seeds>> all = {
        {"fuzz_workbook", WorkbookSeeds()},
        {"fuzz_stream", StreamSeeds()},
        {"fuzz_formula", FormulaSeeds()},
        {"fuzz_format", FormatSeeds()},
        {"fuzz_drawing", DrawingSeeds()},
        {"fuzz_hyperlink_validation", HyperlinkValidationSeeds()},
    };
    for (const auto& [harness, seeds] : all) {
        fs::create_directories(root / harness);
        for (const auto& [name, bytes] : seeds)
            WriteFile(root / harness / ("seed-" + name), bytes);
    }
    return 0;
}
