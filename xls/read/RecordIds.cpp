#include "xls/read/RecordIds.h"

#include <algorithm>
#include <array>

namespace vorlix::rec {

namespace {

struct NamedRecord {
    std::uint16_t id;
    std::string_view name;
};

constexpr std::array kNames = {
#define RECORD(id, identifier, name) NamedRecord{id, name},
#include "xls/read/Records.def"
#undef RECORD
};

constexpr bool SortedById() {
    for (std::size_t i = 1; i < kNames.size(); ++i) {
        if (kNames[i - 1].id >= kNames[i].id) return false;
    }
    return true;
}
static_assert(SortedById(), "Records.def lists each record once, in id order");

}  // namespace

std::string_view RecordName(std::uint16_t id) {
    const auto it =
        std::lower_bound(kNames.begin(), kNames.end(), id,
                         [](const NamedRecord& r, std::uint16_t v) { return r.id < v; });
    return it != kNames.end() && it->id == id ? it->name : std::string_view();
}

}  // namespace vorlix::rec
