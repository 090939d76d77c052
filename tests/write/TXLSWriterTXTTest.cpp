#include "xls/write/TXLSWriterTXT.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/RegionalSettings.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
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
    std::string Written(TTextFileKind kind, const TUsedArea& area) {
        std::ostringstream out;
        TXLSWriterTXT(Sheet()).WriteSheet(out, kind, area);
        return out.str();
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
                                        {{kNumberRecord, NumberBody(0, 0, 1, 3.5)},
                                         {kNumberRecord, NumberBody(0, 1, 0, 3.5)}}}},
                                      {{kFormatRecord, FormatBody(164, "0.00")},
                                       {kXfRecord, XfBody(0, 0)},
                                       {kXfRecord, XfBody(0, 164)}}));
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
