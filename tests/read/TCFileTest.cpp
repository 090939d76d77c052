#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <random>
#include <thread>

#include "platform/CodePage.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/TCells.h"
#include "xls/model/TEasyStream.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

std::u16string U16(const std::filesystem::path& p) {
    return platform::Utf8ToUtf16(p.string());
}

// The ECFileError code an action raises, or -1 when it raises nothing.
int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ECFileError& e) {
        return e.Code();
    }
    return -1;
}

// The ECFileError code of opening `file` and reading its "Workbook" stream to the end, or
// -1 when both succeed: damage to the document's tables fails the open (3), damage to the
// stream's own chain its read (8).
int ReadCodeOf(const std::filesystem::path& file) {
    return CodeOf([&] {
        TCFile cf(platform::Utf8ToUtf16(file.string()), cfOpen);
        if (auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"))) {
            std::vector<std::uint8_t> buffer(4096);
            while (s->Read(buffer.data(), static_cast<std::int32_t>(buffer.size())) > 0) {
            }
        }
    });
}

// Whether one of the document's warnings holds `text`.
bool Warns(const TCFile& cf, const std::string& text) {
    for (const std::string& w : cf.Warnings()) {
        if (w.find(text) != std::string::npos) return true;
    }
    return false;
}

Bytes Pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return b;
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Offsets inside a compound document with 512-byte sectors, as libgsf writes them.
constexpr std::size_t kFirstDirSector = 0x30;
constexpr std::size_t kFirstFatSector = 0x4C;  // first entry of the header's FAT list
std::size_t SectorOffset(std::uint32_t sector) {
    return (sector + 1) * 512u;
}

// The directory entry whose UTF-16 name is `name` (searched in the first directory sector).
std::size_t DirEntryOffset(const Bytes& doc, const std::u16string& name) {
    const std::size_t dir = SectorOffset(Get32(doc, kFirstDirSector));
    for (std::size_t e = dir; e + 128 <= dir + 512; e += 128) {
        bool same =
            static_cast<std::size_t>(doc[e + 0x40] | doc[e + 0x41] << 8) == 2 * (name.size() + 1);
        for (std::size_t i = 0; same && i < name.size(); ++i) {
            same = (doc[e + 2 * i] | doc[e + 2 * i + 1] << 8) == name[i];
        }
        if (same) return e;
    }
    throw std::runtime_error("no such directory entry");
}

class TCFileTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::filesystem::path file = dir / "book.xls";
};

}  // namespace

TEST_F(TCFileTest, FindItemIgnoresLetterCaseAndLooksOnlyAtDirectChildren) {
    WriteCompound(file, {{"WORKBOOK", Pattern(10)}, {"Sub", {}, true}, {"Sub/Inner", Pattern(3)}});
    TCFile cf(U16(file), cfOpen);
    EXPECT_EQ(cf.Root().Name(), "Root Entry");
    for (const char* name : {"Workbook", "workbook", "WORKBOOK", "wOrKbOoK"}) {
        TCFileItem* item = cf.Root().FindItem(name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->Name(), "WORKBOOK");
    }
    EXPECT_EQ(cf.Root().FindItem("Inner"), nullptr);
    EXPECT_EQ(cf.Root().FindItem("Workbook2"), nullptr);
    auto* sub = dynamic_cast<TCFileStorage*>(cf.Root().FindItem("sub"));
    ASSERT_NE(sub, nullptr);
    EXPECT_NE(sub->FindItem("INNER"), nullptr);
}

TEST_F(TCFileTest, FindItemReturnsTheFirstOfTwoMatchesInEnumerationOrder) {
    WriteCompound(file, {{"Workbook", Pattern(10)}, {"WORKBOOK", Pattern(20)}});
    TCFile cf(U16(file), cfOpen);
    ASSERT_EQ(cf.Root().Count(), 2u);
    EXPECT_EQ(cf.Root().FindItem("workbook"), cf.Root().Items(0));
}

TEST_F(TCFileTest, NamesKeepControlAndNonAsciiCharacters) {
    WriteCompound(file, {{"\x05SummaryInformation", Pattern(100)}, {"Bl\xC3\xA4tt", Pattern(1)}});
    TCFile cf(U16(file), cfOpen);
    EXPECT_NE(cf.Root().FindItem("\x05SummaryInformation"), nullptr);
    EXPECT_NE(cf.Root().FindItem("BL\xC3\xA4TT"), nullptr);
    EXPECT_EQ(cf.Root().FindItem("BL\xC3\x84TT"), nullptr);  // only ASCII letters fold
}

TEST_F(TCFileTest, StreamReadsSeeksAndSizes) {
    const Bytes data = Pattern(10000);  // large enough to live in regular sectors
    WriteCompound(file, {{"Workbook", data}, {"Small", Pattern(100)}});
    TCFile cf(U16(file), cfOpen);
    for (const char* name : {"Workbook", "Small"}) {
        auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem(name));
        ASSERT_NE(s, nullptr);
        const Bytes expected = std::string(name) == "Small" ? Pattern(100) : data;
        s->SetPosition(50);
        EXPECT_EQ(s->Size(), static_cast<std::int32_t>(expected.size()));
        EXPECT_EQ(s->Position(), 50);  // Size leaves the position alone
        std::uint8_t buf[64];
        EXPECT_EQ(s->Read(buf, 10), 10);
        EXPECT_EQ(buf[0], expected[50]);
        EXPECT_EQ(s->Seek(-5, 1), 55);
        EXPECT_EQ(s->Seek(-10, 2), static_cast<std::int32_t>(expected.size()) - 10);
        EXPECT_EQ(s->Read(buf, 64), 10);  // only what is left
        EXPECT_EQ(buf[9], expected.back());
        EXPECT_EQ(s->Read(buf, 64), 0);
        EXPECT_FALSE(s->ReadBuffer(buf, 64));
        EXPECT_FALSE(s->ReadBuffer(nullptr, 64));
        // Positions the stream refuses raise code 6.
        EXPECT_EQ(CodeOf([&] { s->SetPosition(static_cast<std::int32_t>(expected.size()) + 1); }),
                  6);
        EXPECT_EQ(CodeOf([&] { s->SetPosition(-1); }), 6);
        EXPECT_EQ(CodeOf([&] { s->SetPosition(0); }), -1);
    }
}

TEST_F(TCFileTest, EveryElementIsOpenedDepthFirst) {
    WriteCompound(file, {{"A", {}, true},
                         {"A/B", {}, true},
                         {"A/B/deep", Pattern(5)},
                         {"A/x", Pattern(6)},
                         {"top", Pattern(7)}});
    TCFile cf(U16(file), cfOpen);
    auto* a = dynamic_cast<TCFileStorage*>(cf.Root().FindItem("A"));
    ASSERT_NE(a, nullptr);
    auto* b = dynamic_cast<TCFileStorage*>(a->FindItem("B"));
    ASSERT_NE(b, nullptr);
    auto* deep = dynamic_cast<TCFileStream*>(b->FindItem("deep"));
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->Size(), 5);
}

TEST_F(TCFileTest, EmptyDocumentOpensWithoutChildren) {
    { TCFile created(U16(file), cfCreate); }
    TCFile cf(U16(file), cfOpen);
    EXPECT_EQ(cf.Root().Count(), 0u);
    EXPECT_EQ(cf.Root().FindItem("Workbook"), nullptr);
}

TEST_F(TCFileTest, CreateInMemoryAndFromStream) {
    TCFile memory(u"unused", cfMemory);
    EXPECT_EQ(memory.Root().Count(), 0u);

    TEasyStream source;
    const Bytes doc = CompoundBytes({{"Workbook", Pattern(300000)}});
    source.Write(doc.data(), static_cast<std::int64_t>(doc.size()));
    source.SetPosition(1234);  // copied from the start whatever the position
    auto cf = TCFile::CreateFromStream(source);
    auto* s = dynamic_cast<TCFileStream*>(cf->Root().FindItem("Workbook"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Size(), 300000);

    TEasyStream junk;
    junk.Write("not a document", 14);
    EXPECT_EQ(CodeOf([&] { TCFile::CreateFromStream(junk); }), 0);
}

TEST_F(TCFileTest, CreateFailsWithCodeZero) {
    EXPECT_EQ(CodeOf([&] { TCFile cf(U16(dir / "missing" / "x.xls"), cfCreate); }), 0);
    EXPECT_EQ(CodeOf([&] { TCFile cf(U16(dir.path()), cfCreate); }), 0);
}

// Each reason a file cannot be opened has its own message naming the file; the code stays
// 3.
TEST_F(TCFileTest, WhatIsNotAReadableCompoundDocumentGivesCodeThreeAndItsReason) {
    const auto message = [&](const std::filesystem::path& p) {
        try {
            TCFile cf(U16(p), cfOpen);
        } catch (const ECFileError& e) {
            EXPECT_EQ(e.Code(), 3) << p;
            return std::string(e.what());
        }
        return std::string("opened");
    };
    const auto in = [&](const char* name) { return (dir / name).string(); };
    EXPECT_EQ(message(dir / "missing.xls"), "File not found: " + in("missing.xls"));
    EXPECT_EQ(message(dir.path()), dir.path().string() + " is a folder, not a workbook");
    WriteFile(dir / "empty.xls", {});
    EXPECT_EQ(message(dir / "empty.xls"), in("empty.xls") + " is empty");
    WriteFile(dir / "text.xls", Body().ascii("Dear reader,\r\nthis is no workbook.\r\n"));
    EXPECT_EQ(message(dir / "text.xls"), in("text.xls") + " is a text file, not an Excel workbook");
    WriteFile(dir / "page.xls", Body().ascii("\xEF\xBB\xBF\r\n<!DOCTYPE HTML>\r\n<html><table>"));
    EXPECT_EQ(message(dir / "page.xls"),
              in("page.xls") +
                  " is an HTML file (a web page or a table saved as HTML), not an Excel workbook");
    WriteFile(dir / "binary.xls", Body().ascii("GIF89a").zeros(40));
    EXPECT_EQ(message(dir / "binary.xls"),
              in("binary.xls") + " is not an Excel 97-2003 workbook (not a compound document)");
    const Bytes doc = CompoundBytes({{"Workbook", Pattern(20000)}});
    WriteFile(dir / "head.xls", Bytes(doc.begin(), doc.begin() + 300));
    EXPECT_EQ(message(dir / "head.xls"),
              in("head.xls") + " is cut short: it ends inside its header");
    WriteFile(dir / "half.xls", Bytes(doc.begin(), doc.begin() + doc.size() / 2));
    EXPECT_EQ(message(dir / "half.xls"),
              in("half.xls") + " is cut short: its tables point beyond its end");
    Bytes odd = doc;
    odd[0x1E] = 30;  // sectors of 2^30 bytes
    WriteFile(dir / "odd.xls", odd);
    EXPECT_EQ(message(dir / "odd.xls"),
              in("odd.xls") + ": the compound document is damaged: bad sector size");
    // Other programs' files saved under a .xls name say what they are.
    const auto misnamed = [&](const char* name, const Bytes& bytes) {
        WriteFile(dir / name, bytes);
        const std::string what = message(dir / name);
        EXPECT_EQ(what.rfind(in(name) + " is ", 0), 0u) << what;
        return what.substr(in(name).size() + 4);
    };
    EXPECT_EQ(misnamed("book.xls", ZipBytes({{"[Content_Types].xml", "<Types/>"},
                                             {"_rels/.rels", "<Relationships/>"},
                                             {"xl/workbook.xml", "<workbook/>"}})),
              "an Excel 2007+ (.xlsx) workbook, not an Excel 97-2003 one");
    EXPECT_EQ(misnamed("calc.xls",
                       ZipBytes({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                                 {"content.xml", "<office:document-content/>"}})),
              "an OpenDocument spreadsheet (.ods), not an Excel workbook");
    EXPECT_EQ(
        misnamed("letter.xls", ZipBytes({{"mimetype", "application/vnd.oasis.opendocument.text"}})),
        "an OpenDocument file (application/vnd.oasis.opendocument.text), not an Excel "
        "workbook");
    EXPECT_EQ(misnamed("archive.xls", ZipBytes({{"notes.txt", "xl/ is no folder here"}})),
              "a zip archive, not an Excel workbook");
    EXPECT_EQ(misnamed("cut.xls", Body().ascii("PK\x03\x04").zeros(40)),
              "a zip archive, not an Excel workbook");
    EXPECT_EQ(misnamed("sheet.xls",
                       Body().ascii("<?xml version=\"1.0\"?>\r\n<Workbook xmlns=\"urn:schemas-"
                                    "microsoft-com:office:spreadsheet\"><Worksheet/></Workbook>")),
              "an XML Spreadsheet 2003 file, not an Excel 97-2003 workbook");
    EXPECT_EQ(misnamed("other.xls", Body().ascii("<?xml version=\"1.0\"?><root/>")),
              "a text file, not an Excel workbook");
    EXPECT_EQ(misnamed("values.xls", Body().ascii("Name,Value\r\nA,1\r\n\"B,C\",2\r\nD")),
              "a CSV or other delimited text file, not an Excel workbook");
    EXPECT_EQ(misnamed("tabs.xls", Body().ascii("a\tb\tc\n1\t2\t3\n")),
              "a CSV or other delimited text file, not an Excel workbook");
    EXPECT_EQ(misnamed("ragged.xls", Body().ascii("a,b\nc\n")),
              "a text file, not an Excel workbook");
    // A FIFO would block a plain open; it is refused at once.
    ASSERT_EQ(mkfifo((dir / "fifo.xls").c_str(), 0600), 0);
    EXPECT_EQ(message(dir / "fifo.xls"),
              in("fifo.xls") + " is not a regular file (a device, pipe or socket)");
    std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.xls");
    EXPECT_EQ(message(dir / "dangling.xls"), "File not found: " + in("dangling.xls"));
    EXPECT_EQ(message("/dev/zero"), "/dev/zero is not a regular file (a device, pipe or socket)");
    if (geteuid() != 0) {  // permissions do not stop root
        WriteWorkbook(dir / "locked.xls", Pattern(10));
        chmod((dir / "locked.xls").c_str(), 0);
        EXPECT_EQ(message(dir / "locked.xls"),
                  "Cannot read file " + in("locked.xls") + ": Permission denied");
    }
}

// Readers never exclude each other: the same file open twice at once, in one thread and
// in several, reads the same bytes each time.
TEST_F(TCFileTest, ReadersOfOneFileReadAtOnce) {
    const Bytes data = Pattern(300000);
    WriteCompound(file, {{"Workbook", data}});
    const auto readAll = [&] {
        TCFile cf(U16(file), cfOpen);
        auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"));
        Bytes back(data.size());
        for (std::size_t at = 0; s != nullptr && at < back.size(); at += 1000) {
            const std::size_t n = std::min<std::size_t>(1000, back.size() - at);
            s->Read(back.data() + at, static_cast<std::int32_t>(n));
        }
        return back == data;
    };
    TCFile held(U16(file), cfOpen);
    EXPECT_TRUE(readAll());
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int k = 0; k < 5; ++k)
                good += readAll() ? 1 : 0;
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good, 20);
}

// A file cut short or written to while it is read gives an error that names it, never a
// crash and never a stream that quietly ends early.
TEST_F(TCFileTest, AFileThatChangesWhileItIsReadFailsToRead) {
    const Bytes data = Pattern(300000);
    for (const bool cut : {true, false}) {
        WriteCompound(file, {{"Workbook", data}});
        TCFile cf(U16(file), cfOpen);
        if (cut) {
            ASSERT_EQ(truncate(file.c_str(), 4096), 0);
        } else {
            // Rewritten in place: the same size, a new time of change.
            const timespec times[2] = {{0, UTIME_OMIT}, {1000000, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        }
        auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"));
        ASSERT_NE(s, nullptr);
        Bytes back(data.size());
        try {
            s->Read(back.data(), static_cast<std::int32_t>(back.size()));
            ADD_FAILURE() << "no error";
        } catch (const ECFileError& e) {
            EXPECT_EQ(e.Code(), ceReadStream);
            EXPECT_EQ(e.what(), file.string() + " changed while it was read: " +
                                    (cut ? "it was cut short" : "it was written to"));
        }
    }
}

TEST_F(TCFileTest, TruncatedDocumentsAreRefused) {
    const Bytes doc = CompoundBytes({{"Workbook", Pattern(20000)}});
    for (std::size_t cut : {std::size_t{8}, std::size_t{511}, std::size_t{512}, std::size_t{1000},
                            doc.size() / 2, doc.size() - 512}) {
        WriteFile(file, Bytes(doc.begin(), doc.begin() + cut));
        const int code = ReadCodeOf(file);
        EXPECT_TRUE(code == 3 || code == ceReadStream) << "cut at " << cut << ": " << code;
    }
}

// Damage to the tables that locate everything (the FAT, the directory's chain, the
// header) refuses the document. Damage to one stream's chain leaves that stream out: it
// fails to read, with the reason, while the other streams read in full and the document
// warns of the damage.
TEST_F(TCFileTest, BrokenSectorChainsAreRefusedOrLeaveTheirStreamOut) {
    const Bytes other = Pattern(9000);
    const Bytes doc = CompoundBytes({{"Workbook", Pattern(20000)}, {"Other", other}});
    const std::size_t fat = SectorOffset(Get32(doc, kFirstFatSector));
    const std::size_t entry = DirEntryOffset(doc, u"Workbook");
    const std::uint32_t start = Get32(doc, entry + 0x74);

    struct Case {
        const char* what;
        std::function<void(Bytes&)> corrupt;
    };
    const std::vector<Case> streamCases = {
        {"stream chain loops onto itself",
         [&](Bytes& d) { Put32(d, fat + 4 * (start + 3), start); }},
        {"stream chain points past the file",
         [&](Bytes& d) { Put32(d, fat + 4 * start, 0x00FFFFF0); }},
        {"stream chain ends early", [&](Bytes& d) { Put32(d, fat + 4 * (start + 2), 0xFFFFFFFE); }},
        {"stream size beyond the file", [&](Bytes& d) { Put32(d, entry + 0x78, 0x7FFFFFF0); }},
        {"stream starts past the file", [&](Bytes& d) { Put32(d, entry + 0x74, 0x00FFFFF0); }},
    };
    for (const Case& c : streamCases) {
        Bytes bad = doc;
        c.corrupt(bad);
        WriteFile(file, bad);
        EXPECT_EQ(ReadCodeOf(file), ceReadStream) << c.what;
        TCFile cf(U16(file), cfOpen);
        auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Other"));
        ASSERT_NE(s, nullptr) << c.what;
        Bytes back(other.size());
        EXPECT_EQ(s->Read(back.data(), static_cast<std::int32_t>(back.size())), 9000) << c.what;
        EXPECT_EQ(back, other) << c.what;
        EXPECT_TRUE(Warns(cf, "the stream \"Workbook\"")) << c.what;
    }

    const std::vector<Case> cases = {
        {"directory chain starts past the file",
         [&](Bytes& d) { Put32(d, kFirstDirSector, 0x00FFFFF0); }},
        {"FAT sector past the file", [&](Bytes& d) { Put32(d, kFirstFatSector, 0x00FFFFF0); }},
        {"FAT sector listed past the file",
         [&](Bytes& d) {
             Put32(d, kFirstFatSector + 4, 0x00FFFFF0);
             Put32(d, 0x2C, 2);
         }},
        {"DIFAT chain loops",
         [&](Bytes& d) {
             Put32(d, 0x44, start);
             Put32(d, SectorOffset(start) + 508, start);
             Put32(d, 0x2C, 200);
         }},
        {"absurd sector size", [&](Bytes& d) { d[0x1E] = 30; }},
    };
    for (const Case& c : cases) {
        Bytes bad = doc;
        c.corrupt(bad);
        WriteFile(file, bad);
        EXPECT_EQ(CodeOf([&] { TCFile cf(U16(file), cfOpen); }), 3) << c.what;
    }
}

TEST_F(TCFileTest, FatCountBeyondTheListedSectorsIsRepaired) {
    // Some writers leave a FAT sector count far larger than the sectors the header
    // lists; the list locates the table, so such files open and read in full.
    const Bytes data = Pattern(20000);
    Bytes doc = CompoundBytes({{"Workbook", data}});
    Put32(doc, 0x2C, 0x00800002);
    WriteFile(file, doc);
    TCFile cf(U16(file), cfOpen);
    auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"));
    ASSERT_NE(s, nullptr);
    Bytes back(data.size());
    EXPECT_EQ(s->Read(back.data(), static_cast<std::int32_t>(back.size())), 20000);
    EXPECT_EQ(back, data);
    EXPECT_EQ(ReadFile(file), doc);  // the file itself is left alone
}

TEST_F(TCFileTest, MiniStreamSizeCoveringItsLastSectorInPartOpens) {
    // Some writers record the mini stream's exact length instead of whole 64-byte
    // sectors; the last mini sector is then only partly inside the recorded size.
    const Bytes both = Pattern(200);
    const Bytes first(both.begin(), both.begin() + 100);  // mini sectors 0 and 1
    const Bytes second(both.begin() + 100, both.end());   // mini sectors 2 and 3
    const Bytes doc = CompoundBytes({{"Workbook", first}, {"Small", second}});
    const std::size_t root = DirEntryOffset(doc, u"Root Entry");
    ASSERT_EQ(Get32(doc, root + 0x78), 4 * 64u);
    ASSERT_EQ(Get32(doc, DirEntryOffset(doc, u"Small") + 0x74), 2u);

    for (const std::uint32_t size : {3 * 64u + 1, 3 * 64u + 36}) {
        Bytes odd = doc;
        Put32(odd, root + 0x78, size);
        WriteFile(file, odd);
        TCFile cf(U16(file), cfOpen);
        for (const auto& [name, data] :
             {std::pair{"Workbook", first}, std::pair{"Small", second}}) {
            auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem(name));
            ASSERT_NE(s, nullptr) << name << " size " << size;
            Bytes back(data.size() + 1);
            EXPECT_EQ(s->Read(back.data(), static_cast<std::int32_t>(back.size())),
                      static_cast<std::int32_t>(data.size()));
            back.pop_back();
            EXPECT_EQ(back, data) << name << " size " << size;
        }
        EXPECT_EQ(ReadFile(file), odd);  // the file itself is left alone
    }

    // A mini sector wholly beyond the recorded size is damage to the stream that uses it:
    // that stream is left out, failing to read; the other one reads.
    Bytes shortened = doc;
    Put32(shortened, root + 0x78, 3 * 64u);
    WriteFile(file, shortened);
    EXPECT_EQ(ReadCodeOf(file), -1);
    TCFile cf(U16(file), cfOpen);
    EXPECT_TRUE(Warns(cf, "the stream \"Small\""));
    auto* small = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Small"));
    ASSERT_NE(small, nullptr);
    std::uint8_t byte = 0;
    EXPECT_EQ(CodeOf([&] { small->Read(&byte, 1); }), ceReadStream);

    // A mini stream whose chain leaves the file leaves out every small stream, with one
    // warning.
    Bytes lost = doc;
    Put32(lost, root + 0x74, 0x00FFFFF0);
    WriteFile(file, lost);
    EXPECT_EQ(ReadCodeOf(file), ceReadStream);
    TCFile again(U16(file), cfOpen);
    EXPECT_TRUE(Warns(again, "2 small stream(s)"));
}

// A directory whose chain loops back or leaves the file ends there.
TEST_F(TCFileTest, ADirectoryChainThatBreaksEndsThere) {
    const Bytes data = Pattern(20000);
    const Bytes doc = CompoundBytes({{"Workbook", data}});
    const std::size_t fat = SectorOffset(Get32(doc, kFirstFatSector));
    const std::uint32_t dirSector = Get32(doc, kFirstDirSector);
    // Looping back, or (a number beyond the table is read as the end of a chain) ending.
    for (const std::uint32_t next : {dirSector, 0x00FFFFF0u}) {
        Bytes bad = doc;
        Put32(bad, fat + 4 * dirSector, next);
        WriteFile(file, bad);
        TCFile cf(U16(file), cfOpen);
        auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"));
        ASSERT_NE(s, nullptr) << next;
        Bytes back(data.size());
        EXPECT_EQ(s->Read(back.data(), static_cast<std::int32_t>(back.size())), 20000);
        EXPECT_EQ(back, data);
        EXPECT_TRUE(Warns(cf, next == dirSector ? "the chain of its directory breaks"
                                                : "sector numbers beyond the table"));
    }
}

// Links of the directory tree to entries that do not exist, or back to entries reached
// already, are cut: what the remaining links reach opens, with a warning.
TEST_F(TCFileTest, BrokenDirectoryLinksAreCut) {
    const Bytes doc = CompoundBytes(
        {{"Workbook", Pattern(20000)}, {"Storage", {}, true}, {"Storage/Inner", Pattern(5000)}});
    const std::size_t directory = SectorOffset(Get32(doc, kFirstDirSector));
    const std::size_t storage = DirEntryOffset(doc, u"Storage");
    const auto self = static_cast<std::uint32_t>((storage - directory) / 128);
    for (const std::uint32_t link : {self, 1000u}) {
        Bytes bad = doc;
        Put32(bad, storage + 0x4C, link);  // its first child
        WriteFile(file, bad);
        EXPECT_EQ(ReadCodeOf(file), -1) << link;
        TCFile cf(U16(file), cfOpen);
        ASSERT_EQ(cf.Warnings().size(), 1u) << link;
        EXPECT_NE(cf.Warnings()[0].find("broken links"), std::string::npos) << cf.Warnings()[0];
    }
}

TEST_F(TCFileTest, RandomDamageNeverCrashes) {
    // Damaged headers, tables and directories either open or give code 3; whatever
    // opens can be read to the end, or fails to read with code 8.
    const Bytes doc = CompoundBytes({{"Workbook", Pattern(9000)},
                                     {"\x05SummaryInformation", Pattern(300)},
                                     {"Storage", {}, true},
                                     {"Storage/Inner", Pattern(5000)}});
    std::mt19937 rng(20261208);
    for (int round = 0; round < 300; ++round) {
        Bytes bad = doc;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < flips; ++k) {
            // Mostly the header and the first sectors, where the tables live.
            const std::size_t at = rng() % 4 == 0 ? rng() % bad.size() : rng() % 2048;
            bad[at] = static_cast<std::uint8_t>(rng());
        }
        WriteFile(file, bad);
        const int code = CodeOf([&] {
            TCFile cf(U16(file), cfOpen);
            if (auto* s = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"))) {
                TBIFFStream records(*s);
                records.Rewind();
                int n = 0;
                while (records.ReadRecord() && n < 100000)
                    ++n;
                EXPECT_LT(n, 100000);
            }
        });
        EXPECT_TRUE(code == -1 || code == 3 || code == ceReadStream)
            << "round " << round << " code " << code;
    }
}

// A workbook whose other streams are damaged reads, and says what was left out.
TEST_F(TCFileTest, AWorkbookWhoseOtherStreamsAreDamagedReadsWithAWarning) {
    const Bytes stream = WorkbookStream({{"Data", {{rec::kNumber, NumberBody(0, 0, 0, 7)}}}});
    Bytes doc = CompoundBytes({{"Workbook", stream}, {"Pictures", Pattern(9000)}});
    Put32(doc, DirEntryOffset(doc, u"Pictures") + 0x78, 0x7FFFFFF0);  // larger than the file
    WriteFile(file, doc);
    TXLSFile xls;
    xls.OpenFile(U16(file));
    const auto cell = xls.Workbook().Sheets().Items(0).Cells().Find(0, 0);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->Value().AsDouble(), 7);
    EXPECT_EQ(xls.Workbook().Warnings,
              std::vector<std::string>{"the compound document is damaged: the stream \"Pictures\" "
                                       "cannot be read (it is larger than the file); it was left "
                                       "out"});
}
