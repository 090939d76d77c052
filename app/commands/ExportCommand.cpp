// The export of workbooks to comma or tab separated text: output names, the one-file writer,
// and the export of one workbook or of a whole folder.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "app/commands/CellBlocks.h"
#include "app/commands/Commands.h"
#include "platform/CodePage.h"
#include "platform/OrderedParallel.h"
#include "platform/SafeFile.h"
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

// A file buffer whose writes all fail once the job is cancelled, so that a writer stops at
// its next line.
class TCancellableFileBuf : public std::filebuf {
  public:
    explicit TCancellableFileBuf(const TJobControl* job) : job_(job) {}
    bool Cancelled() const { return job_ != nullptr && job_->Cancelled(); }

  protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        return Cancelled() ? 0 : std::filebuf::xsputn(text, count);
    }
    int_type overflow(int_type ch) override {
        return Cancelled() ? traits_type::eof() : std::filebuf::overflow(ch);
    }

  private:
    const TJobControl* job_;
};

// A text file the export creates or replaces. It is written beside its final name and
// takes that name only when complete, so a cancelled or failed export leaves no part of a
// sheet behind (it would pass for the whole) and the file it would replace as it was.
class TOutputFile {
  public:
    TOutputFile(const fs::path& file, const TJobControl* job) : file_(file), buffer_(job) {
        try {
            safe_ = std::make_unique<platform::TSafeFile>(file);
        } catch (const std::system_error& e) {
            throw Exception("Cannot create file " + file.string() + ": " + e.code().message());
        }
        errno = 0;
        if (buffer_.open(safe_->Path(), std::ios::out | std::ios::binary | std::ios::trunc) ==
            nullptr)
            throw Exception("Cannot create file " + file.string() + ErrorText());
    }
    std::ostream& Stream() { return out_; }
    // Raises TCancelled when cancelled, the write error when writing failed.
    void Close() { Commit(*Complete(), file_); }
    // Closes the file written whole and hands it over without giving it its name (see
    // Commit); raises as Close() does.
    std::unique_ptr<platform::TSafeFile> Complete() {
        errno = 0;
        const bool written = buffer_.close() != nullptr && out_.good();
        if (buffer_.Cancelled()) {
            safe_->Abandon();
            throw TCancelled();
        }
        if (!written) {
            const std::string reason = ErrorText();
            safe_->Abandon();
            throw Exception("Cannot write file " + file_.string() + reason);
        }
        return std::move(safe_);
    }
    // Gives a file written whole its name `file`.
    static void Commit(platform::TSafeFile& safe, const fs::path& file) {
        try {
            safe.Commit();
        } catch (const std::system_error& e) {
            throw Exception("Cannot write file " + file.string() + ": " + e.code().message());
        }
    }

  private:
    fs::path file_;
    std::unique_ptr<platform::TSafeFile> safe_;
    TCancellableFileBuf buffer_;
    std::ostream out_{&buffer_};
};

// A field that would otherwise break the line's structure is quoted, with its inner quotes
// doubled: in CSV one that holds the separator, a double quote or a line break, in tab
// separated text one that holds the separator or a line break, or begins with a double
// quote (which readers of tab separated text take for an opening quote). Any other field is
// written as it is.
void AppendField(std::string& line, const std::string& text, TTextFileKind kind, char separator) {
    const char quote = kind == tkCSV ? '"' : separator;
    if ((kind == tkCSV || !text.starts_with('"')) &&
        std::none_of(text.begin(), text.end(), [separator, quote](char ch) {
            return ch == separator || ch == '\r' || ch == '\n' || ch == quote;
        })) {
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

// Sets `text` to a cell's field in the one-file export.
void OneFileText(std::string& text, const TCell& cell, const TTextWriteOptions& options) {
    if (options.Formulas) {
        text = FormulaFieldText(cell);
        if (!text.empty()) return;
    }
    if (options.RawValues) {
        text = RawValueText(cell.Value(), cell.Settings().CodePage);
        return;
    }
    text.clear();
    AppendCellText(text, cell);
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() < 10 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

// The positions of the sheets to write, or why they cannot be found.
struct TSheetChoice {
    std::vector<int> Positions;
    std::string Problem;
};

TSheetChoice ChooseSheets(const TSheets& sheets, const TExportSettings& settings,
                          const std::string& bareName) {
    TSheetChoice choice;
    if (settings.Sheets.empty()) {
        // "One Sheet" takes position 0 even in a workbook without sheets: writing it raises
        // the sheet list's range error.
        const int count = settings.Mode == TExportMode::OneSheet ? 1 : sheets.Count();
        for (int i = 0; i < count; ++i)
            choice.Positions.push_back(i);
        return choice;
    }
    for (const std::string& wanted : settings.Sheets) {
        int position = -1;
        if (const TSheet* named = sheets.Find(platform::Utf8ToUtf16(wanted))) {
            position = named->Index();
        } else if (IsNumber(wanted) && std::stoi(wanted) >= 1 &&
                   std::stoi(wanted) <= sheets.Count()) {
            position = std::stoi(wanted) - 1;
        }
        if (position < 0) {
            choice.Problem = "There is no sheet \"" + wanted + "\" in " + bareName;
            return choice;
        }
        if (std::find(choice.Positions.begin(), choice.Positions.end(), position) ==
            choice.Positions.end())
            choice.Positions.push_back(position);
    }
    return choice;
}

// A file to write: one sheet's used area, or (Sheet < 0) the one-file listing of the chosen
// sheets.
struct TTarget {
    int Sheet = -1;
    fs::path File;
};

using TNameOf = std::function<fs::path(int sheetNumber)>;

// The files a mode writes; sheets without cells give none.
std::vector<TTarget> Targets(const TSheets& sheets, const std::vector<int>& positions,
                             TExportMode mode, const TNameOf& nameOf) {
    std::vector<TTarget> targets;
    switch (mode) {
        case TExportMode::OneSheet:
            if (sheets.Items(positions.front()).Cells().Count() > 0)
                targets.push_back({positions.front(), nameOf(positions.front() + 1)});
            break;
        case TExportMode::SeparateFiles:
            for (const int position : positions) {
                if (sheets.Items(position).Cells().Count() > 0)
                    targets.push_back({position, nameOf(position + 1)});
            }
            break;
        case TExportMode::OneFile:
            targets.push_back({-1, nameOf(1)});
            break;
    }
    return targets;
}

// Writes one target to `out`, or to its file. With `unnamed` the file written whole is
// handed over there without taking its name yet.
// `written` hears of each sheet once written, as WriteOneFile's.
void WriteTarget(const TWorkbook& workbook, const TTarget& target,
                 const std::vector<int>& positions, const TExportSettings& settings,
                 std::ostream* out, const TJobControl* job,
                 std::unique_ptr<platform::TSafeFile>* unnamed = nullptr,
                 const std::function<void(int position)>& written = {}) {
    std::optional<TOutputFile> file;
    if (out == nullptr) {
        file.emplace(target.File, job);
        out = &file->Stream();
    }
    if (target.Sheet < 0) {
        WriteOneFile(workbook, *out, settings.Kind, settings.Text, positions, written);
    } else {
        const TSheet& sheet = workbook.Sheets().Items(target.Sheet);
        TUsedArea area;
        sheet.GetUsedArea(area);
        TXLSWriterTXT(sheet).WriteSheet(*out, settings.Kind, area, settings.Text);
    }
    if (!file) return;
    if (unnamed != nullptr) {
        *unnamed = file->Complete();
    } else {
        file->Close();
    }
}

// The first refusal among the targets (see OutputRefusal), or empty.
std::string RefuseTargets(const std::vector<TTarget>& targets) {
    for (const TTarget& target : targets) {
        std::string refusal = OutputRefusal(target.File);
        if (!refusal.empty()) return refusal;
    }
    return {};
}

// The targets whose files exist already.
std::vector<fs::path> ExistingTargets(const std::vector<TTarget>& targets) {
    std::vector<fs::path> existing;
    std::error_code ec;
    for (const TTarget& target : targets) {
        if (fs::exists(target.File, ec)) existing.push_back(target.File);
    }
    return existing;
}

// True when the files that exist among the targets may be replaced.
bool MayReplace(const std::vector<TTarget>& targets, const TConfirmReplace& confirm,
                std::vector<fs::path>& existing) {
    existing = ExistingTargets(targets);
    return existing.empty() || !confirm || confirm(existing);
}

std::string NameList(const std::vector<fs::path>& files) {
    std::string names;
    for (const fs::path& file : files)
        names += (names.empty() ? "" : ", ") + file.filename().string();
    return names;
}

// The name a batch export gives a workbook's file, from the workbook's stem.
std::string BatchFileName(const std::string& stem, TExportMode mode, TTextFileKind kind,
                          int sheetNumber) {
    const char* suffix = kind == tkCSV ? ".csv" : ".txt";
    if (mode == TExportMode::SeparateFiles)
        return stem + "_S" + std::to_string(sheetNumber) + suffix;
    return stem + suffix;
}

// The stems of a batch's workbooks: distinct among the workbooks that write into one folder
// (see ExportWorkbooks).
std::vector<std::string> BatchStems(const std::vector<TBatchSource>& sources) {
    const std::size_t count = sources.size();
    std::vector<std::string> stems(count);
    std::vector<bool> named(count, false);
    std::set<std::pair<fs::path, std::string>> taken;
    const auto claim = [&](std::size_t i, const std::string& stem) {
        // "out" and "out/" are one folder.
        const fs::path folder = (sources[i].OutputFolder / "x").lexically_normal().parent_path();
        if (named[i] || !taken.emplace(folder, stem).second) return;
        stems[i] = stem;
        named[i] = true;
    };
    const auto whole = [&](std::size_t i) { return sources[i].Workbook.stem().string(); };
    const auto first = [&](std::size_t i) {
        return ExportStem(sources[i].Workbook.filename().string());
    };
    // "x.xls" is named before "x.v2.xls" can take its "x".
    for (std::size_t i = 0; i < count; ++i) {
        if (first(i) == whole(i)) claim(i, whole(i));
    }
    for (std::size_t i = 0; i < count; ++i) {
        claim(i, first(i));
        claim(i, whole(i));
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (int n = 2; !named[i]; ++n)
            claim(i, whole(i) + "_" + std::to_string(n));
    }
    return stems;
}

// The files of this run of a batch export, by their normal path, and the workbooks that
// wrote them.
using TWrittenBy = std::map<fs::path, std::string>;

// A workbook of a batch export once checked and read, or why it is skipped before its
// files are named.
struct TBatchWorkbook {
    // Why it is skipped: the checks' refusal, the reader's error or the sheet choice's
    // problem. Nothing else is set then.
    std::string Skip;
    bool Refused = false;  // skipped by the checks, before any reading
    std::unique_ptr<TXLSFile> Xls;
    std::vector<int> Positions;
    std::vector<TTarget> Targets;  // what the workbook writes
};

TBatchWorkbook ReadBatchWorkbook(const TBatchSource& source, const std::string& stem,
                                 const TExportSettings& settings, TWorkbookStep& step) {
    TBatchWorkbook book;
    const fs::path& file = source.Workbook;
    const std::string bareName = file.filename().string();
    const TWorkbookCheck check = CheckWorkbook(file);
    if (check.State != TWorkbookState::Readable) {
        book.Skip = check.Reason;
        book.Refused = true;
        return book;
    }
    // A workbook that passes the checks but fails to read (damaged records, or replaced
    // since it was listed) is skipped with the reader's reason; the workbooks after it are
    // still written.
    book.Xls = std::make_unique<TXLSFile>();
    book.Xls->SetFormulaSettings(settings.FormulaSettings);
    try {
        step.Read(*book.Xls, u"", check.Document.get());
    } catch (const Exception& e) {
        book.Xls.reset();
        book.Skip = FailureReason(e);
        return book;
    }
    const TSheets& sheets = book.Xls->Workbook().Sheets();
    TSheetChoice choice = ChooseSheets(sheets, settings, bareName);
    if (!choice.Problem.empty()) {
        book.Xls.reset();
        book.Skip = std::move(choice.Problem);
        return book;
    }
    book.Positions = std::move(choice.Positions);
    book.Targets = Targets(sheets, book.Positions, settings.Mode, [&](int n) {
        const std::string name = BatchFileName(stem, settings.Mode, settings.Kind, n);
        return source.OutputFolder.empty() ? fs::path(name) : source.OutputFolder / name;
    });
    return book;
}

// Why a batch workbook with nothing to write is passed over.
constexpr const char* kNothingToWrite = "there are no cells to write";

TSkippedFile Skipped(const fs::path& file, std::string reason) {
    const bool nothing = reason == kNothingToWrite;
    return {file, std::move(reason), nothing};
}

// The files a read workbook is to write, or why it is skipped. Its folder is made when
// missing. Existing workbooks and compound documents are not replaced (OutputRefusal), and
// no file is written twice in a run.
std::string NameBatchTargets(const TBatchWorkbook& book, const fs::path& outputFolder,
                             TWrittenBy& writtenBy, std::vector<TTarget>& targets) {
    targets = book.Targets;
    if (targets.empty()) return kNothingToWrite;
    for (const TTarget& target : targets) {
        const auto by = writtenBy.find(target.File.lexically_normal());
        if (by != writtenBy.end())
            return target.File.filename().string() + " was already written for " + by->second;
    }
    std::error_code ec;
    if (!outputFolder.empty() && !fs::is_directory(outputFolder, ec)) {
        fs::create_directories(outputFolder, ec);
        if (ec) return "Cannot create folder " + outputFolder.string() + ": " + ec.message();
    }
    return RefuseTargets(targets);
}

std::string NotReplaced(const std::vector<fs::path>& existing) {
    return "the existing " + NameList(existing) + (existing.size() > 1 ? " were" : " was") +
           " not replaced";
}

// True when a target is anything but a regular file or nothing: a link, a pipe, a
// device. Writing there is not done beside the name and waits for the workbook's turn.
bool AnyUnusualTarget(const std::vector<TTarget>& targets) {
    std::error_code ec;
    for (const TTarget& target : targets) {
        const fs::file_status status = fs::symlink_status(target.File, ec);
        if (fs::exists(status) && !fs::is_regular_file(status)) return true;
    }
    return false;
}

// The files written for one workbook, whole but not yet under their names, and what
// stopped the writing (TCancelled among them).
struct TWrittenWorkbook {
    std::vector<std::pair<fs::path, std::unique_ptr<platform::TSafeFile>>> Files;
    std::exception_ptr Error;
};

// Writes the targets of a read workbook, each beside its name.
TWrittenWorkbook WriteBesideNames(const TBatchWorkbook& book, const std::vector<TTarget>& targets,
                                  const TExportSettings& settings, TWorkbookStep& step,
                                  const TJobControl* job) {
    TWrittenWorkbook written;
    try {
        const TWorkbook& workbook = book.Xls->Workbook();
        for (std::size_t t = 0; t < targets.size(); ++t) {
            step.Pass(t, targets.size());
            std::unique_ptr<platform::TSafeFile> unnamed;
            WriteTarget(workbook, targets[t], book.Positions, settings, nullptr, job, &unnamed);
            written.Files.emplace_back(targets[t].File, std::move(unnamed));
        }
        step.Finish();
    } catch (...) {
        written.Error = std::current_exception();
    }
    return written;
}

// True when a read workbook's files may be written before its turn: it has files to
// write, into a folder that exists, and none of them is refused or anything but a
// regular file. Whether they get their names is decided at its turn.
bool WritableAhead(const TBatchWorkbook& book, const fs::path& outputFolder) {
    std::error_code ec;
    return book.Skip.empty() && !book.Targets.empty() &&
           (outputFolder.empty() || fs::is_directory(outputFolder, ec)) &&
           !AnyUnusualTarget(book.Targets) && RefuseTargets(book.Targets).empty();
}

// A workbook of a batch export as it waits for its turn: read, and its files written
// beside their names when that could be done ahead.
struct TBatchPiece {
    TBatchWorkbook Book;
    std::exception_ptr Error;  // what ended its reading (TCancelled among them)
    std::optional<TWrittenWorkbook> Written;
};

// The file each sheet at `positions` would be written to, whether it has cells or not.
std::vector<TTarget> Targets(const std::vector<int>& positions, const TNameOf& nameOf) {
    std::vector<TTarget> targets;
    for (const int position : positions)
        targets.push_back({position, nameOf(position + 1)});
    return targets;
}

// Every chosen sheet of a workbook read sheet by sheet into a file of its own, one sheet at
// a time: each is read, written beside its file's name if it has cells, and let go before
// the next is read. Once all are written the files are checked and replaced as the export
// of a workbook read whole checks them before writing, and take their names.
TExportOutcome ExportSheetsAhead(TXLSFile& xls, const std::vector<int>& positions,
                                 const TExportSettings& settings, const TNameOf& nameOf,
                                 TWorkbookStep& step, const TJobControl* job) {
    TExportOutcome outcome;
    const TWorkbook& workbook = xls.Workbook();
    std::vector<TTarget> targets;
    std::vector<std::unique_ptr<platform::TSafeFile>> unnamed;
    for (std::size_t p = 0; p < positions.size(); ++p) {
        step.Pass(p, positions.size());
        const int position = positions[p];
        if (workbook.Sheets().Items(position).Cells().Count() > 0) {
            targets.push_back({position, nameOf(position + 1)});
            unnamed.emplace_back();
            WriteTarget(workbook, targets.back(), positions, settings, nullptr, job,
                        &unnamed.back());
        }
        xls.ReleaseSheet(position);
    }
    if (targets.empty()) {
        outcome.Done = true;
        outcome.Message = kNoCellsToWrite;
        return outcome;
    }
    outcome.Message = RefuseTargets(targets);
    std::vector<fs::path> existing;
    if (!outcome.Message.empty() || !MayReplace(targets, settings.ConfirmReplace, existing))
        return outcome;
    for (std::size_t t = 0; t < targets.size(); ++t) {
        TOutputFile::Commit(*unnamed[t], targets[t].File);
        outcome.Files.push_back(targets[t].File);
    }
    step.Finish();
    outcome.Done = true;
    outcome.Message = kExportDone;
    return outcome;
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

std::string GivenExportFileName(const std::string& outputName, TExportMode mode, TTextFileKind kind,
                                int sheetNumber) {
    const char* suffix = kind == tkCSV ? ".csv" : ".txt";
    const fs::path name = outputName;
    switch (mode) {
        case TExportMode::OneSheet:
            return outputName;
        case TExportMode::SeparateFiles: {
            fs::path file = name;
            file.replace_filename(name.stem().string() + "_S" + std::to_string(sheetNumber) +
                                  suffix);
            return file.string();
        }
        case TExportMode::OneFile:
            break;
    }
    return name.has_extension() ? outputName : outputName + suffix;
}

std::string ExportStem(const std::string& bareName) {
    const std::size_t dot = bareName.find('.');
    if (dot == 0 || dot == std::string::npos) return fs::path(bareName).stem().string();
    return bareName.substr(0, dot);
}

void WriteOneFile(const TWorkbook& workbook, std::ostream& out, TTextFileKind kind,
                  const TTextWriteOptions& options, const std::vector<int>& sheets,
                  const std::function<void(int position)>& written) {
    TTextLineWriter lines(out, options);
    lines.Start();
    std::string line;
    const auto writeLine = [&lines, &line](std::string text) {
        line = std::move(text);
        lines.Write(line);
    };
    const char separator = options.SeparatorFor(kind);
    const TSheets& all = workbook.Sheets();
    std::vector<int> positions = sheets;
    if (positions.empty()) {
        for (int i = 0; i < all.Count(); ++i)
            positions.push_back(i);
    }
    // Blocks of a sheet's cells are made into text side by side and written in order.
    // Cells of one row share a line; a sheet's first cell starts its first line, whatever
    // its row.
    struct TBlockText {
        std::string Text;
        std::vector<std::size_t> Breaks;  // where each new line starts in Text
    };
    std::string buffer;  // the line being made, which goes on from block to block
    const auto writeBlocks = [&](const std::vector<TCellBlock>& blocks) {
        platform::OrderedParallel<TBlockText>(
            blocks.size(), platform::WorkThreads(),
            [&](std::size_t b) {
                const TCellBlock& block = blocks[b];
                const TCells& cells = all.Items(block.Sheet).Cells();
                TBlockText made;
                std::string field;
                // The row of the cell before the block (none before the sheet's first cell): a
                // new row starts a new line.
                long row = block.First == 0
                               ? -1
                               : static_cast<long>(cells.AddressKey(block.First - 1) >> 8);
                for (std::size_t k = block.First; k < block.End; ++k) {
                    const auto cellRow = static_cast<long>(cells.AddressKey(k) >> 8);
                    if (cellRow == row) {
                        made.Text += separator;
                    } else {
                        if (row >= 0) made.Breaks.push_back(made.Text.size());
                        row = cellRow;
                    }
                    OneFileText(field, cells.Items(static_cast<long long>(k)), options);
                    AppendField(made.Text, field, kind, separator);
                }
                return made;
            },
            [&](std::size_t b, TBlockText& made) {
                const TCellBlock& block = blocks[b];
                if (block.FirstOfSheet) {
                    if (!out) return false;
                    writeLine("");
                    writeLine("Sheet " + std::to_string(block.Sheet + 1));
                    buffer.clear();
                }
                std::size_t start = 0;
                for (const std::size_t at : made.Breaks) {
                    buffer.append(made.Text, start, at - start);
                    writeLine(std::move(buffer));
                    buffer.clear();
                    start = at;
                    if (!out) return false;
                }
                buffer.append(made.Text, start);
                if (block.LastOfSheet) {
                    writeLine(std::move(buffer));
                    writeLine("");
                }
                return true;
            });
    };
    if (!written) {
        writeBlocks(CellBlocks(all, positions, 8192));
        return;
    }
    // A sheet at a time, so that a workbook read sheet by sheet can let each go once written.
    for (const int position : positions) {
        if (!out) break;
        writeBlocks(CellBlocks(all, {position}, 8192));
        if (written) written(position);
    }
}

void WriteOneFile(const TWorkbook& workbook, const fs::path& file, TTextFileKind kind,
                  const TTextWriteOptions& options, const std::vector<int>& sheets) {
    TOutputFile out(file, nullptr);
    WriteOneFile(workbook, out.Stream(), kind, options, sheets);
    out.Close();
}

TExportOutcome ExportFile(const fs::path& file, const std::string& outputName,
                          const TExportSettings& settings, TJobControl* job) {
    TExportOutcome outcome;
    if (outputName.empty() && settings.Output == nullptr) {
        outcome.Message = kNoOutputName;
        return outcome;
    }
    const TWorkbookCheck check = CheckWorkbook(file, settings.Password);
    if (check.State != TWorkbookState::Readable) {
        outcome.Message = check.Message;
        return outcome;
    }
    TWorkbookStep step(job, file, "Writing");
    try {
        TXLSFile xls;
        xls.SetFormulaSettings(settings.FormulaSettings);
        // Only the sheets written are read, when they are written. Written into files, which
        // take their names only once complete, they are read and let go one at a time; on
        // standard output, where an error in a later sheet would come after the text of the
        // earlier ones, a choice of several sheets is read whole first.
        const bool oneSheet = settings.Mode == TExportMode::OneSheet;
        if (oneSheet || settings.Output == nullptr) {
            TReadOptions read = xls.ReadOptions();
            read.LazySheets = true;
            read.ReadDrawings = false;  // pictures and comments are not written
            xls.SetReadOptions(read);
        }
        step.Read(xls, settings.Password, check.Document.get());
        const TWorkbook& workbook = xls.Workbook();
        const TSheetChoice choice =
            ChooseSheets(workbook.Sheets(), settings, file.filename().string());
        if (!choice.Problem.empty()) {
            outcome.Message = choice.Problem;
            return outcome;
        }
        const TNameOf nameOf = [&](int sheetNumber) {
            return fs::path(
                settings.NameAsGiven
                    ? GivenExportFileName(outputName, settings.Mode, settings.Kind, sheetNumber)
                    : ExportFileName(outputName, settings.Mode, settings.Kind, sheetNumber));
        };
        const bool sheetBySheet =
            !oneSheet && !choice.Positions.empty() && xls.SheetUnread(choice.Positions.front());
        std::function<void(int position)> release;
        if (sheetBySheet) release = [&xls](int position) { xls.ReleaseSheet(position); };
        if (sheetBySheet && settings.Mode == TExportMode::SeparateFiles &&
            !AnyUnusualTarget(Targets(choice.Positions, nameOf)))
            return ExportSheetsAhead(xls, choice.Positions, settings, nameOf, step, job);
        const std::vector<TTarget> targets =
            Targets(workbook.Sheets(), choice.Positions, settings.Mode, nameOf);
        if (targets.empty()) {
            outcome.Done = true;
            outcome.Message = kNoCellsToWrite;
            return outcome;
        }
        if (settings.Output == nullptr) {
            outcome.Message = RefuseTargets(targets);
            std::vector<fs::path> existing;
            if (!outcome.Message.empty() || !MayReplace(targets, settings.ConfirmReplace, existing))
                return outcome;
        }
        for (std::size_t t = 0; t < targets.size(); ++t) {
            step.Pass(t, targets.size());
            WriteTarget(workbook, targets[t], choice.Positions, settings, settings.Output, job,
                        nullptr, release);
            if (settings.Output == nullptr) outcome.Files.push_back(targets[t].File);
        }
        step.Finish();
    } catch (const TCancelled&) {
        outcome.Cancelled = true;
        outcome.Message = kExportCancelled;
        return outcome;
    }
    outcome.Done = true;
    outcome.Message = kExportDone;
    return outcome;
}

TExportOutcome ExportFile(const fs::path& file, TExportMode mode, TTextFileKind kind,
                          const std::string& outputName, const std::u16string& password) {
    TExportSettings settings;
    settings.Mode = mode;
    settings.Kind = kind;
    settings.Password = password;
    return ExportFile(file, outputName, settings);
}

// settings.Jobs workbooks are read and written at once, each on a thread of its own (one
// at a time on this thread with one job), every file beside its name. This thread opens
// each workbook's turn in the list's order: it calls `onFile`, names the files, asks the
// question, gives the files their names (or drops them) and fills the outcome, as the
// export one after the other does; a file that cannot be written beside its name is
// written then.
TExportOutcome ExportWorkbooks(const std::vector<TBatchSource>& sources,
                               const TExportSettings& settings, const TFileDone& onFile,
                               TJobControl* job) {
    TExportOutcome outcome;
    outcome.Batch = true;
    TWrittenBy writtenBy;
    const std::vector<std::string> stems = BatchStems(sources);
    const auto file = [&sources](std::size_t n) -> const fs::path& { return sources[n].Workbook; };
    const int count = static_cast<int>(sources.size());
    TJobControl workers(job);
    TFolderProgress progress(job, count);
    const auto stepOf = [&](std::size_t n) {
        return TWorkbookStep(&workers, file(n), "Writing", static_cast<int>(n + 1), count,
                             &progress);
    };
    // Cancelled while `onFile` heard of the workbook: one after the other, its reading
    // would not have started.
    bool cancelledAtTurn = false;

    platform::TOrderedSteps<TBatchPiece> steps;
    steps.Turn = [&](std::size_t n) {
        if (job != nullptr) job->Check();
        if (onFile) onFile(file(n).filename().string());
        cancelledAtTurn = job != nullptr && job->Cancelled();
    };
    steps.Make = [&](std::size_t n) {
        TBatchPiece piece;
        try {
            TWorkbookStep step = stepOf(n);
            piece.Book = ReadBatchWorkbook(sources[n], stems[n], settings, step);
            if (WritableAhead(piece.Book, sources[n].OutputFolder)) {
                piece.Written =
                    WriteBesideNames(piece.Book, piece.Book.Targets, settings, step, &workers);
                piece.Book.Xls.reset();
            }
        } catch (...) {
            piece.Error = std::current_exception();
        }
        return piece;
    };
    steps.Take = [&](std::size_t n, TBatchPiece& piece) {
        const fs::path& workbook = file(n);
        const auto skip = [&](std::string reason) {
            outcome.Skipped.push_back(Skipped(workbook, std::move(reason)));
            stepOf(n).Finish();  // its share of the progress is full
            return true;
        };
        // A workbook refused by the checks is skipped before any reading.
        if (piece.Book.Refused) return skip(std::move(piece.Book.Skip));
        if (cancelledAtTurn) throw TCancelled();
        if (piece.Error) std::rethrow_exception(piece.Error);
        if (!piece.Book.Skip.empty()) return skip(std::move(piece.Book.Skip));
        std::vector<TTarget> targets;
        if (std::string reason =
                NameBatchTargets(piece.Book, sources[n].OutputFolder, writtenBy, targets);
            !reason.empty())
            return skip(std::move(reason));
        std::vector<fs::path> existing;
        if (!MayReplace(targets, settings.ConfirmReplace, existing))
            return skip(NotReplaced(existing));
        if (!piece.Written) {
            TWorkbookStep step = stepOf(n);
            piece.Written = WriteBesideNames(piece.Book, targets, settings, step, &workers);
        }
        const std::string bareName = workbook.filename().string();
        for (const TTarget& target : targets)
            writtenBy[target.File.lexically_normal()] = bareName;
        for (auto& [name, unnamed] : piece.Written->Files) {
            TOutputFile::Commit(*unnamed, name);
            outcome.Files.push_back(name);
        }
        if (piece.Written->Error) std::rethrow_exception(piece.Written->Error);
        return true;
    };
    steps.Stop = [&workers] { workers.Cancel(); };
    try {
        platform::OrderedParallel(sources.size(), static_cast<unsigned>(std::max(settings.Jobs, 1)),
                                  steps);
    } catch (const TCancelled&) {
        outcome.Cancelled = true;
        outcome.Message = kExportCancelled;
        return outcome;
    }
    outcome.Done = true;
    outcome.Message = kBatchExportDone;
    return outcome;
}

TExportOutcome ExportDirectory(const fs::path& folder, const TExportSettings& settings,
                               const TFileDone& onFile, TJobControl* job) {
    std::error_code listing;
    const std::vector<fs::path> files = ListVisibleWorkbooks(folder, &listing);
    if (listing) {
        TExportOutcome outcome;
        outcome.Batch = true;
        outcome.Message = FolderUnreadableMessage(folder, listing);
        return outcome;
    }
    std::vector<TBatchSource> sources;
    sources.reserve(files.size());
    for (const fs::path& file : files)
        sources.push_back({file, folder});
    return ExportWorkbooks(sources, settings, onFile, job);
}

TExportOutcome ExportDirectory(const fs::path& folder, TExportMode mode, TTextFileKind kind,
                               const TFileDone& onFile) {
    TExportSettings settings;
    settings.Mode = mode;
    settings.Kind = kind;
    return ExportDirectory(folder, settings, onFile);
}

std::string ExportSummary(const TExportOutcome& outcome) {
    std::string text = outcome.Message;
    if (!outcome.Batch && !outcome.Cancelled) return text;
    if (!outcome.Files.empty()) {
        text += "\n\nWritten:";
        for (const fs::path& file : outcome.Files)
            text += "\n" + file.filename().string();
    }
    if (!outcome.Skipped.empty()) {
        text += "\n\nSkipped:";
        for (const TSkippedFile& skipped : outcome.Skipped)
            text += "\n" + skipped.File.filename().string() + ": " + skipped.Reason;
    }
    return text;
}

}  // namespace vorlix::app
