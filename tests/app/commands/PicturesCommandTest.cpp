#include <gtest/gtest.h>

#include "app/commands/Commands.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/write/PictureBytes.h"
#include "xls/model/TPageSetup.h"
#include "xls/write/PictureFiles.h"

namespace vorlix::app {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

const Bytes kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3};

void AddPicture(TSheet& sheet, std::uint8_t type, const Bytes& bytes, int row, int col) {
    TEasyStream source;
    source.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    TXLSImage& image = sheet.Images().Add(source, 0, 20, 30, 0, 0, row, col,
                                          static_cast<std::int64_t>(bytes.size()));
    image.BlipType = type;
}

class PicturesCommandTest : public test::FolderTest {
  protected:
    std::vector<std::string> Names(const TPicturesOutcome& outcome) {
        std::vector<std::string> names;
        for (const fs::path& file : outcome.Files) {
            EXPECT_EQ(file.parent_path(), out);
            names.push_back(file.filename().string());
        }
        return names;
    }

    fs::path out = dir / "pictures";
};

TEST_F(PicturesCommandTest, EveryPictureOfEverySheetIsWrittenUnderItsOwnName) {
    TWorkbook book(3);
    book.Sheets().Items(0).SetName(u"Q1/Q2");
    book.Sheets().Items(1).SetName(u"Q1_Q2");  // the same name once made safe
    AddPicture(book.Sheets().Items(0), btPNG, kPng, 2, 1);
    AddPicture(book.Sheets().Items(0), btDIB,
               test::StoredDib(test::Dib(1, 1, 24, 0, 0, {0, 0, 0, 0})), 0, 0);
    AddPicture(book.Sheets().Items(1), btPNG, kPng, 2, 1);
    AddPicture(book.Sheets().Items(2), btJPEG, {1, 2, 3}, 9, 3);  // not a JPEG file
    AddPicture(book.Sheets().Items(2), btEMF, {}, 0, 0);          // no bytes at all

    const TPicturesOutcome outcome = ExtractPictures(book, out);

    EXPECT_EQ(outcome.Message, "");
    EXPECT_EQ(outcome.Pictures, 5);
    EXPECT_EQ(Names(outcome), (std::vector<std::string>{"Q1_Q2_B3_1.png", "Q1_Q2_A1_2.bmp",
                                                        "Q1_Q2_B3_1_2.png", "Sheet3_D10_1.bin"}));
    EXPECT_EQ(test::ReadFile(out / "Q1_Q2_B3_1_2.png"), kPng);
    EXPECT_EQ(test::ReadFile(out / "Sheet3_D10_1.bin"), (Bytes{1, 2, 3}));
    EXPECT_EQ(outcome.Notes,
              (std::vector<std::string>{
                  "Sheet3_D10_1.bin: the bytes do not start like a JPEG file; written as stored",
                  "Sheet3_A1_2.bin: the picture has no data; not written"}));
    EXPECT_FALSE(fs::exists(out / "Sheet3_A1_2.bin"));
}

TEST_F(PicturesCommandTest, NamesDifferingOnlyInLetterCaseAreKeptApart) {
    TWorkbook book(2);
    book.Sheets().Items(0).SetName(u"Plan");
    book.Sheets().Items(1).SetName(u"PLAN");
    AddPicture(book.Sheets().Items(0), btPNG, kPng, 0, 0);
    AddPicture(book.Sheets().Items(1), btPNG, kPng, 0, 0);
    const TPicturesOutcome outcome = ExtractPictures(book, out);
    EXPECT_EQ(Names(outcome), (std::vector<std::string>{"Plan_A1_1.png", "PLAN_A1_1_2.png"}));
}

TEST_F(PicturesCommandTest, AnExistingWorkbookIsNeverReplaced) {
    TWorkbook book(1);
    AddPicture(book.Sheets().Items(0), btPNG, kPng, 0, 0);
    AddPicture(book.Sheets().Items(0), btPNG, kPng, 0, 1);
    fs::create_directories(out);
    // A compound document under the second picture's name.
    const fs::path workbook = Stream("book.xls", test::WorkbookStream({{"Sheet1", {}}}));
    fs::copy_file(workbook, out / "Sheet1_B1_2.png");

    const TPicturesOutcome outcome = ExtractPictures(book, out);

    EXPECT_EQ(outcome.Message, "Cannot write file " + (out / "Sheet1_B1_2.png").string() +
                                   ": it is a compound document (a workbook or another office "
                                   "file)");
    EXPECT_TRUE(outcome.Files.empty());
    EXPECT_FALSE(fs::exists(out / "Sheet1_A1_1.png"));  // nothing written at all
    EXPECT_EQ(test::ReadFile(out / "Sheet1_B1_2.png"), test::ReadFile(workbook));
}

TEST_F(PicturesCommandTest, OtherFilesAreReplacedAndTheFolderMade) {
    TWorkbook book(1);
    AddPicture(book.Sheets().Items(0), btPNG, kPng, 0, 0);
    const fs::path nested = out / "a" / "b";
    const TPicturesOutcome first = ExtractPictures(book, nested);
    ASSERT_EQ(first.Files.size(), 1u);
    test::WriteFile(first.Files[0], {'o', 'l', 'd'});
    const TPicturesOutcome again = ExtractPictures(book, nested);
    EXPECT_EQ(again.Message, "");
    EXPECT_EQ(test::ReadFile(nested / "Sheet1_A1_1.png"), kPng);
}

TEST_F(PicturesCommandTest, FolderThatCannotBeMadeStopsTheRun) {
    TWorkbook book(1);
    AddPicture(book.Sheets().Items(0), btPNG, kPng, 0, 0);
    const fs::path file = TextFile("plain.txt");
    const TPicturesOutcome outcome = ExtractPictures(book, file / "sub");
    EXPECT_TRUE(outcome.Message.starts_with("Cannot create folder " + (file / "sub").string()))
        << outcome.Message;
    EXPECT_TRUE(outcome.Files.empty());
}

TEST_F(PicturesCommandTest, WorkbookFilesAreCheckedFirst) {
    const TPicturesOutcome missing = ExtractPictures(dir / "none.xls", out);
    EXPECT_EQ(missing.Message, FileNotFoundMessage((dir / "none.xls").string()));
    const TPicturesOutcome text = ExtractPictures(TextFile("notes.xls"), out);
    EXPECT_EQ(text.Message, TextFileMessage("notes.xls"));
    // A workbook without pictures writes nothing and makes no folder.
    const TPicturesOutcome none =
        ExtractPictures(Stream("plain.xls", test::WorkbookStream({{"Sheet1", {}}})), out);
    EXPECT_EQ(none.Message, "");
    EXPECT_EQ(none.Pictures, 0);
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace vorlix::app
