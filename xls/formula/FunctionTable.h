// The built-in functions of the file format: a function token carries a 16-bit index
// that names the function, and a fixed-argument token leaves the argument count to the
// function's table entry.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vorlix {

// A function: its name (upper case) and the arguments a fixed-argument call passes,
// or kVariableArguments when the call token carries the count.
struct TFunctionEntry {
    std::string_view Name;
    std::uint16_t Index = 0;
    std::int8_t ArgCount = 0;
};

inline constexpr std::int8_t kVariableArguments = -1;
// The index of a call by name: the name is an operand pushed before the arguments.
inline constexpr std::uint16_t kUserDefinedFunction = 255;

// The common worksheet functions, searched in their order; the first entry with the
// index wins. Formulas that call any other function are not recognised.
std::span<const TFunctionEntry> CommonFunctions();
std::optional<TFunctionEntry> FindFunction(std::uint16_t index);

// Every built-in function of the file format (worksheet and macro-sheet functions,
// indexes 0 to 379 with a few unassigned); nothing for other indexes.
std::optional<TFunctionEntry> FindBuiltInFunction(std::uint16_t index);

}  // namespace vorlix
