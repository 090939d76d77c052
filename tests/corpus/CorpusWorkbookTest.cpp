// Real workbooks read into the model and compared with what an independent reader (its
// JSON oracle files) found in them: sheet names and visibility, and every cell's kind
// and value. Where this library deliberately reads differently, the difference is
// spelled out below and checked as such.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/DumpCommand.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "tests/support/CorpusOracle.h"
#include "tests/support/TestPaths.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TCFile.h"

using namespace vorlix;
using json = nlohmann::json;

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsWorkbookStream(const json& entry) {
    return entry["container"] == "ole2" && entry.value("stream_name", json()).is_string() &&
           Lower(entry["stream_name"]) == "workbook";
}

std::string Utf8(const std::u16string& s) {
    return platform::Utf16ToUtf8(s);
}

// The independent reader gives dates as serial numbers of the workbook's date system;
// the model counts days from 30 December 1899 and skips the 1900 system's 29 February.
double ModelDate(double serial, int dateMode) {
    if (dateMode == 1904) return serial + 1462;
    const double d = serial + 1;
    return d > 61 ? d - 1 : d;
}

// Files whose cells this library reads differently on purpose, with the reason.
const std::map<std::string, std::string> kKnownDifferences = {
    {"poi__WrongFormulaRecordType.xls",
     "its formulas are stored with the id of an older format version (0x0406), which a "
     "BIFF8 reader does not take for a formula"},
};

struct Opened {
    std::unique_ptr<TXLSFile> file;
    std::string error;
};

Opened Open(const json& entry) {
    Opened result;
    result.file = std::make_unique<TXLSFile>();
    const auto path = test::CorpusDir() / "files" / entry["file"].get<std::string>();
    const std::string password =
        entry.value("password", json()).is_string() && entry.value("encryption", "") == "rc4"
            ? entry["password"].get<std::string>()
            : std::string();
    try {
        result.file->OpenFile(platform::Utf8ToUtf16(path.string()),
                              platform::Utf8ToUtf16(password));
    } catch (const Exception& e) {
        result.error = e.what();
    }
    return result;
}

#define SKIP_WITHOUT_CORPUS() \
    if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus at ../shared/corpus"

}  // namespace

TEST(CorpusWorkbookTest, EveryWorkbookOpensOrIsRefusedWithItsReason) {
    SKIP_WITHOUT_CORPUS();
    int opened = 0;
    for (const json& entry : test::CorpusManifest()["files"]) {
        SCOPED_TRACE(entry["file"].get<std::string>());
        const Opened o = Open(entry);
        const std::string encryption = entry.value("encryption", "");
        if (o.error.empty()) {
            ++opened;
            EXPECT_TRUE(IsWorkbookStream(entry));
            continue;
        }
        if (!IsWorkbookStream(entry)) {
            // No BIFF8 workbook stream: not a compound document, or an older format.
            EXPECT_TRUE(o.error == ECFileError::Message(3) ||
                        o.error ==
                            "Stream not found: Workbook. File format is not Excel 97 or higher.")
                << o.error;
        } else if (encryption == "rc4_cryptoapi") {
            EXPECT_EQ(o.error, "Error: strong encryption not supported.");
        } else if (encryption == "xor") {
            EXPECT_EQ(o.error, "Error: data is protected, and this encryption type not supported.");
        } else if (encryption == "rc4") {
            // Only the workbook whose password nobody knows stays closed.
            EXPECT_TRUE(entry.value("password", json()).is_null()) << o.error;
            EXPECT_EQ(o.error, "Error: file is protected, and password is invalid!");
        } else {
            EXPECT_TRUE(test::HasFeature(entry, "malformed")) << o.error;
        }
    }
    EXPECT_GT(opened, 250);
}

TEST(CorpusWorkbookTest, SheetsAndCellsAgreeWithAnIndependentReader) {
    SKIP_WITHOUT_CORPUS();
    int files = 0;
    long long compared = 0;
    for (const json& entry : test::CorpusManifest()["files"]) {
        const std::string name = entry["file"];
        const auto oraclePath = test::CorpusDir() / "oracle" / "xlrd" / (name + ".xlrd.json");
        if (!std::filesystem::exists(oraclePath)) continue;
        const json oracle = test::LoadJson(oraclePath);
        if (!oracle.value("ok", false)) continue;
        const Opened o = Open(entry);
        if (!o.error.empty()) continue;
        SCOPED_TRACE(name);
        ++files;
        TWorkbook& book = o.file->Workbook();
        EXPECT_EQ(book.DateMode, oracle["datemode"] == 1 ? 1904 : 1900);

        // The independent reader lists worksheets only; every sheet of the workbook
        // (charts and macro sheets too) is a sheet here, so theirs come in our order.
        std::map<std::string, TSheet*> ours;
        std::vector<std::string> order;
        for (int s = 0; s < book.Sheets().Count(); ++s) {
            TSheet& sheet = book.Sheets().Items(s);
            ours[Utf8(sheet.Name())] = &sheet;
            order.push_back(Utf8(sheet.Name()));
        }
        std::size_t at = 0;
        for (const json& theirs : oracle["sheets"]) {
            const std::string sheetName = theirs["name"];
            while (at < order.size() && order[at] != sheetName)
                ++at;
            ASSERT_LT(at, order.size()) << "sheet " << sheetName << " missing or out of order";
            TSheet& sheet = *ours[sheetName];
            // Hidden (1) and very hidden (2): only the first is hidden here.
            EXPECT_EQ(sheet.Visible, theirs["visibility"] != 1) << sheetName;
            if (kKnownDifferences.count(name) != 0) continue;

            TCells& cells = sheet.Cells();
            for (const json& c : theirs["cells"]) {
                const int row = c[0], col = c[1], ctype = c[2];
                const std::string where =
                    sheetName + " row " + std::to_string(row) + " col " + std::to_string(col);
                const std::optional<TCell> cell = cells.Find(row, col);
                if (ctype == 5) {
                    // Error values: a BOOLERR error makes no cell, a formula whose result is
                    // an error keeps no value.
                    EXPECT_TRUE(!cell || cell->Value().IsEmpty()) << where;
                    continue;
                }
                ASSERT_TRUE(cell.has_value()) << where;
                const TCellValue v = cell->Value();
                ++compared;
                if (ctype == 1) {
                    if (c[3] == "" && v.IsEmpty())
                        continue;  // a formula's empty-text result keeps no value
                    ASSERT_TRUE(v.IsText()) << where;
                    EXPECT_EQ(Utf8(v.AsWideText()), c[3].get<std::string>()) << where;
                } else if (ctype == 4) {
                    ASSERT_EQ(v.Kind(), vkBoolean) << where;
                    EXPECT_EQ(v.AsBoolean(), c[3].get<int>() != 0) << where;
                } else {
                    // Numbers and dates. A number is a date here exactly when its format's
                    // kind is "date"; the classification of format texts differs from the
                    // other reader's for a few formats ("mmss.0" has digits, so it is a
                    // number format here).
                    const double expected = c[3];
                    if (v.Kind() == vkDate) {
                        EXPECT_EQ(v.AsDouble(), ModelDate(expected, book.DateMode)) << where;
                    } else {
                        ASSERT_EQ(v.Kind(), vkDouble) << where;
                        EXPECT_EQ(v.AsDouble(), expected) << where;
                    }
                }
                // Workbook-defined formats carry the same text.
                const TFormatEntry& format = book.FormatTable().Entry(cell->NumberFormat());
                if (IsCustomFormatIndex(format.Index)) {
                    EXPECT_EQ(Utf8(format.Text), c[4].get<std::string>()) << where;
                }
            }
        }
    }
    EXPECT_GT(files, 240);
    EXPECT_GT(compared, 300000);
}

// The dump of the larger workbooks takes long under the sanitizers and adds nothing the
// smaller ones do not exercise.
TEST(CorpusWorkbookTest, DumpPrintsEveryReadableWorkbook) {
    SKIP_WITHOUT_CORPUS();
    constexpr std::int64_t kLargest = 64 * 1024;
    for (const json& entry : test::CorpusManifest()["files"]) {
        if (entry["size"].get<std::int64_t>() > kLargest || !Open(entry).error.empty()) continue;
        SCOPED_TRACE(entry["file"].get<std::string>());
        const auto path = test::CorpusDir() / "files" / entry["file"].get<std::string>();
        const json known = entry.value("password", json());
        const std::string password = entry.value("encryption", "") == "rc4" && known.is_string()
                                         ? known.get<std::string>()
                                         : std::string();
        std::ostringstream out, err;
        ASSERT_EQ(cli::DumpWorkbook(path.string(), password, out, err), 0) << err.str();
        const json dump = json::parse(out.str());
        EXPECT_EQ(dump["version"], 8);
        EXPECT_FALSE(dump["sheets"].empty());
    }
}

namespace {

// The records of a CSV file (RFC 4180: quoted fields may hold commas, quotes and breaks).
std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quoted) {
            if (ch == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (ch == '"') {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == ',') {
            rows.back().push_back(std::move(field));
            field.clear();
        } else if (ch == '\n' || ch == '\r') {
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            rows.back().push_back(std::move(field));
            field.clear();
            rows.emplace_back();
        } else {
            field += ch;
        }
    }
    if (!field.empty() || !rows.back().empty()) rows.back().push_back(field);
    return rows;
}

std::string At(const std::vector<std::vector<std::string>>& rows, int row, int col) {
    if (row < 0 || row >= static_cast<int>(rows.size())) return {};
    if (col < 0 || col >= static_cast<int>(rows[row].size())) return {};
    return rows[row][col];
}

// Regional settings for one test.
class SettingsScope {
  public:
    explicit SettingsScope(const platform::TRegionalSettings& s)
        : saved_(platform::RegionalSettings()) {
        platform::SetRegionalSettings(s);
    }
    ~SettingsScope() { platform::SetRegionalSettings(saved_); }

  private:
    platform::TRegionalSettings saved_;
};

}  // namespace

// The display texts agree with the other reader's rendering (U.S. English) where both
// format alike: texts, and numbers under the plain formats below. Deliberate differences,
// not compared: formula cells (the other program recalculates them); general numbers
// below 0.001 (written "1E-6" here, as a spreadsheet's general format does) or with more
// than 15 significant digits (cut to 15 here); formats with a "[$...]" prefix (dropped
// here with the currency it names), thousands scaling ("#,##0,"), padding ("_)" adds no
// space here), fractions (the whole part is rounded, zero shows nothing) and the built-in
// date formats (rendered from their catalogue text, "mm/dd/yy", once a file is read).
TEST(CorpusWorkbookTest, DisplayTextsAgreeWhereBothFormatAlike) {
    SKIP_WITHOUT_CORPUS();
    const SettingsScope usEnglish{platform::TRegionalSettings{}};
    const std::set<std::string> plain = {"General", "@",        "0",  "0.0",   "0.00", "0.000",
                                         "#,##0",   "#,##0.00", "0%", "0.00%", "h:mm"};
    long long compared = 0;
    for (const json& entry : test::CorpusManifest()["files"]) {
        const std::string name = entry["file"];
        const auto folder = test::CorpusDir() / "oracle" / "lo" / name;
        if (!std::filesystem::exists(folder / "index.json")) continue;
        const json index = test::LoadJson(folder / "index.json");
        if (!index.value("ok", false) || index.value("opened_as_text", false)) continue;
        const Opened o = Open(entry);
        if (!o.error.empty()) continue;
        SCOPED_TRACE(name);
        TWorkbook& book = o.file->Workbook();
        for (const json& sheetEntry : index["sheets"]) {
            if (!sheetEntry.value("shown", json()).is_string()) continue;
            TSheet* sheet =
                book.Sheets().Find(platform::Utf8ToUtf16(sheetEntry["name"].get<std::string>()));
            if (sheet == nullptr) continue;
            const auto shown = ReadCsv(folder / sheetEntry["shown"].get<std::string>());
            const auto formulas = sheetEntry.value("formulas", json()).is_string()
                                      ? ReadCsv(folder / sheetEntry["formulas"].get<std::string>())
                                      : decltype(shown){};
            TCells& cells = sheet->Cells();
            for (int i = 0; i < cells.Count(); ++i) {
                const TCell cell = cells.Items(i);
                const TFormatEntry& format = book.FormatTable().Entry(cell.NumberFormat());
                const std::string formatText = platform::Utf16ToUtf8(format.Text);
                if (plain.count(formatText) == 0) continue;
                const TCellValue v = cell.Value();
                if (!v.IsText() && v.Kind() != vkDouble) continue;
                const std::string formula = At(formulas, cell.Row(), cell.Col());
                if (formula.rfind('=', 0) == 0 || formula.rfind("{=", 0) == 0) continue;
                const std::string expected = At(shown, cell.Row(), cell.Col());
                if (expected.rfind("Err:", 0) == 0) continue;  // a formula it failed to evaluate
                if (v.Kind() == vkDouble && formatText == "General") {
                    const double a = std::fabs(v.AsDouble());
                    if (a != 0 && (a < 1e-3 || a >= 1e15)) continue;
                    if (std::stod(platform::Utf16ToUtf8(cell.DisplayText())) != v.AsDouble() &&
                        v.AsDouble() != 0) {
                        continue;  // more than 15 significant digits
                    }
                }
                ++compared;
                EXPECT_EQ(platform::Utf16ToUtf8(cell.DisplayText()), expected)
                    << sheetEntry["name"].get<std::string>() << " row " << cell.Row() << " col "
                    << cell.Col() << " format " << formatText;
            }
        }
    }
    EXPECT_GT(compared, 200000);
}
