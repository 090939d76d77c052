// Real workbooks read sheet by sheet, and exported a sheet at a time, against the read of
// the whole workbook: every sheet the same, the same error where a sheet is damaged, the
// first rows of a sheet read with a row limit the same, and the files of the export the
// same as the whole workbook's sheets written out.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/commands/Commands.h"
#include "tests/support/TestPaths.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"
#include "xls/write/TXLSWriterTXT.h"

using namespace vorlix;

namespace {

std::string SheetText(const TSheet& sheet) {
    TUsedArea area;
    if (!sheet.GetUsedArea(area)) return {};
    std::ostringstream out;
    TXLSWriterTXT(sheet).WriteSheet(out, tkCSV, area);
    return out.str();
}

std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::unique_ptr<TXLSFile> Reader(bool lazy) {
    auto xls = std::make_unique<TXLSFile>();
    TReadOptions options;
    options.ReadDrawings = false;
    options.LazySheets = lazy;
    xls->SetReadOptions(options);
    return xls;
}

// The message of the first error the reads raise (opening, then the sheets in order), or
// empty.
std::string FirstError(TXLSFile& xls, const std::filesystem::path& file) {
    try {
        xls.OpenFile(file.u16string());
        for (int s = 0; s < xls.Workbook().Sheets().Count(); ++s)
            xls.Workbook().Sheets().Items(s);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

TEST(CorpusLazyTest, SheetsReadOneAtATimeMatchTheWholeRead) {
    SKIP_WITHOUT_CORPUS();
    int compared = 0;
    for (const std::filesystem::path& file : test::CorpusFiles()) {
        SCOPED_TRACE(file.filename().string());
        if (app::CheckWorkbook(file).State != app::TWorkbookState::Readable) continue;
        const auto whole = Reader(false);
        const auto lazy = Reader(true);
        const std::string error = FirstError(*whole, file);
        EXPECT_EQ(FirstError(*lazy, file), error);
        if (!error.empty()) continue;
        ++compared;
        const TSheets& all = whole->Workbook().Sheets();
        // Every sheet again, the last first, read anew from its position.
        const auto again = Reader(true);
        again->OpenFile(file.u16string());
        for (int s = all.Count(); s-- > 0;) {
            EXPECT_EQ(SheetText(again->Workbook().Sheets().Items(s)), SheetText(all.Items(s)))
                << "sheet " << s;
            // The first ten rows with a row limit.
            const auto rows = Reader(true);
            rows->OpenFile(file.u16string());
            rows->ReadSheetRows(s, 10);
            const TCells& part = rows->Workbook().Sheets().Items(s).Cells();
            const TCells& cells = all.Items(s).Cells();
            int below = 0;
            for (int i = 0; i < cells.Count(); ++i) {
                const TCell cell = cells.Items(i);
                if (cell.Row() >= 10) continue;
                ++below;
                const std::optional<TCell> same = part.Find(cell.Row(), cell.Col());
                EXPECT_TRUE(same && same->Value() == cell.Value())
                    << "sheet " << s << " cell " << cell.Row() << "," << cell.Col();
            }
            int partBelow = 0;
            for (int i = 0; i < part.Count(); ++i)
                partBelow += part.Items(i).Row() < 10 ? 1 : 0;
            EXPECT_EQ(partBelow, below) << "sheet " << s;
        }
    }
    EXPECT_GT(compared, 100);
}

TEST(CorpusLazyTest, ExportsASheetAtATimeAsTheWholeWorkbookWritesIt) {
    SKIP_WITHOUT_CORPUS();
    for (const std::filesystem::path& file : test::CorpusFiles()) {
        SCOPED_TRACE(file.filename().string());
        if (app::CheckWorkbook(file).State != app::TWorkbookState::Readable) continue;
        const auto whole = Reader(false);
        if (!FirstError(*whole, file).empty()) continue;
        const TSheets& all = whole->Workbook().Sheets();
        test::TempDir dir;
        app::TExportSettings settings;
        settings.Mode = app::TExportMode::SeparateFiles;
        const app::TExportOutcome separate =
            app::ExportFile(file, (dir / "o.csv").string(), settings);
        ASSERT_TRUE(separate.Done) << separate.Message;
        for (int s = 0; s < all.Count(); ++s) {
            const auto written = dir / ("o_S" + std::to_string(s + 1) + ".csv");
            EXPECT_EQ(std::filesystem::exists(written), all.Items(s).Cells().Count() > 0);
            if (std::filesystem::exists(written)) {
                EXPECT_EQ(FileText(written), SheetText(all.Items(s))) << "sheet " << s;
            }
        }
        settings.Mode = app::TExportMode::OneFile;
        const app::TExportOutcome one = app::ExportFile(file, (dir / "all.csv").string(), settings);
        ASSERT_TRUE(one.Done) << one.Message;
        std::ostringstream expected;
        app::WriteOneFile(whole->Workbook(), expected, tkCSV);
        EXPECT_EQ(FileText(dir / "all.csv"), expected.str());
    }
}

}  // namespace
