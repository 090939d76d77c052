#include "xls/read/RecordIds.h"

#include <algorithm>
#include <iterator>

namespace vorlix::rec {

namespace {

struct NamedRecord {
    std::uint16_t id;
    std::string_view name;
};

// A built-in array: deducing a std::array of this many elements exceeds clang's limit on
// fold expressions.
constexpr NamedRecord kNames[] = {
#define RECORD(id, identifier, name) NamedRecord{id, name},
#define HANDLED(id, identifier, name, handler, flags) RECORD(id, identifier, name)
#include "xls/read/Records.def"
#undef HANDLED
#undef RECORD
};

constexpr bool SortedById() {
    for (std::size_t i = 1; i < std::size(kNames); ++i) {
        if (kNames[i - 1].id >= kNames[i].id) return false;
    }
    return true;
}
static_assert(SortedById(), "Records.def lists each record once, in id order");

}  // namespace

std::string_view RecordName(std::uint16_t id) {
    const auto it =
        std::lower_bound(std::begin(kNames), std::end(kNames), id,
                         [](const NamedRecord& r, std::uint16_t v) { return r.id < v; });
    return it != std::end(kNames) && it->id == id ? it->name : std::string_view();
}

}  // namespace vorlix::rec
