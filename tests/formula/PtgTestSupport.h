// A decoder over a link table that knows a few sheets, names and other workbooks, for
// the tests of formula tokens written byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/RegionalSettings.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/format/ValueFormatter.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/TXLSFile.h"

namespace vorlix::test {

inline std::string Str(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// EXTERNSHEET entries of the link table below.
inline constexpr std::uint16_t kSheetData = 0;     // own sheet "Data"
inline constexpr std::uint16_t kSheetsJanMar = 1;  // own sheets "Jan" to "Mar"
inline constexpr std::uint16_t kBookSheet1 = 2;    // sheet "Sheet1" of C:\dir\Book.xls
inline constexpr std::uint16_t kAddIns = 3;        // the add-in functions
inline constexpr std::uint16_t kDeletedSheet = 4;  // a sheet that was deleted
inline constexpr std::uint16_t kWholeBook = 5;     // the workbook itself, no sheet
inline constexpr std::uint16_t kSheetJan = 6;      // own sheet "Jan"

class PtgTest : public ::testing::Test {
  protected:
    PtgTest() : saved_(platform::RegionalSettings()) {
        platform::SetRegionalSettings(platform::TRegionalSettings{});
        file_.SetListSeparator(u',');
        links_.AddSupbook(Str(SelfSupbookBody(4)));
        for (const char* sheet : {"Data", "Jan", "Feb", "Mar"})
            links_.AddSheetName(platform::Utf8ToUtf16(sheet));
        links_.AddSupbook(Str(Body()
                                  .u16(1)               // sheet count
                                  .u16(15)              // file name characters
                                  .u8(0)                // 8-bit characters
                                  .bytes({0x01, 0x01})  // encoded path, volume
                                  .ascii("Cdir")        // drive letter, folder
                                  .u8(0x03)             // folder separator
                                  .ascii("Book.xls")    // file
                                  .u16(6)               // sheet name characters
                                  .u8(0)                // 8-bit characters
                                  .ascii("Sheet1")));
        links_.AddExternName(ExternNameBody("Rate"));
        links_.AddSupbook(Str(Body().u16(1).u8(0x01).u8(0x3A)));  // add-in functions
        links_.AddExternName(ExternNameBody("EFFECT"));
        links_.AddExternSheets(Str(ExternSheetBody({{0, 0, 0},
                                                    {0, 1, 3},
                                                    {1, 0, 0},
                                                    {2, 0xFFFE, 0xFFFE},
                                                    {0, 0xFFFF, 0xFFFF},
                                                    {0, 0xFFFE, 0xFFFE},
                                                    {0, 1, 1}})));
        links_.AddName(Str(NameBody(0x0000, "Total")));          // name 1
        links_.AddName(Str(NameBody(0x0000, "My Total")));       // name 2
        links_.AddName(Str(NameBody(0x0001, "Secret")));         // name 3, hidden
        links_.AddName(Str(NameBody(0x0003, "_xlfn.IFERROR")));  // name 4, hidden function
    }
    ~PtgTest() override {
        platform::SetRegionalSettings(saved_);
        file_.SetListSeparator(u',');
    }

    static std::string ExternNameBody(const std::string& text) {
        return Str(Body()
                       .u16(0)  // option flags
                       .u16(0)  // sheet
                       .u16(0)  // reserved
                       .u8(static_cast<std::uint32_t>(text.size()))
                       .u8(0)  // 8-bit characters
                       .ascii(text));
    }

    // The text of the tokens decoded for cell (row, col) of sheet 0, or "<not recognised>".
    std::string Decode(const Bytes& tokens, std::uint16_t options = 0, std::uint16_t row = 0,
                       std::uint8_t col = 0, const Bytes& extra = {}) {
        TPtgParser& parser = Parser();
        const int status = parser.Decode(0, row, Str(tokens), options, col, Str(extra));
        if (status != TPtgParser::kRecognised) {
            EXPECT_EQ(parser.FormulaText(), "");
            return "<not recognised>";
        }
        return parser.FormulaText();
    }

    TPtgParser& Parser() {
        if (!parser_) {
            parser_ = std::make_unique<TPtgParser>(links_, TFormulaSettings{AllFormulas()},
                                                   TNumberText{&GeneralNumberText});
        }
        return *parser_;
    }
    virtual bool AllFormulas() const { return false; }

    void SetSeparators(char16_t list, char16_t decimal) {
        platform::TRegionalSettings s;
        s.DecimalSeparator = decimal;
        platform::SetRegionalSettings(s);
        file_.SetListSeparator(list);
        parser_.reset();  // a parser writes with the separators it was made with
    }

    TXLSLinkTable links_;

  private:
    platform::TRegionalSettings saved_;
    TXLSFile file_;
    std::unique_ptr<TPtgParser> parser_;
};

class PtgCompleteTest : public PtgTest {
  protected:
    bool AllFormulas() const override { return true; }
};

// Token bytes, field by field.
inline Body Int(std::uint16_t v) {
    return std::move(Body().u8(0x1E).u16(v));
}
// A cell reference token: id, row, column, the relative flags (0x80 row, 0x40 column).
inline Body Ref(std::uint8_t id, std::uint16_t row, std::uint8_t col, std::uint8_t flags) {
    return std::move(Body().u8(id).u16(row).u8(col).u8(flags));
}

}  // namespace vorlix::test
