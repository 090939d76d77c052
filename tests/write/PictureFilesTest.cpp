#include "xls/write/PictureFiles.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/write/PictureBytes.h"
#include "xls/model/TPageSetup.h"

namespace vorlix {
namespace {

using test::Bytes;
using test::Get16;
using test::Get32;
using test::MetafileFields;

TPictureFile Make(std::uint8_t type, const Bytes& stored) {
    return MakePictureFile(type, stored.data(), stored.size());
}

Bytes Tail(const Bytes& b, std::size_t from) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.end());
}

// A 2x2 bitmap of 24 bits: two rows of 6 bytes, each padded to 8.
Bytes Rgb24() {
    return test::Dib(2, 2, 24, 0, 0, Bytes(16, 0x7F));
}

TEST(PictureFilesTest, JpegAndPngAreTheStoredFileFoundWhereItStarts) {
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0xFF, 0xD9};
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H'};
    for (const bool secondUid : {false, true}) {
        const TPictureFile j = Make(btJPEG, test::StoredFile(jpeg, secondUid));
        EXPECT_EQ(j.Extension, ".jpg");
        EXPECT_EQ(j.Bytes, jpeg);
        const TPictureFile p = Make(btPNG, test::StoredFile(png, secondUid));
        EXPECT_EQ(p.Extension, ".png");
        EXPECT_EQ(p.Bytes, png);
    }
    // A PNG store entry holding a JPEG is not a PNG file.
    const Bytes stored = test::StoredFile(jpeg);
    const TPictureFile wrong = Make(btPNG, stored);
    EXPECT_EQ(wrong.Extension, ".bin");
    EXPECT_EQ(wrong.Bytes, stored);
    EXPECT_FALSE(wrong.Converted());
}

TEST(PictureFilesTest, BitmapGetsFileSizeAndPixelOffset) {
    struct Case {
        const char* what;
        Bytes dib;
        std::uint32_t offset;
    };
    const Case cases[] = {
        {"24 bits, no colour table", Rgb24(), 14 + 40},
        {"8 bits, 256 colours implied", test::Dib(1, 1, 8, 0, 0, Bytes(1024 + 4, 0)),
         14 + 40 + 1024},
        {"8 bits, 2 colours used", test::Dib(1, 1, 8, 0, 2, Bytes(8 + 4, 0)), 14 + 40 + 8},
        {"1 bit", test::Dib(3, 1, 1, 0, 0, Bytes(8 + 4, 0)), 14 + 40 + 8},
        {"16 bits with three masks", test::Dib(2, 1, 16, 3, 0, Bytes(12 + 4, 0)), 14 + 40 + 12},
        {"32 bits with four masks", test::Dib(1, 1, 32, 6, 0, Bytes(16 + 4, 0)), 14 + 40 + 16},
        {"top-down rows", test::Dib(2, -2, 24, 0, 0, Bytes(16, 0)), 14 + 40},
        {"RLE8", test::Dib(2, 2, 8, 1, 1, Bytes(4 + 6, 0)), 14 + 40 + 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool secondUid : {false, true}) {
            const TPictureFile file = Make(btDIB, test::StoredDib(c.dib, secondUid));
            ASSERT_EQ(file.Extension, ".bmp") << file.Problem;
            EXPECT_EQ(file.Bytes[0], 'B');
            EXPECT_EQ(file.Bytes[1], 'M');
            EXPECT_EQ(Get32(file.Bytes, 2), file.Bytes.size());
            EXPECT_EQ(Get32(file.Bytes, 6), 0u);  // reserved
            EXPECT_EQ(Get32(file.Bytes, 10), c.offset);
            EXPECT_EQ(Tail(file.Bytes, 14), c.dib);
        }
    }
}

TEST(PictureFilesTest, CoreHeaderBitmapHasThreeByteColours) {
    Bytes dib;
    test::Put32(dib, 12);  // header size
    test::Put16(dib, 2);   // width
    test::Put16(dib, 1);   // height
    test::Put16(dib, 1);   // planes
    test::Put16(dib, 4);   // bits
    dib.resize(12 + 16 * 3 + 4, 0);
    const TPictureFile file = Make(btDIB, test::StoredDib(dib));
    ASSERT_TRUE(file.Converted()) << file.Problem;
    EXPECT_EQ(Get32(file.Bytes, 10), 14u + 12 + 48);
}

TEST(PictureFilesTest, BitmapThatCannotBeReadIsKeptAsStored) {
    struct Case {
        const char* what;
        Bytes stored;
    };
    Bytes noMarker = test::StoredDib(Rgb24());
    noMarker[0] = 'X';
    const Case cases[] = {
        {"no marker", noMarker},
        {"only the marker", test::StoredDib({})},
        {"header of an unknown size", test::StoredDib(Bytes{41, 0, 0, 0, 2, 0, 0, 0})},
        {"zero width", test::StoredDib(test::Dib(0, 2, 24, 0, 0, Bytes(16, 0)))},
        {"3 bits per pixel", test::StoredDib(test::Dib(2, 2, 3, 0, 0, Bytes(16, 0)))},
        {"colour table past the end", test::StoredDib(test::Dib(1, 1, 8, 0, 0, Bytes(100, 0)))},
        {"huge colour count", test::StoredDib(test::Dib(1, 1, 8, 0, 0xFFFFFFFF, Bytes(4, 0)))},
        {"JPEG inside", test::StoredDib(test::Dib(2, 2, 24, 4, 0, Bytes(16, 0)))},
        {"RLE4 with 8 bits", test::StoredDib(test::Dib(2, 2, 8, 2, 0, Bytes(1100, 0)))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TPictureFile file = Make(btDIB, c.stored);
        EXPECT_EQ(file.Extension, ".bin");
        EXPECT_EQ(file.Bytes, c.stored);
        EXPECT_FALSE(file.Problem.empty());
    }
}

// The placeable header of a WMF file: key, handle, box, units per inch, reserved, checksum.
void ExpectPlaceableHeader(const Bytes& file, std::int16_t left, std::int16_t top,
                           std::int16_t right, std::int16_t bottom, std::uint16_t inch) {
    ASSERT_GE(file.size(), 22u);
    EXPECT_EQ(Get32(file, 0), 0x9AC6CDD7u);
    EXPECT_EQ(Get16(file, 4), 0);
    EXPECT_EQ(static_cast<std::int16_t>(Get16(file, 6)), left);
    EXPECT_EQ(static_cast<std::int16_t>(Get16(file, 8)), top);
    EXPECT_EQ(static_cast<std::int16_t>(Get16(file, 10)), right);
    EXPECT_EQ(static_cast<std::int16_t>(Get16(file, 12)), bottom);
    EXPECT_EQ(Get16(file, 14), inch);
    EXPECT_EQ(Get32(file, 16), 0u);
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        checksum ^= Get16(file, i);
    EXPECT_EQ(Get16(file, 20), checksum);
}

TEST(PictureFilesTest, WmfIsInflatedBehindAPlaceableHeaderFromItsBounds) {
    // 400 x 300 units over 2540000 EMUs (2.78 inches): 144 units per inch.
    for (const bool secondUid : {false, true}) {
        for (const bool compressed : {true, false}) {
            SCOPED_TRACE(std::to_string(secondUid) + std::to_string(compressed));
            const TPictureFile file =
                Make(btWMF, test::StoredMetafile(
                                btWMF, test::Wmf(),
                                MetafileFields{.Compressed = compressed, .SecondUid = secondUid}));
            ASSERT_EQ(file.Extension, ".wmf") << file.Problem;
            ExpectPlaceableHeader(file.Bytes, 0, 0, 400, 300, 144);
            EXPECT_EQ(Tail(file.Bytes, 22), test::Wmf());
        }
    }
}

TEST(PictureFilesTest, WmfPlaceableHeaderFallsBackOnTheSize) {
    // Bounds beyond 16 bits: the size in twips (2540000 EMUs = 2.78 in = 4000 twips).
    const TPictureFile wide =
        Make(btWMF, test::StoredMetafile(btWMF, test::Wmf(), MetafileFields{.Right = 100000}));
    ASSERT_TRUE(wide.Converted()) << wide.Problem;
    ExpectPlaceableHeader(wide.Bytes, 0, 0, 4000, 3000, 1440);
    // A size beyond 16-bit twips takes coarser units: 100 by 2.08 inches at 180 per inch.
    const TPictureFile huge =
        Make(btWMF,
             test::StoredMetafile(btWMF, test::Wmf(), MetafileFields{.Right = 0, .Cx = 91440000}));
    ASSERT_TRUE(huge.Converted()) << huge.Problem;
    ExpectPlaceableHeader(huge.Bytes, 0, 0, 18000, 375, 180);
    // Neither: the plain metafile, which opens as it is.
    const TPictureFile plain =
        Make(btWMF, test::StoredMetafile(btWMF, test::Wmf(), MetafileFields{.Right = 0, .Cx = 0}));
    EXPECT_EQ(plain.Extension, ".wmf");
    EXPECT_EQ(plain.Bytes, test::Wmf());
}

TEST(PictureFilesTest, WmfWithItsOwnPlaceableHeaderKeepsIt) {
    Bytes placeable;
    test::Put32(placeable, 0x9AC6CDD7);
    placeable.resize(22, 0);
    test::Append(placeable, test::Wmf());
    const TPictureFile file = Make(btWMF, test::StoredMetafile(btWMF, placeable, MetafileFields{}));
    ASSERT_TRUE(file.Converted()) << file.Problem;
    EXPECT_EQ(file.Bytes, placeable);
}

TEST(PictureFilesTest, EmfAndPictAreInflated) {
    for (const bool secondUid : {false, true}) {
        const TPictureFile emf =
            Make(btEMF,
                 test::StoredMetafile(btEMF, test::Emf(), MetafileFields{.SecondUid = secondUid}));
        EXPECT_EQ(emf.Extension, ".emf") << emf.Problem;
        EXPECT_EQ(emf.Bytes, test::Emf());
        const TPictureFile pict =
            Make(btPICT, test::StoredPict(test::Pict(), MetafileFields{.SecondUid = secondUid}));
        ASSERT_EQ(pict.Extension, ".pict") << pict.Problem;
        EXPECT_EQ(Bytes(pict.Bytes.begin(), pict.Bytes.begin() + 512), Bytes(512, 0));
        EXPECT_EQ(Tail(pict.Bytes, 512), test::Pict());
    }
}

TEST(PictureFilesTest, MetafileThatCannotBeReadIsKeptAsStored) {
    struct Case {
        const char* what;
        std::uint8_t type;
        Bytes stored;
    };
    Bytes damaged = test::StoredMetafile(btWMF, test::Wmf(), MetafileFields{});
    damaged[damaged.size() - 6] ^= 0x55;  // inside the deflate data or its checksum
    Bytes cut = test::StoredMetafile(btEMF, test::Emf(), MetafileFields{});
    cut.resize(cut.size() - 4);
    Bytes badCompression = test::StoredMetafile(btEMF, test::Emf(), MetafileFields{});
    badCompression[10 + 16 + 32] = 0x01;
    Bytes wrongMarker = test::StoredMetafile(btWMF, test::Wmf(), MetafileFields{});
    wrongMarker[8] = btEMF;
    Bytes noPictHeader = test::StoredPict(test::Pict(), MetafileFields{});
    noPictHeader[2] = 0;
    const Case cases[] = {
        {"damaged deflate data", btWMF, damaged},
        {"cut short", btEMF, cut},
        {"unknown compression", btEMF, badCompression},
        {"marker of another type", btWMF, wrongMarker},
        {"no picture record header", btPICT, noPictHeader},
        {"more data than stated", btEMF,
         test::StoredMetafile(btEMF, test::Emf(), MetafileFields{.StatedSize = 100})},
        {"an EMF stored as WMF", btWMF, test::StoredMetafile(btWMF, test::Emf(), {})},
        {"a WMF stored as EMF", btEMF, test::StoredMetafile(btEMF, test::Wmf(), {})},
        {"a PICT of three bytes", btPICT, test::StoredPict(Bytes{1, 2, 3}, {})},
        {"unknown type", 9, test::StoredFile(Rgb24())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TPictureFile file = Make(c.type, c.stored);
        EXPECT_EQ(file.Extension, ".bin");
        EXPECT_EQ(file.Bytes, c.stored);
        EXPECT_FALSE(file.Problem.empty());
    }
    EXPECT_EQ(Make(btPNG, {}).Problem, "the picture has no data");
}

TEST(PictureFilesTest, StatedSizeOnlyBoundsTheInflatedData) {
    // A header that claims 200 MiB for a small metafile still gives the metafile (and
    // makes room as the data grows, not for the claim); a claim above the limit is refused.
    const TPictureFile claimed = Make(
        btEMF, test::StoredMetafile(btEMF, test::Emf(), MetafileFields{.StatedSize = 200u << 20}));
    EXPECT_EQ(claimed.Bytes, test::Emf());
    const TPictureFile beyond = Make(
        btEMF, test::StoredMetafile(btEMF, test::Emf(), MetafileFields{.StatedSize = 0xFFFFFFFF}));
    EXPECT_FALSE(beyond.Converted());
    // Inflating stops at the stated size however much the data would make.
    const Bytes big(4 << 20, 0);
    const TPictureFile bomb =
        Make(btEMF, test::StoredMetafile(btEMF, big, MetafileFields{.StatedSize = 1000}));
    EXPECT_FALSE(bomb.Converted());
}

// Every stored picture cut at every length, and with bytes changed at random, gives a
// file or the stored bytes, never a read outside them (the sanitizers watch).
TEST(PictureFilesTest, DamagedBytesNeverReadOutside) {
    const std::pair<std::uint8_t, Bytes> pictures[] = {
        {btDIB, test::StoredDib(test::Dib(1, 1, 8, 0, 2, Bytes(12, 0)))},
        {btWMF, test::StoredMetafile(btWMF, test::Wmf(), {})},
        {btEMF, test::StoredMetafile(btEMF, test::Emf(), {.SecondUid = true})},
        {btPICT, test::StoredPict(test::Pict(), {})},
        {btPNG, test::StoredFile({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, true)},
    };
    std::mt19937 random(13);
    for (const auto& [type, stored] : pictures) {
        for (std::size_t n = 0; n <= stored.size(); ++n) {
            // A copy of exactly n bytes, so that a read past them is one past the block.
            const Bytes cut(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(n));
            const TPictureFile file = Make(type, cut);
            if (!file.Converted()) {
                EXPECT_EQ(file.Bytes, cut);
            }
        }
        for (int round = 0; round < 300; ++round) {
            Bytes changed = stored;
            for (int k = 0; k < 3; ++k)
                changed[random() % changed.size()] = static_cast<std::uint8_t>(random());
            const TPictureFile file = Make(type, changed);
            if (file.Extension == ".bmp") {
                EXPECT_EQ(Get32(file.Bytes, 2), file.Bytes.size());
                EXPECT_LE(Get32(file.Bytes, 10), file.Bytes.size());
            }
        }
    }
}

TEST(PictureFilesTest, SheetNamesBecomeSafeFileNames) {
    EXPECT_EQ(SafeFileNamePart(u"Sheet1"), "Sheet1");
    EXPECT_EQ(SafeFileNamePart(u"Q1/Q2: *plan*?"), "Q1_Q2_ _plan__");
    EXPECT_EQ(SafeFileNamePart(u"a\\b\"c<d>e|f\tg\x7f"), "a_b_c_d_e_f_g_");
    EXPECT_EQ(SafeFileNamePart(u".."), "__");
    EXPECT_EQ(SafeFileNamePart(u".hidden"), "_hidden");
    EXPECT_EQ(SafeFileNamePart(u" padded "), "_padded_");
    EXPECT_EQ(SafeFileNamePart(u""), "Sheet");
    EXPECT_EQ(SafeFileNamePart(u"Übersicht"), "Übersicht");
    // Long names are cut at 100 bytes, never inside a character (ü takes two).
    const std::string cut = SafeFileNamePart(u"a" + std::u16string(80, u'ü'));
    EXPECT_EQ(
        cut, "a" + [] {
            std::string s;
            for (int i = 0; i < 49; ++i)
                s += "ü";
            return s;
        }());
}

TEST(PictureFilesTest, StemNamesSheetCellAndPosition) {
    TXLSImage image;
    image.FirstRow = 2;
    image.FirstCol = 1;
    EXPECT_EQ(PictureFileStem(u"Sheet1", image, 1), "Sheet1_B3_1");
    image.FirstRow = 65535;
    image.FirstCol = 255;
    EXPECT_EQ(PictureFileStem(u"Data/2024", image, 12), "Data_2024_IV65536_12");
    image.FirstRow = -4;
    image.FirstCol = -1;
    EXPECT_EQ(PictureFileStem(u"S", image, 2), "S_A1_2");
}

}  // namespace
}  // namespace vorlix
