// The platform's system colours (window, button face, text...), as the classic default
// desktop scheme defines them. Workbooks can name them instead of palette colours.
#pragma once

#include <cstdint>

namespace vorlix::platform {

// The colour (0x00BBGGRR) of system colour number `index` (0 scroll bar, 1 background,
// 5 window, 8 window text, 15 button face, ...); black for unknown numbers.
std::uint32_t SystemColor(int index);

}  // namespace vorlix::platform
