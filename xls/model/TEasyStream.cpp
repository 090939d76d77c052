#include "xls/model/TEasyStream.h"

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

void TEasyStream::SetSizeForOverwrite(std::int64_t size) {
    if (size < 0) size = 0;
    if (static_cast<std::size_t>(size) > memory_.size())
        memory_.resize(static_cast<std::size_t>(size));
    size_ = size;
    position_ = 0;
}

std::int64_t TEasyStream::Read(void* buffer, std::int64_t n) {
    const std::int64_t take = std::min(std::max<std::int64_t>(n, 0), Remaining());
    if (take > 0) {
        std::memcpy(buffer, memory_.data() + position_, static_cast<std::size_t>(take));
        position_ += take;
    }
    return take;
}

bool TEasyStream::ReadSlow(void* out, std::int64_t n) {
    std::uint8_t b[8] = {};
    const bool ok = Read(b, n) == n;
    std::memcpy(out, b, static_cast<std::size_t>(n));
    return ok;
}

bool TEasyStream::ReadBytes(void* buffer, std::int64_t n) {
    return Read(buffer, n) == n;
}

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
    std::uint8_t b[2];
    platform::Store16(b, value);
    Write(b, 2);
}

}  // namespace vorlix
