// The function tables: the common one in its order, and every built-in function.
#include <gtest/gtest.h>

#include "xls/formula/FunctionTable.h"

using namespace vorlix;

class CommonFunctionTest : public ::testing::TestWithParam<TFunctionEntry> {};

// Each row is found by its index and agrees with the table of every function on the name.
TEST_P(CommonFunctionTest, FoundByIndexAndNamedAlike) {
    const TFunctionEntry row = GetParam();
    const auto found = FindFunction(row.Index);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->Name, row.Name);
    EXPECT_EQ(found->ArgCount, row.ArgCount);
    const auto builtIn = FindBuiltInFunction(row.Index);
    ASSERT_TRUE(builtIn.has_value());
    EXPECT_EQ(builtIn->Name, row.Name);
    if (builtIn->ArgCount != kVariableArguments && row.ArgCount != kVariableArguments) {
        EXPECT_EQ(builtIn->ArgCount, row.ArgCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CommonFunctionTest, ::testing::ValuesIn(CommonFunctions()),
                         [](const auto& row) {
                             std::string name(row.param.Name);
                             return name == "<UDF>" ? std::string("UserDefined") : name;
                         });

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
