#include <gtest/gtest.h>

#include "tests/read/records/RecordTestSupport.h"
#include "tests/support/WorkbookFixtures.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/read/records/HyperlinkRecords.h"

using namespace vorlix;
using namespace vorlix::records;
using test::Body;
using test::Bytes;
using test::Fields;

namespace {

THyperlinkRecord Decode(const Bytes& body) {
    auto c = test::CursorOver(body);
    THyperlinkRecord r = DecodeHyperlink(c);
    EXPECT_TRUE(c.AtEnd());
    return r;
}

// Every body shorter than the whole is refused: each part the flags announce must be
// there whole.
void ExpectEveryCutRefused(const Bytes& body) {
    for (std::size_t n = 0; n < body.size(); ++n) {
        const Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(n));
        auto c = test::CursorOver(cut);
        EXPECT_THROW(DecodeHyperlink(c), EXLSError) << "cut to " << n << " bytes";
    }
}

}  // namespace

TEST(HyperlinkRecordsTest, WebAddressAndItsRange) {
    const Bytes url = test::UrlLink(1, 4, 2, 3, u"http://example.com/");
    const THyperlinkRecord r = Decode(url);
    EXPECT_EQ(Fields(r.FirstRow, r.LastRow, r.FirstCol, r.LastCol, r.Kind, r.Text),
              Fields(1, 4, 2, 3, +hkURL, std::u16string(u"http://example.com/")));
    ExpectEveryCutRefused(url);
}

TEST(HyperlinkRecordsTest, FileKeepsItsShortPathAsStoredAndItsLongPath) {
    const Bytes both = test::FileLink("BUCHER~1.XLS", u"C:\\Docs\\B\u00FCcher.xls");
    const THyperlinkRecord r = Decode(both);
    EXPECT_EQ(Fields(r.Kind, r.ShortPath, r.HasLongPath, r.Text),
              Fields(+hkFile, std::string_view("BUCHER~1.XLS\0", 13), true,
                     std::u16string(u"C:\\Docs\\B\u00FCcher.xls")));
    ExpectEveryCutRefused(both);
    const Bytes shortOnly = test::FileLink("a.xls", u"");
    const THyperlinkRecord alone = Decode(shortOnly);
    EXPECT_EQ(Fields(alone.ShortPath, alone.HasLongPath, alone.Text),
              Fields(std::string_view("a.xls\0", 6), false, std::u16string()));
}

TEST(HyperlinkRecordsTest, NetworkPathAndPlaceSkipDisplayAndFrameNames) {
    Body network = test::HLinkHead(0, 0, 0, 0, test::kMonikerSavedAsText | test::kHasMoniker);
    test::CountedChars(network, u"\\\\server\\f.xls");
    EXPECT_EQ(Fields(Decode(network).Kind, Decode(network).Text),
              Fields(+hkNetwork, std::u16string(u"\\\\server\\f.xls")));
    ExpectEveryCutRefused(network);

    Body place = test::HLinkHead(0, 0, 0, 0,
                                 test::kHasDisplayName | test::kSiteGaveDisplayName |
                                     test::kHasFrameName | test::kHasLocation);
    test::CountedChars(place, u"Go there");
    test::CountedChars(place, u"_top");
    test::CountedChars(place, u"Sheet2!B2");
    EXPECT_EQ(Fields(Decode(place).Kind, Decode(place).Text),
              Fields(+hkLocation, std::u16string(u"Sheet2!B2")));
    ExpectEveryCutRefused(place);
}

TEST(HyperlinkRecordsTest, UnknownMonikerIsRefused) {
    Bytes other = test::UrlLink(0, 0, 0, 0, u"http://x");
    other[32] ^= 0x01;  // the moniker's class id
    auto c = test::CursorOver(other);
    EXPECT_THROW(DecodeHyperlink(c), EXLSError);
}
