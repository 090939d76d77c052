#include <gtest/gtest.h>

#include "platform/CaseFolding.h"

using namespace vorlix::platform;

TEST(CaseFoldingTest, FoldsLettersOfEveryScriptToOneForm) {
    const std::pair<char32_t, char32_t> pairs[] = {
        {U'A', U'a'},
        {U'\u00DC', U'\u00FC'},  // Ü
        {U'\u0178', U'\u00FF'},  // Ÿ, far from its lower case
        {U'\u0130', U'\u0130'},  // İ has no one-character folding
        {U'\u01C5', U'\u01C6'},  // title-case Dž
        {U'\u03A3', U'\u03C3'},
        {U'\u03C2', U'\u03C3'},  // Σ and final ς
        {U'\u0410', U'\u0430'},
        {U'\u0531', U'\u0561'},  // Cyrillic А, Armenian Ա
        {U'\u1E9E', U'\u00DF'},
        {U'\u212A', U'k'},  // capital ẞ, Kelvin sign
        {U'\u13F8', U'\u13F0'},
        {U'\uAB70', U'\u13A0'},  // Cherokee folds to its capitals
        {U'\U00010400', U'\U00010428'},
        {U'\U0001E900', U'\U0001E922'},  // Deseret, Adlam
        {U'1', U'1'},
        {U'\u00DF', U'\u00DF'},
        {U'\u4E2D', U'\u4E2D'},
    };
    for (const auto& [from, to] : pairs)
        EXPECT_EQ(static_cast<std::uint32_t>(FoldCase(from)), static_cast<std::uint32_t>(to))
            << std::hex << static_cast<std::uint32_t>(from);
    // Folding twice changes nothing: every folded form is its own folding.
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        ASSERT_EQ(FoldCase(FoldCase(c)), FoldCase(c)) << std::hex << static_cast<std::uint32_t>(c);
}

TEST(CaseFoldingTest, Utf8TextKeepsWhatIsNotValidUtf8) {
    EXPECT_EQ(FoldCaseUtf8("M\xC3\x9CLLER \xCE\xA9MEGA"), "m\xC3\xBCller \xCF\x89mega");
    EXPECT_EQ(FoldCaseUtf8("\xF0\x90\x90\x80"), "\xF0\x90\x90\xA8");
    // Stray, truncated, overlong and surrogate sequences pass byte by byte.
    EXPECT_EQ(FoldCaseUtf8("A\xFF"
                           "B\xC3"),
              "a\xFF"
              "b\xC3");
    EXPECT_EQ(FoldCaseUtf8("\xC0\xC1"
                           "A"),
              "\xC0\xC1"
              "a");
    EXPECT_EQ(FoldCaseUtf8("\xED\xA0\x80"
                           "A"),
              "\xED\xA0\x80"
              "a");
    EXPECT_EQ(FoldCaseUtf8(std::string("A\0B", 3)), std::string("a\0b", 3));
}
