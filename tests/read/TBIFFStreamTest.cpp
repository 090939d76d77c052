#include <gtest/gtest.h>

#include "tests/support/XlsBuilder.h"
#include "xls/model/TEasyStream.h"
#include "xls/read/Decryption.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

// A workbook stream opened through the compound-document layer, as the reader does.
class OpenedStream {
  public:
    explicit OpenedStream(const Bytes& workbook) {
        TEasyStream source;
        const Bytes doc = CompoundBytes({{"Workbook", workbook}});
        source.Write(doc.data(), static_cast<std::int64_t>(doc.size()));
        file_ = TCFile::CreateFromStream(source);
        stream_ = std::make_unique<TBIFFStream>(
            dynamic_cast<TCFileStream&>(*file_->Root().FindItem("Workbook")));
        stream_->Rewind();
    }
    TBIFFStream& operator*() { return *stream_; }
    TBIFFStream* operator->() { return stream_.get(); }

  private:
    std::unique_ptr<TCFile> file_;
    std::unique_ptr<TBIFFStream> stream_;
};

Bytes Filled(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 13 + i / 256);
    return b;
}

Bytes BodyOf(TBIFFRecord& r) {
    return Bytes(r.Data.Memory(), r.Data.Memory() + r.Data.Size());
}

// Reads the next record and checks its id, body and header offset.
void ExpectRecord(TBIFFStream& s, std::uint16_t id, const Bytes& body, std::int64_t offset) {
    ASSERT_TRUE(s.ReadRecord()) << "record at " << offset;
    EXPECT_EQ(s.Record().Id, id);
    EXPECT_EQ(s.Record().Length, body.size());
    EXPECT_EQ(s.Record().Offset, offset);
    EXPECT_EQ(s.Record().Data.Position(), 0);
    EXPECT_EQ(BodyOf(s.Record()), body);
}

}  // namespace

TEST(TBIFFStreamTest, HeaderStraddlesBlockBoundary) {
    const Bytes first = Filled(1018, 1);  // next header starts at 1022
    const Bytes second = Filled(30, 2);
    OpenedStream s(BiffBuilder().Record(0x0001, first).Record(0x0203, second).Build());
    ExpectRecord(*s, 0x0001, first, 0);
    ExpectRecord(*s, 0x0203, second, 1022);
    EXPECT_FALSE(s->ReadRecord());
}

TEST(TBIFFStreamTest, RecordEndingAtBlockBoundaryIsFollowedByTheNextBlock) {
    const Bytes first = Filled(1020, 3);  // ends exactly at 1024
    OpenedStream s(BiffBuilder().Record(0x0001, first).Record(0x0002, Filled(4, 4)).Build());
    ExpectRecord(*s, 0x0001, first, 0);
    ExpectRecord(*s, 0x0002, Filled(4, 4), 1024);
    EXPECT_FALSE(s->ReadRecord());
}

TEST(TBIFFStreamTest, BodiesSpanningManyBlocksAndZeroLengthRecords) {
    const Bytes big = Filled(65535, 5);
    OpenedStream s(BiffBuilder()
                       .Record(0x000A, {})
                       .Record(0x003C, big)
                       .Record(0x000A, {})
                       .Record(0x0203, Filled(3, 6))
                       .Build());
    ExpectRecord(*s, 0x000A, {}, 0);
    ExpectRecord(*s, 0x003C, big, 4);
    ExpectRecord(*s, 0x000A, {}, 4 + 4 + 65535);
    ExpectRecord(*s, 0x0203, Filled(3, 6), 4 + 4 + 65535 + 4);
    EXPECT_FALSE(s->ReadRecord());
    EXPECT_FALSE(s->ReadRecord());  // and stays at the end
}

TEST(TBIFFStreamTest, ZeroIdEndsTheRecords) {
    OpenedStream s(BiffBuilder()
                       .Record(0x0809, Filled(16, 7))
                       .Record(0x000A, {})
                       .PadTo(5000)  // zeros, as after the last record of a sector
                       .Record(0x0203, Filled(14, 8))
                       .Build());
    ExpectRecord(*s, 0x0809, Filled(16, 7), 0);
    ExpectRecord(*s, 0x000A, {}, 20);
    EXPECT_FALSE(s->ReadRecord());
}

TEST(TBIFFStreamTest, StreamEndingInsideAHeaderOrBodyEndsQuietly) {
    const Bytes ok = Filled(10, 9);
    // Cut inside the next header, in the same block and right after a block boundary.
    for (std::size_t pad : {std::size_t{0}, std::size_t{1010}}) {
        for (std::size_t cut = 1; cut < 4; ++cut) {
            BiffBuilder b;
            b.Record(0x0001, Filled(pad, 1)).Record(0x0203, ok);
            Bytes bytes = b.Build();
            const Bytes header = Body().u16(0x0204).u16(8);
            bytes.insert(bytes.end(), header.begin(), header.begin() + cut);
            OpenedStream s(bytes);
            ExpectRecord(*s, 0x0001, Filled(pad, 1), 0);
            ExpectRecord(*s, 0x0203, ok, 4 + pad);
            EXPECT_FALSE(s->ReadRecord()) << "pad " << pad << " cut " << cut;
        }
    }
    // A body that the stream cuts short is not delivered, whether the stream ends within
    // the body's block or a whole block early.
    for (std::size_t have : {std::size_t{5}, std::size_t{1500}}) {
        Bytes bytes = BiffBuilder().Record(0x0203, ok).Raw(Body().u16(0x0204).u16(3000)).Build();
        const Bytes part = Filled(have, 2);
        bytes.insert(bytes.end(), part.begin(), part.end());
        OpenedStream s(bytes);
        ExpectRecord(*s, 0x0203, ok, 0);
        EXPECT_FALSE(s->ReadRecord()) << "body bytes present: " << have;
    }
}

TEST(TBIFFStreamTest, EmptyStreamHasNoRecords) {
    OpenedStream s(Bytes{});
    EXPECT_FALSE(s->ReadRecord());
    EXPECT_EQ(s->StreamSize(), 0);
}

TEST(TBIFFStreamTest, DecryptionStartsInTheMiddleOfABlock) {
    const std::u16string password = u"secret";
    BiffBuilder b;
    b.Record(0x0809, Filled(16, 1)).Record(0x0001, Filled(480, 2));
    b.FilePass(password);  // in the middle of block 0
    const Bytes a = Filled(100, 3), spanning = Filled(1200, 4), c = Filled(7, 5);
    b.Record(0x0031, a).Record(0x00FC, spanning).Record(0x0085, c).Record(0x000A, {});
    OpenedStream s(b.Build());

    ExpectRecord(*s, 0x0809, Filled(16, 1), 0);
    ExpectRecord(*s, 0x0001, Filled(480, 2), 20);
    ASSERT_TRUE(s->ReadRecord());
    ASSERT_EQ(s->Record().Id, rec::kFilePass);
    KeyMaterial key{};
    ASSERT_TRUE(VerifyPassword(password, ReadFilePass(s->Record().Data), key));
    s->StartDecryption(key);
    EXPECT_TRUE(s->Decrypting());

    const std::int64_t afterFilePass = 20 + 484 + 4 + 54;
    ExpectRecord(*s, 0x0031, a, afterFilePass);
    ExpectRecord(*s, 0x00FC, spanning, afterFilePass + 104);  // crosses into block 1
    // BOUNDSHEET keeps its first four bytes (a stream position) in clear.
    ExpectRecord(*s, 0x0085, c, afterFilePass + 104 + 1204);
    ExpectRecord(*s, 0x000A, {}, afterFilePass + 104 + 1204 + 11);
    EXPECT_FALSE(s->ReadRecord());
}

TEST(TBIFFStreamTest, FilePassEndingAtABlockBoundary) {
    // FILEPASS ends at 1024: the next body is in a block decrypted when it is loaded.
    BiffBuilder b;
    b.Record(0x0809, Filled(16, 1));
    b.Record(0x0001, Filled(1024 - 20 - 4 - 4 - 54, 2));
    b.FilePass(u"");
    ASSERT_EQ(b.Size(), 1024u);
    b.Record(0x0031, Filled(40, 3));
    OpenedStream s(b.Build());
    ASSERT_TRUE(s->ReadRecord());
    ASSERT_TRUE(s->ReadRecord());
    ASSERT_TRUE(s->ReadRecord());
    KeyMaterial key{};
    ASSERT_TRUE(VerifyPassword(u"", ReadFilePass(s->Record().Data), key));
    s->StartDecryption(key);
    ExpectRecord(*s, 0x0031, Filled(40, 3), 1024);
}

TEST(TBIFFStreamTest, RecordBuffersAreReusedWithoutStaleBytes) {
    OpenedStream s(BiffBuilder().Record(1, Filled(50, 1)).Record(2, Filled(3, 2)).Build());
    ASSERT_TRUE(s->ReadRecord());
    ASSERT_TRUE(s->ReadRecord());
    EXPECT_EQ(s->Record().Data.Size(), 3);
    std::uint32_t d = 0;
    EXPECT_FALSE(s->Record().Data.ReadDWord(d));
}

// Logical records: a record with the bodies of the CONTINUE records after it; the picture
// store's MSODRAWINGGROUP records continue one another too.
TEST(TBIFFStreamTest, JoinedRecordsTakeTheBodiesThatContinueThem) {
    const Bytes a = Filled(10, 1), c1 = Filled(5, 2), c2 = Filled(3, 3);
    const Bytes g1 = Filled(4, 4), g2 = Filled(6, 5), g3 = Filled(2, 6), g4 = Filled(1, 7);
    OpenedStream s(BiffBuilder()
                       .Record(0x0001, a)
                       .Record(rec::kContinue, c1)
                       .Record(rec::kContinue, {})
                       .Record(rec::kContinue, c2)
                       .Record(rec::kMsoDrawingGroup, g1)
                       .Record(rec::kMsoDrawingGroup, g2)
                       .Record(rec::kContinue, g3)
                       .Record(rec::kMsoDrawingGroup, g4)
                       .Record(rec::kMsoDrawing, g1)
                       .Record(rec::kMsoDrawing, g2)
                       .Record(rec::kContinue, c1)
                       .Build());
    const auto expect = [&](std::uint16_t id, std::int64_t offset, std::vector<Bytes> bodies) {
        ASSERT_TRUE(s->ReadJoinedRecord());
        const TJoinedRecord& r = s->Joined();
        EXPECT_EQ(r.Id, id);
        EXPECT_EQ(r.Offset, offset);
        EXPECT_EQ(r.Length, bodies[0].size());
        Bytes all;
        std::vector<std::uint32_t> starts;
        for (const Bytes& b : bodies) {
            if (&b != &bodies[0]) starts.push_back(static_cast<std::uint32_t>(all.size()));
            all.insert(all.end(), b.begin(), b.end());
        }
        EXPECT_EQ(Bytes(r.Data, r.Data + r.Size), all);
        EXPECT_EQ(r.Starts, starts);
    };
    expect(0x0001, 0, {a, c1, {}, c2});
    expect(rec::kMsoDrawingGroup, 4 + 10 + 4 + 5 + 4 + 4 + 3, {g1, g2, g3, g4});
    const std::int64_t drawing = 34 + (4 + 4) + (4 + 6) + (4 + 2) + (4 + 1);
    expect(rec::kMsoDrawing, drawing, {g1});  // MSODRAWING records stand alone
    expect(rec::kMsoDrawing, drawing + 8, {g2, c1});
    EXPECT_FALSE(s->ReadJoinedRecord());
}

// The header after FILEPASS is read ahead before the decryption starts; it straddles a
// block boundary here, so that reading it loads the block the next bodies are in.
TEST(TBIFFStreamTest, JoinedRecordsAfterFilePassAreDecrypted) {
    BiffBuilder b;
    b.Record(0x0809, Filled(16, 1));
    b.Record(0x0001, Filled(1022 - 20 - 4 - 4 - 54, 2));
    b.FilePass(u"pw");
    ASSERT_EQ(b.Size(), 1022u);
    const Bytes body = Filled(40, 3), more = Filled(1200, 4);
    b.Record(0x0031, body).Record(rec::kContinue, more);
    OpenedStream s(b.Build());
    ASSERT_TRUE(s->ReadJoinedRecord());
    ASSERT_TRUE(s->ReadJoinedRecord());
    ASSERT_TRUE(s->ReadJoinedRecord());
    ASSERT_EQ(s->Joined().Id, rec::kFilePass);
    KeyMaterial key{};
    const TEasyStream& filePass = s->Record().Data;
    ASSERT_TRUE(VerifyPassword(u"pw", ReadFilePass(filePass), key));
    s->StartDecryption(key);
    ASSERT_TRUE(s->ReadJoinedRecord());
    const TJoinedRecord& r = s->Joined();
    EXPECT_EQ(r.Offset, 1022);
    Bytes expected = body;
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(Bytes(r.Data, r.Data + r.Size), expected);
    EXPECT_FALSE(s->ReadJoinedRecord());
}

// With every scheme the bodies the format leaves in clear come out as written, and the
// bodies around them decrypt: the key stream (or the XOR array position) moves on over
// them. Before BIFF8, FILEPASS holds the XOR key and verifier alone.
TEST(TBIFFStreamTest, BodiesInClearKeepEverySchemeInStep) {
    enum Scheme { kRc4, kCryptoApi, kXor, kXorBiff5 };
    for (const Scheme scheme : {kRc4, kCryptoApi, kXor, kXorBiff5}) {
        SCOPED_TRACE(static_cast<int>(scheme));
        BiffBuilder b;
        const Bytes bof =
            scheme == kXorBiff5 ? Body().u16(0x0500).u16(5).zeros(4).data() : Filled(16, 1);
        b.Record(0x0809, bof);
        if (scheme == kRc4) b.FilePass(u"pw");
        if (scheme == kCryptoApi) b.FilePassCryptoApi(u"pw", 56);
        if (scheme == kXor || scheme == kXorBiff5) b.FilePassXor("pw", scheme == kXor);
        const std::vector<std::pair<std::uint16_t, Bytes>> records = {
            {0x00E1, Filled(2, 2)},     // INTERFACEHDR
            {0x0042, Filled(2, 3)},     // CODEPAGE
            {0x0138, Filled(5, 4)},     // RRDHEAD
            {0x0194, Filled(7, 5)},     // USREXCL
            {0x0195, Filled(3, 6)},     // FILELOCK
            {0x0196, Filled(9, 7)},     // RRDINFO
            {0x0085, Filled(14, 8)},    // BOUNDSHEET
            {0x00FC, Filled(1500, 9)},  // into the next block
            {0x0809, Filled(16, 10)},   // BOF
            {0x0203, Filled(14, 11)}};
        for (const auto& [id, body] : records)
            b.Record(id, body);
        OpenedStream s(b.Build());
        ASSERT_TRUE(s->ReadRecord());
        ASSERT_TRUE(s->ReadRecord());
        ASSERT_EQ(s->Record().Id, rec::kFilePass);
        platform::TByteCursor body = s->Record().Data.Cursor();
        const TFilePassScheme filePass = TFilePassScheme::Decode(body, scheme != kXorBiff5);
        EXPECT_FALSE(filePass.Open(u"pv"));
        std::unique_ptr<TStreamCipher> cipher = filePass.Open(u"pw");
        ASSERT_TRUE(cipher);
        s->StartDecryption(std::move(cipher));
        for (const auto& [id, written] : records) {
            ASSERT_TRUE(s->ReadRecord());
            EXPECT_EQ(s->Record().Id, id);
            EXPECT_EQ(BodyOf(s->Record()), written) << std::hex << id;
        }
        EXPECT_FALSE(s->ReadRecord());
    }
}
