// MD5 message digest (RFC 1321).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vorlix {

using Md5Digest = std::array<std::uint8_t, 16>;

class Md5 {
  public:
    Md5();
    void Update(const void* data, std::size_t size);
    Md5Digest Final();

    static Md5Digest Of(const void* data, std::size_t size);

  private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_;
    std::uint64_t length_ = 0;  // bytes fed so far
    std::array<std::uint8_t, 64> buffer_{};
};

}  // namespace vorlix
