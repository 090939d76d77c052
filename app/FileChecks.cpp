// The checks the commands run on the files they read and on those they are about to write:
// whether a workbook can be read (and why not), and whether an output file would destroy a
// workbook or another compound document.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "app/Commands.h"
#include "platform/CodePage.h"
#include "platform/CompoundCheck.h"
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

// Why a file that starts like a compound document cannot be opened as one: the error of
// the compound-document layer, with the damage its structural check finds. Empty when it
// opens.
std::string CompoundFailure(const fs::path& file) {
    try {
        TCFile document(platform::FileNameToUtf16(file.string()), cfOpen);
        return {};
    } catch (const Exception& e) {
        std::string message = e.what();
        std::ifstream in(file, std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
        std::string why;
        if (in.is_open() && platform::CheckCompoundDocument(bytes.data(), bytes.size(), &why) ==
                                platform::CompoundCheck::Corrupt) {
            message += ". The compound document is damaged: " + why;
        }
        return message;
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
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        // A link that loops, or a folder on the way that may not be searched, is there but
        // cannot be reached: its reason says more than "not found".
        if (ec && ec != std::errc::no_such_file_or_directory)
            return {TWorkbookState::NotFound,
                    "Cannot read file " + file.string() + ": " + ec.message(), nullptr};
        return {TWorkbookState::NotFound, FileNotFoundMessage(file.string()), nullptr};
    }
    auto document = std::make_shared<TXLSDocument>(platform::FileNameToUtf16(file.string()));
    if (document->Version() == 0) {
        // A compound document that does not open is damaged (or held by another program);
        // one that opens without a "Workbook" stream is some other format.
        document.reset();
        if (IsCompoundDocument(file)) {
            std::string failure = CompoundFailure(file);
            if (!failure.empty()) return {TWorkbookState::Damaged, std::move(failure), nullptr};
        }
        return {TWorkbookState::Unsupported, kOnlyExcel97, nullptr};
    }
    if (password.empty() && document->Protection() != 0)
        return {TWorkbookState::Protected, kPasswordProtected, nullptr};
    TWorkbookCheck readable;
    readable.Document = std::move(document);
    return readable;
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
