#include "xls/read/RecordCursor.h"

#include <algorithm>

namespace vorlix {

std::size_t TRecordCursor::BodyEnd() const {
    // Bodies whose start the position has passed hold it no more.
    std::size_t body = body_;
    while (body < starts_.size() && Position() > starts_[body])
        ++body;
    body_ = body;
    return body < starts_.size() ? starts_[body] : Size();
}

bool TRecordCursor::NextBody() {
    BodyEnd();
    if (body_ >= starts_.size()) return false;
    Seek(starts_[body_]);
    ++body_;
    return true;
}

platform::TByteCursor TRecordCursor::Body(std::size_t index) const {
    if (index > starts_.size()) return {};
    const std::size_t start = index == 0 ? 0 : starts_[index - 1];
    const std::size_t end = index < starts_.size() ? starts_[index] : Size();
    return platform::TByteCursor(Data() + start, end - start);
}

bool TRecordCursor::ContinuedChars(std::size_t count, bool wide, std::u16string& out,
                                   bool& anyWide) {
    anyWide = anyWide || wide;
    while (out.size() < count) {
        if (InBody() == 0) {
            do {
                if (!NextBody()) return false;
            } while (InBody() == 0);
            wide = (U8() & 0x01) != 0;
            anyWide = anyWide || wide;
        }
        const std::size_t left = InBody();
        const std::size_t n = std::min(wide ? left / 2 : left, count - out.size());
        if (n == 0) {
            Skip(left);  // a lone byte: no whole 16-bit character is left in this body
            continue;
        }
        out += Chars(n, wide);
    }
    return true;
}

}  // namespace vorlix
