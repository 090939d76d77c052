#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/TCells.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/RecordIds.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

// A workbook whose every cell shows its settings: A1 the number 1.5 in a font of palette
// colour 8, B1 the formula SUM(1,2), C1 the 8-bit text "café". With `red`, its PALETTE
// record makes colour 8 red.
Bytes SettingsWorkbook(bool red) {
    const Bytes sum = Body()
                          .u8(0x1E)  // the integer 1
                          .u16(1)
                          .u8(0x1E)  // the integer 2
                          .u16(2)
                          .u8(0x22)  // a function of 2 arguments: SUM
                          .u8(2)
                          .u16(4);
    const Bytes formula = Body()
                              .u16(0)  // row
                              .u16(1)  // column
                              .u16(0)  // XF
                              .f64(3)  // cached result
                              .u16(0)  // options
                              .u32(0)
                              .u16(static_cast<std::uint32_t>(sum.size()))
                              .bytes(sum);
    RecordList globals = {{rec::kFont, FontBody(200, 0, 8, 400, "Arial")},
                          {rec::kXf, XfBody(0, 0)}};
    if (red) globals.push_back({rec::kPalette, Body().u16(1).u32(0x0000FF)});
    return WorkbookStream({{"S",
                            {{rec::kNumber, NumberBody(0, 0, 0, 1.5)},
                             {rec::kFormula, formula},
                             {rec::kLabel, LabelCellBody(0, 2, 0, "caf\xE9")}}}},
                          globals);
}

struct TSettings {
    std::uint32_t CodePage;
    char16_t ListSeparator;
    char16_t DecimalSeparator;
};

// What a workbook read with these settings shows.
std::vector<std::string> ReadAndShow(const std::filesystem::path& path, const TSettings& s) {
    TXLSFile file;
    file.SetCodePage(s.CodePage);
    file.SetListSeparator(s.ListSeparator);
    platform::TRegionalSettings regional;
    regional.DecimalSeparator = s.DecimalSeparator;
    file.SetRegionalSettings(platform::MakeRegionalSettings(regional));
    file.OpenFile(U16Path(path));
    const TCells& cells = file.Workbook().Sheets().Items(0).Cells();
    std::vector<std::string> shown;
    for (int col = 0; col < 3; ++col)
        shown.push_back(platform::Utf16ToUtf8(cells.Find(0, col)->DisplayText()));
    shown.push_back(cells.Find(0, 1)->Formula());
    shown.push_back(std::to_string(cells.Find(0, 0)->FontColor()));
    return shown;
}

}  // namespace

// Each workbook is read and shown with its own code page, list separator, regional
// settings and colours, also while another one with other settings is read at once.
TEST(WorkbookSettingsTest, TwoWorkbooksReadAtOnceShowWhatEachShowsAlone) {
    TempDir dir;
    WriteWorkbook(dir / "plain.xls", SettingsWorkbook(false));
    WriteWorkbook(dir / "red.xls", SettingsWorkbook(true));
    const TSettings western{1252, u',', u'.'};
    const TSettings cyrillic{1251, u';', u','};

    const std::vector<std::string> plain = ReadAndShow(dir / "plain.xls", western);
    const std::vector<std::string> red = ReadAndShow(dir / "red.xls", cyrillic);
    EXPECT_EQ(plain, (std::vector<std::string>{"1.5", "3", "caf\xC3\xA9", "SUM(1,2)", "0"}));
    EXPECT_EQ(red,
              (std::vector<std::string>{"1,5", "3", "caf?", "SUM(1;2)", std::to_string(0x0000FF)}));

    constexpr int kRounds = 20;
    std::vector<std::vector<std::string>> seenPlain, seenRed;
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i)
            seenRed.push_back(ReadAndShow(dir / "red.xls", cyrillic));
    });
    for (int i = 0; i < kRounds; ++i)
        seenPlain.push_back(ReadAndShow(dir / "plain.xls", western));
    other.join();
    EXPECT_EQ(seenPlain, std::vector<std::vector<std::string>>(kRounds, plain));
    EXPECT_EQ(seenRed, std::vector<std::vector<std::string>>(kRounds, red));
}

// Replacing the process-wide settings after a workbook was created leaves it as it was.
TEST(WorkbookSettingsTest, AWorkbookKeepsTheSettingsItWasCreatedWith) {
    const platform::TRegionalSettings saved = platform::RegionalSettings();
    platform::SetRegionalSettings(platform::TRegionalSettings{});
    TXLSFile file;
    platform::TRegionalSettings comma;
    comma.DecimalSeparator = u',';
    platform::SetRegionalSettings(comma);
    TCell cell = file.Workbook().Sheets().Items(0).Cells().GetCell(0, 0);
    cell.SetValue(TCellValue::Number(2.5));
    EXPECT_EQ(cell.DisplayText(), u"2.5");
    EXPECT_EQ(TXLSFile().Workbook().Sheets().Items(0).Cells().GetCell(0, 0).DisplayText(), u"");
    platform::SetRegionalSettings(saved);
}
