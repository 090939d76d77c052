#include "xls/write/TXLSWriterTXT.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/CodePage.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"

namespace vorlix {

namespace {

std::string ErrorText() {
    return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

// The display text at an address; a position without a cell is an empty field, and looking
// it up adds nothing to the sheet.
std::string FieldText(const TCells& cells, std::uint32_t row, std::uint32_t col) {
    const std::optional<TCell> cell = cells.Find(row, col);
    if (!cell) return {};
    return platform::WideToMultiByte(platform::SystemCodePage(), cell->DisplayText());
}

void AppendQuoted(std::string& line, const std::string& text) {
    line += '"';
    for (const char ch : text) {
        if (ch == '"') line += '"';
        line += ch;
    }
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
    const char separator = kind == tkCSV ? ',' : '\t';
    std::string line;
    // Wide counters: the last row and column may be the largest their types hold.
    for (std::uint32_t row = area.FirstRow; row <= area.LastRow && out; ++row) {
        line.clear();
        for (std::uint32_t col = area.FirstCol; col <= area.LastCol; ++col) {
            const std::string text = FieldText(cells, row, col);
            if (kind == tkCSV) {
                AppendQuoted(line, text);
            } else {
                line += text;
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
