// Helpers for the tests of record decoders: a cursor over built bytes, and the check that
// a body cut short inside any one field sets the cursor's flag, keeps the fields before
// the cut and gives the documented default (the value an empty body gives) for the rest.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/ByteCursor.h"
#include "platform/CodePage.h"
#include "tests/support/XlsBuilder.h"
#include "xls/read/RecordCursor.h"

namespace vorlix::test {

inline platform::TByteCursor CursorOver(const Bytes& bytes) {
    return platform::TByteCursor(bytes.data(), bytes.size());
}

// Bodies joined as the record stream joins a record and its CONTINUE records.
class JoinedBodies {
  public:
    JoinedBodies(std::initializer_list<Bytes> bodies) {
        for (const Bytes& b : bodies) {
            if (&b != bodies.begin()) starts_.push_back(static_cast<std::uint32_t>(bytes_.size()));
            bytes_.insert(bytes_.end(), b.begin(), b.end());
        }
    }
    TRecordCursor Cursor() const { return TRecordCursor(0, bytes_.data(), bytes_.size(), starts_); }

  private:
    Bytes bytes_;
    std::vector<std::uint32_t> starts_;
};

// A decoded field as text, for comparing whole records field by field.
template <typename T>
std::string FieldText(const T& value) {
    std::ostringstream out;
    if constexpr (std::is_same_v<T, std::u16string>) {
        out << platform::Utf16ToUtf8(value);
    } else if constexpr (std::is_same_v<T, std::string_view> || std::is_same_v<T, std::string>) {
        out << '[' << value.size() << ']' << value;
    } else if constexpr (std::is_same_v<T, bool> || std::is_integral_v<T>) {
        out << +value;
    } else {
        out << value;
    }
    return out.str();
}

template <typename... T>
std::vector<std::string> Fields(const T&... values) {
    return {FieldText(values)...};
}

// `body` holds whole fields ending at the offsets `ends`; `fields` lists a decoded record's
// fields in the same order.
template <typename Decode, typename FieldsOf>
void ExpectEachCutGivesDefaults(const Bytes& body, const std::vector<std::size_t>& ends,
                                Decode decode, FieldsOf fieldsOf) {
    platform::TByteCursor whole = CursorOver(body);
    const std::vector<std::string> all = fieldsOf(decode(whole));
    ASSERT_FALSE(whole.Short());
    ASSERT_EQ(all.size(), ends.size());
    platform::TByteCursor none;
    const std::vector<std::string> defaults = fieldsOf(decode(none));
    for (std::size_t k = 0; k < ends.size(); ++k) {
        SCOPED_TRACE("cut inside field " + std::to_string(k));
        const std::size_t start = k == 0 ? 0 : ends[k - 1];
        if (ends[k] == start) continue;  // an empty field cannot be cut
        const Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(ends[k] - 1));
        platform::TByteCursor c = CursorOver(cut);
        const std::vector<std::string> got = fieldsOf(decode(c));
        EXPECT_TRUE(c.Short());
        std::vector<std::string> expected(all.begin(),
                                          all.begin() + static_cast<std::ptrdiff_t>(k));
        expected.insert(expected.end(), defaults.begin() + static_cast<std::ptrdiff_t>(k),
                        defaults.end());
        EXPECT_EQ(got, expected);
    }
}

}  // namespace vorlix::test
