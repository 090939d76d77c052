// Field-by-field reading of a record body. Every read stays inside the body: a number the
// body does not hold reads as 0 and a text that runs past its end reads as empty, so a
// handler reads like the list of its record's fields.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

#include "xls/read/TEasyStream.h"

namespace vorlix {

// BIFF8 "compressed" characters are the low bytes of UTF-16 units: code points 0..255.
std::u16string ExpandLatin1(std::string_view bytes);

class BodyReader {
  public:
    explicit BodyReader(TEasyStream& body) : body_(body) {}

    std::uint8_t U8() {
        std::uint8_t v = 0;
        return body_.ReadByte(v) ? v : 0;
    }
    std::uint16_t U16() {
        std::uint16_t v = 0;
        return body_.ReadWord(v) ? v : 0;
    }
    std::uint32_t U32() {
        std::uint32_t v = 0;
        return body_.ReadDWord(v) ? v : 0;
    }
    double F64() {
        std::uint8_t b[8] = {};
        if (!body_.ReadBytes(b, 8)) return 0.0;
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = bits << 8 | b[i];
        return std::bit_cast<double>(bits);
    }
    void Skip(std::int64_t n) { body_.Skip(n); }
    std::int64_t Remaining() const { return body_.Remaining(); }
    std::int64_t Position() const { return body_.Position(); }
    // Up to n bytes (fewer at the end of the body).
    std::string Bytes(std::int64_t n);

    // A short text: its character count (8 or 16 bits), an option byte whose bit 0 says
    // 16-bit characters, then the characters. Empty when the characters run past the end.
    std::u16string Text8() { return TextOf(U8()); }
    std::u16string Text16() { return TextOf(U16()); }
    // The option byte and characters of a text whose count was read already.
    std::u16string TextOf(std::uint32_t count);

  private:
    TEasyStream& body_;
};

}  // namespace vorlix
