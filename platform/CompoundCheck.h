// A structural check of a compound document before it is opened: every sector chain the
// directory tree uses must stay inside the file, must not loop and must be long enough
// for the size its entry declares. Damage of that kind makes the document unreadable
// rather than quietly shortened or garbled.
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

struct CompoundCheckResult {
    CompoundCheck State = CompoundCheck::Ok;
    // With Repaired: the repairs, in the order they were found.
    std::vector<CompoundRepair> Repairs;
    // With Corrupt: a short description of what is wrong.
    std::string Why;
    // With Corrupt: the file ends before data that its header or tables point to, as a
    // file cut short (a download or copy that stopped) does.
    bool CutShort = false;
};

// Reads `count` bytes at `offset` into `out`; false when they cannot all be read.
using CompoundReader =
    std::function<bool(std::uint64_t offset, std::size_t count, std::uint8_t* out)>;

// Checks a document of `size` bytes, reading only its header and tables (FAT, DIFAT,
// directory, mini FAT) through `read`. Known harmless damage that some writers leave is
// repaired rather than refused: a count of FAT sectors beyond those the header lists, a
// mini stream size not rounded up to whole mini sectors, and sibling links of the root
// entry. A failed read counts as damage.
CompoundCheckResult CheckCompoundDocument(const CompoundReader& read, std::uint64_t size);

// The same on bytes in memory; the repairs are made in place. `why` receives a short
// description of what is wrong.
CompoundCheck CheckCompoundDocument(std::uint8_t* bytes, std::size_t size,
                                    std::string* why = nullptr);

}  // namespace vorlix::platform
