// The BIFF record stream: cuts the workbook stream into records (16-bit id, 16-bit body
// length, body) one at a time.
//
// The source is read in 1024-byte blocks. A zero record id ends the records, so the zero
// padding after the last record ends reading quietly (in a stream of version 2, whose
// DIMENSIONS record has id zero, a zero id and length). A header or body cut off by the end
// of the source ends the records too: such a record is never delivered (the bytes past
// the end of a short last block are not taken for part of it). After StartDecryption every
// body is delivered decrypted, except those the format leaves in clear (InClearRecord,
// InClearPrefix); headers are never encrypted.
//
// Records come in two views. ReadRecord gives the physical records one by one, CONTINUE
// records as records of their own (what `vorlix-cli records` lists). ReadJoinedRecord gives
// logical records: a record with the bodies of the CONTINUE records right after it, and,
// for MSODRAWINGGROUP, of the MSODRAWINGGROUP records after it too (the picture store runs
// on from record to record), as one block of bytes with the starts of its bodies. It reads
// the next header ahead to know where a record ends, never a body: decryption that starts
// with a FILEPASS record applies to the record after it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

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

// A logical record: its first body and the bodies that continue it, one after the other.
struct TJoinedRecord {
    std::uint16_t Id = 0;
    std::uint16_t Length = 0;  // of the first body
    std::int64_t Offset = 0;   // of the first header
    const std::uint8_t* Data = nullptr;
    std::size_t Size = 0;  // of all the bodies
    // Where each body after the first starts in Data.
    std::vector<std::uint32_t> Starts;
};

class TBIFFStream {
  public:
    static constexpr int kBlockSize = kCipherBlockSize;

    explicit TBIFFStream(TCFileStream& source);

    // Moves the source to its start; raises ECFileError(ceSetPosition) when it cannot.
    void Rewind();
    // Reads the next record into Record(); false at the end of the records.
    bool ReadRecord();
    // Whether a zero record id ends the records (the padding after the last one), as it
    // does at first. Some writers put empty records of id 0 between the records of a
    // substream; a reader inside one takes them for records.
    void SetZeroIdEnds(bool ends) { zeroIdEnds_ = ends; }
    // Reads the next logical record into Joined(); false at the end of the records. Record()
    // is left holding an unspecified body then.
    bool ReadJoinedRecord();
    const TJoinedRecord& Joined() const { return joined_; }
    // Decrypts every body from here on: with RC4 and the key material, or with `cipher`.
    void StartDecryption(const KeyMaterial& key);
    void StartDecryption(std::unique_ptr<TStreamCipher> cipher);
    // Moves to the record header at `offset` of the stream, to read on from there; false
    // (the position then unspecified) when no header can start there: outside the stream
    // or past the end of its last block. Decryption goes on at that place, each block
    // with its own key, as when the records before it had been read.
    bool SeekRecord(std::int64_t offset);
    // Where the next record's header starts, or -1 at the end of the records.
    std::int64_t NextRecordOffset() { return ReadHeader() ? aheadOffset_ : -1; }

    TBIFFRecord& Record() { return record_; }
    bool Decrypting() const { return decrypting_; }
    std::int32_t StreamSize();
    std::int32_t StreamPosition();
    // Blocks loaded so far: StreamPosition() moves only when this changes.
    std::int64_t BlocksLoaded() const { return blocksLoaded_; }

  private:
    // Reads the next header unless it was read already; false at the end of the records.
    bool ReadHeader();
    bool LoadBlock();
    // Copies n bytes from the blocks, loading blocks as needed.
    bool Copy(std::uint8_t* out, std::size_t n);

    TCFileStream& source_;
    TBIFFRecord record_;
    // The header read ahead of its body.
    bool headerAhead_ = false;
    bool zeroIdEnds_ = true;
    std::uint16_t aheadId_ = 0;
    std::uint16_t aheadLength_ = 0;
    std::int64_t aheadOffset_ = 0;
    TJoinedRecord joined_;
    std::vector<std::uint8_t> joinedBytes_;  // the bodies of a record with continuations
    // The stream starts with the BOF of version 2, which has a record of id zero.
    bool biff2_ = false;
    bool decrypting_ = false;
    std::unique_ptr<TStreamCipher> cipher_;
    bool blockValid_ = false;
    std::array<std::uint8_t, kBlockSize> raw_{};
    std::int32_t blockIndex_ = -1;
    std::int64_t blocksLoaded_ = 0;
    std::int32_t blockPos_ = 0;
    std::int32_t blockFill_ = 0;  // bytes of the current block that came from the source
};

}  // namespace vorlix
