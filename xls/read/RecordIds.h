// BIFF8 record identifiers and their names as the published file format calls them, made
// from the one list in Records.def.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorlix::rec {

#define RECORD(id, identifier, name) inline constexpr std::uint16_t k##identifier = id;
#define HANDLED(id, identifier, name, handler, flags) RECORD(id, identifier, name)
#include "xls/read/Records.def"
#undef HANDLED
#undef RECORD

// The record's name ("BOF", "SST", ...) or an empty view for ids the list lacks.
std::string_view RecordName(std::uint16_t id);

}  // namespace vorlix::rec
