// A structural check of a compound document before it is opened: every sector chain the
// directory tree uses must stay inside the file, must not loop and must be long enough
// for the size its entry declares. Damage to the header or the allocation table makes the
// document unreadable. Damage that concerns single streams (a broken chain, a mini stream
// that cannot be followed, a broken link of the directory tree) is repaired by leaving
// those streams empty or those links out: the other streams read as they are, and the
// damaged ones are listed, so that a read of one of them fails with the reason rather than
// giving a shortened or garbled stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorlix::platform {

enum class CompoundCheck {
    Ok,
    // Usable after a repair of the header or the root entry (see CompoundRepair).
    Repaired,
    Corrupt,
};

// A 32-bit little-endian value to put at an offset of the document before it is read.
struct CompoundRepair {
    std::uint64_t Offset = 0;
    std::uint32_t Value = 0;
};

// A stream whose chain is damaged; the document is repaired to show it empty.
struct DamagedStream {
    // The names of the storages above it and its own, each followed by '/' but the last
    // ("ObjectPool/_1234/Ole"), in UTF-8.
    std::string Path;
    std::string Why;
    bool CutShort = false;
};

struct CompoundCheckResult {
    CompoundCheck State = CompoundCheck::Ok;
    // With Repaired: the repairs, in the order they were found.
    std::vector<CompoundRepair> Repairs;
    // With Corrupt: a short description of what is wrong.
    std::string Why;
    // With Corrupt: the file ends before data that its header or tables point to, as a
    // file cut short (a download or copy that stopped) does.
    bool CutShort = false;
    // With Repaired: the streams left empty, and sentences on the damage worked around.
    std::vector<DamagedStream> Damaged;
    std::vector<std::string> Warnings;
};

// Reads `count` bytes at `offset` into `out`; false when they cannot all be read.
using CompoundReader =
    std::function<bool(std::uint64_t offset, std::size_t count, std::uint8_t* out)>;

// Checks a document of `size` bytes, reading only its header and tables (FAT, DIFAT,
// directory, mini FAT) through `read`. Known harmless damage that some writers leave is
// repaired rather than refused: a count of FAT sectors beyond those the header lists, a
// mini stream size not rounded up to whole mini sectors, and sibling links of the root
// entry, sector numbers in the FAT beyond the table (read as chain ends), a directory
// chain that breaks after the root entry's sector (it ends there); damage to single
// streams is repaired as said above. A failed read counts as damage.
CompoundCheckResult CheckCompoundDocument(const CompoundReader& read, std::uint64_t size);

// The same on bytes in memory; the repairs are made in place. `why` receives a short
// description of what is wrong.
CompoundCheck CheckCompoundDocument(std::uint8_t* bytes, std::size_t size,
                                    std::string* why = nullptr);

}  // namespace vorlix::platform
