#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xls/model/Crc32.h"
#include "xls/model/HashTables.h"
#include "xls/model/StringLists.h"

using namespace vorlix;

namespace {

struct Item {
    std::string key;
};

THashedList<Item> MakeList(std::uint32_t size) {
    return THashedList<Item>(
        size, [](const Item& item, std::string&) -> std::string_view { return item.key; });
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

TEST(Crc32Test, StandardCheckValueAndNoInversionInside) {
    const std::string digits = "123456789";
    EXPECT_EQ(~CrcUpdate(0xFFFFFFFFu, digits.data(), digits.size()), 0xCBF43926u);
    // Updating in two steps is the same as one pass.
    const std::uint32_t part = CrcUpdate(0xFFFFFFFFu, digits.data(), 4);
    EXPECT_EQ(CrcUpdate(part, digits.data() + 4, 5), CrcUpdate(0xFFFFFFFFu, digits.data(), 9));
    EXPECT_EQ(CrcUpdate(0x12345678u, digits.data(), 0), 0x12345678u);
    EXPECT_EQ(CrcUpdate(0x12345678u, nullptr, 0), 0x12345678u);  // an empty key
}

TEST(HashTableTest, BucketOfKeysFollowsCrcFromSevenFs) {
    THashTable big(131071, nullptr);
    THashTable small(16383, nullptr);
    EXPECT_EQ(big.Hash(""), 2047u);
    EXPECT_EQ(small.Hash(""), 0u);
    const std::string key("\x01\x00\x02\x00", 4);
    EXPECT_EQ(big.Hash(key), CrcUpdate(0x0FFFFFFF, key.data(), key.size()) % 131071);
}

TEST(HashTableTest, SizeZeroIsRefused) {
    EXPECT_EQ(ErrorOf([] { THashTable t(0, nullptr); }), "Bad hash table size !");
}

TEST(HashTableTest, EntryZeroIsTellableFromAMiss) {
    std::vector<std::string> keys = {"zero", "one"};
    THashTable table(
        7, [&](THashTable::Entry e, std::string&) -> std::string_view { return keys[e]; });
    table.Insert(0);
    table.Insert(1);
    EXPECT_EQ(table.Find("zero"), 0u);
    EXPECT_TRUE(table.Found());
    EXPECT_EQ(table.Find("two"), 0u);
    EXPECT_FALSE(table.Found());
}

TEST(HashTableTest, RemoveTakesOutOnlyThatEntry) {
    std::vector<std::string> keys = {"a", "a", "b"};
    THashTable table(
        3, [&](THashTable::Entry e, std::string&) -> std::string_view { return keys[e]; });
    for (THashTable::Entry e = 0; e < 3; ++e)
        table.Insert(e);
    table.Remove(0);
    EXPECT_EQ(table.Find("a"), 1u);
    table.Remove(1);
    table.Find("a");
    EXPECT_FALSE(table.Found());
    EXPECT_EQ(table.Find("b"), 2u);
    table.Clear();
    table.Find("b");
    EXPECT_FALSE(table.Found());
    EXPECT_EQ(table.Size(), 3u);
}

TEST(HashTableTest, WithoutKeyGetterEveryKeyIsEmpty) {
    THashTable table(5, nullptr);
    table.Insert(42);
    EXPECT_EQ(table.Find(""), 42u);
    EXPECT_TRUE(table.Found());
}

TEST(HashedListTest, FindsItemsByKeyInInsertionOrder) {
    auto list = MakeList(131071);
    std::vector<Item> items;
    for (int i = 0; i < 5000; ++i)
        items.push_back({"key" + std::to_string(i)});
    for (auto& item : items)
        list.Add(&item);
    ASSERT_EQ(list.Count(), 5000u);
    for (int i = 0; i < 5000; i += 7) {
        EXPECT_EQ(list.Find("key" + std::to_string(i)), &items[i]);
        EXPECT_EQ(list.IndexOfKey("key" + std::to_string(i)), i);
        EXPECT_EQ(list.Items(i), &items[i]);
    }
    EXPECT_EQ(list.Find("nokey"), nullptr);
    EXPECT_EQ(list.IndexOfKey("nokey"), -1);
}

TEST(HashedListTest, DuplicateKeysFindTheFirstAddedEvenAfterGrowth) {
    // One bucket only: every key collides, and the table grows many times while equal
    // keys keep their order.
    auto list = MakeList(1);
    std::vector<Item> items;
    for (int i = 0; i < 3000; ++i)
        items.push_back({"k" + std::to_string(i % 100)});
    for (auto& item : items)
        list.Add(&item);
    for (int k = 0; k < 100; ++k) {
        EXPECT_EQ(list.IndexOfKey("k" + std::to_string(k)), k);
    }
}

TEST(HashedListTest, ItemsOutOfRangeRaisesListError) {
    auto list = MakeList(11);
    Item a{"a"};
    list.Add(&a);
    EXPECT_EQ(ErrorOf([&] { list.Items(1); }), "List index out of bounds (1)");
    EXPECT_EQ(ErrorOf([&] { list.Items(-1); }), "List index out of bounds (-1)");
}

TEST(HashedStringListTest, IndexOfFirstAddedAndMissing) {
    THashedStringList list(16383);
    list.Add("first");
    list.Add("second");
    list.Add("first");
    EXPECT_EQ(list.IndexOf("first"), 0);
    EXPECT_EQ(list.IndexOf("second"), 1);
    EXPECT_EQ(list.IndexOf("never"), -1);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Strings(2), "first");
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.IndexOf("first"), -1);
}

TEST(HashedStringListTest, StringsInTheSameBucketAreBothFound) {
    THashedStringList list(7);
    THashTable probe(7, nullptr);
    // Find two different strings that share a bucket of seven.
    std::string a = "s0", b;
    for (int i = 1; b.empty(); ++i) {
        const std::string s = "s" + std::to_string(i);
        if (probe.Hash(s) == probe.Hash(a)) b = s;
    }
    list.Add(a);
    list.Add(b);
    EXPECT_EQ(list.IndexOf(a), 0);
    EXPECT_EQ(list.IndexOf(b), 1);
}

TEST(HashedStringListTest, KeysAreBytesZerosIncludedAndCaseSensitive) {
    THashedStringList list(31);
    list.Add(std::string("a\0b", 3));
    list.Add("A");
    EXPECT_EQ(list.IndexOf(std::string("a\0b", 3)), 0);
    EXPECT_EQ(list.IndexOf("a"), -1);
    EXPECT_EQ(list.IndexOf("A"), 1);
}

TEST(AnsiStringListTest, AddGetDeleteIndexOf) {
    TAnsiStringList list;
    EXPECT_EQ(list.Add("x"), 1u);
    EXPECT_EQ(list.Add("y"), 2u);
    EXPECT_EQ(list.Add("x"), 3u);
    EXPECT_EQ(list.IndexOf("x"), 0);
    EXPECT_EQ(list.IndexOf("X"), -1);
    list.Delete(7);  // out of range: nothing happens
    list.Delete(-1);
    EXPECT_EQ(list.Count(), 3u);
    list.Delete(0);
    EXPECT_EQ(list.Get(0), "y");
    EXPECT_EQ(list.IndexOf("x"), 1);
    EXPECT_EQ(ErrorOf([&] { list.Get(2); }), "List index out of bounds (2)");
}

TEST(StringStackTest, PopsInReverseOrderAndFailsWhenEmpty) {
    TStringStack stack;
    stack.Push("1");
    stack.Push("2");
    stack.Push("3");
    EXPECT_EQ(stack.Pop(), "3");
    EXPECT_EQ(stack.Pop(), "2");
    EXPECT_EQ(stack.Pop(), "1");
    EXPECT_EQ(ErrorOf([&] { stack.Pop(); }), "List index out of bounds (-1)");
}
