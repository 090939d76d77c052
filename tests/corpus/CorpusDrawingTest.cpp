// Pictures and comments of real workbooks: comments compared with an independent reader's
// notes, every picture store entry accounted for (placed, or pruned with its reason), and
// no workbook kept from opening by its drawings.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/CodePage.h"
#include "tests/support/CorpusOracle.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WorkbookFixtures.h"
#include "xls/model/Errors.h"
#include "xls/model/TCellComments.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TMSOData.h"
#include "xls/read/TXLSReader.h"

using namespace vorlix;
using json = nlohmann::json;

namespace {

std::string Utf8(const std::u16string& s) {
    return platform::Utf16ToUtf8(s);
}

std::u16string PathOf(const json& entry) {
    return platform::Utf8ToUtf16(
        (test::CorpusDir() / "files" / entry["file"].get<std::string>()).string());
}

std::u16string PasswordOf(const json& entry) {
    return entry.value("password", json()).is_string()
               ? platform::Utf8ToUtf16(entry["password"].get<std::string>())
               : std::u16string();
}

// Reads a corpus file with or without drawings; the error message, or "" when it opens.
std::string Read(const json& entry, TXLSReader& reader, bool drawings) {
    TReadOptions options;
    options.ReadDrawings = drawings;
    try {
        reader.ReadFile(PathOf(entry), PasswordOf(entry), options);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

const char* ReasonText(TPruneReason reason) {
    switch (reason) {
        case TPruneReason::NoObject:
            return "no picture object names its frame";
        case TPruneReason::OtherShape:
            return "not a picture frame";
        case TPruneReason::NoPicture:
            return "index outside the store";
        case TPruneReason::EmptyPicture:
            return "empty store entry";
        case TPruneReason::NoCell:
            return "no note";
    }
    return "?";
}

// Whether the bytes look like a picture of the store type: the signature of JPEG and PNG,
// the bitmap header after the file header's place, the metafile header after the prefix.
bool LooksLike(std::uint8_t type, const std::uint8_t* d, std::int64_t n) {
    switch (type) {
        case 2:
        case 3:
            // FF x 8, type, FF, identifier (16), metafile header: compression 0 (deflate)
            // or 0xFE (none) and filter 0xFE at its end.
            return n >= 60 && d[0] == 0xFF && d[7] == 0xFF && d[8] == type && d[9] == 0xFF &&
                   (d[58] == 0x00 || d[58] == 0xFE) && d[59] == 0xFE;
        case 5:
            return n >= 2 && d[0] == 0xFF && d[1] == 0xD8;
        case 6:
            return n >= 4 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G';
        case 7:
            // "BM", then a bitmap information header of 12, 40, 52, 56, 108 or 124 bytes.
            return n >= 18 && d[0] == 'B' && d[1] == 'M' && d[15] == 0 &&
                   (d[14] == 12 || d[14] == 40 || d[14] == 52 || d[14] == 56 || d[14] == 108 ||
                    d[14] == 124);
        default:
            return true;
    }
}

}  // namespace

TEST(CorpusDrawingTest, DrawingsNeverKeepAWorkbookFromOpening) {
    SKIP_WITHOUT_CORPUS();
    int both = 0;
    for (const json& entry : test::CorpusManifest()["files"]) {
        SCOPED_TRACE(entry["file"].get<std::string>());
        TXLSFile off, on;
        test::ExpectBodiesReadWhole(on);  // named by the trace
        TXLSReader readerOff(off), readerOn(on);
        if (!Read(entry, readerOff, false).empty()) continue;
        EXPECT_EQ(Read(entry, readerOn, true), "");
        ++both;
    }
    EXPECT_GT(both, 250);
}

TEST(CorpusDrawingTest, CommentsAgreeWithTheOtherReadersNotes) {
    SKIP_WITHOUT_CORPUS();
    int agreeing = 0, listed = 0, files = 0;
    for (const json& entry : test::CorpusManifest()["files"]) {
        const std::string name = entry["file"];
        const auto oraclePath = test::CorpusDir() / "oracle" / "xlrd" / (name + ".xlrd.json");
        if (!std::filesystem::exists(oraclePath)) continue;
        const json oracle = test::LoadJson(oraclePath);
        if (!oracle.value("ok", false)) continue;
        // Excel 5.0 and 95 keep comments in NOTE records of a layout of their own, which
        // the library does not read.
        if (entry.value("biff", json()) == 5) continue;
        TXLSFile file;
        TXLSReader reader(file);
        if (!Read(entry, reader, true).empty()) continue;
        SCOPED_TRACE(name);
        std::map<std::string, TSheet*> sheets;
        for (int s = 0; s < file.Workbook().Sheets().Count(); ++s) {
            TSheet& sheet = file.Workbook().Sheets().Items(s);
            sheets[Utf8(sheet.Name())] = &sheet;
        }
        bool any = false;
        for (const json& theirs : oracle["sheets"]) {
            const json notes = theirs.value("notes", json::array());
            if (notes.empty()) continue;
            any = true;
            TSheet* sheet = sheets[theirs["name"].get<std::string>()];
            ASSERT_NE(sheet, nullptr);
            EXPECT_EQ(sheet->Comments().Count(), static_cast<int>(notes.size()));
            for (const json& note : notes) {
                const int row = note[0], col = note[1];
                ++listed;
                TCellComment* c = sheet->Comments().Find(row, col);
                ASSERT_NE(c, nullptr) << "row " << row << " col " << col;
                EXPECT_EQ(Utf8(c->Author()), note[2].get<std::string>());
                EXPECT_EQ(Utf8(c->Text()), note[3].get<std::string>());
                if (Utf8(c->Author()) == note[2] && Utf8(c->Text()) == note[3]) ++agreeing;
            }
        }
        files += any ? 1 : 0;
    }
    std::cout << "[ figures  ] comments: " << agreeing << " of " << listed << " notes agree, in "
              << files << " workbooks\n";
    EXPECT_GT(listed, 40);
}

TEST(CorpusDrawingTest, EveryPictureStoreEntryIsAccountedFor) {
    SKIP_WITHOUT_CORPUS();
    std::map<std::string, int> tally;
    for (const json& entry : test::CorpusManifest()["files"]) {
        const json blips = entry.value("blips", json());
        if (!blips.is_object() || blips.empty()) continue;
        const std::string name = entry["file"];
        TXLSFile file;
        TXLSReader reader(file);
        if (!Read(entry, reader, true).empty()) continue;
        SCOPED_TRACE(name);
        int stored = 0;
        for (const auto& [type, count] : blips.items())
            stored += count.get<int>();
        const TMSOData& d = reader.Drawings();
        EXPECT_EQ(d.PictureCount(), stored);

        // Frames left after pruning, by picture; the reasons frames were pruned.
        std::map<int, int> frames;
        for (int i = 0; i < d.ShapeCount(); ++i) {
            if (d.Shape(i).Kind() == TMSOShapeKind::Image)
                ++frames[static_cast<const TMSOShapeImage&>(d.Shape(i)).BlipIndex];
        }
        std::map<int, std::string> pruned;
        for (const TPrunedShape& p : d.Pruned()) {
            if (p.Kind == TMSOShapeKind::Image && p.BlipIndex >= 1) {
                pruned[p.BlipIndex] = ReasonText(p.Reason);
            }
        }
        int placedFrames = 0;
        for (int k = 1; k <= d.PictureCount(); ++k) {
            const TMSOBLIP& blip = d.Picture(k - 1);
            std::string outcome;
            if (frames.count(k) != 0) {
                outcome = "placed";
                placedFrames += frames[k];
            } else if (blip.Empty) {
                outcome = "empty store entry";
            } else if (pruned.count(k) != 0) {
                outcome = "pruned: " + pruned[k];
            } else {
                outcome = "no frame shows it";
            }
            ++tally[outcome];
            if (outcome != "placed") {
                std::cout << "[ figures  ] " << name << " picture " << k << " type "
                          << int(blip.BlipType) << ": " << outcome << '\n';
            }
        }
        // Every frame left is on its sheet, with bytes that look like its picture type.
        int images = 0;
        for (int s = 0; s < file.Workbook().Sheets().Count(); ++s) {
            const TXLSImages& list = file.Workbook().Sheets().Items(s).Images();
            for (int i = 0; i < list.Count(); ++i) {
                const TXLSImage& image = list.Items(i);
                ++images;
                EXPECT_TRUE(LooksLike(image.BlipType, image.Data.Memory(), image.Data.Size()))
                    << "sheet " << s << " image " << i << " type " << int(image.BlipType);
            }
        }
        EXPECT_EQ(images, placedFrames);
        tally["(frames placed as images)"] += images;
        for (const TPrunedShape& p : d.Pruned())
            ++tally[std::string("(shapes pruned: ") + ReasonText(p.Reason) + ")"];
    }
    for (const auto& [outcome, count] : tally)
        std::cout << "[ figures  ] pictures " << outcome << ": " << count << '\n';
    EXPECT_GT(tally["placed"], 20);
}
