// Formula texts of real workbooks compared with another spreadsheet's (its formulas.csv
// oracle files). The two write the same formulas in different notations: the other one
// puts "=" in front, names sheets as $Sheet.A1 instead of 'Sheet'!A1, external workbooks
// as 'file:///dir/Book.xls'#$Sheet.A1 instead of 'dir\[Book.xls]Sheet'!A1, intersects with
// "!" and unites with "~", writes whole rows as $A1:$IV1, constants of truth as TRUE(),
// and numbers in its own way. Both are brought to one notation first. What still differs
// must be one of the deliberate differences listed in DeliberateDifference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
// GCC 12 reports members of its own <regex> automaton as maybe uninitialised when it
// optimises; they are not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <sstream>

#include "cli/DumpCommand.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "tests/support/CorpusOracle.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WorkbookFixtures.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;
using json = nlohmann::json;

namespace {

bool StartsWith(const std::string& s, std::string_view prefix) {
    return s.rfind(prefix, 0) == 0;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

// Applies `code` to the parts of a formula outside its string constants.
template <typename F>
std::string OutsideStrings(const std::string& formula, F code) {
    std::string out, part;
    for (std::size_t i = 0; i < formula.size();) {
        if (formula[i] != '"') {
            part += formula[i++];
            continue;
        }
        out += code(part);
        part.clear();
        std::size_t end = i + 1;
        while (end < formula.size() &&
               !(formula[end] == '"' && (end + 1 == formula.size() || formula[end + 1] != '"')))
            end += formula[end] == '"' ? 2 : 1;
        out += formula.substr(i, end + 1 - i);
        i = end + 1;
    }
    return out + code(part);
}

const std::vector<std::string> kErrors = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                          "#NAME?", "#NUM!",   "#N/A"};

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Numbers in one form ("1E-5", "0.00001" and "1.0E-05" alike); error constants stay.
std::string CanonicalNumbers(const std::string& t) {
    std::string out;
    for (std::size_t i = 0; i < t.size();) {
        const bool error = t[i] == '#';
        if (error) {
            const std::size_t end = t.find_first_of("!?A", i + 1);  // "#N/A" ends in A
            const std::size_t stop = end == std::string::npos ? t.size() : end + 1;
            out += t.substr(i, stop - i);
            i = stop;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(t[i])) &&
            (out.empty() || !IsNameChar(out.back()))) {
            char* end = nullptr;
            const double value = std::strtod(t.c_str() + i, &end);
            const std::size_t stop = static_cast<std::size_t>(end - t.c_str());
            if (stop >= t.size() ||
                !(std::isalpha(static_cast<unsigned char>(t[stop])) || t[stop] == '(')) {
                char buffer[40];
                std::snprintf(buffer, sizeof buffer, "%.15g", value);
                out += buffer;
                i = stop;
                continue;
            }
        }
        out += t[i++];
    }
    return out;
}

// What both notations share once brought together.
std::string Common(std::string t) {
    ReplaceAll(t, "TRUE()", "TRUE");
    ReplaceAll(t, "FALSE()", "FALSE");
    ReplaceAll(t, "_xlfn.", "");
    static const std::regex na(R"((^|[^A-Za-z0-9_.])NA\(\))");
    t = std::regex_replace(t, na, "$1#N/A");
    // Whole columns (rows 1 to 65536) and whole rows (columns A to IV).
    static const std::regex columns(
        R"((^|[^A-Za-z0-9_.$])(\$?[A-Z]{1,2})\$?1:(\$?[A-Z]{1,2})\$?65536(?![0-9]))");
    t = std::regex_replace(t, columns, "$1$2:$3");
    static const std::regex rows(R"((^|[^A-Za-z0-9_.$])\$?A(\$?[0-9]+):\$?IV(\$?[0-9]+)(?![0-9]))");
    t = std::regex_replace(t, rows, "$1$2:$3");
    return CanonicalNumbers(t);
}

// Ours: 'Sheet'!A1 and 'dir\[Book.xls]Sheet'!A1 become Sheet!A1 and [dir/Book.xls]Sheet!A1.
std::string NormaliseOurs(const std::string& formula) {
    return OutsideStrings(formula, [](const std::string& t) {
        std::string out;
        for (std::size_t i = 0; i < t.size();) {
            const std::size_t close = t[i] == '\'' ? t.find("'!", i + 1) : std::string::npos;
            if (close == std::string::npos) {
                out += t[i++];
                continue;
            }
            std::string inside = t.substr(i + 1, close - i - 1);
            const std::size_t open = inside.find('[');
            if (open != std::string::npos) {
                std::string path = inside.substr(0, open) + inside.substr(open + 1);
                const std::size_t bracket = path.find(']');
                std::string sheet = bracket == std::string::npos ? "" : path.substr(bracket + 1);
                path = path.substr(0, bracket);
                ReplaceAll(path, "\\", "/");
                while (StartsWith(path, "/"))
                    path.erase(0, 1);
                inside = "[" + path + "]" + sheet;
            }
            out += inside + "!";
            i = close + 2;
        }
        return Common(out);
    });
}

// The other program's notation.
std::string NormaliseOther(std::string formula) {
    if (StartsWith(formula, "{=") && formula.back() == '}') {
        formula = formula.substr(2, formula.size() - 3);  // an array formula
    } else if (StartsWith(formula, "=")) {
        formula.erase(0, 1);
    }
    return OutsideStrings(formula, [](std::string t) {
        // External workbooks, the document's own folder written as DOCDIR.
        static const std::regex external(R"('(?:file:///)?([^']*)'#)");
        t = std::regex_replace(t, external, "[$1]");
        ReplaceAll(t, "DOCDIR/", "");
        ReplaceAll(t, "$#REF!$#REF!", "#REF!");
        ReplaceAll(t, "#REF!$#REF!", "#REF!");
        ReplaceAll(t, "#REF!#REF!", "#REF!");
        ReplaceAll(t, "$#REF!.", "#REF!");
        ReplaceAll(t, "$#REF!", "#REF!");
        // "!" intersects, "~" unites.
        for (std::size_t i = 0; i < kErrors.size(); ++i)
            ReplaceAll(t, kErrors[i], "\x01" + std::to_string(i) + "\x01");
        ReplaceAll(t, "!", " ");
        ReplaceAll(t, "~", ",");
        for (std::size_t i = 0; i < kErrors.size(); ++i)
            ReplaceAll(t, "\x01" + std::to_string(i) + "\x01", kErrors[i]);
        // Sheets: $'My Sheet'.A1, $Data.A1; a name of another sheet as Data.Total.
        static const std::regex quoted(R"(\$'((?:[^']|'')*)'\.)");
        t = std::regex_replace(t, quoted, "$1!");
        ReplaceAll(t, "''", "'");
        static const std::regex plain(R"(\$([^\s'$.!(),;:"&=<>+\-*/^%{}]+)\.)");
        t = std::regex_replace(t, plain, "$1!");
        static const std::regex localName(
            R"((^|[^A-Za-z0-9_.$/])([A-Za-z_][A-Za-z0-9_]*)\.([A-Za-z_][A-Za-z0-9_]*)(?![A-Za-z0-9_.(\]/]))");
        t = std::regex_replace(t, localName, "$1$2!$3");
        // Its own names of compatibility and add-in functions.
        for (const char* suffix : {"_ADD(", "_EXCEL2003(", ".XCL("})
            ReplaceAll(t, suffix, "(");
        return Common(t);
    });
}

// Why a formula text may differ from the other program's on purpose, or "" when the two
// must agree. Both texts are normalised.
std::string DeliberateDifference(const std::string& other, const std::string& ours) {
    if (other.find("MULTIPLE.OPERATIONS(") != std::string::npos && StartsWith(ours, "TABLE(")) {
        return "data tables: the other program writes each cell's MULTIPLE.OPERATIONS";
    }
    if (other.find("#NAME") != std::string::npos) {
        return "names and add-in functions the other program cannot resolve show as #NAME";
    }
    std::string withoutErrors = ours;
    for (const char* error : {"#NULL!", "#DIV/0!", "#VALUE!", "#NAME?", "#NUM!"})
        ReplaceAll(withoutErrors, error, "");
    if (withoutErrors == other) {
        return "error constants other than #N/A: the other program leaves the argument empty";
    }
    if (ours.find('!') == std::string::npos && other.size() > ours.size() &&
        other.compare(other.size() - ours.size() - 1, std::string::npos, "!" + ours) == 0) {
        return "a name of another sheet: the common subset shows the name without its sheet";
    }
    std::string zeros = ours;
    ReplaceAll(zeros, ",,", ",0,");
    ReplaceAll(zeros, ",)", ",0)");
    if (zeros == other) return "missing arguments: the other program writes 0 in array formulas";
    return {};
}

struct Comparison {
    long long cells = 0;     // formula cells of the other program
    long long agreeing = 0;  // agree after normalising
    long long decoded = 0;   // ours has a formula text
    long long deliberate = 0;
    std::map<std::string, long long> reasons;
};

bool Openable(const std::filesystem::path& folder) {
    if (!std::filesystem::exists(folder / "index.json")) return false;
    const json index = test::LoadJson(folder / "index.json");
    return index.value("ok", false) && !index.value("opened_as_text", false);
}

std::unique_ptr<TXLSFile> Read(const json& entry, bool allFormulas) {
    auto file = std::make_unique<TXLSFile>();
    file->SetFormulaSettings(TFormulaSettings{allFormulas});
    const json known = entry.value("password", json());
    const std::string password = known.is_string() ? known.get<std::string>() : "";
    const auto path = test::CorpusDir() / "files" / entry["file"].get<std::string>();
    test::ExpectBodiesReadWhole(*file, entry["file"].get<std::string>());
    try {
        file->OpenFile(platform::Utf8ToUtf16(path.string()), platform::Utf8ToUtf16(password));
    } catch (const Exception&) {
        return nullptr;
    }
    return file;
}

// Compares every formula cell of the other program's oracle with ours. `strict`: every
// formula we decode must agree or differ deliberately.
Comparison CompareCorpus(bool allFormulas, bool strict) {
    Comparison c;
    for (const json& entry : test::CorpusManifest()["files"]) {
        const std::string name = entry["file"];
        const auto folder = test::CorpusDir() / "oracle" / "lo" / name;
        if (!Openable(folder)) continue;
        // The formulas of versions 2 to 4 (bare record streams) keep their cached results
        // only: their tokens are of another layout.
        if (entry["container"] == "raw_biff") continue;
        const auto file = Read(entry, allFormulas);
        if (!file) continue;
        SCOPED_TRACE(name);
        const json index = test::LoadJson(folder / "index.json");
        for (const json& sheetEntry : index["sheets"]) {
            if (!sheetEntry.value("formulas", json()).is_string()) continue;
            TSheet* sheet = file->Workbook().Sheets().Find(
                platform::Utf8ToUtf16(sheetEntry["name"].get<std::string>()));
            if (sheet == nullptr) continue;
            const auto rows = test::ReadCsv(folder / sheetEntry["formulas"].get<std::string>());
            for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
                for (int col = 0; col < static_cast<int>(rows[r].size()); ++col) {
                    const std::string& other = rows[r][col];
                    if (!StartsWith(other, "=") && !StartsWith(other, "{=")) continue;
                    // The other program writes truth values and errors as formulas too
                    // (values without a formula here), and texts that begin with "=" as
                    // they are.
                    const std::optional<TCell> cell = sheet->Cells().Find(r, col);
                    if (!cell) continue;
                    const std::string ours = cell->Formula();
                    const TCellValue value = cell->Value();
                    if (ours.empty() && value.Kind() == vkBoolean &&
                        (other == "=TRUE()" || other == "=FALSE()"))
                        continue;
                    if (ours.empty() && value.Kind() == vkError) continue;
                    if (ours.empty() && value.IsText() &&
                        platform::Utf16ToUtf8(value.AsWideText()) == other)
                        continue;
                    ++c.cells;
                    if (ours.empty()) continue;
                    ++c.decoded;
                    const std::string a = NormaliseOther(other);
                    const std::string b = NormaliseOurs(platform::Utf16ToUtf8(
                        platform::MultiByteToWide(platform::LibraryCodePage(), ours)));
                    if (a == b) {
                        ++c.agreeing;
                        continue;
                    }
                    const std::string reason = DeliberateDifference(a, b);
                    if (!reason.empty()) {
                        ++c.deliberate;
                        ++c.reasons[reason];
                    } else if (strict) {
                        ADD_FAILURE()
                            << sheetEntry["name"].get<std::string>() << " row " << r << " col "
                            << col << ": \"" << b << "\", the other program \"" << a << "\"";
                    }
                }
            }
        }
    }
    return c;
}

// Numbers and argument separators in U.S. English (each file object takes the list
// separator of the regional settings).
class FormulaSettingsScope {
  public:
    FormulaSettingsScope() : saved_(platform::RegionalSettings()) {
        platform::SetRegionalSettings(platform::TRegionalSettings{});
    }
    ~FormulaSettingsScope() { platform::SetRegionalSettings(saved_); }

  private:
    platform::TRegionalSettings saved_;
};

}  // namespace

// The common subset leaves many formulas without text; each one it decodes agrees.
TEST(CorpusFormulaTest, EveryDecodedFormulaAgreesWithAnotherSpreadsheet) {
    SKIP_WITHOUT_CORPUS();
    const FormulaSettingsScope usEnglish;
    const Comparison c = CompareCorpus(false, true);
    EXPECT_GT(c.cells, 30000);
    EXPECT_GT(c.decoded, c.cells * 7 / 10);
    EXPECT_EQ(c.agreeing + c.deliberate, c.decoded);
    std::cout << "  " << c.agreeing << " of " << c.decoded << " decoded formulas agree; " << c.cells
              << " formula cells\n";
    for (const auto& [reason, count] : c.reasons)
        std::cout << "  " << count << " deliberately different: " << reason << '\n';
}

// Every token and function: nearly every formula cell agrees.
TEST(CorpusFormulaTest, CompleteDecoderAgreesOnNinetyNinePercent) {
    SKIP_WITHOUT_CORPUS();
    const FormulaSettingsScope usEnglish;
    const Comparison c = CompareCorpus(true, true);
    EXPECT_GT(c.cells, 30000);
    EXPECT_GE(c.agreeing * 100, c.cells * 99) << c.agreeing << " of " << c.cells;
    EXPECT_EQ(c.decoded, c.cells);
    std::cout << "  " << c.agreeing << " of " << c.cells << " formula cells agree, " << c.decoded
              << " decoded\n";
    for (const auto& [reason, count] : c.reasons)
        std::cout << "  " << count << " deliberately different: " << reason << '\n';
}

// The dump shows formula texts and defined names.
TEST(CorpusFormulaTest, DumpShowsFormulasAndNames) {
    SKIP_WITHOUT_CORPUS();
    const FormulaSettingsScope usEnglish;
    const auto path = test::CorpusDir() / "files" / "poi__56737.xls";
    std::ostringstream out, err;
    ASSERT_EQ(cli::DumpWorkbook(path.string(), "", out, err, {false, true}), 0) << err.str();
    const json dump = json::parse(out.str());
    ASSERT_EQ(dump["names"].size(), 2u);
    EXPECT_EQ(dump["names"][1]["name"], "NR_To_A1");
    EXPECT_EQ(dump["names"][1]["builtIn"], 0);
    EXPECT_EQ(dump["names"][1]["sheet"], 1);
    EXPECT_EQ(dump["names"][1]["areas"], json::parse("[[0,0,0,0]]"));
    std::map<std::pair<int, int>, std::string> formulas;
    for (const json& cell : dump["sheets"][0]["cells"]) {
        if (cell.contains("formula")) formulas[{cell["row"], cell["col"]}] = cell["formula"];
    }
    EXPECT_EQ(formulas[std::make_pair(1, 3)], "'Defines'!NR_To_A1");  // another sheet's name
    EXPECT_EQ(formulas[std::make_pair(4, 3)], "IF('Defines'!$B$2=142,NR_Global_B2,-1)");
}
