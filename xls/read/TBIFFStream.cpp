#include "xls/read/TBIFFStream.h"

#include <algorithm>
#include <cstring>

#include "xls/read/RecordIds.h"
#include "xls/read/TCFile.h"

namespace vorlix {

namespace {
constexpr std::uint16_t kBofId = rec::kBof;
constexpr std::uint16_t kContinueId = rec::kContinue;
constexpr std::uint16_t kMsoDrawingGroupId = rec::kMsoDrawingGroup;
}  // namespace

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

bool TBIFFStream::ReadHeader() {
    // A zero id read ahead is judged by the rule in force when its record is asked for.
    if (headerAhead_) return aheadId_ != 0 || !zeroIdEnds_;
    if (!blockValid_ || blockPos_ >= blockFill_) LoadBlock();
    if (!blockValid_) return false;
    aheadOffset_ = static_cast<std::int64_t>(blockIndex_) * kBlockSize + blockPos_;

    // A zero id marks the end of the records: the padding after the last one (unless the
    // reader takes it for a record).
    std::uint8_t header[4];
    if (blockFill_ - blockPos_ >= 4) {
        // The usual case: the whole header in this block.
        std::memcpy(header, raw_.data() + blockPos_, 4);
        if ((header[0] | header[1]) == 0 && zeroIdEnds_) return false;
        blockPos_ += 4;
    } else {
        if (!Copy(header, 2, false)) return false;
        if ((header[0] | header[1]) == 0 && zeroIdEnds_) return false;
        if (!Copy(header + 2, 2, false)) return false;
    }
    platform::TByteCursor fields(header, sizeof header);
    aheadId_ = fields.U16();
    aheadLength_ = fields.U16();
    headerAhead_ = true;
    return true;
}

bool TBIFFStream::ReadRecord() {
    if (!ReadHeader()) return false;
    headerAhead_ = false;
    record_.Id = aheadId_;
    record_.Length = aheadLength_;
    record_.Offset = aheadOffset_;
    TEasyStream& data = record_.Data;
    data.SetSizeForOverwrite(record_.Length);
    if (record_.Length == 0) return true;
    // BOF bodies are never encrypted: they come from the raw bytes too.
    return Copy(data.Memory(), record_.Length, decrypting_ && record_.Id != kBofId);
}

bool TBIFFStream::ReadJoinedRecord() {
    if (!ReadRecord()) return false;
    joined_.Id = record_.Id;
    joined_.Length = record_.Length;
    joined_.Offset = record_.Offset;
    joined_.Data = record_.Data.Memory();
    joined_.Size = record_.Length;
    joined_.Starts.clear();
    const std::uint16_t first = record_.Id;
    // Only the next header is read ahead, never a body: a FILEPASS record may still start
    // the decryption of the bodies after it (headers are never encrypted).
    const auto continues = [&] {
        return ReadHeader() && (aheadId_ == kContinueId ||
                                (first == kMsoDrawingGroupId && aheadId_ == kMsoDrawingGroupId));
    };
    if (!continues()) return true;
    joinedBytes_.assign(record_.Data.Memory(), record_.Data.Memory() + record_.Length);
    do {
        if (!ReadRecord()) break;  // cut off by the end of the stream
        joined_.Starts.push_back(static_cast<std::uint32_t>(joinedBytes_.size()));
        joinedBytes_.insert(joinedBytes_.end(), record_.Data.Memory(),
                            record_.Data.Memory() + record_.Length);
    } while (continues());
    joined_.Data = joinedBytes_.data();
    joined_.Size = joinedBytes_.size();
    return true;
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
