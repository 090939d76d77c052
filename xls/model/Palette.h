// The colour palette of the workbook read last on this thread (each thread has its own, so
// that workbooks read at once on several threads keep their colours apart): 58 entries,
// 1..56 the workbook format's colours 8..63, 57 and 58 its automatic foreground and
// background. Colours are 0x00BBGGRR (red in the low byte).
#pragma once

#include <cstdint>

namespace vorlix {

inline constexpr int kPaletteSize = 58;
inline constexpr std::uint8_t kAutoForeground = 57;
inline constexpr std::uint8_t kAutoBackground = 58;

// Entry 1..58; 0 outside that range.
std::uint32_t PaletteColor(int index);
// Replaces entry 1..58 (other indexes are ignored).
void SetPaletteColor(int index, std::uint32_t color);
// Back to the default palette.
void ResetPalette();

// A workbook colour code 8..65 as palette index 1..58; any other code gives 1.
std::uint8_t PaletteIndexFromBIFF(std::uint32_t code);
// The first palette index nearest to a colour; a colour with the high bit set names a
// system colour (its low byte) and is looked up first.
std::uint8_t NearestPaletteIndex(std::uint32_t color);

}  // namespace vorlix
