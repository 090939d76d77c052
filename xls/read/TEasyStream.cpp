#include "xls/read/TEasyStream.h"

#include <algorithm>
#include <cstring>

namespace vorlix {

void TEasyStream::SetSize(std::int64_t size) {
    if (size < 0) size = 0;
    const auto n = static_cast<std::size_t>(size);
    if (n > memory_.size()) memory_.resize(n);  // value-initialised: new bytes are zero
    if (size > size_) std::fill(memory_.begin() + size_, memory_.begin() + size, 0);
    size_ = size;
}

std::int64_t TEasyStream::Read(void* buffer, std::int64_t n) {
    const std::int64_t take = std::min(std::max<std::int64_t>(n, 0), Remaining());
    if (take > 0) {
        std::memcpy(buffer, memory_.data() + position_, static_cast<std::size_t>(take));
        position_ += take;
    }
    return take;
}

bool TEasyStream::ReadByte(std::uint8_t& value) {
    std::uint8_t b[1] = {0};
    const bool ok = Read(b, 1) == 1;
    value = b[0];
    return ok;
}

bool TEasyStream::ReadWord(std::uint16_t& value) {
    std::uint8_t b[2] = {0, 0};
    const bool ok = Read(b, 2) == 2;
    value = static_cast<std::uint16_t>(b[0] | b[1] << 8);
    return ok;
}

bool TEasyStream::ReadDWord(std::uint32_t& value) {
    std::uint8_t b[4] = {0, 0, 0, 0};
    const bool ok = Read(b, 4) == 4;
    value = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return ok;
}

bool TEasyStream::ReadBytes(void* buffer, std::int64_t n) { return Read(buffer, n) == n; }

bool TEasyStream::ReadString(std::string& value, std::int64_t n) {
    if (n < 0 || Remaining() < n) return false;
    value.assign(reinterpret_cast<const char*>(memory_.data() + position_),
                 static_cast<std::size_t>(n));
    position_ += n;
    return true;
}

std::int64_t TEasyStream::Skip(std::int64_t n) {
    SetPosition(position_ + n);
    return position_;
}

void TEasyStream::Write(const void* buffer, std::int64_t n) {
    if (n <= 0) return;
    if (position_ + n > size_) SetSize(position_ + n);
    std::memcpy(memory_.data() + position_, buffer, static_cast<std::size_t>(n));
    position_ += n;
}

void TEasyStream::WriteWord(std::uint16_t value) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(value & 0xFF),
                               static_cast<std::uint8_t>(value >> 8)};
    Write(b, 2);
}

}  // namespace vorlix
