#include "cli/AppCommands.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "cli/StructureCommands.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"

namespace vorlix::cli {

namespace fs = std::filesystem;

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

int PrintInformation(const std::string& file, bool contents, const std::string& password,
                     std::ostream& out, std::ostream& err) {
    try {
        const app::TReport report =
            app::FileInformation(file, contents, platform::Utf8ToUtf16(password));
        if (!report.Message.empty()) return Fail(err, report.Message);
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
    const auto onHit = [&out](const app::TSearchHit& hit, int) {
        out << EscapeName(hit.File) << '\t' << hit.Sheet << '\t' << hit.Row << '\t' << hit.Col
            << '\t' << EscapeName(hit.Text) << '\n';
    };
    app::TSearchOutcome outcome;
    try {
        outcome = IsFolder(request.Path) ? app::SearchDirectory(request.Path, options, onHit)
                                         : app::SearchThisFile(request.Path, options, onHit);
    } catch (const std::exception& e) {
        return Fail(err, e.what());
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
    app::TExportOutcome outcome;
    try {
        if (IsFolder(request.Path)) {
            if (!request.OutputName.empty())
                return Fail(err, "An output name applies to one workbook, not to a folder");
            app::TFileDone onFile;
            if (request.Progress != nullptr) {
                onFile = [progress = request.Progress](const std::string& name) {
                    *progress << "Exporting " << name << std::endl;
                };
            }
            outcome = app::ExportDirectory(request.Path, request.Mode, request.Kind, onFile);
        } else {
            std::string outputName = request.OutputName;
            if (outputName.empty()) {
                const fs::path workbook = request.Path;
                const std::string derived =
                    app::OutputNameFor(workbook.filename().string(), request.Kind);
                outputName = workbook.has_parent_path()
                                 ? (workbook.parent_path() / derived).string()
                                 : derived;
            }
            outcome = app::ExportFile(request.Path, request.Mode, request.Kind, outputName,
                                      platform::Utf8ToUtf16(request.Password));
            if (outcome.Message != app::kExportDone) return Fail(err, outcome.Message);
        }
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
    for (const fs::path& file : outcome.Files)
        out << file.string() << '\n';
    return 0;
}

}  // namespace vorlix::cli
