// The file information report, and the pieces the three commands share: the raw rendering
// of a cell value and the list of a folder's workbooks.
#include <algorithm>
#include <charconv>
#include <system_error>

#include "app/commands/Commands.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/format/ValueFormatter.h"
#include "xls/model/DateTime.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

namespace vorlix::app {

namespace {

std::string SystemText(std::u16string_view wide) {
    return platform::WideToMultiByte(platform::SystemCodePage(), wide);
}

// printf's "%0*d": at least `width` characters, zeros after any minus sign.
void AppendPadded(std::string& out, int value, int width) {
    char digits[16];
    const auto magnitude =
        static_cast<unsigned>(value < 0 ? -static_cast<long long>(value) : value);
    const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    if (value < 0) {
        out += '-';
        --width;
    }
    for (auto n = static_cast<int>(end - digits); n < width; ++n)
        out += '0';
    out.append(digits, end);
}

// "dd.mm.yyyy hh:nn:ss.zzz" with the locale's time separator.
void AppendDateTimeText(std::string& out, double value, char16_t separator) {
    const TDateTimeParts p = DecodeDateTime(value);
    const std::string sep = separator < 0x80 ? std::string(1, static_cast<char>(separator))
                                             : SystemText(std::u16string(1, separator));
    AppendPadded(out, p.Day, 2);
    out += '.';
    AppendPadded(out, p.Month, 2);
    out += '.';
    AppendPadded(out, p.Year, 4);
    out += ' ';
    AppendPadded(out, p.Hour, 2);
    out += sep;
    AppendPadded(out, p.Minute, 2);
    out += sep;
    AppendPadded(out, p.Second, 2);
    out += '.';
    AppendPadded(out, p.Millisecond, 3);
}

// The lines of a report: kept in the report, or handed to a sink in batches of a size
// that a text view appends without a pause.
class TReportLines {
  public:
    TReportLines(std::vector<std::string>& kept, const TLineSink& sink)
        : sink_(sink), lines_(sink ? batch_ : kept) {}
    void Add(std::string line) {
        bytes_ += line.size();
        lines_.push_back(std::move(line));
        if (sink_ && (lines_.size() >= kBatchLines || bytes_ >= kBatchBytes)) Flush();
    }
    void Flush() {
        if (!sink_ || batch_.empty()) return;
        sink_(std::move(batch_));
        batch_.clear();
        bytes_ = 0;
    }

  private:
    static constexpr std::size_t kBatchLines = 2000;
    static constexpr std::size_t kBatchBytes = 256 * 1024;
    const TLineSink& sink_;
    std::vector<std::string> batch_;
    std::vector<std::string>& lines_;
    std::size_t bytes_ = 0;
};

std::string CellCountText(int count) {
    if (count == 0) return " is empty";
    if (count == 1) return " has 1 cell";
    return " has " + std::to_string(count) + " cells";
}

}  // namespace

void AppendCellText(std::string& out, const TCellValue& value, const TWorkbookSettings& settings) {
    switch (value.Kind()) {
        case vkSmallInt:
        case vkInteger:
        case vkSingle:
        case vkDouble:
        case vkByte:
            // Digits, signs and an ASCII separator read the same in every code page.
            if (const char16_t point = settings.Region().DecimalSeparator;
                !AppendGeneralNumberText(out, value.AsDouble(), point))
                out += SystemText(GeneralNumberText(value.AsDouble(), point));
            return;
        case vkDate:
            AppendDateTimeText(out, value.AsDouble(), settings.Region().TimeSeparator);
            return;
        case vkError:
            out += value.ErrorText();
            return;
        case vkWideString:
            out += SystemText(value.WideText());
            return;
        case vkString:
            // Kept in the workbook's code page, which is the system's unless a caller
            // changed it.
            if (settings.CodePage == platform::SystemCodePage()) {
                out += value.AnsiText();
            } else {
                out += SystemText(value.AsWideText(settings.CodePage));
            }
            return;
        default:
            return;
    }
}

void AppendCellText(std::string& out, const TCell& cell) {
    std::string_view text;
    const TWorkbookSettings& settings = cell.Settings();
    if (cell.ValueKind() == vkString && settings.CodePage == platform::SystemCodePage() &&
        cell.AnsiTextView(text)) {
        out += text;  // without a copy into a value
        return;
    }
    AppendCellText(out, cell.Value(), settings);
}

std::string RenderCellText(const TCellValue& value) {
    std::string text;
    AppendCellText(text, value, TWorkbookSettings::FromDefaults());
    return text;
}

std::string RenderCellText(const TCell& cell) {
    std::string text;
    AppendCellText(text, cell);
    return text;
}

TReport FileInformation(const std::filesystem::path& file, bool showContents,
                        const std::u16string& password, TJobControl* job,
                        const TLineSink& onLines) {
    TReport report;
    TWorkbookCheck check = CheckWorkbook(file, password);
    if (check.State != TWorkbookState::Readable) {
        report.Message = std::move(check.Message);
        return report;
    }

    TReportLines lines(report.Lines, onLines);
    TWorkbookStep step(job, file, "Listing");
    try {
        TXLSFile xls;
        step.Read(xls, password, check.Document.get());
        report.Warnings = xls.Workbook().Warnings;
        const TSheets& sheets = xls.Workbook().Sheets();
        lines.Add("This file contains: " + std::to_string(sheets.Count()) + " Worksheets");
        lines.Add({});
        std::size_t total = 0;
        for (int i = 0; i < sheets.Count(); ++i) {
            const TSheet& sheet = sheets.Items(i);
            lines.Add("Sheet " + std::to_string(i + 1) + " (named " + SystemText(sheet.Name()) +
                      ")" + CellCountText(sheet.Cells().Count()));
            total += static_cast<std::size_t>(sheet.Cells().Count());
        }
        lines.Flush();  // the summary at once, before the contents are rendered
        if (!showContents) {
            step.Finish();
            return report;
        }

        std::size_t done = 0;
        for (int i = 0; i < sheets.Count(); ++i) {
            lines.Add({});
            lines.Add("Sheet " + std::to_string(i + 1));
            lines.Add("--------");
            // Cells of one row share a line; the sheet's first cell starts its first line,
            // whatever its row.
            const TCells& cells = sheets.Items(i).Cells();
            long row = -1;
            std::string line;
            for (int k = 0; k < cells.Count(); ++k, ++done) {
                const TCell cell = cells.Items(k);
                if (cell.Row() == row) {
                    line += "; ";
                } else {
                    if (row >= 0) {
                        lines.Add(std::move(line));
                        step.Pass(done, total);
                    }
                    row = cell.Row();
                    line.clear();
                }
                AppendCellText(line, cell);
            }
            lines.Add(std::move(line));
        }
        lines.Add({});
        lines.Flush();
        step.Finish();
    } catch (const TCancelled&) {
        lines.Flush();
        report.Cancelled = true;
    }
    return report;
}

}  // namespace vorlix::app
