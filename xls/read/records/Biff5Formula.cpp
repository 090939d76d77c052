#include "xls/read/records/Biff5Formula.h"

#include "platform/ByteCursor.h"
#include "xls/read/records/Biff5Records.h"

namespace vorlix::records {

namespace {

using platform::TByteCursor;

constexpr std::uint16_t kRowRelative = 0x8000;
constexpr std::uint16_t kColRelative = 0x4000;
constexpr std::uint16_t kRowBits = 0x3FFF;
constexpr std::uint16_t kRowSign = 0x2000;

constexpr std::uint8_t kAttrChoose = 0x04;

// Array constant values.
constexpr std::uint8_t kValueString = 0x02;

void Put8(std::string& out, std::uint8_t v) {
    out += static_cast<char>(v);
}

void Put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void Copy(TByteCursor& in, std::size_t n, std::string& out) {
    out += in.Bytes(n);
}

// The characters of a text as BIFF8 stores them after its count: an option byte, then
// 8-bit characters when they all fit, else UTF-16.
void PutChars(std::u16string_view text, std::string& out) {
    bool wide = false;
    for (const char16_t c : text)
        wide = wide || c > 0xFF;
    Put8(out, wide ? 1 : 0);
    for (const char16_t c : text) {
        if (wide) {
            Put16(out, c);
        } else {
            Put8(out, static_cast<std::uint8_t>(c));
        }
    }
}

class TTranslator {
  public:
    TTranslator(std::string_view tokens, std::string_view extra, const TFormula5Context& context,
                std::string& tokensOut, std::string& extraOut)
        : in_(tokens), extra_(extra), context_(context), out_(tokensOut), extraOut_(extraOut) {}

    bool Run() {
        out_.clear();
        extraOut_.clear();
        while (!in_.AtEnd()) {
            if (!Token(in_.U8())) return false;
        }
        return !in_.Short() && !extra_.Short();
    }

  private:
    // A cell address: the BIFF5 row field with its flags and the 8-bit column.
    void Cell(std::uint16_t rowField, std::uint8_t col, bool offsets, std::uint16_t& row,
              std::uint16_t& colField) const {
        row = rowField & kRowBits;
        // An offset of a relative row is signed: 14 bits widen to BIFF8's 16.
        if (offsets && (rowField & kRowRelative) != 0 && (row & kRowSign) != 0) row |= ~kRowBits;
        colField = static_cast<std::uint16_t>(col | (rowField & (kRowRelative | kColRelative)));
    }

    void Ref(bool offsets) {
        const std::uint16_t rowField = in_.U16();
        const std::uint8_t col = in_.U8();
        std::uint16_t row = 0, colField = 0;
        Cell(rowField, col, offsets, row, colField);
        Put16(out_, row);
        Put16(out_, colField);
    }

    void Area(bool offsets) {
        const std::uint16_t firstField = in_.U16();
        const std::uint16_t lastField = in_.U16();
        const std::uint8_t firstCol = in_.U8();
        const std::uint8_t lastCol = in_.U8();
        std::uint16_t first = 0, firstColField = 0, last = 0, lastColField = 0;
        Cell(firstField, firstCol, offsets, first, firstColField);
        Cell(lastField, lastCol, offsets, last, lastColField);
        Put16(out_, first);
        Put16(out_, last);
        Put16(out_, firstColField);
        Put16(out_, lastColField);
    }

    // The EXTERNSHEET part of a 3-D reference, rewritten; false when it has no BIFF8 index.
    bool Sheets() {
        const auto externSheet = static_cast<std::int16_t>(in_.U16());
        in_.Skip(8);
        const std::uint16_t first = in_.U16();
        const std::uint16_t last = in_.U16();
        if (in_.Short() || !context_.SheetRange) return false;
        const std::optional<std::uint16_t> index = context_.SheetRange(externSheet, first, last);
        if (!index) return false;
        Put16(out_, *index);
        return true;
    }

    bool ArrayValues() {
        const std::uint8_t columns = extra_.U8();
        const std::uint16_t rows = extra_.U16();
        Put8(extraOut_, columns);
        Put16(extraOut_, rows);
        const std::size_t count = (std::size_t{columns} + 1) * (std::size_t{rows} + 1);
        // Every value takes at least 2 bytes, so the data bounds the loop, not the counts.
        for (std::size_t i = 0; i < count && !extra_.Short(); ++i) {
            const std::uint8_t type = extra_.U8();
            Put8(extraOut_, type);
            if (type == kValueString) {
                const std::u16string text = ShortString8(extra_, context_.CodePage);
                Put16(extraOut_, static_cast<std::uint16_t>(text.size()));
                PutChars(text, extraOut_);
            } else {
                Copy(extra_, 8, extraOut_);
            }
        }
        return !extra_.Short();
    }

    bool MemAreas() {
        const std::uint16_t count = extra_.U16();
        Put16(extraOut_, count);
        for (std::size_t i = 0; i < count && !extra_.Short(); ++i) {
            Put16(extraOut_, extra_.U16());  // first and last row
            Put16(extraOut_, extra_.U16());
            Put16(extraOut_, extra_.U8());  // first and last column
            Put16(extraOut_, extra_.U8());
        }
        return !extra_.Short();
    }

    bool Token(std::uint8_t id) {
        if (id >= 0x03 && id <= 0x16) {  // operators, parentheses, missing argument
            Put8(out_, id);
            return true;
        }
        const std::uint8_t base = id < 0x20 ? id : static_cast<std::uint8_t>((id & 0x1F) | 0x20);
        if (id >= 0x80) return false;
        Put8(out_, id);
        switch (base) {
            case 0x01:  // the formula of another cell: row, column
            case 0x02:  // a data table's cell
                Copy(in_, 4, out_);
                return true;
            case 0x17: {  // string constant
                const std::u16string text = ShortString8(in_, context_.CodePage);
                if (text.size() > 0xFF) return false;
                Put8(out_, static_cast<std::uint8_t>(text.size()));
                PutChars(text, out_);
                return true;
            }
            case 0x19: {  // attribute; CHOOSE has its jump table after it
                const std::uint8_t flags = in_.U8();
                const std::uint16_t count = in_.U16();
                Put8(out_, flags);
                Put16(out_, count);
                if ((flags & kAttrChoose) != 0) Copy(in_, 2 * (std::size_t{count} + 1), out_);
                return true;
            }
            case 0x1C:  // error, boolean
            case 0x1D:
                Copy(in_, 1, out_);
                return true;
            case 0x1E:  // integer
                Copy(in_, 2, out_);
                return true;
            case 0x1F:  // number
                Copy(in_, 8, out_);
                return true;
            case 0x20:  // array constant; its values follow the tokens
                Copy(in_, 7, out_);
                return ArrayValues();
            case 0x21:  // function: its index
                Copy(in_, 2, out_);
                return true;
            case 0x22:  // function with an argument count
                Copy(in_, 3, out_);
                return true;
            case 0x23:  // defined name: its index, then 12 unused bytes
                Put16(out_, in_.U16());
                Put16(out_, 0);
                in_.Skip(12);
                return true;
            case 0x24:  // cell reference, its error form, relative form
            case 0x2A:
                Ref(false);
                return true;
            case 0x2C:
                Ref(true);
                return true;
            case 0x25:  // area, its error form, relative form
            case 0x2B:
                Area(false);
                return true;
            case 0x2D:
                Area(true);
                return true;
            case 0x26:  // memory area: 4 unused bytes, the size; the areas follow the tokens
                Copy(in_, 6, out_);
                return MemAreas();
            case 0x27:  // memory error, memory not in memory: 4 unused bytes, the size
            case 0x28:
                Copy(in_, 6, out_);
                return true;
            case 0x29:  // memory function, relative forms: the size
            case 0x2E:
            case 0x2F:
                Copy(in_, 2, out_);
                return true;
            case 0x3A:  // 3-D cell reference, its error form
            case 0x3C:
                if (!Sheets()) return false;
                Ref(false);
                return true;
            case 0x3B:  // 3-D area, its error form
            case 0x3D:
                if (!Sheets()) return false;
                Area(false);
                return true;
            default:
                return false;  // external names, tokens the format does not define
        }
    }

    TByteCursor in_;
    TByteCursor extra_;
    const TFormula5Context& context_;
    std::string& out_;
    std::string& extraOut_;
};

}  // namespace

bool TranslateFormula5(std::string_view tokens, std::string_view extra,
                       const TFormula5Context& context, std::string& tokensOut,
                       std::string& extraOut) {
    return TTranslator(tokens, extra, context, tokensOut, extraOut).Run();
}

}  // namespace vorlix::records
