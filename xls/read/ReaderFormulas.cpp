// Handlers of the formula records of a sheet (FORMULA, SHRFMLA, ARRAY, TABLE) and the
// finishing step that finds where each formula's tokens are once every sheet, name and
// external reference of the workbook is known. The texts are built when asked for.
#include <span>

#include "xls/formula/TKeptFormulas.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/read/ReadContext.h"
#include "xls/read/SheetReader.h"

namespace vorlix {

TSheetReader::~TSheetReader() = default;

// The cached result becomes the cell's value; a text result follows in a STRING record.
// The tokens are kept with the cell.
void TSheetReader::ReadFormula(TRecordCursor& body) {
    const records::TFormulaRecord r = records::DecodeFormula(body);
    TCells& cells = context_.CurrentSheet().Cells();
    if (r.IsNumber()) {
        // Loaded in bulk, as a number record is.
        PutNumber(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Number());
        if (context_.Options.ReadFormulas) KeepFormula(*cells.Find(r.Cell.Row, r.Cell.Col), r);
        return;
    }
    TCell cell = cells.GetCell(r.Cell.Row, r.Cell.Col);
    if (r.Result[0] == records::TFormulaRecord::kResultString) {
        pendingRow_ = r.Cell.Row;
        pendingCol_ = r.Cell.Col;
        pendingXF_ = r.Cell.XF;
    } else if (r.Result[0] == records::TFormulaRecord::kResultBoolean) {
        cell.SetValue(TCellValue::Boolean(r.Result[2] == 1));
    } else if (r.Result[0] == records::TFormulaRecord::kResultError) {
        cell.SetValue(TCellValue::Error(r.Result[2]));
    }
    ApplyCellFormat(cell, r.Cell.XF);
    if (context_.Options.ReadFormulas) KeepFormula(cell, r);
}

void TSheetReader::KeepFormula(TCell cell, const records::TFormulaRecord& r) {
    if (!formulas_) formulas_ = std::make_shared<TKeptFormulas>();
    const auto options = static_cast<std::uint16_t>(r.Options[0] | r.Options[1] << 8);
    // Only the complete decoder reads the values of array constants.
    cell.KeepFormula(formulas_->Keep(
        options, r.Tokens, context_.FormulaSettings.AllFormulas ? r.Extra : std::string_view()));
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

// Every kept formula is located in the complete store of shared formulas. A formula that
// cannot be decoded keeps its cell's cached result and gets the UnreadableFormula text (as
// a rule none) when asked for; with StrictFormulas it fails the read here.
void TSheetReader::FinishFormulas(int sheetPosition) {
    if (!formulas_) return;
    TPtgParser& parser = context_.Parser();
    formulas_->Seal(parser, context_.Workbook.LinkTable(), context_.Options.UnreadableFormula);
    TSheets& sheets = context_.Workbook.Sheets();
    std::string text;
    for (int s = 0; s < sheets.Count(); ++s) {
        if (sheetPosition >= 0 && s != sheetPosition) continue;
        TCells& cells = sheets.Items(s).Cells();
        const std::span<TCells::TKeptFormula> kept = cells.KeptFormulas();
        if (kept.empty()) continue;
        cells.SetFormulaSource(formulas_);
        for (TCells::TKeptFormula& formula : kept) {
            const std::uint32_t address = cells.AddressKey(formula.Position);
            const auto row = static_cast<std::uint16_t>(address >> 8);
            const auto col = static_cast<std::uint8_t>(address);
            formula.Formula =
                formulas_->Locate(formula.Formula, static_cast<std::uint16_t>(s), row, col, parser);
            if (context_.Options.StrictFormulas &&
                formulas_->Decode(formula.Formula, row, col, text) != TPtgParser::kRecognised)
                throw EXLSError(xeFormulaNotRecognized);
        }
    }
    // A sheet read by itself keeps its store with its cells; the next sheet starts a new one.
    if (sheetPosition >= 0) formulas_.reset();
}

}  // namespace vorlix
