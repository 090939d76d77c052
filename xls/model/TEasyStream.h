// A growable in-memory byte stream with little-endian typed reads. Record bodies are
// handed to the record handlers in one of these.
//
// No operation raises. A read past the end delivers only what is left: the typed reads
// then return false and fill the missing high bytes of their value with zeros, so a
// field that a short body does not contain reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteCursor.h"

namespace vorlix {

class TEasyStream {
  public:
    std::int64_t Size() const { return size_; }
    std::int64_t Position() const { return position_; }
    // Positions before the start are clamped to 0; positions past the end are allowed and
    // read nothing.
    void SetPosition(std::int64_t position) { position_ = position < 0 ? 0 : position; }
    // Resizes the stream; new bytes are zero. The memory block only grows.
    void SetSize(std::int64_t size);
    // Resizes for a caller that writes every byte next (no zeroing) and rewinds.
    void SetSizeForOverwrite(std::int64_t size);
    std::int64_t Remaining() const { return position_ < size_ ? size_ - position_ : 0; }

    // The whole content.
    const std::uint8_t* Memory() const { return memory_.data(); }
    std::uint8_t* Memory() { return memory_.data(); }

    // Copies up to n bytes; returns the count copied.
    std::int64_t Read(void* buffer, std::int64_t n);
    bool ReadByte(std::uint8_t& value) {
        if (position_ >= 0 && position_ < size_) {
            value = memory_[static_cast<std::size_t>(position_++)];
            return true;
        }
        value = 0;
        return false;
    }
    bool ReadWord(std::uint16_t& value) {
        std::uint8_t b[2];
        const bool ok = Take(b, 2);
        value = platform::Load16(b);
        return ok;
    }
    bool ReadDWord(std::uint32_t& value) {
        std::uint8_t b[4];
        const bool ok = Take(b, 4);
        value = platform::Load32(b);
        return ok;
    }
    // A cursor over the bytes from the start (its reads never move this stream).
    platform::TByteCursor Cursor() const {
        return platform::TByteCursor(memory_.data(), static_cast<std::size_t>(size_));
    }
    bool ReadBytes(void* buffer, std::int64_t n);
    // When n bytes remain, sets `value` to them; otherwise leaves it alone.
    bool ReadString(std::string& value, std::int64_t n);
    // Moves the position by n; returns the new position.
    std::int64_t Skip(std::int64_t n);

    void Write(const void* buffer, std::int64_t n);
    void WriteByte(std::uint8_t value) { Write(&value, 1); }
    void WriteWord(std::uint16_t value);
    void WriteBuffer(const void* buffer, std::int64_t n) { Write(buffer, n); }

  private:
    // Copies n (at most 8) bytes; missing ones read as zero.
    bool Take(std::uint8_t* out, std::int64_t n) {
        if (position_ >= 0 && size_ - position_ >= n) {
            for (std::int64_t i = 0; i < n; ++i)
                out[i] = memory_[static_cast<std::size_t>(position_ + i)];
            position_ += n;
            return true;
        }
        return ReadSlow(out, n);
    }
    bool ReadSlow(void* out, std::int64_t n);

    std::vector<std::uint8_t> memory_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
};

}  // namespace vorlix
