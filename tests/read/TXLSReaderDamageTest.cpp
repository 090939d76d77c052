// Workbook streams damaged at random: reading either succeeds or raises one of the
// library's errors, never crashes, hangs or runs away with memory (the sanitizers watch).
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <vector>

#include "platform/CodePage.h"
#include "tests/support/TestPaths.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TCFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

// The Workbook stream of a workbook; empty when it has none.
Bytes WorkbookStreamOf(const std::filesystem::path& file) {
    TCFile cf(platform::Utf8ToUtf16(file.string()), cfOpen);
    auto* stream = dynamic_cast<TCFileStream*>(cf.Root().FindItem("Workbook"));
    if (stream == nullptr) return {};
    Bytes bytes(static_cast<std::size_t>(stream->Size()));
    stream->Read(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return bytes;
}

}  // namespace

// The examples, and some small real workbooks of the corpus when it is there: their
// records are more varied (shared strings across CONTINUE records, hyperlinks,
// validations, encryption).
std::vector<Bytes> Originals() {
    std::vector<Bytes> streams;
    for (const char* example : {"sales.xls", "inventory.xls", "empty-and-odd.xls"}) {
        streams.push_back(WorkbookStreamOf(SourceDir() / "examples" / example));
    }
    constexpr std::size_t kCorpusSample = 40;
    for (const auto& file : CorpusFiles()) {
        std::error_code ec;
        if (streams.size() == 3 + kCorpusSample ||
            std::filesystem::file_size(file, ec) > 64 * 1024) {
            continue;
        }
        try {
            if (Bytes stream = WorkbookStreamOf(file); !stream.empty()) {
                streams.push_back(std::move(stream));
            }
        } catch (const ECFileError&) {
            // not a compound document
        }
    }
    return streams;
}

TEST(TXLSReaderDamageTest, DamagedStreamsReadOrFailCleanly) {
    TempDir dir;
    std::mt19937 rng(8122026);
    int read = 0, refused = 0;
    for (const Bytes& original : Originals()) {
        if (original.empty()) continue;
        for (int round = 0; round < 100; ++round) {
            Bytes bad = original;
            const int changes = 1 + static_cast<int>(rng() % 6);
            for (int k = 0; k < changes; ++k) {
                const std::size_t at = rng() % bad.size();
                switch (rng() % 3) {
                    case 0:  // one byte anywhere
                        bad[at] = static_cast<std::uint8_t>(rng());
                        break;
                    case 1:  // a length or count field grows large
                        if (at + 1 < bad.size()) bad[at + 1] = 0xFF;
                        break;
                    default:  // the stream ends early
                        bad.resize(at);
                        break;
                }
                if (bad.empty()) break;
            }
            const auto file = dir / "damaged.xls";
            WriteWorkbook(file, bad);
            try {
                TXLSFile xls;
                xls.OpenFile(platform::Utf8ToUtf16(file.string()));
                for (int s = 0; s < xls.Workbook().Sheets().Count(); ++s) {
                    const TCells& cells = xls.Workbook().Sheets().Items(s).Cells();
                    for (int i = 0; i < cells.Count(); ++i)
                        cells.Items(i).DisplayText();
                }
                ++read;
            } catch (const Exception&) {
                ++refused;
            }
        }
    }
    std::cout << read << " read, " << refused << " refused\n";
    EXPECT_GT(read, 0);
    EXPECT_GT(refused, 0);
}
