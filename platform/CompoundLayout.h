// Layout of a compound document (the file system inside .xls files): header offsets,
// special sector numbers and directory entry fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlix::platform::cfb {

inline constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kMiniSectorSize = 64;  // the one size a mini sector may have

// Header fields (little-endian).
inline constexpr std::size_t kMajorVersion = 0x1A;     // 16-bit: 3 or 4
inline constexpr std::size_t kSectorShift = 0x1E;      // 16-bit: 9 (512 bytes) or 12 (4096)
inline constexpr std::size_t kMiniSectorShift = 0x20;  // 16-bit: 6 (64 bytes)
inline constexpr std::size_t kFatSectorCount = 0x2C;   // 32-bit
inline constexpr std::size_t kFirstDirSector = 0x30;   // 32-bit
inline constexpr std::size_t kMiniStreamCutoff =
    0x38;  // 32-bit: streams below live in the mini stream
inline constexpr std::size_t kFirstMiniFatSector = 0x3C;
inline constexpr std::size_t kMiniFatSectorCount = 0x40;
inline constexpr std::size_t kFirstDifatSector = 0x44;
inline constexpr std::size_t kDifatSectorCount = 0x48;
inline constexpr std::size_t kHeaderDifat = 0x4C;  // the first 109 FAT sector numbers
inline constexpr std::size_t kHeaderDifatEntries = 109;

// Special sector numbers.
inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;  // absent sibling or child link

// Directory entries: 128 bytes each.
inline constexpr std::size_t kDirEntrySize = 128;
inline constexpr std::size_t kEntryNameLength = 0x40;  // 16-bit, in bytes with the terminator
inline constexpr std::size_t kEntryType = 0x42;
inline constexpr std::size_t kEntryLeft = 0x44;
inline constexpr std::size_t kEntryRight = 0x48;
inline constexpr std::size_t kEntryChild = 0x4C;
inline constexpr std::size_t kEntryStart = 0x74;
inline constexpr std::size_t kEntrySizeLow = 0x78;
inline constexpr std::size_t kEntrySizeHigh = 0x7C;

inline constexpr std::uint8_t kTypeStorage = 1;
inline constexpr std::uint8_t kTypeStream = 2;
inline constexpr std::uint8_t kTypeRoot = 5;

}  // namespace vorlix::platform::cfb
