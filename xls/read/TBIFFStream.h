// The BIFF record stream: cuts the workbook stream into records (16-bit id, 16-bit body
// length, body) one at a time.
//
// The source is read in 1024-byte blocks. A zero record id ends the records, so the zero
// padding after the last record ends reading quietly. A header or body cut off by the end
// of the source ends the records too: such a record is never delivered (the bytes past
// the end of a short last block are not taken for part of it). After StartDecryption every
// body is delivered decrypted (the key stream restarts at each block and a body may span
// blocks), except BOF bodies, which the format never encrypts; headers always come from
// the raw bytes. CONTINUE records are delivered as records of their own.
#pragma once

#include <array>
#include <cstdint>

#include "xls/model/TEasyStream.h"
#include "xls/read/Decryption.h"

namespace vorlix {

class TCFileStream;

struct TBIFFRecord {
    std::uint16_t Id = 0;
    std::uint16_t Length = 0;
    TEasyStream Data;  // exactly the body, positioned at 0 after a read
    // Offset of the record's header in the workbook stream.
    std::int64_t Offset = 0;
};

class TBIFFStream {
  public:
    static constexpr int kBlockSize = kCipherBlockSize;

    explicit TBIFFStream(TCFileStream& source);

    // Moves the source to its start; raises ECFileError(ceSetPosition) when it cannot.
    void Rewind();
    // Reads the next record into Record(); false at the end of the records.
    bool ReadRecord();
    // Decrypts every body from here on, starting with the rest of the current block.
    void StartDecryption(const KeyMaterial& key);

    TBIFFRecord& Record() { return record_; }
    bool Decrypting() const { return decrypting_; }
    std::int32_t StreamSize();
    std::int32_t StreamPosition();
    // Blocks loaded so far: StreamPosition() moves only when this changes.
    std::int64_t BlocksLoaded() const { return blocksLoaded_; }

  private:
    bool LoadBlock();
    // Copies n bytes from the raw or decrypted blocks, loading blocks as needed.
    bool Copy(std::uint8_t* out, std::size_t n, bool plain);

    TCFileStream& source_;
    TBIFFRecord record_;
    bool decrypting_ = false;
    KeyMaterial key_{};
    Rc4State cipherState_;
    bool blockValid_ = false;
    std::array<std::uint8_t, kBlockSize> raw_{};
    std::array<std::uint8_t, kBlockSize> plain_{};
    std::int32_t blockIndex_ = -1;
    std::int64_t blocksLoaded_ = 0;
    std::int32_t blockPos_ = 0;
    std::int32_t blockFill_ = 0;  // bytes of the current block that came from the source
};

}  // namespace vorlix
