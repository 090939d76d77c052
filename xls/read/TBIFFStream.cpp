#include "xls/read/TBIFFStream.h"

#include <algorithm>
#include <cstring>

#include "xls/read/RecordIds.h"
#include "xls/read/TCFile.h"

namespace vorlix {

namespace {
constexpr std::uint16_t kBof2Id = 0x0009;  // the BOF of version 2
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
    blockValid_ = true;
    return true;
}

bool TBIFFStream::Copy(std::uint8_t* out, std::size_t n) {
    const std::uint8_t* from = raw_.data();
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
    // reader takes it for a record, inside a substream). Version 2 (a stream that starts
    // with its BOF) has a record of id zero, DIMENSIONS, which has a body: there only a
    // zero header ends the records.
    std::uint8_t header[4];
    const auto ends = [this](const std::uint8_t* h, bool lengthRead) {
        if ((h[0] | h[1]) != 0) return false;
        if (!biff2_) return zeroIdEnds_;
        return !lengthRead || (h[2] | h[3]) == 0;
    };
    if (blockFill_ - blockPos_ >= 4) {
        // The usual case: the whole header in this block.
        std::memcpy(header, raw_.data() + blockPos_, 4);
        if (ends(header, true)) return false;
        blockPos_ += 4;
    } else {
        if (!Copy(header, 2)) return false;
        if (ends(header, false) && !biff2_) return false;
        if (!Copy(header + 2, 2)) return false;
        if (ends(header, true)) return false;
    }
    platform::TByteCursor fields(header, sizeof header);
    aheadId_ = fields.U16();
    aheadLength_ = fields.U16();
    if (aheadOffset_ == 0) biff2_ = aheadId_ == kBof2Id;
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
    if (!Copy(data.Memory(), record_.Length)) return false;
    if (decrypting_ && !InClearRecord(record_.Id)) {
        const std::size_t clear = std::min<std::size_t>(InClearPrefix(record_.Id), record_.Length);
        cipher_->Decrypt(data.Memory() + clear, record_.Length - clear,
                         record_.Offset + 4 + static_cast<std::int64_t>(clear), record_.Length);
    }
    return true;
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

bool TBIFFStream::SeekRecord(std::int64_t offset) {
    headerAhead_ = false;
    blockValid_ = false;
    if (offset < 0 || offset >= StreamSize()) return false;
    const auto block = static_cast<std::int32_t>(offset / kBlockSize);
    source_.SetPosition(block * kBlockSize);
    blockIndex_ = block - 1;  // LoadBlock counts on to it
    if (!LoadBlock()) return false;
    blockPos_ = static_cast<std::int32_t>(offset % kBlockSize);
    return blockPos_ < blockFill_;
}

void TBIFFStream::StartDecryption(const KeyMaterial& key) {
    StartDecryption(std::make_unique<TRc4Cipher>(key));
}

void TBIFFStream::StartDecryption(std::unique_ptr<TStreamCipher> cipher) {
    cipher_ = std::move(cipher);
    decrypting_ = cipher_ != nullptr;
}

}  // namespace vorlix
