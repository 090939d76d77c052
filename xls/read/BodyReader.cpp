#include "xls/read/BodyReader.h"

#include <algorithm>

#include "xls/model/StringHelpers.h"

namespace vorlix {

std::u16string ExpandLatin1(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

std::string BodyReader::Bytes(std::int64_t n) {
    std::string out;
    body_.ReadString(out, std::clamp<std::int64_t>(n, 0, body_.Remaining()));
    return out;
}

std::u16string BodyReader::TextOf(std::uint32_t count) {
    const bool wide = (U8() & 0x01) != 0;
    const std::int64_t bytes = wide ? 2 * static_cast<std::int64_t>(count) : count;
    if (bytes > body_.Remaining()) return {};
    const std::string raw = Bytes(bytes);
    return wide ? BytesToWide(raw) : ExpandLatin1(raw);
}

}  // namespace vorlix
