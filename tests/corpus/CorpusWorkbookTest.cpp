// Real workbooks read into the model and compared with what an independent reader (its
// JSON oracle files) found in them: sheet names and visibility, and every cell's kind
// and value. Where this library deliberately reads differently, the difference is
// spelled out below and checked as such.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/DumpCommand.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "tests/support/CorpusOracle.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WorkbookFixtures.h"
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

// A compound document whose workbook stream ("Workbook" or, for Excel 5.0 and 95 and some
// other writers, "Book", in any letter case) holds BIFF5/7 or BIFF8.
bool IsWorkbookStream(const json& entry) {
    if (entry["container"] != "ole2" || !entry.value("stream_name", json()).is_string())
        return false;
    const std::string stream = Lower(entry["stream_name"]);
    const json biff = entry.value("biff", json());
    return (stream == "workbook" || stream == "book") && (biff == 5 || biff == 8);
}

std::string Utf8(const std::u16string& s) {
    return platform::Utf16ToUtf8(s);
}

// The independent reader gives dates as serial numbers of the workbook's date system;
// the model counts days from 30 December 1899 and skips the 1900 system's 29 February.
// Durations (formats of elapsed time) keep their count of days, times of day (below one
// day, under a format of times alone) their fraction of a day.
TCellValue ModelDate(double serial, int dateMode, const std::u16string& format) {
    if (FormatHasElapsedTime(format)) return TCellValue::Duration(serial);
    if (!FormatHasDate(format) && serial >= 0 && serial < 1) return TCellValue::TimeOfDay(serial);
    if (dateMode == 1904) return TCellValue::DateTime(serial + 1462);
    const double d = serial + 1;
    return TCellValue::DateTime(d > 61 ? d - 1 : d);
}

bool IsRecordStream(const json& entry) {
    return entry["container"] == "raw_biff";
}

// Files whose cells this library reads differently on purpose, with the reason.
const std::map<std::string, std::string> kKnownDifferences = {};

// The one sheet of a worksheet file of the older versions is "Sheet1" here, as a
// spreadsheet names it; the independent reader calls it "Sheet 1".
std::string OurSheetName(const json& entry, const std::string& theirs) {
    return IsRecordStream(entry) && theirs == "Sheet 1" ? "Sheet1" : theirs;
}

struct Opened {
    std::unique_ptr<TXLSFile> file;
    std::string error;
    int fileCode = -1;  // the ECFileError code, when that was the error
};

Opened Open(const json& entry) {
    Opened result;
    result.file = std::make_unique<TXLSFile>();
    const auto path = test::CorpusDir() / "files" / entry["file"].get<std::string>();
    const std::string password = entry.value("password", json()).is_string()
                                     ? entry["password"].get<std::string>()
                                     : std::string();
    test::ExpectBodiesReadWhole(*result.file, entry["file"].get<std::string>());
    try {
        result.file->OpenFile(platform::Utf8ToUtf16(path.string()),
                              platform::Utf8ToUtf16(password));
    } catch (const ECFileError& e) {
        result.error = e.what();
        result.fileCode = e.Code();
    } catch (const Exception& e) {
        result.error = e.what();
    }
    return result;
}

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
            EXPECT_TRUE(IsWorkbookStream(entry) || IsRecordStream(entry));
            // The manifest's names, in this library's spelling.
            std::string expected = encryption.empty() ? "none" : encryption;
            if (expected == "rc4_cryptoapi") expected = "rc4-cryptoapi";
            if (expected == "xor_biff5") expected = "xor";
            EXPECT_EQ(EncryptionName(o.file->Workbook().Encryption), expected);
            continue;
        }
        EXPECT_FALSE(IsRecordStream(entry)) << o.error;
        if (!IsWorkbookStream(entry)) {
            // No BIFF5 or BIFF8 workbook stream: not a compound document, or an older format.
            EXPECT_TRUE(o.fileCode == 3 ||
                        o.error ==
                            "Stream not found: Workbook. File format is not Excel 97 or higher.")
                << o.error;
        } else if (encryption == "rc4" || encryption == "rc4_cryptoapi" || encryption == "xor" ||
                   encryption == "xor_biff5") {
            // Only the workbook whose password nobody knows stays closed.
            EXPECT_TRUE(entry.value("password", json()).is_null()) << o.error;
            EXPECT_EQ(o.error, "Error: file is protected, and password is invalid!");
        } else {
            // Damaged files that other readers open open here too (with warnings); only
            // those they refuse as well stay refused.
            EXPECT_TRUE(test::HasFeature(entry, "malformed")) << o.error;
            const std::string other = entry["oracle"].value("libreoffice", "");
            EXPECT_NE(other.substr(0, 2), "ok") << o.error;
        }
    }
    EXPECT_GT(opened, 250);
}

TEST(CorpusWorkbookTest, SheetsAndCellsAgreeWithAnIndependentReader) {
    SKIP_WITHOUT_CORPUS();
    int files = 0;
    long long compared = 0, errors = 0;
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
            const std::string sheetName = OurSheetName(entry, theirs["name"]);
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
                ASSERT_TRUE(cell.has_value()) << where;
                const TCellValue v = cell->Value();
                ++compared;
                if (ctype == 5) {
                    ++errors;
                    EXPECT_EQ(v, TCellValue::Error(c[3].get<std::uint8_t>())) << where;
                } else if (ctype == 1) {
                    if (c[3] == "" && v.IsEmpty())
                        continue;  // a formula's empty-text result keeps no value
                    ASSERT_TRUE(v.IsText()) << where;
                    EXPECT_EQ(Utf8(v.AsWideText()), c[3].get<std::string>()) << where;
                } else if (ctype == 4) {
                    ASSERT_EQ(v.Kind(), vkBoolean) << where;
                    EXPECT_EQ(v.AsBoolean(), c[3].get<int>() != 0) << where;
                } else {
                    // Numbers and dates: both readers take the same formats for dates.
                    const double expected = c[3];
                    if (ctype == 3) {
                        const TFormatEntry& format = book.FormatTable().Entry(cell->NumberFormat());
                        EXPECT_EQ(v, ModelDate(expected, book.DateMode, format.Text)) << where;
                    } else {
                        ASSERT_EQ(v.Kind(), vkDouble) << where;
                        EXPECT_EQ(v.AsDouble(), expected) << where;
                    }
                }
                // Workbook-defined formats carry the same text.
                const TFormatEntry& format = book.FormatTable().Entry(cell->NumberFormat());
                // (Version 2 cells name formats by cell attributes, which xlrd maps otherwise.)
                if (IsCustomFormatIndex(format.Index) && entry["biff"] != 2) {
                    EXPECT_EQ(Utf8(format.Text), c[4].get<std::string>()) << where;
                }
            }
        }
    }
    EXPECT_GT(files, 240);
    EXPECT_GT(compared, 300000);
    EXPECT_GT(errors, 1000);
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
        const std::string password = known.is_string() ? known.get<std::string>() : std::string();
        std::ostringstream out, err;
        ASSERT_EQ(cli::DumpWorkbook(path.string(), password, out, err), 0) << err.str();
        const json dump = json::parse(out.str());
        EXPECT_EQ(dump["version"], entry["biff"]);
        if (!IsRecordStream(entry)) {
            EXPECT_EQ(dump["format"], entry["biff"] == 5 ? "BIFF5" : "BIFF8");
        }
        // A damaged file whose stream holds no sheet reads as an empty workbook, with its
        // warnings.
        EXPECT_TRUE(!dump["sheets"].empty() || !dump["warnings"].empty());
    }
}

namespace {

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

// Whitespace collapsed: runs of spaces as one, none at either end.
std::string Collapsed(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const bool space = ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
        if (space && (out.empty() || out.back() == ' ')) continue;
        out += space ? ' ' : ch;
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string WithoutSpaces(const std::string& spaced) {
    std::string text = spaced;
    std::erase(text, ' ');
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Why a number or date's display text may differ from the other program's on purpose, or
// "" when the two must agree. Asked only where they differ.
std::string DeliberateDifference(const TFormatEntry& format, const TCellValue& v,
                                 const std::string& shown) {
    const std::string text = platform::Utf16ToUtf8(format.Text);
    const TFormatKind kind = FormatKindOfText(format.Text);
    const double x = v.AsDouble();
    if (kind == TFormatKind::Date && !IsCustomFormatIndex(format.Index)) {
        return "built-in date formats show the year whole (\"1/1/1915\")";
    }
    if (kind == TFormatKind::Date && !FormatHasElapsedTime(format.Text) && x < 61) {
        return "dates before March 1900: the other program has no 29 February 1900 and "
               "shows dates before 1900 that a spreadsheet does not";
    }
    if (kind == TFormatKind::Date && std::fabs(x * 86400 - std::round(x * 86400)) > 1e-6) {
        return "times are rounded to the second shown; the other program cuts them";
    }
    if (x == 0 && std::count(text.begin(), text.end(), ';') >= 2) {
        return "zero takes the first section, not the third";
    }
    if (kind == TFormatKind::General) {
        const double a = std::fabs(x);
        if (a != 0 && (a < 1e-3 || a >= 1e15))
            return "general numbers below 0.001 in scientific form";
        if (std::stod(shown) != x) return "general numbers with more than 15 significant digits";
    }
    if (std::count(text.begin(), text.end(), '0') > 15) return "more than 15 digits";
    if (Contains(text, "[$-") && !Contains(text, "[$-409]") && !Contains(text, "[$-0409]")) {
        return "locale tags other than U.S. English: the other program uses that locale's "
               "separators and time patterns, this one the user's";
    }
    if (Contains(text, "\\\"")) return "the other program cannot read an escaped quote";
    return {};
}

}  // namespace

// The display texts of numbers, dates, errors and texts shown through a text section agree
// with the other program's rendering (U.S. English) after whitespace is collapsed, or
// (numbers and dates) differ for one of the reasons above. Formula cells are not compared (the
// other program recalculates them). Padding that lines numbers up with parentheses and signs ("_)",
// "_(", "_-") adds no space here, so such formats are compared without spaces.
TEST(CorpusWorkbookTest, DisplayTextsAgreeWithAnotherSpreadsheet) {
    SKIP_WITHOUT_CORPUS();
    const SettingsScope usEnglish{platform::TRegionalSettings{}};
    long long compared = 0, deliberate = 0;
    for (const json& entry : test::CorpusManifest()["files"]) {
        const std::string name = entry["file"];
        const auto folder = test::CorpusDir() / "oracle" / "lo" / name;
        if (!std::filesystem::exists(folder / "index.json")) continue;
        const json index = test::LoadJson(folder / "index.json");
        if (!index.value("ok", false) || index.value("opened_as_text", false)) continue;
        const Opened o = Open(entry);
        // A damaged file read with warnings need not give what the other program's own
        // repairs give.
        if (!o.error.empty() || !o.file->Workbook().Warnings.empty()) continue;
        SCOPED_TRACE(name);
        TWorkbook& book = o.file->Workbook();
        for (const json& sheetEntry : index["sheets"]) {
            if (!sheetEntry.value("shown", json()).is_string()) continue;
            TSheet* sheet =
                book.Sheets().Find(platform::Utf8ToUtf16(sheetEntry["name"].get<std::string>()));
            if (sheet == nullptr) continue;
            const auto shown = test::ReadCsv(folder / sheetEntry["shown"].get<std::string>());
            const auto formulas =
                sheetEntry.value("formulas", json()).is_string()
                    ? test::ReadCsv(folder / sheetEntry["formulas"].get<std::string>())
                    : decltype(shown){};
            TCells& cells = sheet->Cells();
            for (int i = 0; i < cells.Count(); ++i) {
                const TCell cell = cells.Items(i);
                const TCellValue v = cell.Value();
                // Numbers, dates, errors, and texts under a format with a text section.
                const bool plain = v.Kind() == vkError || (v.IsText() && !cell.DisplaysTextAsIs());
                if (v.Kind() != vkDouble && v.Kind() != vkDate && !plain) continue;
                const std::string formula = test::CsvField(formulas, cell.Row(), cell.Col());
                if (formula.rfind('=', 0) == 0 || formula.rfind("{=", 0) == 0) continue;
                const std::string expected = test::CsvField(shown, cell.Row(), cell.Col());
                if (expected.rfind("Err:", 0) == 0) continue;  // a formula it failed to evaluate
                const TFormatEntry& format = book.FormatTable().Entry(cell.NumberFormat());
                const std::string ours = platform::Utf16ToUtf8(cell.DisplayText());
                const std::string text = platform::Utf16ToUtf8(format.Text);
                const bool pads =
                    Contains(text, "_)") || Contains(text, "_(") || Contains(text, "_-");
                const auto same = pads ? WithoutSpaces : Collapsed;
                ++compared;
                if (same(ours) == same(expected)) continue;
                if (!plain && !DeliberateDifference(format, v, ours).empty()) {
                    ++deliberate;
                    continue;
                }
                ADD_FAILURE() << sheetEntry["name"].get<std::string>() << " row " << cell.Row()
                              << " col " << cell.Col() << " value " << v.AsDouble() << " format "
                              << text << ": \"" << ours << "\", the other program \"" << expected
                              << "\"";
            }
        }
    }
    EXPECT_GT(compared, 100000);
    EXPECT_LT(deliberate, compared / 25);
}
