#include <gtest/gtest.h>

#include <vector>

#include "tests/read/records/RecordTestSupport.h"
#include "xls/read/Decryption.h"
#include "xls/read/RecordIds.h"
#include "xls/read/records/GlobalsRecords.h"

using namespace vorlix;
using namespace vorlix::records;
using test::Body;
using test::CursorOver;
using test::Fields;

// The tests build their records with the reader's own ids, so a few are written out here
// as the published format gives them: a wrong entry in the list cannot pass unseen.
TEST(RecordIdsTest, IdsAndNamesAreThoseOfThePublishedFormat) {
    const std::pair<std::uint16_t, const char*> published[] = {{rec::kFormula, "FORMULA"},
                                                               {rec::kEof, "EOF"},
                                                               {rec::kLbl, "LBL"},
                                                               {rec::kContinue, "CONTINUE"},
                                                               {rec::kBoundSheet8, "BOUNDSHEET"},
                                                               {rec::kXf, "XF"},
                                                               {rec::kMergeCells, "MERGECELLS"},
                                                               {rec::kSst, "SST"},
                                                               {rec::kLabelSst, "LABELSST"},
                                                               {rec::kHLink, "HLINK"},
                                                               {rec::kNumber, "NUMBER"},
                                                               {rec::kString, "STRING"},
                                                               {rec::kRk, "RK"},
                                                               {rec::kFormat, "FORMAT"},
                                                               {rec::kShrFmla, "SHRFMLA"},
                                                               {rec::kBof, "BOF"}};
    const std::uint16_t ids[] = {0x0006, 0x000A, 0x0018, 0x003C, 0x0085, 0x00E0, 0x00E5, 0x00FC,
                                 0x00FD, 0x01B8, 0x0203, 0x0207, 0x027E, 0x041E, 0x04BC, 0x0809};
    for (std::size_t i = 0; i < std::size(ids); ++i) {
        EXPECT_EQ(published[i].first, ids[i]) << published[i].second;
        EXPECT_EQ(rec::RecordName(ids[i]), published[i].second);
    }
    EXPECT_EQ(rec::RecordName(0x7FFF), "");
}

TEST(GlobalsRecordsTest, BofAndBoundSheet) {
    const Body bof = Body()
                         .u16(0x0600)  // BIFF8
                         .u16(0x0010)  // a worksheet follows
                         .u16(0x0DBB)  // build
                         .u16(1996);   // year
    const auto bofFields = [](const TBofRecord& r) { return Fields(r.Version, r.Type); };
    auto c = CursorOver(bof);
    EXPECT_EQ(bofFields(DecodeBof(c)), Fields(0x600, 0x10));

    const Body sheet = Body()
                           .u32(2048)    // stream position of the sheet's BOF
                           .u16(0x0001)  // hidden worksheet
                           .u8(5)        // character count
                           .u8(1)        // UTF-16 characters
                           .utf16(u"Daten");
    const auto sheetFields = [](const TBoundSheetRecord& r) {
        return Fields(r.Position, r.Options, r.Name);
    };
    auto d = CursorOver(sheet);
    EXPECT_EQ(sheetFields(DecodeBoundSheet(d)), Fields(2048, 1, std::u16string(u"Daten")));
    test::ExpectEachCutGivesDefaults(sheet, {4, 6, 18}, DecodeBoundSheet, sheetFields);
}

TEST(GlobalsRecordsTest, FormatAndPalette) {
    const Body format = Body()
                            .u16(164)  // format index
                            .u16(10)   // character count
                            .u8(0)     // 8-bit characters
                            .ascii("yyyy-mm-dd");
    const auto formatFields = [](const TFormatRecord& r) { return Fields(r.Index, r.Text); };
    test::ExpectEachCutGivesDefaults(format, {2, 15}, DecodeFormat, formatFields);

    const Body palette = Body()
                             .u16(3)           // colour count
                             .u32(0x000000FF)  // red, as 0x00BBGGRR
                             .u32(0x0000FF00)  // green
                             .u16(0xFFFF);     // the third colour, cut short
    auto c = CursorOver(palette);
    EXPECT_EQ(DecodePalette(c), (std::vector<std::uint32_t>{0xFF, 0xFF00}));
    EXPECT_TRUE(c.Short());
}

TEST(GlobalsRecordsTest, FilePass) {
    Body body;
    body.u16(1)   // RC4
        .u16(1)   // major version
        .u16(1);  // minor version: RC4 without the CryptoAPI
    for (int block = 0; block < 3; ++block) {
        for (int i = 0; i < 16; ++i)
            body.u8(static_cast<std::uint32_t>(block * 16 + i));  // salt, verifier, its hash
    }
    const auto fields = [](const TFilePass& f) {
        return Fields(f.EncryptionType, f.MajorVersion, f.MinorVersion, f.Salt[15],
                      f.EncryptedVerifier[15], f.EncryptedVerifierHash[15]);
    };
    auto c = CursorOver(body);
    EXPECT_EQ(fields(DecodeFilePass(c)), Fields(1, 1, 1, 15, 31, 47));
    // A cut keeps the bytes of a block that are there; the last byte of each is the
    // field's end.
    test::ExpectEachCutGivesDefaults(body, {2, 4, 6, 22, 38, 54}, DecodeFilePass, fields);
}

// Shared strings go on across CONTINUE bodies: characters with their width said again,
// formatting runs and far-east data skipped wherever they are cut.
TEST(GlobalsRecordsTest, SharedStringsAcrossContinueBodies) {
    const test::JoinedBodies joined{
        Body()
            .u32(4)  // references
            .u32(4)  // unique strings
            .u16(5)
            .u8(0x08)  // 8-bit, formatting runs
            .u16(1)    // one run
            .ascii("Hel"),
        Body().u8(0x01).utf16(u"l\u00F6").u16(0),  // 16-bit rest, half of its run
        Body()
            .u16(1)  // the run's other half
            .u16(2)
            .u8(0x04)  // 8-bit, far-east data
            .u32(3)
            .ascii("ab")
            .u8(1)
            .u8(2)
            .u8(3),
        Body().u16(1).u8(0).ascii("z")};
    TRecordCursor c = joined.Cursor();
    std::vector<TSstString> out;
    DecodeSst(c, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(Fields(out[0].Text, out[0].Wide), Fields(std::u16string(u"Hell\u00F6"), true));
    EXPECT_EQ(Fields(out[1].Text, out[1].Wide), Fields(std::u16string(u"ab"), false));
    EXPECT_EQ(Fields(out[2].Text, out[2].Wide), Fields(std::u16string(u"z"), false));
    EXPECT_FALSE(c.Short());
}

TEST(GlobalsRecordsTest, SharedStringsCutShortKeepWhatIsThere) {
    // Characters cut by the record's end: the string keeps those there, and ends the table.
    const test::JoinedBodies cut{Body().u32(2).u32(2).u16(4).u8(0).ascii("ab")};
    TRecordCursor c = cut.Cursor();
    std::vector<TSstString> out;
    DecodeSst(c, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Text, u"ab");
    // A header cut after its count, or runs the record does not hold, end it too.
    for (const Body& body : {Body().u32(1).u32(1).u16(3),
                             Body().u32(1).u32(1).u16(1).u8(0x08).u16(5).ascii("a").u32(0)}) {
        const test::JoinedBodies one{body};
        TRecordCursor d = one.Cursor();
        std::vector<TSstString> strings;
        DecodeSst(d, strings);
        EXPECT_LE(strings.size(), 1u);
        EXPECT_FALSE(d.Short());
    }
}
