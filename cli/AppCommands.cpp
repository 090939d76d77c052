#include "cli/AppCommands.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <system_error>

#include "cli/Interrupts.h"
#include "cli/StructureCommands.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"
#include "xls/write/TXLSWriterTXT.h"

namespace vorlix::cli {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// The message of a refusal or failure, and the exit status that goes with it.
int Fail(std::ostream& err, const std::string& message) {
    err << message << '\n';
    return 2;
}

// Texts that are not valid UTF-8 are written with replacement characters, not refused.
std::string Dump(const json& value, int indent = -1) {
    return value.dump(indent, ' ', false, json::error_handler_t::replace);
}

json JsonValue(const TCellValue& value, std::uint32_t codePage) {
    switch (value.Kind()) {
        case vkSmallInt:
        case vkInteger:
        case vkShortInt:
        case vkByte:
        case vkWord:
        case vkLongWord:
        case vkInt64:
            return value.IntegerPart();
        case vkSingle:
        case vkDouble:
        case vkCurrency:
            return value.AsDouble();
        case vkBoolean:
            return value.AsBoolean();
        case vkDate:
        case vkError:
        case vkWideString:
        case vkString:
        case vkUString:
            return RawValueText(value, codePage);
        default:
            return nullptr;
    }
}

// A cell's formula text without "=", or empty.
std::string FormulaText(const TCell& cell) {
    std::string text = FormulaFieldText(cell);
    if (!text.empty()) text.erase(0, 1);
    return text;
}

// What the read of a damaged workbook worked around, one line each: "FILE: warning: ...".
void PrintWarnings(const std::string& file, const std::vector<std::string>& warnings,
                   std::ostream& err) {
    for (const std::string& warning : warnings)
        err << file << ": warning: " << warning << '\n';
}

int PrintInformationJson(const std::string& file, bool contents, const std::string& password,
                         bool allFormulas, std::ostream& out, std::ostream& err) {
    const std::u16string wide = platform::Utf8ToUtf16(password);
    const app::TWorkbookCheck check = app::CheckWorkbook(file, wide);
    if (check.State != app::TWorkbookState::Readable) return Fail(err, check.Message);
    TXLSFile xls;
    xls.SetFormulaSettings(TFormulaSettings{allFormulas});
    xls.OpenDocument(*check.Document, wide);
    PrintWarnings(file, xls.Workbook().Warnings, err);
    const TSheets& sheets = xls.Workbook().Sheets();
    json list = json::array();
    for (int i = 0; i < sheets.Count(); ++i) {
        const TSheet& sheet = sheets.Items(i);
        const TCells& cells = sheet.Cells();
        json entry = {{"sheet", i + 1},
                      {"name", platform::Utf16ToUtf8(sheet.Name())},
                      {"cells", cells.Count()}};
        if (contents) {
            json listed = json::array();
            for (int k = 0; k < cells.Count(); ++k) {
                const TCell cell = cells.Items(k);
                const TCellValue value = cell.Value();
                json listedCell = {{"row", cell.Row() + 1},
                                   {"col", cell.Col() + 1},
                                   {"text", app::RenderCellText(cell)},
                                   {"value", JsonValue(value, xls.CodePage())}};
                if (std::string formula = FormulaText(cell); !formula.empty())
                    listedCell["formula"] = std::move(formula);
                listed.push_back(std::move(listedCell));
            }
            entry["contents"] = std::move(listed);
        }
        list.push_back(std::move(entry));
    }
    out << Dump({{"file", file},
                 {"format", FileFormatName(xls.Workbook().Format)},
                 {"encryption", EncryptionName(xls.Workbook().Encryption)},
                 {"worksheets", sheets.Count()},
                 {"sheets", list}},
                1)
        << '\n';
    return 0;
}

// The end of an export that was cancelled: what it wrote whole before.
int ReportCancelled(const app::TExportOutcome& outcome, std::ostream& out, std::ostream& err) {
    for (const fs::path& file : outcome.Files)
        out << file.string() << '\n';
    err << app::kExportCancelled << '\n';
    return InterruptedStatus();
}

// The workbooks of a batch export and the folders their files go to; the folders that
// could not be read are counted after being named on the error stream.
struct TBatch {
    std::vector<app::TBatchSource> Sources;
    std::size_t Problems = 0;
};

TBatch CollectBatch(const TExportRequest& request, std::ostream& err) {
    TBatch batch;
    // A workbook named twice (a file and its folder, "a" and "./a") is written once; links
    // are workbooks of their own, as in the folder's listing.
    std::set<fs::path> seen;
    const auto add = [&](const fs::path& workbook, const fs::path& folder) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(workbook, ec).lexically_normal();
        if (!seen.insert(ec ? workbook.lexically_normal() : absolute).second) return;
        batch.Sources.push_back({workbook, folder});
    };
    for (const std::string& path : request.Paths) {
        const fs::path given = path;
        if (!IsFolder(path)) {
            add(given, request.OutputFolder.empty() ? given.parent_path()
                                                    : fs::path(request.OutputFolder));
            continue;
        }
        app::TFolderWalk walk;
        if (request.Recursive) {
            walk = app::WalkWorkbooks(given);
        } else {
            std::error_code ec;
            walk.Workbooks = app::ListVisibleWorkbooks(given, &ec);
            if (ec) walk.Unreadable.push_back({given, ec});
        }
        for (const app::TFolderWalk::TUnreadable& folder : walk.Unreadable)
            err << app::FolderUnreadableMessage(folder.Folder, folder.Error) << '\n';
        batch.Problems += walk.Unreadable.size();
        if (walk.Workbooks.empty() && walk.Unreadable.empty())
            err << "There are no workbooks (.xls files) in " << path << '\n';
        for (const fs::path& workbook : walk.Workbooks) {
            fs::path folder = workbook.parent_path();
            if (!request.OutputFolder.empty()) {
                // A subfolder's workbooks go to the same subfolder under the output folder.
                const fs::path below = folder.lexically_relative(given);
                folder = below.empty() || below == "." ? fs::path(request.OutputFolder)
                                                       : request.OutputFolder / below;
            }
            add(workbook, folder);
        }
    }
    return batch;
}

// One workbook by itself: its files under its output name or the default name, or its text
// on standard output.
int ExportOneWorkbook(const TExportRequest& request, std::ostream& out, std::ostream& err) {
    const fs::path workbook = request.Paths.front();
    app::TExportSettings settings = request.Settings;
    settings.NameAsGiven = true;
    settings.Password = platform::Utf8ToUtf16(request.Password);
    std::string outputName = request.OutputName;
    // Standard output stops taking text once the export is cancelled.
    std::optional<TStoppingBuffer> stopping;
    std::ostream stoppingOut(nullptr);
    if (outputName == "-") {
        settings.Output = &out;
        if (request.Job != nullptr) {
            stopping.emplace(*out.rdbuf(), *request.Job);
            stoppingOut.rdbuf(&*stopping);
            settings.Output = &stoppingOut;
        }
        outputName.clear();
    } else if (outputName.empty()) {
        const std::string derived = app::ExportStem(workbook.filename().string()) +
                                    (settings.Kind == tkCSV ? ".csv" : ".txt");
        const fs::path folder =
            request.OutputFolder.empty() ? workbook.parent_path() : fs::path(request.OutputFolder);
        if (!request.OutputFolder.empty()) {
            std::error_code ec;
            fs::create_directories(folder, ec);
            if (ec)
                return Fail(err, "Cannot create folder " + folder.string() + ": " + ec.message());
        }
        outputName = folder.empty() ? derived : (folder / derived).string();
    }
    app::TExportOutcome outcome;
    try {
        outcome = app::ExportFile(workbook, outputName, settings, request.Job);
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
    out.flush();
    if (outcome.Cancelled || (request.Job != nullptr && request.Job->Cancelled()))
        return ReportCancelled(outcome, out, err);
    if (!outcome.Done) return Fail(err, outcome.Message);
    for (const fs::path& file : outcome.Files)
        out << file.string() << '\n';
    if (outcome.Message == app::kNoCellsToWrite) err << outcome.Message << '\n';
    return 0;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

bool UseLocale(const std::string& name, std::ostream& err) {
    platform::TRegionalSettings settings;
    if (!platform::TRegionalSettings::FromLocale(name, settings)) {
        err << "Unknown locale: " << name << '\n';
        return false;
    }
    platform::SetRegionalSettings(settings);
    return true;
}

int PrintInformation(const std::string& file, bool contents, bool asJson,
                     const std::string& password, std::ostream& out, std::ostream& err,
                     bool allFormulas) {
    try {
        if (asJson) return PrintInformationJson(file, contents, password, allFormulas, out, err);
        const app::TReport report =
            app::FileInformation(file, contents, platform::Utf8ToUtf16(password));
        if (!report.Message.empty()) return Fail(err, report.Message);
        PrintWarnings(file, report.Warnings, err);
        for (const std::string& line : report.Lines)
            out << line << '\n';
        return 0;
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
}

int PrintSearch(const TSearchRequest& request, std::ostream& out, std::ostream& err) {
    app::TSearchOptions options;
    options.Text = request.Text;
    options.Match = request.Match;
    options.CaseSensitive = request.CaseSensitive;
    options.Password = platform::Utf8ToUtf16(request.Password);
    options.Jobs = request.Jobs;
    options.FormulaSettings.AllFormulas = request.AllFormulas;
    if (request.Regex || request.WholeWord) {
        try {
            options.Matcher = app::PatternMatcher(request.Text, request.Regex, request.WholeWord,
                                                  request.Match, request.CaseSensitive);
        } catch (const std::regex_error& e) {
            return Fail(err, "Invalid regular expression: " + std::string(e.what()));
        }
    }
    const auto onHit = [&out, &request](const app::TSearchHit& hit, int) {
        if (request.Json) {
            json object = {{"file", hit.File},
                           {"sheet", hit.Sheet},
                           {"row", hit.Row},
                           {"col", hit.Col},
                           {"text", hit.Text}};
            if (!hit.Formula.empty()) object["formula"] = hit.Formula;
            out << Dump(object) << '\n';
            return;
        }
        out << EscapeName(hit.File) << '\t' << hit.Sheet << '\t' << hit.Row << '\t' << hit.Col
            << '\t' << EscapeName(hit.Text) << '\n';
    };
    app::TSearchOutcome outcome;
    int workbooks = 0;  // of a folder, skipped ones included
    try {
        outcome = IsFolder(request.Path)
                      ? app::SearchDirectory(request.Path, options, onHit,
                                             [&workbooks](const std::string&) { ++workbooks; })
                      : app::SearchThisFile(request.Path, options, onHit);
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
    out.flush();
    for (const app::TSkippedFile& skipped : outcome.Skipped)
        err << "Skipped " << skipped.File.string() << ": " << skipped.Reason << '\n';
    if (!outcome.Skipped.empty()) {
        // Nothing searched tells nothing; hits or not, the others' outcome is incomplete.
        const bool noneSearched = static_cast<int>(outcome.Skipped.size()) == workbooks;
        if (outcome.Hits == 0 && !noneSearched) err << app::kNoMatchFound << '\n';
        return noneSearched ? 2 : 3;
    }
    if (outcome.Hits > 0) return 0;
    if (outcome.Message == app::kNoMatchFound) {
        err << outcome.Message << '\n';
        return 1;
    }
    // The window passes over a protected workbook in silence; a script needs to know.
    return Fail(err, outcome.Message.empty() ? app::kPasswordProtected : outcome.Message);
}

int RunExport(const TExportRequest& request, std::ostream& out, std::ostream& err) {
    if (request.Paths.size() == 1 && !IsFolder(request.Paths.front()))
        return ExportOneWorkbook(request, out, err);
    if (!request.OutputName.empty())
        return Fail(err, "An output name applies to one workbook, not to a folder or to several");
    if (!request.OutputFolder.empty()) {
        std::error_code ec;
        fs::create_directories(request.OutputFolder, ec);
        if (ec)
            return Fail(err, "Cannot create folder " + request.OutputFolder + ": " + ec.message());
    }
    const TBatch batch = CollectBatch(request, err);
    app::TExportOutcome outcome;
    const auto cancelled = [&] {
        return outcome.Cancelled || (request.Job != nullptr && request.Job->Cancelled());
    };
    try {
        app::TFileDone onFile;
        if (request.Progress != nullptr) {
            onFile = [progress = request.Progress](const std::string& name) {
                *progress << "Exporting " << name << std::endl;
            };
        }
        outcome = app::ExportWorkbooks(batch.Sources, request.Settings, onFile, request.Job);
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
    if (cancelled()) return ReportCancelled(outcome, out, err);
    for (const fs::path& file : outcome.Files)
        out << file.string() << '\n';
    out.flush();
    std::size_t failed = 0;
    for (const app::TSkippedFile& skipped : outcome.Skipped) {
        err << "Skipped " << skipped.File.string() << ": " << skipped.Reason << '\n';
        if (!skipped.NothingToWrite) ++failed;
    }
    if (failed == 0 && batch.Problems == 0) return 0;
    return failed == batch.Sources.size() ? 2 : 3;
}

int RunImages(const TImagesRequest& request, std::ostream& out, std::ostream& err) {
    app::TPicturesOutcome outcome;
    try {
        outcome = app::ExtractPictures(request.File, request.Folder,
                                       platform::Utf8ToUtf16(request.Password));
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
    for (const fs::path& file : outcome.Files)
        out << file.string() << '\n';
    out.flush();
    for (const std::string& note : outcome.Notes)
        err << note << '\n';
    if (!outcome.Message.empty()) return Fail(err, outcome.Message);
    if (outcome.Pictures == 0) err << "The workbook has no pictures\n";
    return 0;
}

bool ParseEncoding(const std::string& name, std::uint32_t& codePage) {
    static const std::pair<const char*, std::uint32_t> kNames[] = {
        {"utf-8", 65001},  {"utf8", 65001},     {"utf-16le", 1200}, {"utf-16be", 1201},
        {"latin1", 28591}, {"us-ascii", 20127}, {"ascii", 20127},   {"koi8-r", 20866},
        {"koi8-u", 21866}, {"shift_jis", 932},  {"gb18030", 54936}, {"iso-8859-15", 28605},
    };
    const std::string lower = Lower(name);
    codePage = 0;
    for (const auto& [known, number] : kNames) {
        if (lower == known) codePage = number;
    }
    const auto number = [&codePage](const std::string& digits, std::uint32_t offset = 0) {
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return;
        codePage = static_cast<std::uint32_t>(std::stoul(digits)) + offset;
    };
    if (codePage == 0) {
        if (lower.starts_with("windows-")) {
            number(lower.substr(8));
        } else if (lower.starts_with("cp")) {
            number(lower.substr(2));
        } else if (lower.starts_with("iso-8859-") && lower.size() == 10) {
            number(lower.substr(9), 28590);
        } else {
            number(lower);
        }
    }
    return codePage != 0 && platform::IsCodePageSupported(codePage);
}

}  // namespace vorlix::cli
