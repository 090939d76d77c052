// Handlers of the formula records of a sheet (FORMULA, SHRFMLA, ARRAY, TABLE) and the
// finishing step that finds where each formula's tokens are once every sheet, name and
// external reference of the workbook is known. The texts are built when asked for.
#include <algorithm>
#include <span>

#include "platform/ByteCursor.h"
#include "xls/formula/TKeptFormulas.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/read/ReadContext.h"
#include "xls/read/SheetReader.h"

namespace vorlix {

TSheetReader::~TSheetReader() = default;

namespace {

// Where the token count stands in SHRFMLA and ARRAY bodies (after the range and flags).
constexpr std::size_t kShrFmlaHeader = 8;
constexpr std::size_t kArrayHeader = 12;

// What a formula that cannot be rewritten becomes: one byte that is no token, which the
// decoder does not recognise (the cell keeps its cached result).
constexpr char kNoToken = 0x00;

// BIFF5 tokens and the data after them as BIFF8 ones, in `tokens` and `extra`.
void Translate5(TReadContext& context, std::string_view& tokens, std::string_view& extra,
                std::string& tokens8, std::string& extra8) {
    if (!context.TranslateFormula5(tokens, extra, tokens8, extra8) || tokens8.size() > 0xFFFF) {
        tokens8.assign(1, kNoToken);
        extra8.clear();
    }
    tokens = tokens8;
    extra = extra8;
}

// A BIFF5 SHRFMLA or ARRAY body with its tokens (a 16-bit count at `header`, the tokens,
// the data after them) rewritten as BIFF8 ones.
std::string Body5(TReadContext& context, std::string_view body, std::size_t header) {
    platform::TByteCursor in(body);
    in.Skip(header);
    std::string_view tokens = in.Bytes(in.U16());
    std::string_view extra = in.Rest();
    std::string tokens8, extra8;
    Translate5(context, tokens, extra, tokens8, extra8);
    std::string out(body.substr(0, std::min(header, body.size())));
    out.resize(header + 2, '\0');
    platform::Store16(reinterpret_cast<std::uint8_t*>(out.data()) + header,
                      static_cast<std::uint16_t>(tokens.size()));
    out += tokens;
    out += extra;
    return out;
}

}  // namespace

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
    std::string_view tokens = r.Tokens;
    std::string_view extra = r.Extra;
    std::string tokens8, extra8;
    if (context_.Biff5()) Translate5(context_, tokens, extra, tokens8, extra8);
    // Only the complete decoder reads the values of array constants.
    cell.KeepFormula(formulas_->Keep(
        options, tokens, context_.FormulaSettings.AllFormulas ? extra : std::string_view()));
}

void TSheetReader::ReadShrFmla(TRecordCursor& body) {
    if (!context_.Options.ReadFormulas) return;
    const std::string body5 = context_.Biff5() ? Body5(context_, body.Rest(), kShrFmlaHeader) : "";
    context_.Parser().SharedFormulas().AddSharedFormula(
        static_cast<std::uint16_t>(context_.SheetIndex),
        context_.Biff5() ? std::string_view(body5) : body.Rest());
}

// Array formulas and data tables: the cells they cover point to their first cell. Only
// the complete decoder follows such pointers.
void TSheetReader::ReadArray(TRecordCursor& body) {
    if (!context_.Options.ReadFormulas || !context_.FormulaSettings.AllFormulas) return;
    const std::string body5 = context_.Biff5() ? Body5(context_, body.Rest(), kArrayHeader) : "";
    context_.Parser().SharedFormulas().AddArrayFormula(
        static_cast<std::uint16_t>(context_.SheetIndex),
        context_.Biff5() ? std::string_view(body5) : body.Rest());
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
