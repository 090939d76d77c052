// Formulas read from whole workbooks: shared formulas, names and other workbooks in the
// finishing step, strict reading, validation conditions, array formulas.
#include <gtest/gtest.h>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TCells.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

// Record ids, written out here so that a wrong id in the reader's table shows.

constexpr std::uint16_t kShared = 0x0008;

Bytes Formula(std::uint16_t row, std::uint16_t col, const Bytes& tokens, std::uint16_t options = 0,
              double result = 0) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(0)       // XF
        .f64(result)  // cached result
        .u16(options)
        .u32(0)  // unused
        .u16(static_cast<std::uint32_t>(tokens.size()))
        .bytes(tokens);
}

// A text result, followed by its STRING record.
Bytes TextResult() {
    return Body().u8(0).u8(0).u8(0).u8(0).u16(0).u16(0xFFFF);
}

// The tokens of A(row)+1 with a relative reference to column A of the same row.
Bytes SharedAPlusOne(std::uint8_t fromCol) {
    return Body()
        .u8(0x4C)                                 // relative reference
        .u16(0)                                   // same row
        .u8(static_cast<std::uint8_t>(-fromCol))  // column A
        .u8(0xC0)                                 // both relative
        .u8(0x1E)
        .u16(1)     // 1
        .u8(0x03);  // +
}

const Bytes kPower = Body().u8(0x1E).u16(2).u8(0x1E).u16(3).u8(0x07);  // 2^3

std::string FormulaAt(const TXLSFile& file, int sheet, std::uint16_t row, std::uint8_t col) {
    const auto cell = file.Workbook().Sheets().Items(sheet).Cells().Find(row, col);
    return cell ? cell->Formula() : "<no cell>";
}

}  // namespace

TEST(TXLSReaderFormulasTest, SharedFormulasGiveEachCellItsOwnText) {
    const Bytes pointer = Body().u8(0x01).u16(1).u16(2);  // to C2
    const RecordList sheet = {
        {rec::kFormula, Formula(1, 2, pointer, kShared)},
        {rec::kShrFmla, Body()
                            .u16(1)
                            .u16(3)
                            .u8(2)
                            .u8(2)  // C2:C4
                            .u8(0)
                            .u8(3)   // reserved, cells that use it
                            .u16(9)  // token length
                            .bytes(SharedAPlusOne(2))},
        {rec::kFormula, Formula(2, 2, pointer, kShared)},
        {rec::kFormula, Body()
                            .u16(3)
                            .u16(2)
                            .u16(0)               // C4
                            .bytes(TextResult())  // a text follows
                            .u16(kShared)
                            .u32(0)
                            .u16(5)
                            .bytes(pointer)},
        {rec::kString, Body().u16(2).u8(0).ascii("hi")},
    };
    TXLSFile file;
    OpenWorkbook(file, WorkbookStream({{"S", sheet}}));
    EXPECT_EQ(FormulaAt(file, 0, 1, 2), "A2+1");
    EXPECT_EQ(FormulaAt(file, 0, 2, 2), "A3+1");
    EXPECT_EQ(FormulaAt(file, 0, 3, 2), "A4+1");
    EXPECT_EQ(file.Workbook().Sheets().Items(0).Cells().Find(3, 2)->Value().AsWideText(), u"hi");

    // Without ReadFormulas the shared formulas are not kept and no cell has a formula.
    TXLSFile plain;
    TReadOptions options;
    options.ReadFormulas = false;
    plain.SetReadOptions(options);
    OpenWorkbook(plain, WorkbookStream({{"S", sheet}}));
    EXPECT_EQ(FormulaAt(plain, 0, 2, 2), "");
}

// A sheet of `cells` formula cells in column `col` from row 0 on that share `tokens`, each
// cell's cached result its row; with `numbers`, column A holds numbers beside them.
RecordList SharedColumn(std::uint16_t cells, std::uint8_t col, const Bytes& tokens,
                        bool numbers = false) {
    const Bytes pointer = Body().u8(0x01).u16(0).u16(col);  // to the first cell
    RecordList sheet;
    for (std::uint16_t row = 0; row < cells; ++row) {
        if (numbers) sheet.push_back({rec::kNumber, NumberBody(row, 0, 0, row % 12)});
        sheet.push_back({rec::kFormula, Formula(row, col, pointer, kShared, row)});
        if (row > 0) continue;
        sheet.push_back({rec::kShrFmla, Body()
                                            .u16(0)
                                            .u16(static_cast<std::uint16_t>(cells - 1))
                                            .u8(col)
                                            .u8(col)
                                            .u8(0)
                                            .u8(0xFF)
                                            .u16(static_cast<std::uint16_t>(tokens.size()))
                                            .bytes(tokens)});
    }
    return sheet;
}

// Workbooks as spreadsheet programs write them keep the text of every formula, however many
// cells share it: 20,000 cells of a 10-level IF beside their numbers (a 1 MB workbook),
// and 3,000 cells of a CONCATENATE of 7,600 characters, near what the format's writers
// let a formula hold.
TEST(TXLSReaderFormulasTest, EveryFormulaOfOrdinaryWorkbooksKeepsItsText) {
    constexpr int kLevels = 10;
    Body nestedIf;  // IF(A1=0,"value number 0",IF(A1=1,...,"none")...)
    for (int k = 0; k < kLevels; ++k) {
        const std::string text = "value number " + std::to_string(k);
        nestedIf.u8(0x4C).u16(0).u8(0xFF).u8(0xC0);  // column A of the cell's row
        nestedIf.u8(0x1E).u16(static_cast<std::uint16_t>(k)).u8(0x0B);
        nestedIf.u8(0x17).u8(static_cast<std::uint8_t>(text.size())).u8(0).ascii(text);
    }
    nestedIf.u8(0x17).u8(4).u8(0).ascii("none");
    for (int k = 0; k < kLevels; ++k)
        nestedIf.u8(0x42).u8(3).u16(1);
    const auto ifText = [](int row) {
        const std::string a = "A" + std::to_string(row + 1) + "=";
        std::string text;
        for (int k = 0; k < kLevels; ++k)
            text += "IF(" + a + std::to_string(k) + ",\"value number " + std::to_string(k) + "\",";
        return text + "\"none\"" + std::string(kLevels, ')');
    };

    Body concatenate;  // CONCATENATE of 30 texts of 250 characters
    std::string joined = "CONCATENATE(";
    for (int i = 0; i < 30; ++i) {
        const std::string text(250, static_cast<char>('a' + i % 26));
        concatenate.u8(0x17).u8(250).u8(0).ascii(text);
        joined += (i > 0 ? ",\"" : "\"") + text + "\"";
    }
    concatenate.u8(0x42).u8(30).u16(336);
    joined += ")";
    ASSERT_GT(joined.size(), 7600u);

    constexpr std::uint16_t kIfRows = 20000;
    constexpr std::uint16_t kConcatenated = 3000;
    TXLSFile file;
    OpenWorkbook(file, WorkbookStream({{"Ifs", SharedColumn(kIfRows, 1, nestedIf, true)},
                                       {"Texts", SharedColumn(kConcatenated, 0, concatenate)}}));
    const TCells& ifs = file.Workbook().Sheets().Items(0).Cells();
    ASSERT_EQ(ifs.Count(), 2 * kIfRows);
    EXPECT_EQ(FormulaAt(file, 0, 0, 1), ifText(0));
    for (std::uint16_t row = 0; row < kIfRows; ++row) {
        if (FormulaAt(file, 0, row, 1) != ifText(row)) {
            ADD_FAILURE() << "row " << row + 1 << ": " << FormulaAt(file, 0, row, 1);
            break;
        }
    }
    for (std::uint16_t row = 0; row < kConcatenated; ++row) {
        if (FormulaAt(file, 1, row, 0) != joined) {
            ADD_FAILURE() << "row " << row + 1 << " of the texts";
            break;
        }
    }
}

// One shared formula may stand for thousands of cells, and a 5-byte name token for 255
// characters of text: the 60 KB of records here spell out 390,000 characters for each of
// the cells. A formula's text is bounded instead; beyond it the formula is not recognised,
// and its cell keeps its cached result.
TEST(TXLSReaderFormulasTest, AFormulaLongerThanItsBoundIsNotRecognised) {
    Body sumOfNames;  // SUM(N,N,...) of 255 names
    for (int i = 0; i < 255; ++i)
        sumOfNames.u8(0x23).u16(1).u16(0);
    sumOfNames.u8(0x42).u8(255).u16(4);
    Body tokens;  // SUM of six of them
    for (int i = 0; i < 6; ++i)
        tokens.bytes(sumOfNames);
    tokens.u8(0x42).u8(6).u16(4);
    const RecordList sheet = SharedColumn(200, 0, tokens);
    const RecordList globals = {
        {rec::kLbl, NameBody(0, std::string(255, 'N'), Body().u8(0x1E).u16(1))}};
    TXLSFile file;
    OpenWorkbook(file, WorkbookStream({{"S", sheet}}, globals));
    for (std::uint16_t row : {0, 1, 199}) {
        const auto cell = file.Workbook().Sheets().Items(0).Cells().Find(row, 0);
        ASSERT_TRUE(cell.has_value());
        EXPECT_EQ(cell->Formula(), "");
        EXPECT_EQ(cell->Value().AsDouble(), row);
    }

    // One of the SUMs alone, some 65,000 characters, stays within the bound.
    const RecordList shorter = SharedColumn(200, 0, sumOfNames);
    OpenWorkbook(file, WorkbookStream({{"S", shorter}}, globals));
    const std::string text = FormulaAt(file, 0, 199, 0);
    EXPECT_EQ(text.size(), 4 + 255 * 256);
    EXPECT_EQ(text.substr(0, 6), "SUM(NN");

    TXLSFile strict;
    TReadOptions options;
    options.StrictFormulas = true;
    strict.SetReadOptions(options);
    EXPECT_THROW(OpenWorkbook(strict, WorkbookStream({{"S", sheet}}, globals)), EXLSError);
}

TEST(TXLSReaderFormulasTest, UndecodableFormulasStayEmptyMarkedOrFailAStrictRead) {
    const Bytes stream = WorkbookStream({{"S",
                                          {{rec::kFormula, Formula(0, 0, Body().u8(0x1E).u16(7))},
                                           {rec::kFormula, Formula(1, 0, kPower, 0, 8)}}}});
    TXLSFile file;
    OpenWorkbook(file, stream);
    EXPECT_EQ(FormulaAt(file, 0, 0, 0), "7");
    EXPECT_EQ(FormulaAt(file, 0, 1, 0), "");  // the cached result stays
    EXPECT_EQ(file.Workbook().Sheets().Items(0).Cells().Find(1, 0)->Value().AsDouble(), 8);

    TXLSFile strict;
    TReadOptions options;
    options.StrictFormulas = true;
    strict.SetReadOptions(options);
    try {
        OpenWorkbook(strict, stream);
        ADD_FAILURE() << "a strict read of a power operator succeeded";
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.ErrorCode(), 13);
        EXPECT_STREQ(e.what(), "Formula not recognized.");
    }

    // The complete decoder knows the power operator: a strict read succeeds.
    TXLSFile complete;
    complete.SetReadOptions(options);
    complete.SetFormulaSettings(TFormulaSettings{true});
    OpenWorkbook(complete, stream);
    EXPECT_EQ(FormulaAt(complete, 0, 1, 0), "2^3");

    // A caller may have such a formula marked instead of left empty.
    TXLSFile marked;
    TReadOptions marking;
    marking.UnreadableFormula = "?";
    marked.SetReadOptions(marking);
    OpenWorkbook(marked, stream);
    EXPECT_EQ(FormulaAt(marked, 0, 0, 0), "7");
    EXPECT_EQ(FormulaAt(marked, 0, 1, 0), "?");
}

TEST(TXLSReaderFormulasTest, NamesAndOtherWorkbooksInFormulas) {
    const Bytes book = Body()
                           .u16(1)  // sheet count
                           .u16(8)
                           .u8(0)
                           .ascii("Book.xls")  // file name
                           .u16(6)
                           .u8(0)
                           .ascii("Prices");  // its sheet
    const RecordList globals = {
        {rec::kSupBook, SelfSupbookBody(1)},
        {rec::kSupBook, book},
        {rec::kExternSheet, ExternSheetBody({{0, 0, 0}, {1, 0, 0}})},
        {rec::kLbl, NameBody(0x0000, "My Total", Area3d(0, 0, 0, 1, 1))},  // a space inside
        {rec::kLbl, NameBody(0x0020, std::string(1, '\x06'), Area3d(0, 0, 4, 0, 2))},  // print area
    };
    const RecordList cells = {
        {rec::kFormula, Formula(5, 0, Body().u8(0x23).u16(1).u16(0))},                 // the name
        {rec::kFormula, Formula(6, 0, Body().u8(0x3A).u16(1).u16(0).u8(1).u8(0x00))},  // Book
    };
    TXLSFile file;
    OpenWorkbook(file, WorkbookStream({{"Data", cells}}, globals));
    EXPECT_EQ(FormulaAt(file, 0, 5, 0), "'My Total'");
    EXPECT_EQ(FormulaAt(file, 0, 6, 0), "'[Book.xls]Prices'!$B$1");
    // The names were used first and are kept for callers; the own document forgets them.
    const TXLSLinkTable& links = file.Workbook().LinkTable();
    EXPECT_TRUE(links.OwnDocument().Names.empty());
    ASSERT_EQ(links.DefinedNames().size(), 2u);
    EXPECT_EQ(links.DefinedNames()[1]->BuiltInCode, 7);
}

TEST(TXLSReaderFormulasTest, ValidationConditionsCountFromTheirFirstCell) {
    const auto dv = [](std::uint32_t options, const Bytes& formula1, const Bytes& formula2) {
        return Bytes(Body()
                         .u32(options)
                         .u16(0)
                         .u16(0)
                         .u16(0)
                         .u16(0)  // four empty texts
                         .u16(static_cast<std::uint32_t>(formula1.size()))
                         .u16(0)
                         .bytes(formula1)
                         .u16(static_cast<std::uint32_t>(formula2.size()))
                         .u16(0)
                         .bytes(formula2)
                         .u16(1)  // one area
                         .u16(4)
                         .u16(9)
                         .u16(2)
                         .u16(3));  // C5:D10
    };
    // Whole number between the cell two columns left of the first cell and 10.
    const Bytes refA = Body().u8(0x2C).u16(0).u8(0xFE).u8(0xC0);  // same row, two left
    const Bytes list = Body().u8(0x17).u8(5).u8(0).ascii("a\"b,c");
    const RecordList records = {
        {rec::kDv, dv(0x00000001, refA, Body().u8(0x1E).u16(10))},
        {rec::kDv, dv(0x00000083, list, {})},  // explicit list
        {rec::kDv, dv(0x00000007, kPower, {})},
    };
    TXLSFile file;
    OpenWorkbook(file, WorkbookStream({{"S", records}}));
    const TCellValidations& v = file.Workbook().Sheets().Items(0).Validations();
    ASSERT_EQ(v.Count(), 3);
    EXPECT_EQ(v.Items(0).Formula1, "A5");
    EXPECT_EQ(v.Items(0).Formula2, "10");
    EXPECT_EQ(v.Items(1).Formula1, "a\"b,c");  // quotes taken off, the inner one single
    EXPECT_EQ(v.Items(2).Formula1, "");

    TXLSFile strict;
    TReadOptions options;
    options.StrictFormulas = true;
    strict.SetReadOptions(options);
    EXPECT_THROW(OpenWorkbook(strict, WorkbookStream({{"S", records}})), EXLSError);
}

TEST(TXLSReaderFormulasTest, ArrayFormulasWithTheCompleteDecoder) {
    const Bytes pointer = Body().u8(0x01).u16(0).u16(1);  // to B1
    const Bytes tokens = Body()
                             .u8(0x65)
                             .u16(0)
                             .u16(2)
                             .u8(0)
                             .u8(0xC0)
                             .u8(0)
                             .u8(0xC0)  // A1:A3
                             .u8(0x60)
                             .zeros(7)  // {...}
                             .u8(0x05)  // *
                             .u8(0x42)
                             .u8(1)
                             .u16(4);  // SUM
    const RecordList records = {
        {rec::kFormula, Formula(0, 1, pointer)},
        {rec::kArray, Body()
                          .u16(0)
                          .u16(1)
                          .u8(1)
                          .u8(1)  // B1:B2
                          .u16(0)
                          .u32(0)  // options, unused
                          .u16(static_cast<std::uint32_t>(tokens.size()))
                          .bytes(tokens)
                          .u8(0)
                          .u16(2)  // one column, three rows
                          .u8(0x01)
                          .f64(1)
                          .u8(0x01)
                          .f64(2)
                          .u8(0x01)
                          .f64(3)},
        {rec::kFormula, Formula(1, 1, pointer)},
    };
    TXLSFile file;
    file.SetFormulaSettings(TFormulaSettings{true});
    OpenWorkbook(file, WorkbookStream({{"S", records}}));
    EXPECT_EQ(FormulaAt(file, 0, 0, 1), "SUM(A1:A3*{1;2;3})");
    EXPECT_EQ(FormulaAt(file, 0, 1, 1), "SUM(A1:A3*{1;2;3})");

    TXLSFile common;  // the common subset knows no array formulas
    OpenWorkbook(common, WorkbookStream({{"S", records}}));
    EXPECT_EQ(FormulaAt(common, 0, 0, 1), "");
}

TEST(TXLSReaderFormulasTest, AnInconsistentLinkTableFailsOnlyTheFormulasThatUseIt) {
    const Bytes book = Body()
                           .u16(1)  // sheet count
                           .u16(8)
                           .u8(0)
                           .ascii("Book.xls")  // file name
                           .u16(6)
                           .u8(0)
                           .ascii("Prices");                            // its sheet
    const Bytes shortExternSheet = Body().u16(3).u16(0).u16(0).u16(0);  // 3 entries, holds 1
    const RecordList globals = {
        {rec::kExternName, Body().u16(0).u32(0).u8(4).u8(0).ascii("Rate")},  // before any SUPBOOK
        {rec::kSupBook, SelfSupbookBody(1)},
        {rec::kSupBook, book},
        {rec::kExternSheet, ExternSheetBody({{0, 0, 0}, {1, 0, 0}})},
        {rec::kExternSheet, shortExternSheet},
        {rec::kLbl, NameBody(0x0000, "Broken", Area3d(7, 0, 0, 1, 1))},  // no entry 7
        {rec::kLbl, NameBody(0x0000, "Total", Area3d(0, 0, 0, 1, 1))},
    };
    const RecordList cells = {
        {rec::kFormula, Formula(0, 0, Body().u8(0x23).u16(2).u16(0))},                 // Total
        {rec::kFormula, Formula(1, 0, Body().u8(0x3A).u16(1).u16(0).u8(1).u8(0x00))},  // Book
        {rec::kFormula, Formula(2, 0, Body().u8(0x3A).u16(2).u16(0).u8(1).u8(0x00))},  // missing
        {rec::kFormula, Formula(3, 0, Body().u8(0x23).u16(1).u16(0))},                 // Broken
    };
    TXLSFile file;
    OpenWorkbook(file, WorkbookStream({{"Data", cells}}, globals));
    EXPECT_EQ(FormulaAt(file, 0, 0, 0), "Total");
    EXPECT_EQ(FormulaAt(file, 0, 1, 0), "'[Book.xls]Prices'!$B$1");
    EXPECT_EQ(FormulaAt(file, 0, 2, 0), file.ReadOptions().UnreadableFormula);
    EXPECT_EQ(FormulaAt(file, 0, 3, 0), "Broken");  // kept in its place, without its areas
    const TXLSLinkTable& links = file.Workbook().LinkTable();
    ASSERT_EQ(links.DefinedNames().size(), 2u);
    EXPECT_EQ(links.DefinedNames()[0]->Areas.RectCount(), 0);
    EXPECT_EQ(links.DefinedNames()[1]->Areas.RectCount(), 1);
    // One warning for the three records left out.
    ASSERT_EQ(file.Workbook().Warnings.size(), 1u);
    EXPECT_NE(file.Workbook().Warnings[0].find("link table"), std::string::npos);
}
