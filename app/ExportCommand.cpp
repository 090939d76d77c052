// The export of workbooks to comma or tab separated text: output names, the one-file writer,
// and the export of one workbook or of a whole folder.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "app/Commands.h"
#include "platform/CodePage.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

namespace vorlix::app {

namespace fs = std::filesystem;

namespace {

// An output name is split into its folder part (through the last '/') and the file name;
// the rules about the first "." apply to the file name, so a dot in a folder's name never
// cuts the path short.
struct TNameParts {
    std::string Folder;
    std::string UpToDot;    // the file name up to and including its first "."; empty without one
    std::string BeforeDot;  // the file name before its first "."; empty without one
};

TNameParts SplitName(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    TNameParts parts;
    parts.Folder = name.substr(0, start);
    const std::size_t dot = name.find('.', start);
    if (dot != std::string::npos) {
        parts.UpToDot = name.substr(start, dot + 1 - start);
        parts.BeforeDot = name.substr(start, dot - start);
    }
    return parts;
}

std::string ErrorText() {
    return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

// A field that would otherwise break the line's structure is quoted, with its inner quotes
// doubled: in CSV one that holds the separator, a double quote or a line break, in tab
// separated text one that holds a tab or a line break. Any other field is written as it is.
void AppendField(std::string& line, const std::string& text, TTextFileKind kind) {
    const char* const special = kind == tkCSV ? ",\"\r\n" : "\t\r\n";
    if (text.find_first_of(special) == std::string::npos) {
        line += text;
        return;
    }
    line += '"';
    for (const char ch : text) {
        if (ch == '"') line += '"';
        line += ch;
    }
    line += '"';
}

// Writing the text over the workbook it comes from would destroy the workbook.
void RefuseWorkbookItself(const fs::path& target, const fs::path& workbook) {
    std::error_code ec;
    if (fs::equivalent(target, workbook, ec))
        throw Exception("Cannot write file " + target.string() + ": it is the workbook itself");
}

void SaveSheet(TSheet& sheet, const std::string& target, const fs::path& workbook,
               TTextFileKind kind, std::vector<fs::path>& files) {
    if (sheet.Cells().Count() == 0) return;  // an empty sheet gives no file
    RefuseWorkbookItself(target, workbook);
    sheet.SaveAsText(target, kind);
    files.emplace_back(target);
}

// Exports a workbook that is read; `outputName` is the name the modes derive theirs from.
std::vector<fs::path> ExportWorkbook(const TWorkbook& workbook, const fs::path& file,
                                     TExportMode mode, TTextFileKind kind,
                                     const std::string& outputName) {
    std::vector<fs::path> files;
    const TSheets& sheets = workbook.Sheets();
    switch (mode) {
        case TExportMode::OneSheet:
            SaveSheet(sheets.Items(0), outputName, file, kind, files);
            break;
        case TExportMode::SeparateFiles:
            for (int i = 0; i < sheets.Count(); ++i) {
                SaveSheet(sheets.Items(i), ExportFileName(outputName, mode, kind, i + 1), file,
                          kind, files);
            }
            break;
        case TExportMode::OneFile: {
            const fs::path target = ExportFileName(outputName, mode, kind);
            RefuseWorkbookItself(target, file);
            WriteOneFile(workbook, target, kind);
            files.push_back(target);
            break;
        }
    }
    return files;
}

std::u16string WideName(const fs::path& file) {
    return platform::Utf8ToUtf16(file.string());
}

}  // namespace

std::string OutputNameFor(const std::string& fileName, TTextFileKind kind) {
    if (fileName.empty()) return {};
    const TNameParts parts = SplitName(fileName);
    return parts.Folder + parts.UpToDot + (kind == tkCSV ? "CSV" : "TXT");
}

std::string SwitchOutputType(const std::string& outputName, TTextFileKind kind) {
    return OutputNameFor(outputName, kind);
}

std::string ExportFileName(const std::string& outputName, TExportMode mode, TTextFileKind kind,
                           int sheetNumber) {
    const TNameParts parts = SplitName(outputName);
    switch (mode) {
        case TExportMode::OneSheet:
            return outputName;
        case TExportMode::SeparateFiles:
            return parts.Folder + parts.BeforeDot + "_S" + std::to_string(sheetNumber) +
                   (kind == tkCSV ? ".csv" : ".txt");
        case TExportMode::OneFile:
            break;
    }
    return parts.Folder + parts.UpToDot + (kind == tkCSV ? "csv" : "txt");
}

void WriteOneFile(const TWorkbook& workbook, const fs::path& file, TTextFileKind kind) {
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) throw Exception("Cannot create file " + file.string() + ErrorText());
    const auto writeLine = [&out](const std::string& line) {
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.write("\r\n", 2);
    };
    const char separator = kind == tkCSV ? ',' : '\t';
    const TSheets& sheets = workbook.Sheets();
    for (int i = 0; i < sheets.Count() && out; ++i) {
        writeLine("");
        writeLine("Sheet " + std::to_string(i + 1));
        // Cells of one row share a line; a sheet starting in row 0 gets a leading separator.
        const TCells& cells = sheets.Items(i).Cells();
        std::uint16_t row = 0;
        std::string line;
        for (int k = 0; k < cells.Count(); ++k) {
            const TCell cell = cells.Items(k);
            if (cell.Row() == row) {
                line += separator;
            } else {
                writeLine(line);
                row = cell.Row();
                line.clear();
            }
            AppendField(line, RenderCellText(cell.Value()), kind);
        }
        writeLine(line);
        writeLine("");
    }
    out.close();
    if (!out) throw Exception("Cannot write file " + file.string() + ErrorText());
}

TExportOutcome ExportFile(const fs::path& file, TExportMode mode, TTextFileKind kind,
                          const std::string& outputName, const std::u16string& password) {
    TExportOutcome outcome;
    const std::u16string name = WideName(file);
    if (GetXLSFileVersion(name) == 0) {
        outcome.Message = kOnlyExcel97;
        return outcome;
    }
    if (password.empty() && GetXLSFileProtection(name) != 0) {
        outcome.Message = kPasswordProtected;
        return outcome;
    }
    TXLSFile xls;
    xls.OpenFile(name, password);
    outcome.Files = ExportWorkbook(xls.Workbook(), file, mode, kind, outputName);
    outcome.Message = kExportDone;
    return outcome;
}

TExportOutcome ExportDirectory(const fs::path& folder, TExportMode mode, TTextFileKind kind,
                               const TFileDone& onFile) {
    TExportOutcome outcome;
    for (const fs::path& file : ListWorkbooks(folder)) {
        const std::string bareName = file.filename().string();
        if (onFile) onFile(bareName);
        const std::u16string name = WideName(file);
        if (GetXLSFileVersion(name) == 0 || GetXLSFileProtection(name) != 0) continue;
        TXLSFile xls;
        xls.OpenFile(name);
        // "One Sheet" cannot write the workbook's own name: it takes the one-file name.
        const std::string derived = mode == TExportMode::OneSheet
                                        ? ExportFileName(bareName, TExportMode::OneFile, kind)
                                        : bareName;
        const std::string outputName = folder.empty() ? derived : (folder / derived).string();
        std::vector<fs::path> files = ExportWorkbook(xls.Workbook(), file, mode, kind, outputName);
        outcome.Files.insert(outcome.Files.end(), files.begin(), files.end());
    }
    outcome.Message = kBatchExportDone;
    return outcome;
}

}  // namespace vorlix::app
