#include "xls/read/TBIFFStream.h"

#include <algorithm>
#include <cstring>

#include "xls/read/TCFile.h"

namespace vorlix {

namespace {
constexpr std::uint16_t kBofId = 0x0809;
}

TBIFFStream::TBIFFStream(TCFileStream& source) : source_(source) {}

void TBIFFStream::Rewind() {
    source_.SetPosition(0);
}

std::int32_t TBIFFStream::StreamSize() {
    return source_.Size();
}

std::int32_t TBIFFStream::StreamPosition() {
    return source_.Position();
}

bool TBIFFStream::LoadBlock() {
    raw_.fill(0);
    ++blocksLoaded_;
    const std::int32_t got = source_.Read(raw_.data(), kBlockSize);
    if (got <= 0) {
        blockValid_ = false;
        return false;
    }
    ++blockIndex_;
    blockPos_ = 0;
    blockFill_ = got;
    if (decrypting_) {
        DecryptBlock(raw_.data(), plain_.data(), static_cast<std::uint32_t>(blockIndex_), key_,
                     cipherState_);
    }
    blockValid_ = true;
    return true;
}

bool TBIFFStream::Copy(std::uint8_t* out, std::size_t n, bool plain) {
    const std::uint8_t* from = plain ? plain_.data() : raw_.data();
    std::size_t copied = 0;
    while (copied < n) {
        const std::size_t take =
            std::min(n - copied, static_cast<std::size_t>(blockFill_ - blockPos_));
        std::memcpy(out + copied, from + blockPos_, take);
        blockPos_ += static_cast<std::int32_t>(take);
        copied += take;
        if (copied < n && !LoadBlock()) return false;
    }
    return true;
}

bool TBIFFStream::ReadRecord() {
    if (!blockValid_ || blockPos_ >= blockFill_) LoadBlock();
    if (!blockValid_) return false;
    record_.Offset = static_cast<std::int64_t>(blockIndex_) * kBlockSize + blockPos_;

    std::uint8_t header[4];
    if (blockFill_ - blockPos_ >= 4) {
        // The usual case: the whole header in this block.
        std::memcpy(header, raw_.data() + blockPos_, 4);
        if ((header[0] | header[1]) == 0) return false;
        blockPos_ += 4;
    } else {
        if (!Copy(header, 2, false)) return false;
        if ((header[0] | header[1]) == 0) return false;
        if (!Copy(header + 2, 2, false)) return false;
    }
    // A zero id marks the end of the records: the padding after the last one.
    record_.Id = static_cast<std::uint16_t>(header[0] | header[1] << 8);
    record_.Length = static_cast<std::uint16_t>(header[2] | header[3] << 8);

    TEasyStream& data = record_.Data;
    data.SetSizeForOverwrite(record_.Length);
    if (record_.Length == 0) return true;
    // BOF bodies are never encrypted: they come from the raw bytes too.
    return Copy(data.Memory(), record_.Length, decrypting_ && record_.Id != kBofId);
}

void TBIFFStream::StartDecryption(const KeyMaterial& key) {
    key_ = key;
    decrypting_ = true;
    if (blockValid_ && blockIndex_ >= 0) {
        DecryptBlock(raw_.data(), plain_.data(), static_cast<std::uint32_t>(blockIndex_), key_,
                     cipherState_);
    }
}

}  // namespace vorlix
