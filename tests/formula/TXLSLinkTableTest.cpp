#include <gtest/gtest.h>

#include <array>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"

using namespace vorlix;
using vorlix::test::Body;
using vorlix::test::Bytes;

namespace {

std::string Str(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

template <typename Action>
void ExpectLinkTableError(Action action) {
    try {
        action();
        ADD_FAILURE() << "no link-table error";
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.ErrorCode(), 14);
        EXPECT_STREQ(e.what(), "Invalid data. Error in link table.");
    }
}

const std::string kSelfSupbook = Str(test::SelfSupbookBody(3));
const std::string kAddInSupbook = Str(Body()
                                          .u16(1)      // sheet count
                                          .u8(0x01)    // add-in functions:
                                          .u8(0x3A));  // 0x01 0x3A

// C:\dir\Book.xls with the sheets Sheet1 and Caf\xE9 (Sheet1 listed twice).
const std::string kExternalSupbook = Str(Body()
                                             .u16(2)               // sheet count
                                             .u16(15)              // file name characters
                                             .u8(0)                // 8-bit characters
                                             .bytes({0x01, 0x01})  // encoded path, volume
                                             .ascii("Cdir")        // drive letter, folder
                                             .u8(0x03)             // folder separator
                                             .ascii("Book.xls")    // file
                                             .u16(6)               // sheet name characters
                                             .u8(0)                // 8-bit characters
                                             .ascii("Sheet1")      // sheet name
                                             .u16(6)               // sheet name characters
                                             .u8(1)                // 16-bit characters
                                             .utf16(u"Sheet1")     // the same sheet again
                                             .u16(4)               // sheet name characters
                                             .u8(0)                // 8-bit characters
                                             .ascii("Caf\xE9"));   // Latin-1 sheet name

std::string ExternName(const std::string& text) {
    return Str(Body()
                   .u16(0)           // option flags
                   .u16(0xFFFE)      // sheet index
                   .u16(0)           // reserved
                   .u8(text.size())  // name characters
                   .u8(0)            // 8-bit characters
                   .ascii(text));    // name
}

std::string ExternSheets(const std::vector<std::array<std::uint16_t, 3>>& entries) {
    return Str(test::ExternSheetBody(entries));
}

std::string NameRecord(std::uint16_t flags, const std::string& chars,
                       const Bytes& definition = {}) {
    return Str(test::NameBody(flags, chars, definition));
}

using test::Area3d;

}  // namespace

TEST(TXLSLinkTableTest, SupbooksListDocumentsInRecordOrder) {
    TXLSLinkTable table;
    ASSERT_EQ(table.DocumentCount(), 1);
    EXPECT_TRUE(table.Document(0).Own);

    table.AddSupbook(kExternalSupbook);
    table.AddSupbook(kSelfSupbook);
    table.AddSupbook(kAddInSupbook);
    ASSERT_EQ(table.DocumentCount(), 3);
    const TXLSLinkDocument& book = table.Document(0);
    EXPECT_EQ(book.FileName, u"C:\\dir\\Book.xls");
    EXPECT_EQ(book.Record, kExternalSupbook);
    ASSERT_EQ(book.SheetNames.Count(), 2u);
    EXPECT_EQ(AnsiToWide(book.SheetNames.Get(1)), u"Caf\u00E9");
    EXPECT_EQ(&table.Document(1), &table.OwnDocument());
    EXPECT_TRUE(table.Document(2).AddIn);
    EXPECT_TRUE(table.Document(2).FileName.empty());

    TXLSLinkTable ownFirst;
    ownFirst.AddSupbook(kSelfSupbook);
    ownFirst.AddSupbook(kExternalSupbook);
    EXPECT_TRUE(ownFirst.Document(0).Own);
    EXPECT_EQ(ownFirst.Document(1).FileName, u"C:\\dir\\Book.xls");
}

TEST(TXLSLinkTableTest, DecodesStoredFileNames) {
    const std::u16string v(1, u'\x01'), same(1, u'\x02'), sep(1, u'\x03');
    const struct {
        std::u16string stored;
        bool eightBit;
        std::u16string path;
    } cases[] = {
        {v + v + u"Cdir" + sep + u"Book.xls", true, u"C:\\dir\\Book.xls"},
        {v + v + u"@server" + sep + u"share" + sep + u"a.xls", true, u"\\\\server\\share\\a.xls"},
        {v + same + u"top" + sep + u"a.xls", false, u"\\top\\a.xls"},
        {v + v + u"D", true, u"D:"},         // no "\" after a drive that ends the name
        {v + u"dir" + sep, true, u"dir"},    // trailing "\" dropped
        {v + u"a.xls" + v, true, u"a.xls"},  // a volume mark that ends the name
        {u"   ", true, u""},
        {u"App" + sep + u"Topic", true, u"App|Topic"},  // DDE link
        {u"App" + sep + u"Topic", false, u"App" + sep + u"Topic"},
        // A parent folder; a volume of its own length (a web address); the program's
        // folders, which show as nothing.
        {v + u"\x04\x04" + u"a.xls", true, u"..\\..\\a.xls"},
        {v + u"\x05\x08http://h" + sep + u"a.xls", true, u"http://h\\a.xls"},
        {v + u"\x05\x20http", true, u"http"},  // a length beyond the name
        {v + u"\x06" + u"a.xls", true, u"a.xls"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TXLSLinkTable::DecodeFileName(c.stored, c.eightBit), c.path);
    }
}

TEST(TXLSLinkTableTest, CutRecordsNeverReadPastTheirEnd) {
    TXLSLinkTable table;
    table.AddExternSheets(ExternSheets({{0, 0, 0}}));
    const std::string name = NameRecord(0, "Total", Area3d(0, 1, 2, 3, 4));
    const std::string externName = ExternName("Rate");
    for (std::size_t size = 0; size < kExternalSupbook.size(); ++size) {
        table.AddSupbook(kExternalSupbook.substr(0, size));
        const TXLSLinkDocument& doc = table.Document(table.DocumentCount() - 1);
        EXPECT_EQ(doc.FileName, size < 20 ? u"" : u"C:\\dir\\Book.xls") << size;
        EXPECT_LE(doc.SheetNames.Count(), 1u) << size;
        if (size <= externName.size()) {
            table.AddExternName(externName.substr(0, size));
            const std::u16string text = doc.Names.back()->Name;
            EXPECT_EQ(text, size < externName.size() ? u"" : u"Rate") << size;
        }
        if (size < name.size()) {
            EXPECT_EQ(table.AddName(name.substr(0, size)), static_cast<int>(size));
            EXPECT_EQ(table.OwnDocument().Names.back()->Areas.RectCount(), 0) << size;
        }
    }
    // A character count far beyond the body.
    table.AddSupbook(Str(Body()
                             .u16(1)          // sheet count
                             .u16(0xFFFF)     // file name characters
                             .u8(1)           // 16-bit characters
                             .ascii("ab")));  // one of them
    EXPECT_TRUE(table.Document(table.DocumentCount() - 1).FileName.empty());
}

TEST(TXLSLinkTableTest, InconsistentLinkRecordsRaiseAndChangeNothing) {
    TXLSLinkTable table;
    ExpectLinkTableError([&] { table.AddExternName(ExternName("Rate")); });
    table.AddSupbook(kSelfSupbook);
    ExpectLinkTableError([&] { table.AddExternName(ExternName("Rate")); });

    const std::string two = ExternSheets({{0, 1, 2}, {3, 4, 5}});
    ExpectLinkTableError([&] { table.AddExternSheets(two.substr(0, 13)); });
    ExpectLinkTableError([&] {
        table.AddExternSheets(Str(Body()
                                      .u16(0xFFFF)  // entry count
                                      .zeros(6)));  // one entry
    });
    table.AddExternSheets(std::string(1, '\x05'));  // no room for a count: ignored
    table.AddExternSheets(ExternSheets({}));
    EXPECT_EQ(table.ExternSheetCount(), 0);
    table.AddExternSheets(two);
    ASSERT_EQ(table.ExternSheetCount(), 2);
    EXPECT_EQ(table.ExternSheet(1).LastSheet, 5);

    ExpectLinkTableError([&] { table.AddName(NameRecord(0, "Bad", Area3d(2, 0, 0, 0, 0))); });
    EXPECT_TRUE(table.OwnDocument().Names.empty());
}

TEST(TXLSLinkTableTest, NamesKeepRecordOrderAndTheirAreas) {
    TXLSLinkTable table;
    table.AddExternSheets(ExternSheets({{0, 1, 1}, {0, 2, 2}}));
    const Bytes titles = Body()
                             .u8(0x29)                                 // memory function
                             .u16(23)                                  // its size
                             .bytes(Area3d(1, 0, 1, 0, 0xFF))          // rows 1-2
                             .bytes(Area3d(0, 0, 0xFFFF, 0, 1, 0x7B))  // columns A-B
                             .u8(0x10)                                 // union ends the scan
                             .bytes(Area3d(0, 5, 5, 5, 5));            // not reached
    const Bytes cell = Body()
                           .u8(0x5A)                       // 3-D reference
                           .u16(1)                         // EXTERNSHEET index
                           .u16(7)                         // row
                           .u16(0xC003)                    // column 3, both relative
                           .bytes(Area3d(0, 1, 2, 3, 4));  // a second token
    EXPECT_EQ(table.AddName(NameRecord(0x0001, "Hidden")), 0);
    EXPECT_EQ(table.AddName(NameRecord(0x0020, "\x06", Area3d(0, 0, 9, 0, 3))), 1);
    EXPECT_EQ(table.AddName(NameRecord(0x0020, "\x07", titles)), 2);
    EXPECT_EQ(table.AddName(NameRecord(0x0000, "Cell", cell)), 3);
    EXPECT_EQ(table.AddName(NameRecord(0x0020, "\x0E")), 4);

    const auto& names = table.OwnDocument().Names;
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0]->Name, u"");
    EXPECT_EQ(names[0]->Sheet, 0);
    EXPECT_EQ(names[1]->Name, u"Print_Area");
    EXPECT_EQ(names[1]->BuiltInCode, 7);
    EXPECT_EQ(names[1]->Sheet, 1);
    ASSERT_EQ(names[1]->Areas.RectCount(), 1);
    EXPECT_EQ(names[1]->Areas.GetRect(0), (TRangeRect{0, 9, 0, 3, 0}));
    EXPECT_EQ(names[2]->Name, u"Print_Titles");
    EXPECT_EQ(names[2]->Sheet, 2);
    ASSERT_EQ(names[2]->Areas.RectCount(), 2);
    EXPECT_EQ(names[2]->Areas.GetRect(1), (TRangeRect{0, 0xFFFF, 0, 1, 0}));
    EXPECT_EQ(names[3]->Sheet, 2);
    ASSERT_EQ(names[3]->Areas.RectCount(), 2);
    EXPECT_EQ(names[3]->Areas.GetRect(0), (TRangeRect{7, 7, 3, 3, 0}));
    EXPECT_EQ(names[3]->Areas.GetRect(1), (TRangeRect{1, 2, 3, 4, 0}));
    EXPECT_EQ(names[4]->BuiltInCode, 0);  // no built-in name has code 0x0E
    EXPECT_EQ(names[4]->Name, u"");
    // A defined-name token that stores 4 names the fourth record's name.
    EXPECT_EQ(table.ReferenceText(rkOwnName, 0, 3), u"Cell");
}

class TXLSLinkTableReferenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char16_t* sheet : {u"Jan", u"Feb", u"Mar", u"Data"}) {
            table.AddSheetName(sheet);
        }
        table.AddSupbook(kSelfSupbook);
        table.AddSupbook(kExternalSupbook);
        table.AddExternName(ExternName("Rate"));
        table.AddSupbook(kAddInSupbook);
        table.AddExternName(ExternName("EFFECT"));
        table.AddExternSheets(ExternSheets({
            {0, 3, 3},            // 0: own sheet Data
            {0, 0, 2},            // 1: own sheets Jan to Mar
            {1, 0, 0},            // 2: external Sheet1
            {2, 0xFFFE, 0xFFFE},  // 3: add-in functions
            {1, 0, 2},            // 4: a sheet the external workbook lacks
            {3, 0, 0},            // 5: no such document
        }));
        table.AddName(NameRecord(0, "Total"));
        table.AddName(NameRecord(0, "My Total"));
        table.AddName(NameRecord(0, "'Quoted name'"));
    }
    TXLSLinkTable table;
};

TEST_F(TXLSLinkTableReferenceTest, BuildsReferenceTexts) {
    EXPECT_EQ(table.ReferenceText(rk3DReference, 0, 0), u"'Data'");
    EXPECT_EQ(table.ReferenceText(rk3DReference, 1, 0), u"'Jan:Mar'");
    EXPECT_EQ(table.ReferenceText(rk3DReference, 2, 0), u"'C:\\dir\\[Book.xls]Sheet1'");
    EXPECT_EQ(table.ReferenceText(rkOwnName, 99, 0), u"Total");
    EXPECT_EQ(table.ReferenceText(rkOwnName, 0, 1), u"'My Total'");
    EXPECT_EQ(table.ReferenceText(rkOwnName, 0, 2), u"'Quoted name'");
    EXPECT_EQ(table.ReferenceText(rkExternName, 2, 0), u"'C:\\dir\\Book.xls'!Rate");
    EXPECT_EQ(table.ReferenceText(rkExternName, 3, 0), u"EFFECT");

    TXLSLinkTable bare;  // a file name without a folder
    bare.AddSupbook(Str(Body()
                            .u16(1)          // sheet count
                            .u16(5)          // file name characters
                            .u8(0)           // 8-bit characters
                            .ascii("B.xls")  // plain file name
                            .u16(2)          // sheet name characters
                            .u8(0)           // 8-bit characters
                            .ascii("S1")));  // sheet name
    bare.AddExternSheets(ExternSheets({{1, 0, 0}}));
    EXPECT_EQ(bare.ReferenceText(rk3DReference, 0, 0), u"'[B.xls]S1'");

    TXLSLinkTable web;  // a workbook given by its address
    const std::string url = "http://host/path/book.xls";
    web.AddSupbook(Str(Body()
                           .u16(1)  // sheet count
                           .u16(static_cast<std::uint16_t>(url.size() + 3))
                           .u8(0)     // 8-bit characters
                           .u8(0x01)  // encoded path: a volume follows
                           .u8(0x05)  // given whole, by its length
                           .u8(static_cast<std::uint8_t>(url.size()))
                           .ascii(url)
                           .u16(6)  // sheet name characters
                           .u8(0)   // 8-bit characters
                           .ascii("Sheet1")));
    web.AddExternSheets(ExternSheets({{1, 0, 0}}));
    EXPECT_EQ(web.ReferenceText(rk3DReference, 0, 0), u"'http://host/path/[book.xls]Sheet1'");
}

TEST_F(TXLSLinkTableReferenceTest, ReferencesOutOfRangeRaise) {
    for (std::uint32_t entry : {3u, 4u, 5u, 6u}) {
        ExpectLinkTableError([&] { table.ReferenceText(rk3DReference, entry, 0); });
    }
    ExpectLinkTableError([&] { table.ReferenceText(rkExternName, 6, 0); });
    ExpectLinkTableError([&] { table.ReferenceText(rkExternName, 2, 1); });
    ExpectLinkTableError([&] { table.ReferenceText(rkOwnName, 0, 3); });
}

// Names the table keeps no text of still show in formulas by the name their record
// stores; a name of one sheet shows its sheet in a formula of another.
TEST_F(TXLSLinkTableReferenceTest, NamesAsFormulasShowThem) {
    table.AddName(NameRecord(0x0003, "_xlfn.IFERROR"));         // 3: hidden function name
    table.AddName(NameRecord(0x0021, std::string(1, '\x0D')));  // 4: hidden built-in
    const Bytes local = Body()
                            .u16(0)    // option flags
                            .u8(0)     // keyboard shortcut
                            .u8(5)     // name characters
                            .u16(0)    // definition size
                            .u16(0)    // reserved
                            .u16(2)    // the name belongs to sheet 2 (Feb)
                            .zeros(4)  // text lengths
                            .u8(0)     // 8-bit characters
                            .ascii("Local");
    table.AddName(Str(local));  // 5
    EXPECT_EQ(table.OwnNameFormulaText(0, 0), u"Total");
    EXPECT_EQ(table.OwnNameFormulaText(1, 0), u"'My Total'");
    EXPECT_EQ(table.OwnNameFormulaText(3, 0), u"_xlfn.IFERROR");
    EXPECT_EQ(table.OwnNameFormulaText(4, 0), u"_FilterDatabase");
    EXPECT_EQ(table.OwnNameFormulaText(5, 1), u"Local");  // on its own sheet
    EXPECT_EQ(table.OwnNameFormulaText(5, 0), u"'Feb'!Local");
    ExpectLinkTableError([&] { table.OwnNameFormulaText(6, 0); });
}

TEST_F(TXLSLinkTableReferenceTest, ResetKeepsExternalLinksAndClearStartsAgain) {
    table.ResetOwnDocument();
    ASSERT_EQ(table.DefinedNames().size(), 3u);  // the names as the read left them
    EXPECT_EQ(table.DefinedNames()[1]->Name, u"My Total");
    ASSERT_EQ(table.DocumentCount(), 3);
    EXPECT_EQ(&table.OwnDocument(), &table.Document(0));
    EXPECT_TRUE(table.OwnDocument().Names.empty());
    EXPECT_EQ(table.ReferenceText(rkExternName, 2, 0), u"'C:\\dir\\Book.xls'!Rate");
    ExpectLinkTableError([&] { table.ReferenceText(rk3DReference, 0, 0); });
    table.AddSheetName(u"Jan");
    table.AddSheetName(u"Jan");
    EXPECT_EQ(table.OwnDocument().SheetNames.Count(), 1u);

    table.Clear();
    EXPECT_TRUE(table.DefinedNames().empty());
    ASSERT_EQ(table.DocumentCount(), 1);
    EXPECT_EQ(&table.OwnDocument(), &table.Document(0));
    EXPECT_TRUE(table.OwnDocument().Own);
    EXPECT_EQ(table.ExternSheetCount(), 0);
    EXPECT_EQ(table.OwnDocument().SheetNames.Count(), 0u);
}
