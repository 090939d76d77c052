#include <gtest/gtest.h>

#include "tests/read/records/RecordTestSupport.h"
#include "tests/support/WorkbookFixtures.h"
#include "xls/read/records/ValidationRecords.h"

using namespace vorlix;
using namespace vorlix::records;
using test::Body;
using test::Bytes;
using test::Fields;

namespace {

std::vector<std::string> FieldsOf(const TDvRecord& r) {
    std::vector<std::string> f = Fields(r.Options, r.PromptTitle, r.ErrorTitle, r.Prompt,
                                        r.ErrorText, r.Formula1, r.Formula2, r.Areas.size());
    for (const TCellArea& a : r.Areas) {
        for (const std::string& s : Fields(a.FirstRow, a.LastRow, a.FirstCol, a.LastCol))
            f.push_back(s);
    }
    return f;
}

}  // namespace

TEST(ValidationRecordsTest, DecodesEveryPart) {
    const Bytes body = test::DvBody(0x00080183);
    auto c = test::CursorOver(body);
    const TDvRecord r = DecodeDv(c);
    EXPECT_TRUE(c.AtEnd());
    EXPECT_EQ(FieldsOf(r), [] {
        std::vector<std::string> f =
            Fields(0x00080183u, std::u16string(u"Title"), std::u16string(),
                   std::u16string(u"Pick \u00E4"), std::u16string(),
                   std::string_view("\x1E\x05\x00", 3), std::string_view(), std::size_t{2});
        for (int v : {1, 5, 0, 0, 2, 3, 4, 260})
            f.push_back(std::to_string(v));
        return f;
    }());
}

TEST(ValidationRecordsTest, EachCutOfTheFixedPartsGivesDefaults) {
    // Empty texts, so that every field is a fixed one; one area.
    const Body body = Body()
                          .u32(0x00000003)  // options: a list
                          .u16(0)           // prompt title: empty
                          .u16(0)           // error title
                          .u16(0)           // prompt
                          .u16(0)           // error text
                          .u16(1)
                          .u16(0)
                          .u8(0x03)  // formula 1: one token
                          .u16(0)
                          .u16(0)  // formula 2: none
                          .u16(1)  // one area
                          .u16(2)
                          .u16(9)
                          .u16(1)
                          .u16(1);  // B3:B10
    const auto fields = [](const TDvRecord& r) {
        const TCellArea a = r.Areas.empty() ? TCellArea{} : r.Areas[0];
        return Fields(r.Options, r.PromptTitle, r.ErrorTitle, r.Prompt, r.ErrorText, r.Formula1,
                      r.Formula2, a.FirstRow, a.LastCol);
    };
    // A cut inside the area drops it whole: the area count is part of its span.
    test::ExpectEachCutGivesDefaults(body, {4, 6, 8, 10, 12, 17, 21, 31, 31}, DecodeDv, fields);
}

TEST(ValidationRecordsTest, TextsKeepTheCharactersThere) {
    const Body body = Body().u32(0).u16(5).u8(0).ascii("Tit");  // five announced, three there
    auto c = test::CursorOver(body);
    const TDvRecord r = DecodeDv(c);
    EXPECT_EQ(r.PromptTitle, u"Tit");
    EXPECT_TRUE(c.Short());
    EXPECT_EQ(Fields(r.ErrorTitle, r.Formula1, r.Areas.size()),
              Fields(std::u16string(), std::string_view(), std::size_t{0}));
}
