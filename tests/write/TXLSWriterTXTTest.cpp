#include "xls/write/TXLSWriterTXT.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/OrderedParallel.h"
#include "platform/RegionalSettings.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/DateTime.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;
using test::Bytes;
using test::TempDir;

namespace {

class TXLSWriterTXTTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetRegionalSettings(platform::TRegionalSettings{}); }
    void TearDown() override { platform::SetRegionalSettings(saved_); }

    TSheet& Sheet() { return book_.Sheets().Items(0); }
    void Put(std::uint32_t row, std::uint32_t col, const TCellValue& value) {
        Sheet().Cells().GetCell(row, col).SetValue(value);
    }
    std::string Written(TTextFileKind kind) {
        TUsedArea area;
        EXPECT_TRUE(Sheet().GetUsedArea(area));
        return Written(kind, area);
    }
    std::string Written(TTextFileKind kind, const TUsedArea& area,
                        const TTextWriteOptions& options = {}) {
        std::ostringstream out;
        TXLSWriterTXT(Sheet()).WriteSheet(out, kind, area, options);
        return out.str();
    }
    std::string WrittenWith(TTextFileKind kind, const TTextWriteOptions& options) {
        TUsedArea area;
        EXPECT_TRUE(Sheet().GetUsedArea(area));
        return Written(kind, area, options);
    }
    static std::string Content(const std::filesystem::path& file) {
        const Bytes bytes = test::ReadFile(file);
        return {bytes.begin(), bytes.end()};
    }

    TWorkbook book_{1};
    TempDir dir_;

  private:
    const platform::TRegionalSettings saved_ = platform::RegionalSettings();
};

}  // namespace

TEST_F(TXLSWriterTXTTest, WritesTheUsedAreaWithEmptyPositions) {
    Put(1, 1, TCellValue::Wide(u"x"));
    Put(2, 3, TCellValue::Number(7));
    EXPECT_EQ(Written(tkCSV), "\"x\",\"\",\"\"\r\n\"\",\"\",\"7\"\r\n");
    EXPECT_EQ(Written(tkTXT), "x\t\t\r\n\t\t7\r\n");
    // Looking up the empty positions added no cell.
    EXPECT_EQ(Sheet().Cells().Count(), 2);
}

TEST_F(TXLSWriterTXTTest, DoublesQuotesInCsv) {
    Put(0, 0, TCellValue::Wide(u"say \"hi\", then\tgo\r\nhome"));
    Put(0, 1, TCellValue::Wide(u"\u00C4rger"));
    EXPECT_EQ(Written(tkCSV), "\"say \"\"hi\"\", then\tgo\r\nhome\",\"\xC3\x84rger\"\r\n");
}

// A tab or a line break inside a field would split the row; only such fields are quoted.
TEST_F(TXLSWriterTXTTest, QuotesTabSeparatedFieldsThatWouldSplitTheRow) {
    Put(0, 0, TCellValue::Wide(u"say \"hi\", then\tgo"));
    Put(0, 1, TCellValue::Wide(u"two\nlines"));
    Put(0, 2, TCellValue::Wide(u"old\rmac"));
    Put(0, 3, TCellValue::Wide(u"a \"quote\" only"));
    Put(0, 4, TCellValue::Wide(u"\u00C4rger,\tdone"));
    Put(0, 5, TCellValue::Number(1.5));
    EXPECT_EQ(Written(tkTXT),
              "\"say \"\"hi\"\", then\tgo\"\t\"two\nlines\"\t\"old\rmac\"\t"
              "a \"quote\" only\t\"\xC3\x84rger,\tdone\"\t1.5\r\n");
}

// A field that begins with a double quote would be read as quoted up to its next quote,
// taking the fields after it along: it is quoted too.
TEST_F(TXLSWriterTXTTest, QuotesTabSeparatedFieldsThatBeginWithAQuote) {
    Put(0, 0, TCellValue::Wide(u"\"hi\" there"));
    Put(0, 1, TCellValue::Wide(u"\""));
    Put(0, 2, TCellValue::Wide(u"next"));
    EXPECT_EQ(Written(tkTXT), "\"\"\"hi\"\" there\"\t\"\"\"\"\tnext\r\n");
}

TEST_F(TXLSWriterTXTTest, AreaEdges) {
    Put(0, 0, TCellValue::Number(1));
    EXPECT_EQ(Written(tkCSV), "\"1\"\r\n");
    EXPECT_EQ(Written(tkCSV, {1, 0, 0, 0}), "");          // last row above the first
    EXPECT_EQ(Written(tkCSV, {0, 1, 1, 0}), "\r\n\r\n");  // no column: empty lines
    // A cell in the very last row and column ends the walk there.
    TWorkbook other(1);
    TSheet& sheet = other.Sheets().Items(0);
    sheet.Cells().GetCell(65535, 255).SetValue(TCellValue::Wide(u"end"));
    std::ostringstream out;
    TXLSWriterTXT(sheet).WriteSheet(out, tkTXT, {65534, 65535, 254, 255});
    EXPECT_EQ(out.str(), "\t\r\n\tend\r\n");
}

TEST_F(TXLSWriterTXTTest, WritesDisplayTextsThroughNumberFormats) {
    using namespace test;
    TXLSFile file;
    OpenWorkbook(file, WorkbookStream({{"Sheet1",
                                        {{rec::kNumber, NumberBody(0, 0, 1, 3.5)},
                                         {rec::kNumber, NumberBody(0, 1, 0, 3.5)}}}},
                                      {{rec::kFormat, FormatBody(164, "0.00")},
                                       {rec::kXf, XfBody(0, 0)},
                                       {rec::kXf, XfBody(0, 164)}}));
    TSheet& sheet = file.Workbook().Sheets().Items(0);
    std::ostringstream out;
    TXLSWriterTXT(sheet).WriteSheet(out, tkCSV, {0, 0, 0, 1});
    EXPECT_EQ(out.str(), "\"3.50\",\"3.5\"\r\n");
}

TEST_F(TXLSWriterTXTTest, SaveAsTextWritesOrLeavesTheFile) {
    const std::string name = (dir_ / "out.csv").string();
    test::WriteFile(name, Bytes{'o', 'l', 'd'});
    Sheet().SaveAsText(name, tkCSV);  // no cells: nothing at all
    EXPECT_EQ(Content(name), "old");

    Put(0, 0, TCellValue::Number(2));
    Sheet().SaveAsText(name, tkTXT);
    EXPECT_EQ(Content(name), "2\r\n");
}

TEST_F(TXLSWriterTXTTest, FileErrorsNameTheFile) {
    Put(0, 0, TCellValue::Number(2));
    const std::string missing = (dir_ / "missing" / "out.csv").string();
    try {
        Sheet().SaveAsText(missing, tkCSV);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file " + missing + ": No such file or directory");
    }
    EXPECT_THROW(Sheet().SaveAsText(dir_.path().string(), tkCSV), Exception);
}

// --- Options: separator, line end, code page, raw values, formulas -------------------------

TEST_F(TXLSWriterTXTTest, SeparatorAndLineEndOptions) {
    Put(0, 0, TCellValue::Wide(u"a;b"));
    Put(0, 1, TCellValue::Wide(u"tab\there"));
    Put(1, 2, TCellValue::Number(7));
    TTextWriteOptions options;
    options.Separator = ';';
    options.LineEnd = "\n";
    EXPECT_EQ(WrittenWith(tkCSV, options), "\"a;b\";\"tab\there\";\"\"\n\"\";\"\";\"7\"\n");
    // Tab separated text quotes a field holding the separator in use, and leaves tabs be.
    EXPECT_EQ(WrittenWith(tkTXT, options), "\"a;b\";tab\there;\n;;7\n");
    // The defaults are the standard output, byte for byte.
    EXPECT_EQ(WrittenWith(tkTXT, TTextWriteOptions{}), Written(tkTXT));
}

TEST_F(TXLSWriterTXTTest, CodePagesAndByteOrderMarks) {
    Put(0, 0, TCellValue::Wide(u"\u00C4rger \u20AC"));
    Put(0, 1, TCellValue::Wide(u"\u4E2D"));  // no Windows-1252 form
    TTextWriteOptions options;
    options.CodePage = 1252;
    EXPECT_EQ(WrittenWith(tkCSV, options), "\"\xC4rger \x80\",\"?\"\r\n");
    options.ByteOrderMark = true;  // none in a single-byte code page
    EXPECT_EQ(WrittenWith(tkCSV, options), "\"\xC4rger \x80\",\"?\"\r\n");

    options.CodePage = platform::kCodePageUtf8;
    EXPECT_EQ(WrittenWith(tkTXT, options),
              "\xEF\xBB\xBF\xC3\x84rger \xE2\x82\xAC\t\xE4\xB8\xAD\r\n");
    // UTF-16 throughout: separators and line ends too.
    options.CodePage = 1200;
    EXPECT_EQ(WrittenWith(tkTXT, options),
              std::string("\xFF\xFE\xC4\0r\0g\0e\0r\0 \0\xAC\x20\t\0\x2D\x4E\r\0\n\0", 24));
}

TEST_F(TXLSWriterTXTTest, RawValueTexts) {
    const double march1st2010 = static_cast<double>(DaysFromDate(2010, 3, 1));
    const std::vector<std::pair<TCellValue, std::string>> cases = {
        {TCellValue::Number(0.1), "0.1"},
        {TCellValue::Number(1.0 / 3.0), "0.3333333333333333"},
        {TCellValue::Number(123456789012345680.0), "123456789012345680"},
        {TCellValue::Number(-2.5e-7), "-2.5e-07"},
        {TCellValue::Number(-0.0), "0"},
        {TCellValue::Single(0.1f), "0.1"},
        {TCellValue::Integer(vkInt64, -9007199254740993), "-9007199254740993"},
        {TCellValue::Currency(-123450), "-12.345"},
        {TCellValue::Currency(70000), "7"},
        {TCellValue::DateTime(march1st2010), "2010-03-01"},
        {TCellValue::DateTime(march1st2010 + 0.5), "2010-03-01T12:00:00"},
        {TCellValue::DateTime(march1st2010 + (14 * 3600 + 5 * 60 + 9.25) / 86400.0),
         "2010-03-01T14:05:09.250"},
        {TCellValue::DateTime(0.75), "18:00:00"},  // on day 0: a time of day alone
        {TCellValue::TimeOfDay(0), "00:00:00"},
        {TCellValue::TimeOfDay(0.5 + 0.25 / 86400), "12:00:00.250"},
        {TCellValue::Duration((231 * 3600 + 610) / 86400.0), "231:10:10"},
        {TCellValue::Duration(-1.5 / 24), "-01:30:00"},
        {TCellValue::Error(ecDivisionByZero), "#DIV/0!"},
        {TCellValue::Boolean(true), "TRUE"},
        {TCellValue::Boolean(false), "FALSE"},
        {TCellValue::Wide(u"\u00C4rger"), "\xC3\x84rger"},
        {TCellValue(), ""},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(RawValueText(value, platform::kCodePageUtf8), text) << text;

    // Raw values take the place of the display texts; formulas take that of the values.
    TXLSFile file;
    test::OpenWorkbook(file,
                       test::WorkbookStream({{"Sheet1",
                                              {{rec::kNumber, test::NumberBody(0, 0, 1, 3.5)},
                                               {rec::kNumber, test::NumberBody(0, 1, 1, 0.1)}}}},
                                            {{rec::kFormat, test::FormatBody(164, "0.00")},
                                             {rec::kXf, test::XfBody(0, 0)},
                                             {rec::kXf, test::XfBody(0, 164)}}));
    TSheet& sheet = file.Workbook().Sheets().Items(0);
    sheet.Cells().GetCell(0, 1).SetFormula("SUM(A1,\"x\")");
    TTextWriteOptions options;
    options.RawValues = true;
    std::ostringstream raw;
    TXLSWriterTXT(sheet).WriteSheet(raw, tkCSV, {0, 0, 0, 1}, options);
    EXPECT_EQ(raw.str(), "\"3.5\",\"0.1\"\r\n");
    options.Formulas = true;
    std::ostringstream formulas;
    TXLSWriterTXT(sheet).WriteSheet(formulas, tkCSV, {0, 0, 0, 1}, options);
    EXPECT_EQ(formulas.str(), "\"3.5\",\"=SUM(A1,\"\"x\"\")\"\r\n");
}

// A large sheet is formatted in blocks of rows on several threads: the text is the same as
// written on one thread, and the same whether its cells were listed in address order or
// not.
TEST_F(TXLSWriterTXTTest, LargeSheetsWriteTheSameInBlocks) {
    const auto fill = [](TSheet& sheet, bool scattered) {
        for (std::uint32_t i = 0; i < 3000 * 12; ++i) {
            const std::uint32_t k = scattered ? i * 7919 % (3000 * 12) : i;
            const std::uint32_t row = k / 12 + 1;
            const std::uint32_t col = k % 12 + 1;
            if ((row + col) % 5 == 0) continue;  // some empty positions
            const TCellValue value =
                col % 3 == 0   ? TCellValue::Wide(u"t\"" + std::u16string(1, u'a' + row % 26))
                : col % 3 == 1 ? TCellValue::Number(row / 7.0 + col)
                               : TCellValue::DateTime(40000 + row / 24.0);
            sheet.Cells().GetCell(row, col).SetValue(value);
        }
    };
    fill(Sheet(), false);
    TWorkbook scattered(1);
    fill(scattered.Sheets().Items(0), true);
    ASSERT_TRUE(Sheet().Cells().Ordered());
    ASSERT_FALSE(scattered.Sheets().Items(0).Cells().Ordered());

    const std::string parallel = Written(tkCSV);
    std::string single;
    {
        platform::TSingleThreaded one;
        single = Written(tkCSV);
    }
    EXPECT_EQ(parallel, single);
    TUsedArea area;
    ASSERT_TRUE(Sheet().GetUsedArea(area));
    std::ostringstream out;
    TXLSWriterTXT(scattered.Sheets().Items(0)).WriteSheet(out, tkCSV, area);
    EXPECT_EQ(out.str(), parallel);
    EXPECT_EQ(std::count(parallel.begin(), parallel.end(), '\n'), 3000);
    // An inner area starts and ends inside rows and blocks.
    const TUsedArea inner{700, 2500, 3, 9};
    const std::string part = Written(tkTXT, inner);
    {
        platform::TSingleThreaded one;
        EXPECT_EQ(Written(tkTXT, inner), part);
    }
    EXPECT_EQ(std::count(part.begin(), part.end(), '\n'), 1801);
}
