// Token ids of the parsed formulas a workbook stores, and the error codes they carry.
// Operand tokens come in three classes (reference, value and array: ids 0x2n, 0x4n and
// 0x6n) that are read and shown alike; Base() folds them onto the 0x2n id.
#pragma once

#include <cstdint>
#include <string_view>

#include "xls/model/TCellValue.h"

namespace vorlix::ptg {

inline constexpr std::uint8_t kExp = 0x01;  // the formula is the one at another cell
inline constexpr std::uint8_t kTbl = 0x02;  // the cell belongs to a data table
inline constexpr std::uint8_t kUnion = 0x10;
inline constexpr std::uint8_t kParen = 0x15;
inline constexpr std::uint8_t kMissArg = 0x16;
inline constexpr std::uint8_t kStr = 0x17;
inline constexpr std::uint8_t kAttr = 0x19;
inline constexpr std::uint8_t kErr = 0x1C;
inline constexpr std::uint8_t kBool = 0x1D;
inline constexpr std::uint8_t kInt = 0x1E;
inline constexpr std::uint8_t kNum = 0x1F;
inline constexpr std::uint8_t kArray = 0x20;
inline constexpr std::uint8_t kFunc = 0x21;
inline constexpr std::uint8_t kFuncVar = 0x22;
inline constexpr std::uint8_t kName = 0x23;
inline constexpr std::uint8_t kRef = 0x24;
inline constexpr std::uint8_t kArea = 0x25;
inline constexpr std::uint8_t kMemArea = 0x26;
inline constexpr std::uint8_t kMemErr = 0x27;
inline constexpr std::uint8_t kMemNoMem = 0x28;
inline constexpr std::uint8_t kMemFunc = 0x29;
inline constexpr std::uint8_t kRefErr = 0x2A;
inline constexpr std::uint8_t kAreaErr = 0x2B;
inline constexpr std::uint8_t kRefN = 0x2C;
inline constexpr std::uint8_t kAreaN = 0x2D;
inline constexpr std::uint8_t kMemAreaN = 0x2E;
inline constexpr std::uint8_t kMemNoMemN = 0x2F;
inline constexpr std::uint8_t kNameX = 0x39;
inline constexpr std::uint8_t kRef3d = 0x3A;
inline constexpr std::uint8_t kArea3d = 0x3B;
inline constexpr std::uint8_t kRefErr3d = 0x3C;
inline constexpr std::uint8_t kAreaErr3d = 0x3D;

constexpr std::uint8_t Base(std::uint8_t id) {
    return id < 0x20 ? id : static_cast<std::uint8_t>((id & 0x1F) | 0x20);
}

// The text of an error code ("#DIV/0!"), empty for a code the format does not define.
constexpr std::string_view ErrorText(std::uint8_t code) {
    return ErrorCodeText(code);
}

}  // namespace vorlix::ptg
