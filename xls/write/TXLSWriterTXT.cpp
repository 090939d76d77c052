#include "xls/write/TXLSWriterTXT.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/CodePage.h"
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

// Appends a cell's display text in the system code page.
void AppendField(std::string& line, const TCell& cell) {
    // A text's display text is the text itself. Plain ASCII in 8-bit text is the same in
    // every code page this program uses, so it is copied without a round trip.
    std::string_view ansi;
    if (cell.AnsiTextView(ansi) && IsPlainAscii(ansi)) {
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

// A tab separated field that holds a tab or a line break would split its row; such a field
// is put in double quotes with its inner quotes doubled, as spreadsheet programs read it
// back. Every other field stays exactly as it is, quotes included.
void QuoteTabFieldFrom(std::string& line, std::size_t from) {
    if (line.find_first_of("\t\r\n", from) == std::string::npos) return;
    DoubleQuotesFrom(line, from);
    line.insert(from, 1, '"');
    line += '"';
}

}  // namespace

void TXLSWriterTXT::SaveToFile(const std::string& fileName, TTextFileKind kind,
                               const TUsedArea& area) {
    errno = 0;
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) throw Exception("Cannot create file " + fileName + ErrorText());
    WriteSheet(out, kind, area);
    out.close();
    if (!out) throw Exception("Cannot write file " + fileName + ErrorText());
}

void TXLSWriterTXT::WriteSheet(std::ostream& out, TTextFileKind kind, const TUsedArea& area) {
    if (area.LastRow < area.FirstRow) return;
    const TCells& cells = sheet_.Cells();
    const TCellsByRow byRow(cells, area);
    const char separator = kind == tkCSV ? ',' : '\t';
    std::string line;
    // Wide counters: the last row and column may be the largest their types hold.
    for (std::uint32_t row = area.FirstRow; row <= area.LastRow && out; ++row) {
        line.clear();
        const TCellsByRow::TEntry* next = byRow.Begin(row);
        const TCellsByRow::TEntry* const end = byRow.End(row);
        for (std::uint32_t col = area.FirstCol; col <= area.LastCol; ++col) {
            // A position without a cell is an empty field; nothing is added to the sheet.
            const bool has = next != end && next->Col == col;
            if (kind == tkCSV) line += '"';
            const std::size_t start = line.size();
            if (has) AppendField(line, cells.Items((next++)->Index));
            if (kind == tkCSV) {
                DoubleQuotesFrom(line, start);
                line += '"';
            } else {
                QuoteTabFieldFrom(line, start);
            }
            if (col < area.LastCol) line += separator;
        }
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
}

void TSheet::SaveAsText(const std::string& fileName, TTextFileKind kind) {
    TUsedArea area;
    if (!GetUsedArea(area)) return;  // no file at all for a sheet without cells
    TXLSWriterTXT writer(*this);
    writer.SaveToFile(fileName, kind, area);
}

}  // namespace vorlix
