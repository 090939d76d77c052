// Colour palettes: 58 entries, 1..56 the workbook format's colours 8..63, 57 and 58 its
// automatic foreground and background. Colours are 0x00BBGGRR (red in the low byte).
//
// Each workbook has its own palette (its PALETTE record replaces the colours). The
// process-wide palette below is the one a new workbook starts from.
#pragma once

#include <array>
#include <cstdint>

namespace vorlix {

inline constexpr int kPaletteSize = 58;
inline constexpr std::uint8_t kAutoForeground = 57;
inline constexpr std::uint8_t kAutoBackground = 58;

using TPalette = std::array<std::uint32_t, kPaletteSize>;

// The workbook format's default colours.
const TPalette& DefaultPalette();
// Entry 1..58 of a palette; 0 outside that range.
std::uint32_t PaletteColor(const TPalette& palette, int index);
// Replaces entry 1..58 (other indexes are ignored).
void SetPaletteColor(TPalette& palette, int index, std::uint32_t color);

// The same on the process-wide palette. Safe to call from any thread.
std::uint32_t PaletteColor(int index);
void SetPaletteColor(int index, std::uint32_t color);
// Back to the default palette.
void ResetPalette();
// A copy of the process-wide palette, for a new workbook.
TPalette ProcessPalette();

// A workbook colour code 8..65 as palette index 1..58; any other code gives 1.
std::uint8_t PaletteIndexFromBIFF(std::uint32_t code);
// The first palette index nearest to a colour; a colour with the high bit set names a
// system colour (its low byte) and is looked up first.
std::uint8_t NearestPaletteIndex(const TPalette& palette, std::uint32_t color);
// The same in the process-wide palette.
std::uint8_t NearestPaletteIndex(std::uint32_t color);

}  // namespace vorlix
