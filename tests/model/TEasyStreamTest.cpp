#include <gtest/gtest.h>

#include "xls/model/TEasyStream.h"

using vorlix::TEasyStream;

namespace {

TEasyStream StreamOf(std::initializer_list<std::uint8_t> bytes) {
    TEasyStream s;
    for (std::uint8_t b : bytes)
        s.WriteByte(b);
    s.SetPosition(0);
    return s;
}

}  // namespace

TEST(TEasyStreamTest, TypedReadsAreLittleEndian) {
    TEasyStream s = StreamOf({0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12});
    std::uint8_t b = 0;
    std::uint16_t w = 0;
    std::uint32_t d = 0;
    EXPECT_TRUE(s.ReadByte(b));
    EXPECT_TRUE(s.ReadWord(w));
    EXPECT_TRUE(s.ReadDWord(d));
    EXPECT_EQ(b, 0x01);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(d, 0x12345678u);
    EXPECT_EQ(s.Remaining(), 0);
}

TEST(TEasyStreamTest, ShortReadsDeliverWhatIsLeftAndReportFailure) {
    TEasyStream s = StreamOf({0xAB, 0xCD, 0xEF});
    std::uint32_t d = 0xFFFFFFFF;
    EXPECT_FALSE(s.ReadDWord(d));
    EXPECT_EQ(d, 0x00EFCDABu);  // the missing byte reads as zero
    std::uint16_t w = 0xFFFF;
    EXPECT_FALSE(s.ReadWord(w));
    EXPECT_EQ(w, 0);
    std::uint8_t buf[4] = {9, 9, 9, 9};
    s.SetPosition(2);
    EXPECT_FALSE(s.ReadBytes(buf, 4));
    EXPECT_EQ(buf[0], 0xEF);
    EXPECT_EQ(buf[1], 9);
}

TEST(TEasyStreamTest, ReadStringNeedsAllBytesOrLeavesTheStringAlone) {
    TEasyStream s = StreamOf({'a', 'b', 'c'});
    std::string text = "old";
    EXPECT_FALSE(s.ReadString(text, 4));
    EXPECT_EQ(text, "old");
    EXPECT_EQ(s.Position(), 0);
    EXPECT_TRUE(s.ReadString(text, 2));
    EXPECT_EQ(text, "ab");
    EXPECT_TRUE(s.ReadString(text, 0));
    EXPECT_EQ(text, "");
}

TEST(TEasyStreamTest, SkipAndPositionsPastTheEnd) {
    TEasyStream s = StreamOf({1, 2, 3});
    EXPECT_EQ(s.Skip(2), 2);
    EXPECT_EQ(s.Skip(10), 12);
    EXPECT_EQ(s.Remaining(), 0);
    std::uint8_t b = 7;
    EXPECT_FALSE(s.ReadByte(b));
    EXPECT_EQ(b, 0);
    EXPECT_EQ(s.Skip(-100), 0);
}

TEST(TEasyStreamTest, ResizingZeroesNewBytes) {
    TEasyStream s = StreamOf({1, 2, 3, 4});
    s.SetSize(1);
    s.SetSize(3);
    EXPECT_EQ(s.Memory()[0], 1);
    EXPECT_EQ(s.Memory()[1], 0);
    EXPECT_EQ(s.Memory()[2], 0);
    s.SetPosition(3);
    s.WriteWord(0xBEEF);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Memory()[3], 0xEF);
    EXPECT_EQ(s.Memory()[4], 0xBE);
}
