// Workbooks read sheet by sheet (LazySheets): each sheet read from its BOUNDSHEET position,
// also in encrypted streams, must come out as the read of the whole stream makes it;
// positions that cannot be right fall back to that read; errors of a sheet come when it is
// read; a row limit stops at a block of the cell table and still reads what follows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>

#include "tests/support/WorkbookFixtures.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"
#include "xls/write/TXLSWriterTXT.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

// A sheet's used area as CSV, or "-" for a sheet without cells.
std::string SheetText(const TSheet& sheet) {
    TUsedArea area;
    if (!sheet.GetUsedArea(area)) return "-";
    std::ostringstream out;
    TXLSWriterTXT(sheet).WriteSheet(out, tkCSV, area);
    return out.str();
}

struct TLayout {
    std::vector<std::size_t> SheetAt;                // each sheet's BOF
    std::vector<std::vector<std::size_t>> DbCellAt;  // each sheet's DBCELL records
};

// Three sheets of `rows` x 3 cells (numbers, shared strings) laid out as spreadsheet
// programs write them: INDEX, blocks of 32 ROW records with their cells and a DBCELL,
// then a hyperlink on A1 and WINDOW2. Built twice: the second time every position is
// known. `extra` adds records after a sheet's cell table; `outOfOrder` puts a cell of row
// 150 into the first block.
Bytes LaidOutStream(std::uint16_t rows, const std::u16string* password = nullptr,
                    const std::function<void(BiffBuilder&, int sheet)>& extra = {},
                    bool outOfOrder = false) {
    TLayout layout;
    Bytes stream;
    for (int pass = 0; pass < 2; ++pass) {
        TLayout found;
        BiffBuilder b;
        b.Record(rec::kBof, BofBody(kGlobalsSubstream));
        if (password != nullptr) b.FilePass(*password);
        std::vector<std::size_t> boundSheets;
        for (int s = 0; s < 3; ++s) {
            boundSheets.push_back(b.Size());
            b.Record(rec::kBoundSheet8, BoundSheetBody("S" + std::to_string(s)));
        }
        b.Record(rec::kSst, SstBody({"alpha", "beta", "gamma"}));
        b.Record(rec::kEof, {});
        for (int s = 0; s < 3; ++s) {
            found.SheetAt.push_back(b.Size());
            found.DbCellAt.emplace_back();
            b.Record(rec::kBof, BofBody(kWorksheetSubstream));
            Body index;
            index.u32(0).u32(0).u32(rows).u32(0);
            if (pass == 1) {
                for (const std::size_t at : layout.DbCellAt[s])
                    index.u32(static_cast<std::uint32_t>(at));
            } else {
                index.zeros(4 * ((rows + 31) / 32));
            }
            b.Record(rec::kIndex, index);
            for (std::uint16_t first = 0; first < rows; first += 32) {
                const auto end = static_cast<std::uint16_t>(std::min<int>(first + 32, rows));
                for (std::uint16_t r = first; r < end; ++r)
                    b.Record(rec::kRow, Body().u16(r).u16(0).u16(3).u16(255).u32(0).u32(0x0100));
                for (std::uint16_t r = first; r < end; ++r) {
                    b.Record(rec::kNumber, NumberBody(r, 0, 0, s * 1000 + r + 0.5));
                    b.Record(rec::kLabelSst, LabelSstBody(r, 1, 0, (r + s) % 3));
                    b.Record(rec::kNumber, NumberBody(r, 2, 0, -r));
                }
                if (outOfOrder && first == 0) b.Record(rec::kNumber, NumberBody(150, 5, 0, 7));
                found.DbCellAt[s].push_back(b.Size());
                b.Record(rec::kDbCell, Body().u32(0).zeros(2 * (end - first)));
            }
            if (extra) extra(b, s);
            b.Record(rec::kHLink, UrlLink(0, 0, 3, 3, u"http://example.com/"));
            b.Record(rec::kEof, {});
        }
        stream = b.Build();
        for (int s = 0; s < 3; ++s) {
            for (int i = 0; i < 4; ++i)
                stream[boundSheets[s] + 4 + i] =
                    static_cast<std::uint8_t>(found.SheetAt[s] >> (8 * i));
        }
        layout = found;
    }
    return stream;
}

class LazySheetsTest : public ::testing::Test {
  protected:
    // The file read whole, and read sheet by sheet (not read yet).
    void Open(const Bytes& stream, const std::u16string& password = u"", bool readWhole = true) {
        lazy_.reset();
        whole_.reset();
        file_ = dir_ / ("book" + std::to_string(++opened_) + ".xls");
        WriteCompound(file_, {{"Workbook", stream}});
        whole_ = std::make_unique<TXLSFile>();
        if (readWhole) whole_->OpenFile(file_.u16string(), password);
        lazy_ = std::make_unique<TXLSFile>();
        TReadOptions options;
        options.ReadDrawings = false;
        options.LazySheets = true;
        lazy_->SetReadOptions(options);
        lazy_->OpenFile(file_.u16string(), password);
    }
    // Every sheet of the lazy read, in the given order, against the whole read.
    void ExpectSameSheets(const std::vector<int>& order) {
        const TSheets& sheets = lazy_->Workbook().Sheets();
        ASSERT_EQ(sheets.Count(), whole_->Workbook().Sheets().Count());
        for (const int s : order)
            EXPECT_EQ(SheetText(sheets.Items(s)), SheetText(whole_->Workbook().Sheets().Items(s)))
                << "sheet " << s;
    }

    TempDir dir_;
    int opened_ = 0;
    std::filesystem::path file_;
    std::unique_ptr<TXLSFile> whole_;
    std::unique_ptr<TXLSFile> lazy_;
};

TEST_F(LazySheetsTest, SheetsReadFromTheirPositionsMatchTheWholeRead) {
    const std::u16string password = u"secret";
    for (const std::u16string* key : {static_cast<const std::u16string*>(nullptr), &password}) {
        SCOPED_TRACE(key != nullptr ? "encrypted" : "plain");
        Open(LaidOutStream(100, key), key != nullptr ? *key : u"");
        for (int s = 0; s < 3; ++s)
            EXPECT_TRUE(lazy_->SheetUnread(s));
        EXPECT_EQ(lazy_->Workbook().Sheets().Items(2).Cells().Count(), 301);
        EXPECT_FALSE(lazy_->SheetUnread(2));
        EXPECT_TRUE(lazy_->SheetUnread(0));
        ExpectSameSheets({2, 0, 1});
        // A sheet let go is empty, then read again when used.
        lazy_->ReleaseSheet(0);
        EXPECT_TRUE(lazy_->SheetUnread(0));
        ExpectSameSheets({0});
    }
}

TEST_F(LazySheetsTest, PositionsThatCannotBeRightFallBackToTheWholeRead) {
    const Bytes good = LaidOutStream(40);
    // The BOUNDSHEET records' positions, as offsets of their first byte.
    const auto positionOf = [&good](int sheet) {
        std::size_t at = 0;
        for (int seen = -1;; at += 4 + (good[at + 2] | good[at + 3] << 8)) {
            if ((good[at] | good[at + 1] << 8) == rec::kBoundSheet8 && ++seen == sheet)
                return at + 4;
        }
    };
    const auto set = [&](Bytes stream, int sheet, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            stream[positionOf(sheet) + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return stream;
    };
    const std::uint32_t second =
        good[positionOf(1)] | good[positionOf(1) + 1] << 8 | good[positionOf(1) + 2] << 16;
    struct TCase {
        const char* What;
        Bytes Stream;
    };
    const std::vector<TCase> cases = {
        {"outside the stream", set(good, 2, 0x7FFFFFF0)},
        {"out of order", set(good, 2, second)},
        {"not where the globals end", set(good, 0, 0)},
        {"inside a sheet, not at a BOF", set(good, 1, second + 4)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        Open(c.Stream);
        ExpectSameSheets({2, 1, 0});
    }
}

TEST_F(LazySheetsTest, ErrorsOfASheetComeWhenItIsReadAndAgainWhenItIsUsedAgain) {
    // Sheet 1 holds a hyperlink record cut short.
    Open(LaidOutStream(10, nullptr,
                       [](BiffBuilder& b, int sheet) {
                           if (sheet == 1) b.Record(rec::kHLink, Bytes(10, 0));
                       }),
         u"", false);
    ASSERT_TRUE(lazy_->Loaded());
    std::string wholeMessage;
    try {
        whole_->OpenFile(file_.u16string());
    } catch (const std::exception& e) {
        wholeMessage = e.what();
    }
    ASSERT_FALSE(wholeMessage.empty());
    const TSheets& sheets = lazy_->Workbook().Sheets();
    EXPECT_EQ(sheets.Items(0).Cells().Count(), 31);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            sheets.Items(1);
            ADD_FAILURE() << "sheet 1 read without an error";
        } catch (const std::exception& e) {
            EXPECT_EQ(e.what(), wholeMessage);
        }
        EXPECT_TRUE(lazy_->SheetUnread(1));
    }
    EXPECT_EQ(sheets.Items(2).Cells().Count(), 31);
}

TEST_F(LazySheetsTest, ARowLimitStopsAtABlockAndStillReadsWhatFollowsTheTable) {
    Open(LaidOutStream(200));
    lazy_->ReadSheetRows(1, 40);
    const TCells& part = lazy_->Workbook().Sheets().Items(1).Cells();
    const TCells& all = whole_->Workbook().Sheets().Items(1).Cells();
    // Rows 0..63: the block of the limit is read whole, the next one not at all; the
    // hyperlink after the table adds D1.
    EXPECT_EQ(part.Count(), 64 * 3 + 1);
    for (int i = 0; i < part.Count(); ++i) {
        const TCell cell = part.Items(i);
        const std::optional<TCell> same = all.Find(cell.Row(), cell.Col());
        EXPECT_TRUE(same && cell.Value() == same->Value()) << cell.Row() << "," << cell.Col();
    }
    ASSERT_TRUE(part.Find(0, 3) && all.Find(0, 3));
    EXPECT_EQ(part.Find(0, 3)->Hyperlink(), all.Find(0, 3)->Hyperlink());

    // A cell outside the rows of its block: the whole sheet is read.
    Open(LaidOutStream(100, nullptr, {}, true));
    lazy_->ReadSheetRows(0, 40);
    EXPECT_EQ(lazy_->Workbook().Sheets().Items(0).Cells().Count(), 100 * 3 + 2);
}

}  // namespace
