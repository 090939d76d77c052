// Handlers of the formula records of a sheet (FORMULA, SHRFMLA, ARRAY, TABLE) and the
// finishing step that turns the stored formulas into formula text once every sheet, name
// and external reference of the workbook is known.
#include <algorithm>
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
        std::string_view tokens = r.Tokens;
        std::string_view extra = r.Extra;
        std::string tokens8, extra8;
        if (context_.Biff5()) Translate5(context_, tokens, extra, tokens8, extra8);
        std::string entry(kEntryHeader, '\0');
        entry[0] = static_cast<char>(r.Options[0]);  // option flags, as stored
        entry[1] = static_cast<char>(r.Options[1]);
        platform::Store16(reinterpret_cast<std::uint8_t*>(entry.data()) + 2,
                          static_cast<std::uint16_t>(tokens.size()));
        entry += tokens;
        // Only the complete decoder reads the values of array constants.
        if (context_.FormulaSettings.AllFormulas) entry += extra;
        formulaTable_.push_back(std::move(entry));
        cell.SetFormula(std::to_string(formulaTable_.size() - 1));
    }
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

// Every cell whose formula names a stored formula gets the decoded text. A formula that
// cannot be decoded leaves the cell its cached result and the UnreadableFormula text (as a
// rule none), or, with StrictFormulas, fails the read.
void TSheetReader::FinishFormulas() {
    if (formulaTable_.empty()) return;
    TPtgParser& parser = context_.Parser();
    TSheets& sheets = context_.Workbook.Sheets();
    for (int s = 0; s < sheets.Count(); ++s) {
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
}

}  // namespace vorlix
