#include "xls/read/records/ValidationRecords.h"

#include "xls/model/StringHelpers.h"

namespace vorlix::records {

namespace {

std::u16string DvText(TByteCursor& body) {
    const std::uint16_t count = body.U16();
    if (count == 0) return {};
    const bool wide = (body.U8() & 0x01) != 0;
    const std::string_view raw = body.Bytes(wide ? 2 * std::size_t{count} : count);
    std::u16string text = wide ? BytesToWide(raw) : ExpandLatin1(raw);
    if (!wide && text == std::u16string(1, u'\0')) text.clear();
    return text;
}

std::string_view DvFormula(TByteCursor& body) {
    const std::uint16_t size = body.U16();
    body.Skip(2);
    return body.Bytes(size);
}

}  // namespace

TDvRecord DecodeDv(TByteCursor& body) {
    TDvRecord r;
    r.Options = body.U32();
    r.PromptTitle = DvText(body);
    r.ErrorTitle = DvText(body);
    r.Prompt = DvText(body);
    r.ErrorText = DvText(body);
    r.Formula1 = DvFormula(body);
    r.Formula2 = DvFormula(body);
    const std::uint16_t areas = body.U16();
    for (std::uint32_t i = 0; i < areas && body.Remaining() >= 8; ++i) {
        TCellArea& a = r.Areas.emplace_back();
        a.FirstRow = body.U16();
        a.LastRow = body.U16();
        a.FirstCol = body.U16();
        a.LastCol = body.U16();
    }
    if (r.Areas.size() < areas) body.Skip(8);  // the body ends before the areas do
    return r;
}

}  // namespace vorlix::records
