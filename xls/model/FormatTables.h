// The workbook's font and cell-format (XF) tables: fixed-size binary records stored once
// per distinct content, so any number of cells, rows and columns share a record and an
// edit of one item never disturbs another.
//
// Editing works through one edit buffer per table: Fetch a record into it, change fields,
// Store it (which finds an identical record or appends one) and use the index returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xls/model/HashTables.h"
#include "xls/model/TWorkbookSettings.h"

namespace vorlix {

// Records are byte strings that are their own hash key.
class TVirtualDataTable {
  public:
    TVirtualDataTable();
    int Count() const { return static_cast<int>(records_.Count()); }
    // EListError outside 0..Count()-1.
    const std::string& RecordAt(int index) const;
    int IndexOf(const std::string& bytes);
    int FindOrAdd(const std::string& bytes);
    int Append(const std::string& bytes);
    // FindOrAdd(newer) when the two differ, IndexOf(old) when they are equal.
    int Update(const std::string& old, const std::string& newer);
    void Clear();

  private:
    THashedStringList records_;
};

// Little-endian field access on record bytes.
std::uint16_t RecordGet16(const std::string& record, std::size_t offset);
void RecordSet16(std::string& record, std::size_t offset, std::uint16_t value);

// Font record layout (209 bytes).
namespace fontrec {
inline constexpr std::size_t kSize = 209;
inline constexpr std::size_t kBold = 0;
inline constexpr std::size_t kItalic = 1;
inline constexpr std::size_t kUnderline = 2;
inline constexpr std::size_t kStrikeOut = 3;
inline constexpr std::size_t kUnderlineStyle = 4;  // 1 single, 2 double, 0x21/0x22 accounting
inline constexpr std::size_t kScript = 5;          // 0 none, 1 super, 2 sub
inline constexpr std::size_t kColor = 6;           // palette index
inline constexpr std::size_t kSize16 = 7;          // points, 16-bit signed
inline constexpr std::size_t kName = 9;            // UTF-16LE, zero padded
inline constexpr std::size_t kNameBytes = 200;
}  // namespace fontrec

// XF record layout (23 bytes). Border sides: left, right, top, bottom.
namespace xfrec {
inline constexpr std::size_t kSize = 23;
inline constexpr std::size_t kFont = 0;          // 16-bit font position
inline constexpr std::size_t kNumberFormat = 2;  // 16-bit list position in TFormatStrings
inline constexpr std::size_t kHAlign = 4;
inline constexpr std::size_t kVAlign = 5;
inline constexpr std::size_t kRotation = 6;
inline constexpr std::size_t kWrap = 7;
inline constexpr std::size_t kPattern = 8;
inline constexpr std::size_t kPatternColor = 9;
inline constexpr std::size_t kFillColor = 10;
inline constexpr std::size_t kMerged = 11;
inline constexpr std::size_t kIndent = 12;
inline constexpr std::size_t kBorderColor = 13;  // + side
inline constexpr std::size_t kBorderStyle = 17;  // + side
inline constexpr std::size_t kStyleXF = 21;
inline constexpr std::size_t kLocked = 22;
}  // namespace xfrec

// The records of one table and its edit buffer.
class TRecordEditTable {
  public:
    int Count() const { return records_.Count(); }
    // Copies record `index` into the edit buffer (EListError outside the table).
    std::string& Fetch(int index);
    // The index of the record equal to the edit buffer, stored when new.
    int Store();
    // Appends the edit buffer as a new record, without looking for an equal one.
    int AppendBuffer();
    // The edit buffer becomes the default record.
    void Reset();
    void Clear();
    std::string& EditBuffer() { return editBuffer_; }
    const std::string& RecordAt(int index) const { return records_.RecordAt(index); }

  protected:
    // The table starts holding the default record at index 0.
    explicit TRecordEditTable(std::string defaultRecord);
    int IndexOf(const std::string& bytes) { return records_.IndexOf(bytes); }
    const std::string& Default() const { return default_; }

  private:
    TVirtualDataTable records_;
    std::string editBuffer_;
    std::string lastFetched_;
    std::string default_;
};

class TVirtualFontTable : public TRecordEditTable {
  public:
    TVirtualFontTable();  // index 0 is the default font (Arial, 10 points, colour 57)
    // "1-5(style:bi;color:000000;size:10;font:Arial;);", or empty for an unknown font.
    // Colours and font names follow the workbook's palette and code page.
    std::string DescribeRun(int first, int last, int fontIndex,
                            const TWorkbookSettings& settings) const;
    // The same with the process-wide palette and code page.
    std::string DescribeRun(int first, int last, int fontIndex) const;

    static std::u16string GetFontName(const std::string& record);
    static void SetFontName(std::string& record, std::u16string_view name);
    static std::string DefaultRecord();
};

class TVirtualXFTable : public TRecordEditTable {
  public:
    TVirtualXFTable();  // index 0 is the default XF record; DefaultXF() is 0
    int DefaultXF() const { return defaultXF_; }
    // DefaultXF becomes the index of the default record, appended when absent.
    void LocateDefaultXF();
    // No number format, wrap, fill, merge, indent or border, and locked.
    bool IsPlainXF(int index) const;

    static std::string DefaultRecord();

  private:
    int defaultXF_ = 0;
};

}  // namespace vorlix
