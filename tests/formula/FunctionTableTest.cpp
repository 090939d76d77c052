// The function tables: the common one in its order, and every built-in function.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string_view>

#include "xls/formula/FunctionTable.h"

using namespace vorlix;

struct TExpectedFunction {
    std::string_view Name;
    std::uint16_t Index;
    int ArgCount;  // -1: carried by the token
};

// The common functions in table order, written out here rather than taken from the table.
constexpr TExpectedFunction kCommon[] = {
    {"IF", 1, 3},           {"ISERROR", 3, 1},    {"AND", 36, -1},          {"OR", 37, -1},
    {"NOT", 38, 1},         {"COUNT", 0, -1},     {"SUM", 4, -1},           {"AVERAGE", 5, -1},
    {"MIN", 6, -1},         {"MAX", 7, -1},       {"ROW", 8, -1},           {"COLUMN", 9, -1},
    {"NPV", 11, -1},        {"STDEV", 12, -1},    {"PRODUCT", 183, -1},     {"SUMPRODUCT", 228, -1},
    {"FREQUENCY", 252, 2},  {"SUMSQ", 321, -1},   {"SUMX2MY2", 304, -1},    {"SUMX2PY2", 305, -1},
    {"SUMXMY2", 303, -1},   {"SUMIF", 345, -1},   {"SIN", 15, 1},           {"COS", 16, 1},
    {"TAN", 17, 1},         {"ATAN", 18, 1},      {"SQRT", 20, 1},          {"EXP", 21, 1},
    {"LN", 22, 1},          {"LOG10", 23, 1},     {"ABS", 24, 1},           {"INT", 25, 1},
    {"SIGN", 26, 1},        {"ROUND", 27, 2},     {"LOOKUP", 28, -1},       {"INDEX", 29, -1},
    {"REPT", 30, 2},        {"MID", 31, 3},       {"LEN", 32, 1},           {"VALUE", 33, 1},
    {"MOD", 39, 2},         {"DSUM", 41, 3},      {"VAR", 46, -1},          {"DATE", 65, 3},
    {"TIME", 66, 3},        {"DAY", 67, 1},       {"MONTH", 68, 1},         {"YEAR", 69, 1},
    {"WEEKDAY", 70, 1},     {"HOUR", 71, 1},      {"MINUTE", 72, 1},        {"SECOND", 73, 1},
    {"NOW", 74, 0},         {"HLOOKUP", 101, 4},  {"VLOOKUP", 102, 4},      {"LOWER", 112, 1},
    {"UPPER", 113, 1},      {"PROPER", 114, 1},   {"LEFT", 115, 2},         {"RIGHT", 116, 2},
    {"TRIM", 118, 1},       {"REPLACE", 119, 4},  {"SUBSTITUTE", 120, 4},   {"ISERR", 126, 1},
    {"ISTEXT", 127, 1},     {"ISNUMBER", 128, 1}, {"ISBLANK", 129, 1},      {"COUNTA", 169, -1},
    {"TRUNC", 197, 1},      {"ROUNDUP", 212, 2},  {"ROUNDDOWN", 213, 2},    {"TODAY", 221, 0},
    {"FLOOR", 285, 2},      {"CEILING", 288, 2},  {"CONCATENATE", 336, -1}, {"SUBTOTAL", 344, 2},
    {"COUNTBLANK", 347, 1}, {"<UDF>", 255, -1}};

// The common table holds exactly these rows in this order; each is found by its index
// and named as in the table of every function.
TEST(FunctionTableTest, CommonTableHoldsTheCommonFunctionsInOrder) {
    ASSERT_EQ(CommonFunctions().size(), std::size(kCommon));
    for (std::size_t i = 0; i < std::size(kCommon); ++i) {
        const TExpectedFunction& want = kCommon[i];
        const TFunctionEntry& row = CommonFunctions()[i];
        EXPECT_EQ(row.Name, want.Name) << i;
        EXPECT_EQ(row.Index, want.Index) << want.Name;
        EXPECT_EQ(row.ArgCount, want.ArgCount) << want.Name;
        const auto found = FindFunction(want.Index);
        ASSERT_TRUE(found.has_value()) << want.Name;
        EXPECT_EQ(found->Name, want.Name);
        const auto builtIn = FindBuiltInFunction(want.Index);
        ASSERT_TRUE(builtIn.has_value()) << want.Name;
        EXPECT_EQ(builtIn->Name, want.Name);
        if (builtIn->ArgCount != kVariableArguments && want.ArgCount != kVariableArguments) {
            EXPECT_EQ(builtIn->ArgCount, want.ArgCount) << want.Name;
        }
    }
}

TEST(FunctionTableTest, CommonTableLookups) {
    EXPECT_EQ(CommonFunctions().size(), 78u);
    EXPECT_EQ(FindFunction(4)->Name, "SUM");
    EXPECT_EQ(FindFunction(4)->ArgCount, kVariableArguments);
    EXPECT_EQ(FindFunction(255)->Name, "<UDF>");
    EXPECT_FALSE(FindFunction(2).has_value());  // ISNA is not among them
    EXPECT_EQ(CommonFunctions().front().Name, "IF");
    EXPECT_EQ(CommonFunctions().back().Index, 255);
}

TEST(FunctionTableTest, EveryBuiltInFunction) {
    int count = 0;
    for (std::uint32_t i = 0; i < 0x10000; ++i)
        count += FindBuiltInFunction(static_cast<std::uint16_t>(i)).has_value();
    EXPECT_EQ(count, 373);  // 372 functions and the call by name
    EXPECT_EQ(FindBuiltInFunction(2)->Name, "ISNA");
    EXPECT_EQ(FindBuiltInFunction(19)->ArgCount, 0);  // PI
    EXPECT_EQ(FindBuiltInFunction(94)->Name, "ACTIVE.CELL");
    EXPECT_EQ(FindBuiltInFunction(261)->Name, "ERROR.TYPE");
    EXPECT_EQ(FindBuiltInFunction(358)->Name, "GETPIVOTDATA");
    EXPECT_EQ(FindBuiltInFunction(379)->Name, "RTD");
    EXPECT_FALSE(FindBuiltInFunction(202).has_value());  // unassigned
    EXPECT_FALSE(FindBuiltInFunction(380).has_value());
}
