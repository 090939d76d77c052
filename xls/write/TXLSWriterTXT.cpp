#include "xls/write/TXLSWriterTXT.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/CodePage.h"
#include "platform/OrderedParallel.h"
#include "platform/SafeFile.h"
#include "xls/model/DateTime.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"

namespace vorlix {

namespace {

std::string ErrorText() {
    return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

bool IsPlainAscii(std::string_view text) {
    for (const char ch : text) {
        if (static_cast<unsigned char>(ch) >= 0x80 || ch == '\0') return false;
    }
    return true;
}

// Text in a workbook's code page (8-bit texts and formula texts) as UTF-8.
std::string WorkbookTextUtf8(const std::string& text, std::uint32_t codePage) {
    if (codePage == platform::kCodePageUtf8) return text;
    return platform::Utf16ToUtf8(platform::MultiByteToWide(codePage, text));
}

std::string ShortestNumber(double value) {
    if (value == 0) return "0";  // no "-0"
    char text[32];
    return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

std::string ShortestNumber(float value) {
    if (value == 0) return "0";
    char text[32];
    return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

// The amount of a currency value, kept as ten-thousandths: exact, without trailing zeros.
std::string CurrencyText(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return text;
}

// "hh:mm:ss", with ".zzz" when there are milliseconds; hours of any count of digits.
std::string TimeText(long long hours, int minutes, int seconds, int milliseconds) {
    char time[48];
    std::snprintf(time, sizeof time, "%02lld:%02d:%02d", hours, minutes, seconds);
    std::string text = time;
    if (milliseconds != 0) {
        std::snprintf(time, sizeof time, ".%03d", milliseconds);
        text += time;
    }
    return text;
}

// Day 0 alone is a time of day; midnight alone is a date.
std::string IsoDateTime(double value) {
    const TDateTimeParts p = DecodeDateTime(value);
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
    const std::string timeText = TimeText(p.Hour, p.Minute, p.Second, p.Millisecond);
    const bool dayZero = p.Year == 1899 && p.Month == 12 && p.Day == 30;
    const bool midnight = p.Hour == 0 && p.Minute == 0 && p.Second == 0 && p.Millisecond == 0;
    if (dayZero && !midnight) return timeText;
    if (midnight) return date;
    return std::string(date) + "T" + timeText;
}

std::string TimeOfDayText(double value) {
    const TDateTimeParts p = DecodeDateTime(value);
    return TimeText(p.Hour, p.Minute, p.Second, p.Millisecond);
}

// Elapsed hours, minutes and seconds of a count of days, to the millisecond: "231:10:10".
std::string DurationText(double days) {
    // Beyond some 300 million years the milliseconds no longer fit: the number itself.
    if (!(std::fabs(days) < 1e11)) return ShortestNumber(days);
    const long long total = std::llround(std::fabs(days) * 86400000.0);
    const std::string text =
        TimeText(total / 3600000, static_cast<int>(total / 60000 % 60),
                 static_cast<int>(total / 1000 % 60), static_cast<int>(total % 1000));
    return days < 0 && total != 0 ? "-" + text : text;
}

// Appends a cell's display text in the system code page.
void AppendDisplayText(std::string& line, const TCell& cell) {
    // A text's display text is as a rule the text itself. Plain ASCII in 8-bit text is the
    // same in every code page this program uses, so it is copied without a round trip.
    std::string_view ansi;
    if (cell.AnsiTextView(ansi) && IsPlainAscii(ansi) && cell.DisplaysTextAsIs()) {
        line += ansi;
        return;
    }
    const std::u16string text = cell.DisplayText();
    if (platform::SystemCodePage() == platform::kCodePageUtf8) {
        platform::AppendUtf8(line, text);
    } else {
        line += platform::WideToMultiByte(platform::SystemCodePage(), text);
    }
}

// The cells inside an area, row by row and within a row by column: one pass over the
// cells instead of a lookup for every position of the area.
class TCellsByRow {
  public:
    TCellsByRow(const TCells& cells, const TUsedArea& area) : first_(area.FirstRow) {
        const std::size_t rows = static_cast<std::size_t>(area.LastRow) - area.FirstRow + 1;
        start_.assign(rows + 1, 0);
        const auto inside = [&](const TCell& c) {
            return c.Row() >= area.FirstRow && c.Row() <= area.LastRow &&
                   c.Col() >= area.FirstCol && c.Col() <= area.LastCol;
        };
        for (int i = 0; i < cells.Count(); ++i) {
            const TCell c = cells.Items(i);
            if (inside(c)) ++start_[c.Row() - first_ + 1];
        }
        for (std::size_t r = 1; r <= rows; ++r)
            start_[r] += start_[r - 1];
        entries_.resize(start_[rows]);
        std::vector<std::uint32_t> next(start_.begin(), start_.end() - 1);
        for (int i = 0; i < cells.Count(); ++i) {
            const TCell c = cells.Items(i);
            if (inside(c))
                entries_[next[c.Row() - first_]++] = {c.Col(), static_cast<std::uint32_t>(i)};
        }
        for (std::size_t r = 0; r < rows; ++r) {
            std::sort(entries_.begin() + start_[r], entries_.begin() + start_[r + 1]);
        }
    }
    struct TEntry {
        std::uint16_t Col;
        std::uint32_t Index;
        bool operator<(const TEntry& other) const { return Col < other.Col; }
    };
    const TEntry* Begin(std::uint32_t row) const { return entries_.data() + start_[row - first_]; }
    const TEntry* End(std::uint32_t row) const {
        return entries_.data() + start_[row - first_ + 1];
    }

  private:
    std::uint32_t first_;
    std::vector<std::uint32_t> start_;
    std::vector<TEntry> entries_;
};

// Appends the field of a cell as the options ask for it.
void AppendField(std::string& line, const TCell& cell, const TTextWriteOptions& options) {
    if (options.Formulas) {
        const std::string formula = FormulaFieldText(cell);
        if (!formula.empty()) {
            line += formula;
            return;
        }
    }
    if (options.RawValues) {
        line += RawValueText(cell.Value(), cell.Settings().CodePage);
        return;
    }
    AppendDisplayText(line, cell);
}

// Doubles every double quote from `from` on: the field's own quotes stay single.
void DoubleQuotesFrom(std::string& line, std::size_t from) {
    const std::size_t quotes = static_cast<std::size_t>(
        std::count(line.begin() + static_cast<std::ptrdiff_t>(from), line.end(), '"'));
    if (quotes == 0) return;
    std::string field = line.substr(from);
    line.resize(from);
    for (const char ch : field) {
        if (ch == '"') line += '"';
        line += ch;
    }
}

// A tab separated field that holds the separator or a line break would split its row, and
// one that begins with a double quote would be read as a quoted field up to its next quote;
// such a field is put in double quotes with its inner quotes doubled, as spreadsheet
// programs read it back. Every other field stays exactly as it is, quotes included.
void QuoteTabFieldFrom(std::string& line, std::size_t from, char separator) {
    const char special[] = {separator, '\r', '\n', '\0'};
    const bool quoteFirst = from < line.size() && line[from] == '"';
    if (!quoteFirst && line.find_first_of(special, from) == std::string::npos) return;
    DoubleQuotesFrom(line, from);
    line.insert(from, 1, '"');
    line += '"';
}

}  // namespace

std::string FormulaFieldText(const TCell& cell) {
    const std::string formula = cell.Formula();
    return formula.empty() ? std::string()
                           : "=" + WorkbookTextUtf8(formula, cell.Settings().CodePage);
}

std::string ByteOrderMark(std::uint32_t codePage) {
    switch (codePage) {
        case platform::kCodePageUtf8:
            return "\xEF\xBB\xBF";
        case 1200:
            return "\xFF\xFE";
        case 1201:
            return "\xFE\xFF";
        default:
            return {};
    }
}

std::string RawValueText(const TCellValue& value, std::uint32_t codePage) {
    switch (value.Kind()) {
        case vkSmallInt:
        case vkInteger:
        case vkShortInt:
        case vkByte:
        case vkWord:
        case vkLongWord:
        case vkInt64:
            return std::to_string(value.IntegerPart());
        case vkSingle:
            return ShortestNumber(static_cast<float>(value.AsDouble()));
        case vkDouble:
            return ShortestNumber(value.AsDouble());
        case vkCurrency:
            return CurrencyText(value.IntegerPart());
        case vkDate:
            switch (value.DateTimeUse()) {
                case TDateTimeUse::TimeOfDay:
                    return TimeOfDayText(value.AsDouble());
                case TDateTimeUse::Duration:
                    return DurationText(value.AsDouble());
                default:
                    return IsoDateTime(value.AsDouble());
            }
        case vkBoolean:
            return value.AsBoolean() ? "TRUE" : "FALSE";
        case vkError:
            return std::string(value.ErrorText());
        case vkWideString:
            return platform::Utf16ToUtf8(value.WideText());
        case vkString:
        case vkUString:
            return WorkbookTextUtf8(value.AnsiText(), codePage);
        default:
            return {};
    }
}

TTextLineWriter::TTextLineWriter(std::ostream& out, const TTextWriteOptions& options)
    : out_(out), options_(options) {}

void TTextLineWriter::Start() {
    if (!options_.ByteOrderMark) return;
    const std::string mark = ByteOrderMark(options_.CodePage);
    out_.write(mark.data(), static_cast<std::streamsize>(mark.size()));
}

void TTextLineWriter::Write(std::string& line) {
    line += options_.LineEnd;
    if (options_.CodePage == platform::kCodePageUtf8) {
        out_.write(line.data(), static_cast<std::streamsize>(line.size()));
        return;
    }
    const std::string encoded =
        platform::WideToMultiByte(options_.CodePage, platform::Utf8ToUtf16(line));
    out_.write(encoded.data(), static_cast<std::streamsize>(encoded.size()));
}

void TXLSWriterTXT::SaveToFile(const std::string& fileName, TTextFileKind kind,
                               const TUsedArea& area, const TTextWriteOptions& options) {
    // Written beside its final name, which it takes only when complete: a failure leaves
    // no part of a sheet behind and the file it would replace as it was.
    std::unique_ptr<platform::TSafeFile> safe;
    try {
        safe = std::make_unique<platform::TSafeFile>(fileName);
    } catch (const std::system_error& e) {
        throw Exception("Cannot create file " + fileName + ": " + e.code().message());
    }
    errno = 0;
    std::ofstream out(safe->Path(), std::ios::binary | std::ios::trunc);
    if (!out.is_open()) throw Exception("Cannot create file " + fileName + ErrorText());
    WriteSheet(out, kind, area, options);
    errno = 0;
    out.close();
    if (!out) throw Exception("Cannot write file " + fileName + ErrorText());
    try {
        safe->Commit();
    } catch (const std::system_error& e) {
        throw Exception("Cannot write file " + fileName + ": " + e.code().message());
    }
}

void TXLSWriterTXT::WriteSheet(std::ostream& out, TTextFileKind kind, const TUsedArea& area,
                               const TTextWriteOptions& options) {
    TTextLineWriter lines(out, options);
    lines.Start();
    if (area.LastRow < area.FirstRow) return;
    const TCells& cells = sheet_.Cells();
    const char separator = options.SeparatorFor(kind);
    // Cells in address order are walked as they are; others are first sorted by row.
    std::optional<TCellsByRow> byRow;
    if (!cells.Ordered()) byRow.emplace(cells, area);
    const auto count = static_cast<std::size_t>(cells.Count());
    const auto keyAt = [&cells](std::size_t k) { return cells.AddressKey(k); };
    // The first cell, in address order, at or after a row's first column.
    const auto firstFrom = [&](std::uint32_t row) {
        const std::uint32_t key = row << 8 | area.FirstCol;
        std::size_t low = 0;
        std::size_t high = count;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (keyAt(mid) < key) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return low;
    };
    // One row's line; `k` walks the cells in address order.
    const auto makeLine = [&](std::uint32_t row, std::size_t& k, std::string& line) {
        const TCellsByRow::TEntry* next = byRow ? byRow->Begin(row) : nullptr;
        const TCellsByRow::TEntry* const end = byRow ? byRow->End(row) : nullptr;
        std::uint32_t key = 0;  // the address of cell k, when there is one
        if (!byRow) {
            while (k < count && (key = keyAt(k)) < (row << 8 | area.FirstCol))
                ++k;
        }
        // Wide counters: the last column may be the largest its type holds.
        for (std::uint32_t col = area.FirstCol; col <= area.LastCol; ++col) {
            // A position without a cell is an empty field; nothing is added to the sheet.
            std::optional<TCell> cell;
            if (byRow) {
                if (next != end && next->Col == col) cell = cells.Items((next++)->Index);
            } else if (k < count && key == (row << 8 | col)) {
                cell = cells.Items(static_cast<long long>(k++));
                if (k < count) key = keyAt(k);
            }
            if (kind == tkCSV) line += '"';
            const std::size_t start = line.size();
            if (cell) AppendField(line, *cell, options);
            if (kind == tkCSV) {
                DoubleQuotesFrom(line, start);
                line += '"';
            } else {
                QuoteTabFieldFrom(line, start, separator);
            }
            if (col < area.LastCol) line += separator;
        }
    };
    // Blocks of rows of some 16K positions each are formatted side by side and written in
    // order.
    const std::uint32_t width =
        area.LastCol >= area.FirstCol ? area.LastCol - area.FirstCol + 1u : 1u;
    const std::uint32_t rowsPerBlock = std::max<std::uint32_t>(1, 16384 / width);
    const std::uint32_t rows = area.LastRow - area.FirstRow + 1;
    const std::size_t blocks = (rows + rowsPerBlock - 1) / rowsPerBlock;
    using TLines = std::vector<std::string>;
    platform::OrderedParallel<TLines>(
        blocks, platform::WorkThreads(),
        [&](std::size_t block) {
            const std::uint32_t first =
                area.FirstRow + static_cast<std::uint32_t>(block) * rowsPerBlock;
            const std::uint32_t last =
                std::min<std::uint32_t>(area.LastRow, first + rowsPerBlock - 1);
            TLines made;
            made.reserve(last - first + 1);
            std::size_t k = byRow ? 0 : firstFrom(first);
            for (std::uint32_t row = first; row <= last; ++row)
                makeLine(row, k, made.emplace_back());
            return made;
        },
        [&](std::size_t, TLines& block) {
            for (std::string& line : block) {
                if (!out) return false;
                lines.Write(line);
            }
            return static_cast<bool>(out);
        });
}

void TSheet::SaveAsText(const std::string& fileName, TTextFileKind kind) {
    TUsedArea area;
    if (!GetUsedArea(area)) return;  // no file at all for a sheet without cells
    TXLSWriterTXT writer(*this);
    writer.SaveToFile(fileName, kind, area);
}

}  // namespace vorlix
