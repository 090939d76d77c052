// FONT and XF: the decoders cut inside every field, and how a decoded record becomes the
// model's font or XF record.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/read/records/RecordTestSupport.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/read/GlobalsReader.h"
#include "xls/read/records/GlobalsRecords.h"

using namespace vorlix;
using namespace vorlix::records;
using test::Fields;

namespace {

std::string Str(const test::Body& body) {
    return {body.data().begin(), body.data().end()};
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

void LoadFontBody(TVirtualFontTable& fonts, std::string_view body) {
    platform::TByteCursor c(body);
    LoadFont(DecodeFont(c), fonts);
}

void LoadXfBody(TVirtualXFTable& xfs, std::string_view body) {
    platform::TByteCursor c(body);
    LoadXf(DecodeXf(c), xfs);
}

}  // namespace

TEST(FontRecordTest, EachCutGivesDefaults) {
    const std::string body = FontBody({.height = 240,
                                       .options = 0x0A,
                                       .color = 12,
                                       .weight = 700,
                                       .script = 2,
                                       .underline = 1,
                                       .name = u"Tahoma"});
    const auto fields = [](const TFontRecord& r) {
        return Fields(r.HeightTwips, r.Options, r.Color, r.Weight, r.Script, r.Underline, r.Name);
    };
    const test::Bytes bytes(body.begin(), body.end());
    // The family, character set and reserved byte are part of the name's span: a body that
    // ends among them has no name.
    test::ExpectEachCutGivesDefaults(bytes, {2, 4, 6, 8, 10, 11, bytes.size()}, DecodeFont, fields);
    auto whole = test::CursorOver(bytes);
    DecodeFont(whole);
    EXPECT_TRUE(whole.AtEnd());
}

TEST(XfRecordTest, EachCutGivesDefaults) {
    const std::string body = XfBody({.font = 5,
                                     .format = 164,
                                     .protection = 0xFFF5,
                                     .alignment = 90 << 8 | 2 << 4 | 8 | 3,
                                     .indent = 0x23,
                                     .borderStyles = 0x4321,
                                     .sideColors = 10 | 12 << 7,
                                     .topBottomFill = 3u << 26 | 20 << 7 | 9,
                                     .fillColors = 13 | 9 << 7});
    const auto fields = [](const TXfRecord& r) {
        return Fields(r.Font, r.Format, r.Locked, r.StyleXF, r.HAlign, r.Wrap, r.VAlign, r.Rotation,
                      r.Indent, r.BorderStyles[0], r.BorderStyles[3], r.BorderColors[0],
                      r.BorderColors[1], r.BorderColors[2], r.BorderColors[3], r.Pattern,
                      r.PatternForeground, r.PatternBackground);
    };
    const test::Bytes bytes(body.begin(), body.end());
    auto c = test::CursorOver(bytes);
    EXPECT_EQ(fields(DecodeXf(c)),
              Fields(5, 164, true, true, 3, true, 2, 90, 3, 1, 4, 10, 12, 9, 20, 3, 13, 9));
    EXPECT_TRUE(c.AtEnd());
    // Fields that share a stored word end where it ends; the attribute byte after the
    // indent is part of the border styles' span.
    test::ExpectEachCutGivesDefaults(
        bytes, {2, 4, 6, 6, 8, 8, 8, 8, 9, 12, 12, 14, 14, 18, 18, 18, 20, 20}, DecodeXf, fields);
}

TEST(FontRecordTest, SizeRoundsHalfTwipsToEvenAndBoldIsWeight700Only) {
    TVirtualFontTable fonts;
    const std::pair<std::uint32_t, int> sizes[] = {{230, 12}, {250, 12}, {270, 14},
                                                   {209, 10}, {211, 11}, {0, 0}};
    for (const auto& [twips, points] : sizes) {
        LoadFontBody(fonts, FontBody({.height = twips}));
        EXPECT_EQ(RecordGet16(fonts.EditBuffer(), fontrec::kSize16), points) << twips;
    }
    for (const auto& [weight, bold] : {std::pair{400u, 0}, {700u, 1}, {800u, 0}}) {
        LoadFontBody(fonts, FontBody({.weight = weight}));
        EXPECT_EQ(At(fonts.EditBuffer(), fontrec::kBold), bold) << weight;
    }
}

TEST(FontRecordTest, DecodesEveryField) {
    TVirtualFontTable fonts;
    // Option bit 0 is not bold in this format; bold comes from the weight alone.
    LoadFontBody(fonts, FontBody({.options = 0x000B,
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
    LoadFontBody(fonts, FontBody({.name = u"\u5B8B\u4F53", .wide = true}));
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"\u5B8B\u4F53");
    // A short name leaves nothing of a longer one behind.
    LoadFontBody(fonts, FontBody({.name = u"Sy"}));
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"Sy");
}

TEST(FontRecordTest, ShortBodiesAndLongNames) {
    TVirtualFontTable fonts;
    LoadFontBody(fonts, "");
    EXPECT_EQ(RecordGet16(fonts.EditBuffer(), fontrec::kSize16), 0);
    EXPECT_EQ(At(fonts.EditBuffer(), fontrec::kColor), 1);
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"");
    // Name length announced but the characters are cut off: the other fields still count.
    const std::string full = FontBody({.height = 240, .name = u"Verdana", .wide = true});
    LoadFontBody(fonts, std::string_view(full).substr(0, full.size() - 1));
    EXPECT_EQ(RecordGet16(fonts.EditBuffer(), fontrec::kSize16), 12);
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), u"");

    std::u16string longName;
    for (int i = 0; i < 150; ++i)
        longName += static_cast<char16_t>(u'A' + i % 26);
    LoadFontBody(fonts, FontBody({.name = longName.substr(0, 120)}));
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.EditBuffer()), longName.substr(0, 100));
    EXPECT_EQ(fonts.EditBuffer().size(), fontrec::kSize);
    std::string record = TVirtualFontTable::DefaultRecord();
    TVirtualFontTable::SetFontName(record, longName);
    EXPECT_EQ(TVirtualFontTable::GetFontName(record), longName.substr(0, 100));
    EXPECT_EQ(record.size(), fontrec::kSize);
}

TEST(XfRecordTest, DecodesEveryField) {
    TVirtualXFTable xf;
    LoadXfBody(xf, XfBody({}));
    EXPECT_EQ(xf.EditBuffer(), TVirtualXFTable::DefaultRecord());

    LoadXfBody(xf, XfBody({.font = 5,
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

TEST(XfRecordTest, SolidFillShowsItsPatternColourAsTheFill) {
    TVirtualXFTable xf;
    LoadXfBody(xf, XfBody({.topBottomFill = 1u << 26, .fillColors = 10 | 65 << 7}));
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kFillColor), 3);
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kPatternColor), kAutoBackground);
}

TEST(XfRecordTest, ShortBodiesReadMissingFieldsAsZero) {
    TVirtualXFTable xf;
    LoadXfBody(xf, "");
    std::string zeros(xfrec::kSize, '\0');
    for (std::size_t side = 0; side < 4; ++side)
        zeros[xfrec::kBorderColor + side] = 1;
    zeros[xfrec::kPatternColor] = zeros[xfrec::kFillColor] = 1;  // colour code 0
    EXPECT_EQ(xf.EditBuffer(), zeros);
    const std::string full = XfBody({.font = 7, .borderStyles = 0x1111});
    LoadXfBody(xf, std::string_view(full).substr(0, 12));
    EXPECT_EQ(RecordGet16(xf.EditBuffer(), xfrec::kFont), 7);
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kBorderStyle + 3), 1);
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kBorderColor), 1);
    LoadXfBody(xf, std::string_view(full).substr(0, 15));
    EXPECT_EQ(At(xf.EditBuffer(), xfrec::kBorderColor + 2), 1);
}
