// The catalogue of a workbook's number formats: the built-in formats of the file format
// and the workbook's own FORMAT records, by format index and by list position, with the
// classification of formats into kinds and the regional form of the built-in formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegionalSettings.h"

namespace vorlix {

struct TFormatEntry {
    std::uint16_t Index = 0;
    std::u16string Text;
};

// How a format renders a value and whether a number under it is a date.
enum class TFormatKind : std::uint8_t { None, General, Double, Date, Text, Integer };

// "general", "double", "date", "text", "integer", or "" for None.
std::string_view FormatKindName(TFormatKind kind);

class TFormatStrings {
  public:
    // Holds the 36 built-in entries, at positions 0 to 35.
    TFormatStrings();

    // Replaces the text of the entry with this index, or appends a new entry; returns
    // the entry's position.
    int SetFormat(std::u16string_view text, std::uint16_t index);
    // Position of the first entry with this index, or -1.
    int FindFormat(std::uint16_t index) const;
    // A copy of the entry at a position; EListError outside 0..FormatCount()-1.
    TFormatEntry GetFormat(int position) const;
    // The entry itself, without a copy (same range check).
    const TFormatEntry& Entry(int position) const;
    int FormatCount() const { return static_cast<int>(entries_.size()); }

  private:
    std::vector<TFormatEntry> entries_;
};

// The fixed kind of a built-in index (None for indexes without one).
TFormatKind FormatKindOfIndex(std::uint16_t index);
// The kind of any format text.
TFormatKind FormatKindOfText(std::u16string_view text);
// Whether a format shows elapsed time ("[h]:mm", "[ss]"): its values are durations.
bool FormatHasElapsedTime(std::u16string_view text);
// Whether a format of the date kind shows a day, month or year ("dd/mm/yyyy h:mm"), not
// times of day alone ("h:mm AM/PM"), in these regional settings (the process-wide ones
// without).
bool FormatHasDate(std::u16string_view text, const platform::TRegionalSettings& settings);
bool FormatHasDate(std::u16string_view text);
// Indexes 164 and up belong to the workbook.
bool IsCustomFormatIndex(std::uint16_t index);
// The pattern a built-in index is displayed with under these regional settings (the
// process-wide ones without): currency and grouped-number patterns, the locale's date
// patterns; empty for indexes without one.
std::u16string BuiltInFormatText(std::uint16_t index, const platform::TRegionalSettings& settings);
std::u16string BuiltInFormatText(std::uint16_t index);

// The built-in index/text pairs in catalogue order.
struct TBuiltInFormat {
    std::uint16_t Index;
    std::u16string_view Text;
};
extern const TBuiltInFormat kBuiltInFormats[36];

}  // namespace vorlix
