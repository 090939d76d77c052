// The HLINK decoder and the DV reader with its two condition formulas. The first byte
// chooses the decoder (and, for validations, strict decoding and the sheet); the rest is
// the record body.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/FuzzLinks.h"
#include "fuzz/FuzzSupport.h"
#include "platform/ByteCursor.h"
#include "xls/format/ValueFormatter.h"
#include "xls/formula/TPtgParser.h"
#include "xls/model/Errors.h"
#include "xls/read/ValidationReader.h"
#include "xls/read/records/HyperlinkRecords.h"

using namespace vorlix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInputSplitter in(data, size);
    const std::uint8_t choice = in.U8();
    const std::string_view body = in.Rest();
    try {
        if ((choice & 1) == 0) {
            platform::TByteCursor cursor(body);
            (void)records::DecodeHyperlink(cursor);
        } else {
            TPtgParser parser(fuzz::FuzzLinkTable(), TFormulaSettings{(choice & 2) != 0},
                              &GeneralNumberText);
            platform::TByteCursor cursor(body);
            (void)ReadValidation(cursor, parser, (choice & 4) != 0,
                                 static_cast<std::uint16_t>((choice >> 3) % 5));
        }
    } catch (const Exception&) {
    }
    return 0;
}
