// The checks the commands run on the files they read and on those they are about to write:
// whether a workbook can be read (and why not), and whether an output file would destroy a
// workbook or another compound document.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "app/commands/Commands.h"
#include "platform/CodePage.h"
#include "platform/CompoundLayout.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TCFile.h"

namespace vorlix::app {

namespace fs = std::filesystem;

namespace {

bool EndsWithXlsIgnoringCase(const std::string& name) {
    static constexpr std::string_view kSuffix = ".xls";
    if (name.size() < kSuffix.size()) return false;
    return std::equal(kSuffix.begin(), kSuffix.end(), name.end() - kSuffix.size(),
                      [](char a, char b) {
                          return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
                      });
}

// What a file that could not be opened as a compound document is to the commands.
TWorkbookState StateOf(platform::DocumentProblem problem) {
    using platform::DocumentProblem;
    switch (problem) {
        case DocumentProblem::Missing:
        case DocumentProblem::System:
        case DocumentProblem::Folder:
        case DocumentProblem::NotAFile:
            return TWorkbookState::NotFound;
        case DocumentProblem::Text:
        case DocumentProblem::Html:
        case DocumentProblem::Other:
        case DocumentProblem::OfficeOpenXml:
        case DocumentProblem::OpenDocument:
        case DocumentProblem::Zip:
        case DocumentProblem::XmlSpreadsheet:
        case DocumentProblem::Csv:
        case DocumentProblem::None:
            return TWorkbookState::Unsupported;
        case DocumentProblem::Empty:
        case DocumentProblem::CutShort:
        case DocumentProblem::Damaged:
        case DocumentProblem::Changed:
            break;
    }
    return TWorkbookState::Damaged;
}

// The kind of file of TWorkbookCheck::Kind, or empty.
std::string KindOf(const platform::DocumentFailure& failure) {
    using platform::DocumentProblem;
    switch (failure.Problem) {
        case DocumentProblem::OfficeOpenXml:
            return "xlsx";
        case DocumentProblem::OpenDocument:
            return failure.Detail == "application/vnd.oasis.opendocument.spreadsheet"
                       ? "ods"
                       : "opendocument";
        case DocumentProblem::Zip:
            return "zip";
        case DocumentProblem::XmlSpreadsheet:
            return "xml_spreadsheet";
        case DocumentProblem::Html:
            return "html";
        case DocumentProblem::Csv:
            return "csv";
        case DocumentProblem::Text:
            return "text";
        default:
            return {};
    }
}

}  // namespace

std::string FileNotFoundMessage(const std::string& file) {
    return "File not found: " + file;
}

std::string FolderUnreadableMessage(const fs::path& folder, std::error_code error) {
    return "Cannot read folder " + folder.string() + ": " + error.message();
}

bool IsCompoundDocument(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[sizeof platform::cfb::kSignature] = {};
    if (!in.read(head, sizeof head)) return false;
    return std::equal(std::begin(head), std::end(head), std::begin(platform::cfb::kSignature),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

TWorkbookCheck CheckWorkbook(const fs::path& file, const std::u16string& password) {
    const std::u16string name = platform::FileNameToUtf16(file.string());
    auto document = std::make_shared<TXLSDocument>(name);
    if (document->Version() == 0) {
        // A file that does not open says why; a compound document that opens without a
        // workbook stream ("Workbook", or "Book" starting with a BOF record) is some other
        // format.
        document.reset();
        try {
            TCFile opened(name, cfOpen);
        } catch (const ECFileError& e) {
            const platform::DocumentProblem problem = e.Failure().Problem;
            if (problem == platform::DocumentProblem::Other)
                return {TWorkbookState::Unsupported, kOnlyExcel97, kOnlyExcel97, {}, nullptr};
            TWorkbookCheck refused{StateOf(problem), e.what(), FailureReason(e), {}, nullptr};
            refused.Kind = KindOf(e.Failure());
            return refused;
        } catch (const Exception& e) {
            return {TWorkbookState::Damaged, e.what(), e.what(), {}, nullptr};
        }
        return {TWorkbookState::Unsupported, kOnlyExcel97, kOnlyExcel97, {}, nullptr};
    }
    std::int32_t protection = 0;
    try {
        if (password.empty()) protection = document->Protection();
    } catch (const ECFileError& e) {
        // A workbook stream whose own chain is damaged fails at its first read.
        return {StateOf(e.Failure().Problem), e.what(), FailureReason(e), {}, nullptr};
    }
    if (protection != 0)
        return {TWorkbookState::Protected, kPasswordProtected, kPasswordProtected, {}, nullptr};
    TWorkbookCheck readable;
    readable.Document = std::move(document);
    return readable;
}

std::string FailureReason(const std::exception& error) {
    if (const auto* failed = dynamic_cast<const ECFileError*>(&error)) {
        if (std::string reason = DocumentFailureReason(failed->Failure()); !reason.empty())
            return reason;
    }
    return error.what();
}

std::string OutputRefusal(const fs::path& target) {
    std::error_code ec;
    if (!fs::exists(target, ec) || fs::is_directory(target, ec)) return {};
    const bool xlsName = EndsWithXlsIgnoringCase(target.filename().string());
    const std::string refused = "Cannot write file " + target.string() + ": ";
    if (IsCompoundDocument(target)) {
        return refused + (xlsName
                              ? "it is an Excel workbook"
                              : "it is a compound document (a workbook or another office file)");
    }
    if (xlsName) return refused + "it has the name of an Excel workbook";
    return {};
}

}  // namespace vorlix::app
