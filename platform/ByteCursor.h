// The one way the project reads binary data: little-endian numbers, characters and BIFF
// strings from a block of bytes, never past its end.
//
// One contract for every read: a read that the bytes do not wholly hold gives zero (a
// number), an empty text (characters and strings) or the bytes that are left (Bytes),
// moves to the end and sets the cursor's sticky "short" flag. Every later read then gives
// zero or an empty text too, as it starts at the end. So a parser reads like the list of
// its fields, a truncated body reads as one padded with zeros, as the file format asks,
// nothing after a short field is taken from that field's bytes, and the caller can still
// tell that it happened. Reads at an offset and Seek name their bytes themselves: they
// neither move nor depend on the position, and only set the flag.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlix::platform {

// Little-endian loads from memory the caller has checked.
inline std::uint16_t Load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Load64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Load32(p)) | static_cast<std::uint64_t>(Load32(p + 4)) << 32;
}
inline void Store16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Store32(std::uint8_t* p, std::uint32_t v) {
    Store16(p, static_cast<std::uint16_t>(v));
    Store16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

class TByteCursor {
  public:
    TByteCursor() = default;
    TByteCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit TByteCursor(std::string_view bytes)
        : data_(reinterpret_cast<const std::uint8_t*>(bytes.data())), size_(bytes.size()) {}

    std::size_t Size() const { return size_; }
    std::size_t Position() const { return at_; }
    std::size_t Remaining() const { return size_ - at_; }
    bool AtEnd() const { return at_ == size_; }
    // Whether any read so far wanted bytes past the end.
    bool Short() const { return short_; }
    // Whether `n` bytes from the position are inside (a test that sets no flag).
    bool Has(std::size_t n) const { return n <= Remaining(); }
    const std::uint8_t* Data() const { return data_; }

    // Moves to an offset from the start; one past the end goes to the end and is short.
    void Seek(std::size_t offset) {
        if (offset > size_) {
            at_ = size_;
            short_ = true;
        } else {
            at_ = offset;
        }
    }
    void Skip(std::size_t n) {
        if (Take(n)) at_ += n;
    }

    std::uint8_t U8() { return Take(1) ? data_[at_++] : 0; }
    std::uint16_t U16() {
        if (!Take(2)) return 0;
        const std::uint16_t v = Load16(data_ + at_);
        at_ += 2;
        return v;
    }
    std::uint32_t U32() {
        if (!Take(4)) return 0;
        const std::uint32_t v = Load32(data_ + at_);
        at_ += 4;
        return v;
    }
    std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::uint64_t U64() {
        if (!Take(8)) return 0;
        const std::uint64_t v = Load64(data_ + at_);
        at_ += 8;
        return v;
    }
    double F64() { return std::bit_cast<double>(U64()); }

    // Reads at an offset from the start, without moving.
    std::uint8_t U8At(std::size_t offset) { return TakeAt(offset, 1) ? data_[offset] : 0; }
    std::uint16_t U16At(std::size_t offset) {
        return TakeAt(offset, 2) ? Load16(data_ + offset) : 0;
    }
    std::uint32_t U32At(std::size_t offset) {
        return TakeAt(offset, 4) ? Load32(data_ + offset) : 0;
    }
    double F64At(std::size_t offset) {
        return TakeAt(offset, 8) ? std::bit_cast<double>(Load64(data_ + offset)) : 0.0;
    }

    // `n` bytes, or the bytes that are left when fewer are.
    std::string_view Bytes(std::size_t n) {
        const std::size_t take = n <= Remaining() ? n : Remaining();
        const std::string_view out(reinterpret_cast<const char*>(data_) + at_, take);
        at_ += take;
        if (take < n) short_ = true;
        return out;
    }
    // Everything from the position to the end.
    std::string_view Rest() { return Bytes(Remaining()); }

    // `count` 8-bit characters, BIFF8's "compressed" form: each byte is the code point
    // 0..255. Empty, at the end and short when they run past the end.
    std::u16string Chars8(std::size_t count);
    // `count` UTF-16LE characters; empty, at the end and short when they run past the end.
    std::u16string Chars16(std::size_t count);
    // `count` characters of either width.
    std::u16string Chars(std::size_t count, bool wide) {
        return wide ? Chars16(count) : Chars8(count);
    }

    // BIFF8 strings: a character count (8 bits for the short form, 16 for the long one),
    // an option byte whose bit 0 marks 16-bit characters, then the characters. Empty,
    // at the end and short when the characters run past the end.
    std::u16string ShortString() { return StringOf(U8()); }
    std::u16string LongString() { return StringOf(U16()); }
    // The option byte and characters of a string whose count was read already.
    std::u16string StringOf(std::size_t count) { return Chars(count, (U8() & 0x01) != 0); }

  private:
    // Whether n bytes remain; when not, moves to the end and marks the cursor short.
    bool Take(std::size_t n) {
        if (n <= size_ - at_) return true;
        Exhaust();
        return false;
    }
    void Exhaust() {
        at_ = size_;
        short_ = true;
    }
    bool TakeAt(std::size_t offset, std::size_t n) {
        if (offset <= size_ && n <= size_ - offset) return true;
        short_ = true;
        return false;
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t at_ = 0;
    bool short_ = false;
};

inline std::u16string TByteCursor::Chars8(std::size_t count) {
    if (!Take(count)) return {};
    std::u16string out(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        out[i] = data_[at_ + i];
    at_ += count;
    return out;
}

inline std::u16string TByteCursor::Chars16(std::size_t count) {
    if (count > Remaining() / 2) {
        Exhaust();
        return {};
    }
    std::u16string out(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<char16_t>(Load16(data_ + at_ + 2 * i));
    at_ += 2 * count;
    return out;
}

}  // namespace vorlix::platform
