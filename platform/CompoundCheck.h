// A structural check of a compound document before it is opened: every sector chain the
// directory tree uses must stay inside the file, must not loop and must be long enough
// for the size its entry declares. Damage of that kind makes the document unreadable
// rather than quietly shortened or garbled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlix::platform {

enum class CompoundCheck {
    Ok,
    // Usable after a repair of the header made in place (the caller's copy of the bytes).
    Repaired,
    Corrupt,
};

// Checks `bytes`; may repair known harmless damage in place: a count of FAT sectors
// beyond those the header lists, and a mini stream size not rounded up to whole mini
// sectors, both of which some writers leave behind. `why` receives a short description
// of what is wrong.
CompoundCheck CheckCompoundDocument(std::uint8_t* bytes, std::size_t size,
                                    std::string* why = nullptr);

}  // namespace vorlix::platform
