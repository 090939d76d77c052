// Real workbooks written by other programs: every one opens as a compound document or is
// refused with the documented error, its elements and workbook stream agree with an
// independent walker's findings, and its records can be walked to the end.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/StructureCommands.h"
#include "platform/CodePage.h"
#include "platform/StructuredStorage.h"
#include "tests/support/CorpusOracle.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestPaths.h"
#include "xls/read/Decryption.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"

using namespace vorlix;
using json = nlohmann::json;

namespace {

const json* ManifestEntry(const std::string& name) {
    for (const json& f : test::CorpusManifest()["files"]) {
        if (f["file"] == name) return &f;
    }
    return nullptr;
}

void CollectPaths(TCFileStorage& storage, const std::string& prefix, std::set<std::string>& out) {
    for (std::size_t i = 0; i < storage.Count(); ++i) {
        TCFileItem* item = storage.Items(i);
        out.insert(prefix + item->Name());
        if (auto* child = dynamic_cast<TCFileStorage*>(item)) {
            CollectPaths(*child, prefix + item->Name() + "/", out);
        }
    }
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TEST(CorpusTest, EveryFileOpensOrIsRefusedAsDocumented) {
    SKIP_WITHOUT_CORPUS();
    int opened = 0, refused = 0;
    for (const auto& path : test::CorpusFiles()) {
        SCOPED_TRACE(path.filename().string());
        const json* entry = ManifestEntry(path.filename().string());
        ASSERT_NE(entry, nullptr);
        const bool ole2 = (*entry)["container"] == "ole2";
        const json scan = test::LoadJson(test::CorpusDir() / "oracle" / "biffscan" /
                                         (path.filename().string() + ".biffscan.json"));
        try {
            TCFile cf(platform::Utf8ToUtf16(path.string()), cfOpen);
            std::set<std::string> ours;
            CollectPaths(cf.Root(), "", ours);
            if ((*entry)["container"] == "raw_biff") {
                // A bare record stream: the file is its one stream.
                ++opened;
                EXPECT_EQ(ours, std::set<std::string>{
                                    platform::Utf16ToUtf8(platform::kRecordStreamName)});
                continue;
            }
            EXPECT_TRUE(ole2);
            // Damage worked around only in documents known to be damaged.
            EXPECT_TRUE(cf.Warnings().empty() || test::HasFeature(*entry, "malformed"));
            // The same elements as the independent walker found (a directory whose broken
            // links were cut holds fewer).
            std::set<std::string> theirs;
            for (const json& s : scan["streams"])
                theirs.insert(s.get<std::string>());
            if (cf.Warnings().empty()) {
                EXPECT_EQ(ours, theirs);
            }
            // The workbook stream, found whatever its letter case, with the same size; a
            // workbook stream whose own chain is damaged fails to read.
            auto* workbook = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"));
            const bool expectWorkbook =
                (*entry)["stream_name"].is_string() && Lower((*entry)["stream_name"]) == "workbook";
            EXPECT_EQ(workbook != nullptr, expectWorkbook);
            std::uint8_t first = 0;
            if (workbook != nullptr) workbook->Read(&first, 1);
            ++opened;
            if (workbook != nullptr && scan.contains("stream_size")) {
                EXPECT_EQ(workbook->Size(), scan["stream_size"].get<std::int64_t>());
            }
        } catch (const ECFileError& e) {
            ++refused;
            EXPECT_TRUE(e.Code() == ceOpenFile || e.Code() == ceReadStream) << e.what();
            // Only damaged documents and files that are neither a compound document nor a
            // record stream.
            EXPECT_TRUE((!ole2 && (*entry)["container"] != "raw_biff") ||
                        test::HasFeature(*entry, "malformed"))
                << e.what();
        }
    }
    EXPECT_GT(opened, 250);
    std::cout << opened << " opened, " << refused << " refused\n";
}

TEST(CorpusTest, RecordsWalkToTheEndLikeAnIndependentWalker) {
    SKIP_WITHOUT_CORPUS();
    int compared = 0;
    for (const auto& path : test::CorpusFiles()) {
        SCOPED_TRACE(path.filename().string());
        const json scan = test::LoadJson(test::CorpusDir() / "oracle" / "biffscan" /
                                         (path.filename().string() + ".biffscan.json"));
        std::ostringstream out, err;
        const int status = cli::ListRecords(path.string(), out, err);
        if (status != 0) {
            EXPECT_EQ(out.str(), "");
            EXPECT_FALSE(err.str().empty());
            continue;
        }
        // Every line is "OFFSET 0xIIII LENGTH [NAME]" with increasing offsets, each record
        // starting where the previous one ended.
        long long expectedOffset = 0, count = 0;
        std::set<std::string> ids;
        for (const std::string& line : test::Lines(out.str())) {
            std::istringstream fields(line);
            long long offset = -1, length = -1;
            std::string id;
            fields >> offset >> id >> length;
            ASSERT_EQ(offset, expectedOffset) << line;
            ASSERT_EQ(id.size(), 6u) << line;
            ids.insert(id.substr(2));
            expectedOffset = offset + 4 + length;
            ++count;
        }
        // The independent walker reads to the end of the stream and counts the zero
        // padding after the last record as records of id 0000; ours stops there. Where
        // there is no padding both must see the same records.
        if (scan.contains("record_count") && scan["record_ids"].is_array()) {
            std::set<std::string> theirs;
            for (const json& id : scan["record_ids"])
                theirs.insert(id.get<std::string>());
            for (const std::string& id : ids)
                EXPECT_TRUE(theirs.count(id)) << "record id " << id;
            // A last record that runs past the end of the stream is one it counts and
            // ours leaves out.
            const json* entry = ManifestEntry(path.filename().string());
            const long long overrun =
                entry != nullptr && test::HasFeature(*entry, "record_overruns_stream_end") ? 1 : 0;
            // Version 2 has a record of id 0000 (DIMENSIONS), which both walkers count.
            const bool biff2 = entry != nullptr && (*entry)["biff"] == 2;
            if (theirs.count("0000") == 0 || biff2) {
                EXPECT_EQ(count + overrun, scan["record_count"].get<long long>());
                ++compared;
            } else {
                EXPECT_LT(count, scan["record_count"].get<long long>());
            }
        }
    }
    std::cout << compared << " files walked to the same record count\n";
    EXPECT_GT(compared, 220);
}

// Every scheme, the XOR obfuscation of the older format too (whose FILEPASS holds the key
// and verifier alone): the known password opens the workbook stream, another does not,
// and the sheet names decrypt.
TEST(CorpusTest, EncryptedWorkbooksDecryptWithTheirKnownPasswords) {
    SKIP_WITHOUT_CORPUS();
    std::map<std::string, int> decrypted;
    for (const json& entry : test::CorpusManifest()["files"]) {
        const std::string encryption = entry.value("encryption", "");
        if (encryption.empty() || !entry.value("password", json()).is_string()) continue;
        SCOPED_TRACE(entry["file"].get<std::string>());
        const bool biff8 = entry["biff"] == 8;
        const auto path = test::CorpusDir() / "files" / entry["file"].get<std::string>();
        TCFile cf(platform::Utf8ToUtf16(path.string()), cfOpen);
        auto& stream = dynamic_cast<TCFileStream&>(
            *cf.Root().FindItem(entry["stream_name"].get<std::string>()));
        TBIFFStream records(stream);
        records.Rewind();
        const std::u16string password = platform::Utf8ToUtf16(entry["password"].get<std::string>());
        std::vector<std::string> sheetNames;
        while (records.ReadRecord()) {
            TBIFFRecord& r = records.Record();
            if (r.Id == rec::kFilePass && !records.Decrypting()) {
                platform::TByteCursor body = r.Data.Cursor();
                const TFilePassScheme scheme = TFilePassScheme::Decode(body, biff8);
                EXPECT_EQ(EncryptionName(scheme.Encryption()),
                          encryption == "rc4_cryptoapi" ? "rc4-cryptoapi"
                          : encryption == "xor_biff5"   ? "xor"
                                                        : encryption);
                EXPECT_FALSE(scheme.Open(u"wrong"));
                std::unique_ptr<TStreamCipher> cipher = scheme.Open(password);
                ASSERT_TRUE(cipher);
                records.StartDecryption(std::move(cipher));
            } else if (r.Id == rec::kBoundSheet8) {
                // Decrypted names must read as the sheet names: the position (4 bytes),
                // state, type, count and (from BIFF8 on) flag, then the characters.
                const std::uint8_t* b = r.Data.Memory();
                ASSERT_GE(r.Length, 8);
                const std::size_t n = b[6];
                const bool wide = biff8 && (b[7] & 1) != 0;
                const std::size_t at = biff8 ? 8 : 7;
                ASSERT_GE(r.Length, at + n * (wide ? 2 : 1));
                std::u16string name;
                for (std::size_t i = 0; i < n; ++i) {
                    name += wide ? static_cast<char16_t>(b[at + 2 * i] | b[at + 1 + 2 * i] << 8)
                                 : static_cast<char16_t>(b[at + i]);
                }
                sheetNames.push_back(platform::Utf16ToUtf8(name));
            }
        }
        std::vector<std::string> expected;
        for (const json& s : entry["sheets"])
            expected.push_back(s["name"]);
        EXPECT_EQ(sheetNames, expected);
        ++decrypted[encryption];
    }
    EXPECT_GE(decrypted["rc4"], 3);
    EXPECT_GE(decrypted["rc4_cryptoapi"], 6);
    EXPECT_GE(decrypted["xor"], 1);
    EXPECT_GE(decrypted["xor_biff5"], 1);
}
