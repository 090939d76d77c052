#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/CodePage.h"
#include "platform/SystemColors.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"

using namespace vorlix;

namespace {

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | g << 8 | b << 16;
}

std::uint8_t At(const std::string& record, std::size_t offset) {
    return static_cast<std::uint8_t>(record.at(offset));
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

class PaletteTest : public ::testing::Test {
  protected:
    void TearDown() override { ResetPalette(); }
};

}  // namespace

TEST(XFTableTest, StoreDeduplicatesEdits) {
    TVirtualXFTable xf;
    EXPECT_EQ(xf.Count(), 1);
    EXPECT_EQ(xf.DefaultXF(), 0);
    EXPECT_EQ(xf.RecordAt(0), TVirtualXFTable::DefaultRecord());
    xf.Fetch(0)[xfrec::kWrap] = 1;
    EXPECT_EQ(xf.Store(), 1);
    xf.Fetch(0)[xfrec::kWrap] = 1;  // the same change on another item
    EXPECT_EQ(xf.Store(), 1);
    xf.Fetch(1)[xfrec::kWrap] = 0;
    EXPECT_EQ(xf.Store(), 0);
    EXPECT_EQ(xf.Count(), 2);
}

TEST(FontTableTest, AppendKeepsDuplicatesAndStoreFindsTheFirst) {
    TVirtualFontTable fonts;
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.RecordAt(0)), u"Arial");
    EXPECT_EQ(RecordGet16(fonts.RecordAt(0), fontrec::kSize16), 10);
    EXPECT_EQ(At(fonts.RecordAt(0), fontrec::kColor), kAutoForeground);
    fonts.Reset();
    EXPECT_EQ(fonts.AppendBuffer(), 1);
    fonts.Fetch(1);
    EXPECT_EQ(fonts.Store(), 0);  // unchanged: the first identical record
    fonts.Clear();
    EXPECT_EQ(fonts.Count(), 0);
    EXPECT_EQ(fonts.Store(), 0);
}

TEST(FormatTablesTest, OutOfRangeRaisesListError) {
    TVirtualFontTable fonts;
    TVirtualXFTable xf;
    EXPECT_EQ(ErrorOf([&] { fonts.Fetch(1); }), "List index out of bounds (1)");
    EXPECT_EQ(ErrorOf([&] { xf.Fetch(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(ErrorOf([&] { xf.RecordAt(3); }), "List index out of bounds (3)");
}

TEST(FontTableTest, DescribeRun) {
    const std::uint32_t saved = platform::LibraryCodePage();
    platform::SetLibraryCodePage(platform::kCodePageUtf8);
    TVirtualFontTable fonts;
    EXPECT_EQ(fonts.DescribeRun(1, 5, 0), "1-5(color:000000;size:10;font:Arial;);");
    std::string& r = fonts.Fetch(0);
    r[fontrec::kBold] = r[fontrec::kItalic] = 1;
    const int boldItalic = fonts.Store();
    EXPECT_EQ(fonts.DescribeRun(1, 5, boldItalic),
              "1-5(style:bi;color:000000;size:10;font:Arial;);");
    std::string& edit = fonts.Fetch(0);
    edit = TVirtualFontTable::DefaultRecord();
    RecordSet16(edit, fontrec::kSize16, 9);
    edit[fontrec::kColor] = 3;  // red
    edit[fontrec::kScript] = 1;
    edit[fontrec::kUnderline] = edit[fontrec::kUnderlineStyle] = 1;
    TVirtualFontTable::SetFontName(edit, u"\u5B8B\u4F53");
    const int red = fonts.Store();
    EXPECT_EQ(fonts.DescribeRun(0, 12, red),
              "0-12(style:u;color:0000FF;size:9;font:\xE5\xAE\x8B\xE4\xBD\x93;script:super;);");
    EXPECT_EQ(fonts.DescribeRun(1, 2, -1), "");
    EXPECT_EQ(fonts.DescribeRun(1, 2, fonts.Count()), "");
    platform::SetLibraryCodePage(saved);
}

TEST(XFTableTest, LocateDefaultXFFindsTheFirstPlainCellXFOrAppendsOne) {
    std::string styleXF = TVirtualXFTable::DefaultRecord();
    styleXF[xfrec::kStyleXF] = 1;
    TVirtualXFTable xf;
    xf.Clear();
    for (int i = 0; i < 3; ++i) {
        xf.EditBuffer() = styleXF;
        xf.AppendBuffer();
    }
    for (int i = 0; i < 2; ++i) {
        xf.Reset();
        xf.AppendBuffer();
    }
    xf.LocateDefaultXF();
    EXPECT_EQ(xf.DefaultXF(), 3);
    EXPECT_EQ(xf.Count(), 5);

    xf.Clear();
    xf.EditBuffer() = styleXF;
    xf.AppendBuffer();
    xf.LocateDefaultXF();
    EXPECT_EQ(xf.DefaultXF(), 1);
    EXPECT_EQ(xf.RecordAt(1), TVirtualXFTable::DefaultRecord());
}

TEST(XFTableTest, PlainXFIgnoresAlignmentColoursAndFont) {
    struct Change {
        std::size_t offset;
        char value;
        bool plain;
    };
    const Change changes[] = {{xfrec::kNumberFormat, 1, false},
                              {xfrec::kNumberFormat + 1, 1, false},
                              {xfrec::kWrap, 1, false},
                              {xfrec::kPattern, 2, false},
                              {xfrec::kMerged, 1, false},
                              {xfrec::kIndent, 1, false},
                              {xfrec::kLocked, 0, false},
                              {xfrec::kBorderStyle, 1, false},
                              {xfrec::kBorderStyle + 3, 1, false},
                              {xfrec::kFont, 4, true},
                              {xfrec::kHAlign, 3, true},
                              {xfrec::kVAlign, 0, true},
                              {xfrec::kRotation, 90, true},
                              {xfrec::kFillColor, 3, true},
                              {xfrec::kBorderColor + 2, 3, true},
                              {xfrec::kStyleXF, 1, true}};
    TVirtualXFTable xf;
    EXPECT_TRUE(xf.IsPlainXF(0));
    for (const Change& c : changes) {
        xf.Fetch(0)[c.offset] = c.value;
        EXPECT_EQ(xf.IsPlainXF(xf.Store()), c.plain) << "offset " << c.offset;
    }
}

TEST_F(PaletteTest, DefaultsAndColourCodes) {
    EXPECT_EQ(PaletteColor(1), 0u);
    EXPECT_EQ(PaletteColor(3), Rgb(0xFF, 0, 0));
    EXPECT_EQ(PaletteColor(22), Rgb(0xFF, 0x80, 0x80));
    EXPECT_EQ(PaletteColor(56), Rgb(0x33, 0x33, 0x33));
    EXPECT_EQ(PaletteColor(57), 0u);
    EXPECT_EQ(PaletteColor(59), 0u);
    SetPaletteColor(0, 0x123456);  // ignored
    SetPaletteColor(3, 0x123456);
    EXPECT_EQ(PaletteColor(3), 0x123456u);
    ResetPalette();
    EXPECT_EQ(PaletteColor(3), Rgb(0xFF, 0, 0));

    const std::pair<std::uint32_t, int> codes[] = {{8, 1}, {63, 56}, {64, 57}, {65, 58},
                                                   {7, 1}, {66, 1},  {0, 1},   {0x7FFF, 1}};
    for (const auto& [code, index] : codes)
        EXPECT_EQ(PaletteIndexFromBIFF(code), index) << code;
}

TEST_F(PaletteTest, NearestIndexPrefersTheFirstOfEquallyNearEntries) {
    EXPECT_EQ(NearestPaletteIndex(Rgb(0xFF, 0xFF, 0)), 6);  // also entry 27
    EXPECT_EQ(NearestPaletteIndex(Rgb(0, 0, 0xFF)), 5);     // also entry 32
    EXPECT_EQ(NearestPaletteIndex(Rgb(0xF0, 0x10, 0x08)), 3);
    // The high bit names a system colour: 5 is the window background, white.
    EXPECT_EQ(platform::SystemColor(1), Rgb(58, 110, 165));
    EXPECT_EQ(platform::SystemColor(99), 0u);
    EXPECT_EQ(NearestPaletteIndex(0x80000005), 2);

    // Distances are compared after rounding: 2.0 and 1.73 are equally near.
    SetPaletteColor(3, Rgb(102, 100, 100));
    SetPaletteColor(4, Rgb(101, 101, 101));
    EXPECT_EQ(NearestPaletteIndex(Rgb(100, 100, 100)), 3);
    SetPaletteColor(5, Rgb(100, 100, 100));
    EXPECT_EQ(NearestPaletteIndex(Rgb(100, 100, 100)), 5);
}
