// Handlers of the formula records of a sheet (FORMULA, SHRFMLA, ARRAY, TABLE) and the
// finishing step that turns the stored formulas into formula text once every sheet, name
// and external reference of the workbook is known.
#include <charconv>

#include "platform/ByteCursor.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/read/ReadContext.h"
#include "xls/read/SheetReader.h"

namespace vorlix {

namespace {

// A stored formula: its option flags and the token length, 16 bits each, then the
// tokens and the data after them.
constexpr std::size_t kEntryHeader = 4;

}  // namespace

// The cached result becomes the cell's value; a text result follows in a STRING record.
// The tokens are kept for the finishing step, the cell's formula naming their place.
void TSheetReader::ReadFormula(TRecordCursor& body) {
    const records::TFormulaRecord r = records::DecodeFormula(body);
    TCell cell = context_.CurrentSheet().Cells().GetCell(r.Cell.Row, r.Cell.Col);
    if (r.IsNumber()) {
        cell.SetValue(TCellValue::Number(r.Number()));
    } else if (r.Result[0] == records::TFormulaRecord::kResultString) {
        pendingRow_ = r.Cell.Row;
        pendingCol_ = r.Cell.Col;
        pendingXF_ = r.Cell.XF;
    } else if (r.Result[0] == records::TFormulaRecord::kResultBoolean) {
        cell.SetValue(TCellValue::Boolean(r.Result[2] == 1));
    } else if (r.Result[0] == records::TFormulaRecord::kResultError) {
        cell.SetValue(TCellValue::Error(r.Result[2]));
    }
    ApplyCellFormat(cell, r.Cell.XF);
    if (context_.Options.ReadFormulas) {
        std::string entry(kEntryHeader, '\0');
        entry[0] = static_cast<char>(r.Options[0]);  // option flags, as stored
        entry[1] = static_cast<char>(r.Options[1]);
        platform::Store16(reinterpret_cast<std::uint8_t*>(entry.data()) + 2,
                          static_cast<std::uint16_t>(r.Tokens.size()));
        entry += r.Tokens;
        // Only the complete decoder reads the values of array constants.
        if (context_.FormulaSettings.AllFormulas) entry += r.Extra;
        formulaTable_.push_back(std::move(entry));
        cell.SetFormula(std::to_string(formulaTable_.size() - 1));
    }
}

void TSheetReader::ReadShrFmla(TRecordCursor& body) {
    if (!context_.Options.ReadFormulas) return;
    context_.Parser().SharedFormulas().AddSharedFormula(
        static_cast<std::uint16_t>(context_.SheetIndex), body.Rest());
}

// Array formulas and data tables: the cells they cover point to their first cell. Only
// the complete decoder follows such pointers.
void TSheetReader::ReadArray(TRecordCursor& body) {
    if (!context_.Options.ReadFormulas || !context_.FormulaSettings.AllFormulas) return;
    context_.Parser().SharedFormulas().AddArrayFormula(
        static_cast<std::uint16_t>(context_.SheetIndex), body.Rest());
}

void TSheetReader::ReadTable(TRecordCursor& body) {
    if (!context_.Options.ReadFormulas || !context_.FormulaSettings.AllFormulas) return;
    context_.Parser().SharedFormulas().AddTable(static_cast<std::uint16_t>(context_.SheetIndex),
                                                body.Rest());
}

// Every cell whose formula names a stored formula gets the decoded text. A formula that
// cannot be decoded leaves the cell its cached result and the UnreadableFormula text (as a
// rule none), or, with StrictFormulas, fails the read.
void TSheetReader::FinishFormulas(int sheetPosition) {
    if (formulaTable_.empty()) return;
    TPtgParser& parser = context_.Parser();
    TSheets& sheets = context_.Workbook.Sheets();
    for (int s = 0; s < sheets.Count(); ++s) {
        if (sheetPosition >= 0 && s != sheetPosition) continue;
        TCells& cells = sheets.Items(s).Cells();
        for (int i = 0; i < cells.Count(); ++i) {
            TCell cell = cells.Items(i);
            const std::string position = cell.Formula();
            if (position.empty()) continue;
            std::size_t index = 0;
            const auto [end, error] =
                std::from_chars(position.data(), position.data() + position.size(), index);
            bool recognised = false;
            if (error == std::errc() && end == position.data() + position.size() &&
                index < formulaTable_.size()) {
                platform::TByteCursor entry(formulaTable_[index]);
                const std::uint16_t options = entry.U16();
                const std::string_view tokens = entry.Bytes(entry.U16());
                recognised = parser.Decode(static_cast<std::uint16_t>(s), cell.Row(), tokens,
                                           options, static_cast<std::uint8_t>(cell.Col()),
                                           entry.Rest()) == TPtgParser::kRecognised;
            }
            if (!recognised && context_.Options.StrictFormulas)
                throw EXLSError(xeFormulaNotRecognized);
            cell.SetFormula(recognised ? parser.FormulaText() : context_.Options.UnreadableFormula);
        }
    }
    if (sheetPosition >= 0) formulaTable_.clear();
}

}  // namespace vorlix
