#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/CodePage.h"
#include "platform/SystemColors.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"

using namespace vorlix;

namespace {

std::string Str(const test::Body& body) {
    return {body.data().begin(), body.data().end()};
}

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | g << 8 | b << 16;
}

struct FontFields {
    std::uint32_t height = 200;
    std::uint32_t options = 0;
    std::uint32_t color = 0x7FFF;
    std::uint32_t weight = 400;
    std::uint32_t script = 0;
    std::uint32_t underline = 0;
    std::u16string name = u"Arial";
    bool wide = false;
};

std::string FontBody(const FontFields& f) {
    test::Body b;
    b.u16(f.height)           // height in twips
        .u16(f.options)       // options: 2 italic, 8 strike-out
        .u16(f.color)         // colour code
        .u16(f.weight)        // weight: 400 normal, 700 bold
        .u16(f.script)        // script: 1 superscript, 2 subscript
        .u8(f.underline)      // underline style
        .u8(2)                // family
        .u8(0)                // character set
        .u8(0)                // reserved
        .u8(f.name.size())    // name length in characters
        .u8(f.wide ? 1 : 0);  // string flags: bit 0 UTF-16
    if (f.wide) {
        b.utf16(f.name);  // name, UTF-16LE
    } else {
        for (char16_t c : f.name)
            b.u8(c);  // name, one byte per character
    }
    return Str(b);
}

// The defaults decode to the model's default XF record.
struct XfFields {
    std::uint32_t font = 0;
    std::uint32_t format = 0;
    std::uint32_t protection = 0x0001;
    std::uint32_t alignment = 0x0020;
    std::uint32_t indent = 0;
    std::uint32_t borderStyles = 0;
    std::uint32_t sideColors = 65 | 65 << 7;
    std::uint32_t topBottomFill = 65 | 65 << 7;
    std::uint32_t fillColors = 64 | 65 << 7;
};

std::string XfBody(const XfFields& f) {
    return Str(test::Body()
                   .u16(f.font)           // font index
                   .u16(f.format)         // format index
                   .u16(f.protection)     // 1 locked, 4 style XF, 0xFFF0 parent
                   .u16(f.alignment)      // horizontal 0-2, wrap 3, vertical 4-6, rotation 8-15
                   .u8(f.indent)          // indent 0-3, shrink 4, merge 5
                   .u8(0)                 // attributes used
                   .u16(f.borderStyles)   // left, right, top, bottom nibbles
                   .u16(f.sideColors)     // left colour 0-6, right colour 7-13
                   .u32(f.topBottomFill)  // top 0-6, bottom 7-13, diagonal, pattern 26-31
                   .u16(f.fillColors));   // pattern colour 0-6, pattern background 7-13
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

TEST(FontTableTest, SizeRoundsHalfTwipsToEvenAndBoldIsWeight700Only) {
    TVirtualFontTable fonts;
    const std::pair<std::uint32_t, int> sizes[] = {{230, 12}, {250, 12}, {270, 14},
                                                   {209, 10}, {211, 11}, {0, 0}};
    for (const auto& [twips, points] : sizes) {
        fonts.DecodeFontRecord(FontBody({.height = twips}));
        EXPECT_EQ(RecordGet16(fonts.EditBuffer(), fontrec::kSize16), points) << twips;
    }
    for (const auto& [weight, bold] : {std::pair{400u, 0}, {700u, 1}, {800u, 0}}) {
        fonts.DecodeFontRecord(FontBody({.weight = weight}));
        EXPECT_EQ(At(fonts.EditBuffer(), fontrec::kBold), bold) << weight;
    }
}

TEST(FontTableTest, DecodesEveryField) {
    TVirtualFontTable fonts;
    // Option bit 0 is not bold in this format; bold comes from the weight alone.
    fonts.DecodeFontRecord(FontBody({.options = 0x000B,
                                     .color = 10,
                                     .script = 0x0102,
                                     .underline = 0x22,
                                     .name = u"Caf\u00E9"}));
    const std::string& r = fonts.EditBuffer();
    ASSERT_EQ(r.size(), fontrec::kSize);
    EXPECT_EQ(At(r, fontrec::kBold), 0);
    EXPECT_EQ(At(r, fontrec::kItalic), 1);
    EXPECT_EQ(At(r, fontrec::kStrikeOut), 1);
    EXPECT_EQ(At(r, fontrec::kUnderline), 1);
    EXPECT_EQ(At(r, fontrec::kUnderlineStyle), 0x22);
    EXPECT_EQ(At(r, fontrec::kScript), 2);  // low byte of the field
    EXPECT_EQ(At(r, fontrec::kColor), 3);
    EXPECT_EQ(TVirtualFontTable::GetFontName(r), u"Caf\u00E9");  // 8-bit names are Latin-1
    fonts.DecodeFontRecord(FontBody({.name = u"\u5B8B\u4F53", .wide = true}));
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"\u5B8B\u4F53");
    // A short name leaves nothing of a longer one behind.
    fonts.DecodeFontRecord(FontBody({.name = u"Sy"}));
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"Sy");
}

TEST(FontTableTest, ShortBodiesAndLongNames) {
    TVirtualFontTable fonts;
    fonts.DecodeFontRecord("");
    EXPECT_EQ(RecordGet16(fonts.EditBuffer(), fontrec::kSize16), 0);
    EXPECT_EQ(At(fonts.EditBuffer(), fontrec::kColor), 1);
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"");
    // Name length announced but the characters are cut off: the other fields still count.
    const std::string full = FontBody({.height = 240, .name = u"Verdana", .wide = true});
    fonts.DecodeFontRecord(std::string_view(full).substr(0, full.size() - 1));
    EXPECT_EQ(RecordGet16(fonts.EditBuffer(), fontrec::kSize16), 12);
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"");

    std::u16string longName;
    for (int i = 0; i < 150; ++i)
        longName += static_cast<char16_t>(u'A' + i % 26);
    fonts.DecodeFontRecord(FontBody({.name = longName.substr(0, 120)}));
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), longName.substr(0, 100));
    EXPECT_EQ(fonts.EditBuffer().size(), fontrec::kSize);
    std::string record = TVirtualFontTable::DefaultRecord();
    TVirtualFontTable::SetFontName(record, longName);
    EXPECT_EQ(TVirtualFontTable::GetFontName(record), longName.substr(0, 100));
    EXPECT_EQ(record.size(), fontrec::kSize);
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
    fonts.DecodeFontRecord(FontBody({.height = 180,
                                     .color = 10,
                                     .script = 1,
                                     .underline = 1,
                                     .name = u"\u5B8B\u4F53",
                                     .wide = true}));
    const int red = fonts.Store();
    EXPECT_EQ(fonts.DescribeRun(0, 12, red),
              "0-12(style:u;color:0000FF;size:9;font:\xE5\xAE\x8B\xE4\xBD\x93;script:super;);");
    EXPECT_EQ(fonts.DescribeRun(1, 2, -1), "");
    EXPECT_EQ(fonts.DescribeRun(1, 2, fonts.Count()), "");
    platform::SetLibraryCodePage(saved);
}

TEST(XFTableTest, DecodesEveryField) {
    TVirtualXFTable xf;
    xf.DecodeXFRecord(XfBody({}));
    EXPECT_EQ(xf.EditBuffer(), TVirtualXFTable::DefaultRecord());

    xf.DecodeXFRecord(XfBody({.font = 5,
                              .format = 164,
                              .protection = 0xFFF4,                   // style XF, not locked
                              .alignment = 90 << 8 | 1 << 4 | 8 | 3,  // right, wrap, centre
                              .indent = 0x23,                         // indent 3 + shrink flag
                              .borderStyles = 0x4321,
                              .sideColors = 10 | 12 << 7,
                              .topBottomFill = 3u << 26 | 20 << 14 | 63 << 7 | 9,
                              .fillColors = 13 | 9 << 7}));
    const std::string& r = xf.EditBuffer();
    ASSERT_EQ(r.size(), xfrec::kSize);
    EXPECT_EQ(RecordGet16(r, xfrec::kFont), 5);
    EXPECT_EQ(RecordGet16(r, xfrec::kNumberFormat), 164);
    EXPECT_EQ(At(r, xfrec::kLocked), 0);
    EXPECT_EQ(At(r, xfrec::kStyleXF), 1);
    EXPECT_EQ(At(r, xfrec::kHAlign), 3);
    EXPECT_EQ(At(r, xfrec::kWrap), 1);
    EXPECT_EQ(At(r, xfrec::kVAlign), 1);
    EXPECT_EQ(At(r, xfrec::kRotation), 90);
    EXPECT_EQ(At(r, xfrec::kIndent), 3);
    EXPECT_EQ(At(r, xfrec::kMerged), 0);
    EXPECT_EQ(r.substr(xfrec::kBorderStyle, 4), std::string("\1\2\3\4"));
    EXPECT_EQ(r.substr(xfrec::kBorderColor, 4), std::string("\3\5\2\x38"));
    EXPECT_EQ(At(r, xfrec::kPattern), 3);
    EXPECT_EQ(At(r, xfrec::kPatternColor), 6);  // not solid: colours stay in place
    EXPECT_EQ(At(r, xfrec::kFillColor), 2);
}

TEST(XFTableTest, SolidFillShowsItsPatternColourAsTheFill) {
    TVirtualXFTable xf;
    xf.DecodeXFRecord(XfBody({.topBottomFill = 1u << 26, .fillColors = 10 | 65 << 7}));
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kFillColor), 3);
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kPatternColor), kAutoBackground);
}

TEST(XFTableTest, ShortBodiesReadMissingFieldsAsZero) {
    TVirtualXFTable xf;
    xf.DecodeXFRecord("");
    std::string zeros(xfrec::kSize, '\0');
    for (std::size_t side = 0; side < 4; ++side)
        zeros[xfrec::kBorderColor + side] = 1;
    zeros[xfrec::kPatternColor] = zeros[xfrec::kFillColor] = 1;  // colour code 0
    EXPECT_EQ(xf.EditBuffer(), zeros);
    const std::string full = XfBody({.font = 7, .borderStyles = 0x1111});
    xf.DecodeXFRecord(std::string_view(full).substr(0, 12));
    EXPECT_EQ(RecordGet16(xf.EditBuffer(), xfrec::kFont), 7);
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kBorderStyle + 3), 1);
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kBorderColor), 1);
    xf.DecodeXFRecord(std::string_view(full).substr(0, 15));
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kBorderColor + 2), 1);
}

TEST(XFTableTest, LocateDefaultXFFindsTheFirstPlainCellXFOrAppendsOne) {
    TVirtualXFTable xf;
    xf.Clear();
    for (int i = 0; i < 3; ++i) {
        xf.Reset();
        xf.DecodeXFRecord(XfBody({.protection = 0xFFF5}));  // style XFs
        xf.AppendBuffer();
    }
    for (int i = 0; i < 2; ++i) {
        xf.Reset();
        xf.DecodeXFRecord(XfBody({}));
        xf.AppendBuffer();
    }
    xf.LocateDefaultXF();
    EXPECT_EQ(xf.DefaultXF(), 3);
    EXPECT_EQ(xf.Count(), 5);

    xf.Clear();
    xf.DecodeXFRecord(XfBody({.protection = 0xFFF5}));
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
