// Writes the workbooks the Python tests read, with the tests' workbook builder:
//   typed.xls      a sheet "Typed" of columns of each kind (with a header row) and a sheet
//                  "Second"; numbers, dates, booleans, texts, mixed columns and gaps
//   protected.xls  one sheet behind an RC4 user password "secret"
//   aes.xls        one sheet behind an AES key (a scheme the reader refuses)
//   damaged.xls    a compound document whose header cannot be right
//   other.xls      a compound document of another program (a stream "WordDocument")
//   numbers.xls    65536 rows of 8 numbers, which take a while to read
//   values.xls     errors, times of day, a duration, a built-in date, a text section
//                  (ValuesWorkbookStream); values1904.xls the same in the 1904 date system
//   api.xls        a sheet "Data" of boolean texts, durations, formulas, merged areas, a
//                  hidden row and column, a hidden sheet and a very hidden one (ApiStream)
// Usage: python_fixtures FOLDER
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"

namespace rec = vorlix::rec;
using namespace vorlix::test;

namespace {

constexpr std::uint16_t kGeneral = 15;
constexpr std::uint16_t kDate = 16;
constexpr std::uint16_t kDateFormat = 164;
constexpr std::uint16_t kDuration = 17;  // built-in format 46, [h]:mm:ss

// Sets each BOUNDSHEET's stream position to its sheet's BOF, as readers that seek to the
// sheets need (the builder leaves it 0).
Bytes WithSheetPositions(Bytes stream) {
    std::vector<std::size_t> boundSheets, sheetBofs;
    std::size_t at = 0;
    while (at + 4 <= stream.size()) {
        const unsigned id = stream[at] | stream[at + 1] << 8;
        const std::size_t length = stream[at + 2] | stream[at + 3] << 8;
        if (id == rec::kBoundSheet8) boundSheets.push_back(at + 4);
        if (id == rec::kBof && at > 0) sheetBofs.push_back(at);
        at += 4 + length;
    }
    for (std::size_t i = 0; i < boundSheets.size() && i < sheetBofs.size(); ++i) {
        for (int k = 0; k < 4; ++k)
            stream[boundSheets[i] + k] = static_cast<std::uint8_t>(sheetBofs[i] >> (8 * k));
    }
    return stream;
}

RecordList Globals() {
    RecordList g;
    for (int i = 0; i < 5; ++i)
        g.emplace_back(rec::kFont, FontBody(200, 0, 0x7FFF, 400, "Arial"));
    g.emplace_back(rec::kFormat, FormatBody(kDateFormat, "yyyy-mm-dd"));
    for (int i = 0; i < 16; ++i)
        g.emplace_back(rec::kXf, XfBody(0, 0));
    g.emplace_back(rec::kXf, XfBody(0, kDateFormat));  // 16
    g.emplace_back(rec::kXf, XfBody(0, 46));           // 17
    return g;
}

Bytes TypedStream() {
    RecordList typed;
    const char* heads[] = {"int",   "float",   "date", "bool", "text",
                           "mixed", "numtext", "",     "dup",  "dup"};
    for (std::uint16_t c = 0; c < 10; ++c) {
        if (*heads[c] != 0)
            typed.emplace_back(rec::kLabel, LabelCellBody(0, c, kGeneral, heads[c]));
    }
    const double floats[] = {1.5, 0, 3};
    const double dates[] = {40000, 40001.5, 0};
    const char* texts[] = {"a", "NA", "c"};
    const char* numtexts[] = {"1", "2.5", "3"};
    for (std::uint16_t r = 1; r <= 3; ++r) {
        const int i = r - 1;
        typed.emplace_back(rec::kNumber, NumberBody(r, 0, kGeneral, r));
        if (i != 1) typed.emplace_back(rec::kNumber, NumberBody(r, 1, kGeneral, floats[i]));
        if (i != 2) typed.emplace_back(rec::kNumber, NumberBody(r, 2, kDate, dates[i]));
        typed.emplace_back(rec::kBoolErr, BooleanCellBody(r, 3, kGeneral, i != 1));
        typed.emplace_back(rec::kLabel, LabelCellBody(r, 4, kGeneral, texts[i]));
        if (i == 0) typed.emplace_back(rec::kNumber, NumberBody(r, 5, kGeneral, 1));
        if (i == 1) typed.emplace_back(rec::kLabel, LabelCellBody(r, 5, kGeneral, "x"));
        if (i == 2) typed.emplace_back(rec::kNumber, NumberBody(r, 5, kDate, 40000.25));
        typed.emplace_back(rec::kLabel, LabelCellBody(r, 6, kGeneral, numtexts[i]));
        typed.emplace_back(rec::kNumber, NumberBody(r, 7, kGeneral, 6 + r));
        typed.emplace_back(rec::kNumber, NumberBody(r, 8, kGeneral, 0.5 * r));
        typed.emplace_back(
            rec::kLabel,
            LabelCellBody(r, 9, kGeneral, std::string("d").append(1, static_cast<char>('0' + r))));
    }
    RecordList second = {{rec::kLabel, LabelCellBody(1, 1, kGeneral, "B2")},
                         {rec::kNumber, NumberBody(2, 2, kGeneral, 2.25)}};
    return WithSheetPositions(WorkbookStream({{"Typed", typed}, {"Second", second}}, Globals()));
}

Bytes NumbersStream() {
    RecordList cells;
    for (std::uint32_t r = 0; r < 65536; ++r) {
        for (std::uint16_t c = 0; c < 8; ++c)
            cells.emplace_back(rec::kNumber,
                               NumberBody(static_cast<std::uint16_t>(r), c, kGeneral, r * 0.5 + c));
    }
    return WithSheetPositions(WorkbookStream({{"Numbers", cells}}, Globals()));
}

// A FORMULA record whose cached result is `value`, with the given tokens.
Bytes FormulaCell(std::uint16_t row, std::uint16_t col, double value, const Bytes& tokens) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(kGeneral)
        .f64(value)
        .u16(0)  // options
        .u32(0)  // unused
        .u16(static_cast<std::uint32_t>(tokens.size()))
        .bytes(tokens);
}

// Data: A "flag" TRUE, false, True, FALSE (texts); B "flags" FALSE, -, TRUE; C "elapsed" 36:00:00,
// 6:00:00, - under [h]:mm:ss; D "formula" 1+2, 2^3, -5 and a formula cut short (cached 1);
// E2 7; merged E1:F1 ("merged"), A6:B7 and E2:E3; row 3 and column B are hidden. Then
// "Hidden" and "Secret" (very hidden), a number each.
Bytes ApiStream() {
    RecordList data;
    // ROW: row, first and last column, height, 2 reserved, options (hidden, bit 8 always
    // set), XF. COLINFO: first and last column, width, XF, options (hidden), reserved.
    data.emplace_back(rec::kRow,
                      Body().u16(2).u16(0).u16(5).u16(255).u16(0).u16(0).u16(0x0120).u16(15));
    data.emplace_back(rec::kColInfo, Body().u16(1).u16(1).u16(2048).u16(15).u16(0x0001).u16(0));
    const char* heads[] = {"flag", "flags", "elapsed", "formula", "merged"};
    for (std::uint16_t c = 0; c < 5; ++c)
        data.emplace_back(rec::kLabel, LabelCellBody(0, c, kGeneral, heads[c]));
    const char* flag[] = {"TRUE", "false", "True", "FALSE"};
    const char* flags[] = {"FALSE", nullptr, "TRUE"};
    const double elapsed[] = {1.5, 0.25};
    const Bytes formulas[] = {{0x1E, 1, 0, 0x1E, 2, 0, 0x03},  // 1+2
                              {0x1E, 2, 0, 0x1E, 3, 0, 0x07},  // 2^3
                              {0x1E, 5, 0, 0x13},              // -5
                              {0x1E, 1}};                      // an integer cut short
    const double results[] = {3, 8, -5, 1};
    for (std::uint16_t r = 1; r <= 4; ++r) {
        const int i = r - 1;
        data.emplace_back(rec::kLabel, LabelCellBody(r, 0, kGeneral, flag[i]));
        if (i < 3 && flags[i] != nullptr)
            data.emplace_back(rec::kLabel, LabelCellBody(r, 1, kGeneral, flags[i]));
        if (i < 2) data.emplace_back(rec::kNumber, NumberBody(r, 2, kDuration, elapsed[i]));
        data.emplace_back(rec::kFormula, FormulaCell(r, 3, results[i], formulas[i]));
    }
    data.emplace_back(rec::kNumber, NumberBody(1, 4, kGeneral, 7));
    // MERGECELLS: the count, then each area's first and last row, first and last column.
    Body merged;
    for (std::uint32_t v : {3, 0, 0, 4, 5, 5, 6, 0, 1, 1, 2, 4, 4})
        merged.u16(v);
    data.emplace_back(rec::kMergeCells, merged);
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Data"));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Hidden", 1));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Secret", 2));
    for (const auto& [id, body] : Globals())
        b.Record(id, body);
    b.Record(rec::kEof, {});
    AppendSubstream(b, kWorksheetSubstream, data);
    for (std::uint16_t s = 0; s < 2; ++s)
        AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(0, 0, kGeneral, s)}});
    return WithSheetPositions(b.Build());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: python_fixtures FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    WriteWorkbook(folder / "typed.xls", TypedStream());
    WriteWorkbook(folder / "protected.xls", EncryptedWorkbookStream(u"secret"));
    WriteWorkbook(folder / "aes.xls", UnsupportedEncryptionStream());
    WriteFile(folder / "damaged.xls", DamagedCompoundBytes());
    WriteWorkbook(folder / "numbers.xls", NumbersStream());
    WriteWorkbook(folder / "values.xls", WithSheetPositions(ValuesWorkbookStream(false)));
    WriteWorkbook(folder / "values1904.xls", WithSheetPositions(ValuesWorkbookStream(true)));
    WriteWorkbook(folder / "api.xls", ApiStream());
    WriteCompound(folder / "other.xls", {{"WordDocument", WorkbookStream({{"Sheet1", {}}})}});
    return 0;
}
