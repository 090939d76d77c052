// Keyed containers: a hash table over opaque entries whose keys are byte strings, a list
// that keeps its items in insertion order and finds them by key, and a hashed list of
// 8-bit strings.
//
// A key's bucket is Hash(key) = CrcUpdate(0x0FFFFFFF, key) mod Size. Duplicate keys are
// allowed and Find returns the earliest inserted of them. Entries are opaque integers the
// table never interprets (list positions in the hashed lists, so entry 0 is a real entry
// and only Found() tells a hit at position 0 from a miss).
//
// The buckets are held as one open-addressed array that grows with the number of
// entries, each slot keeping the entry's full CRC beside it, so an empty table costs
// nothing and a lookup asks the key getter only for entries whose CRC matches. Within
// one probe sequence entries stay in insertion order, which keeps "first match wins".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "xls/model/Errors.h"
#include "xls/model/StringLists.h"

namespace vorlix {

class TCustomHashTable {
  public:
    using Entry = std::uintptr_t;
    // Yields the key of an entry: a view of storage the owner keeps, or of `scratch`.
    using KeyGetter = std::function<std::string_view(Entry entry, std::string& scratch)>;

    // Raises Exception("Bad hash table size !") when size is 0.
    TCustomHashTable(std::uint32_t size, KeyGetter keyGetter);
    virtual ~TCustomHashTable() = default;
    TCustomHashTable(const TCustomHashTable&) = delete;
    TCustomHashTable& operator=(const TCustomHashTable&) = delete;

    std::uint32_t Size() const { return size_; }
    // The bucket number of a key.
    std::uint32_t Hash(std::string_view key) const;

    // The earliest inserted entry whose key equals `key`, or 0; Found() tells which.
    Entry Find(std::string_view key);
    bool Found() const { return found_; }
    virtual std::string_view GetKey(Entry entry, std::string& scratch) const;
    void Insert(Entry entry);
    // Removes the first occurrence of this very entry from its key's bucket, if any.
    void Remove(Entry entry);
    void Clear();

  private:
    struct Slot {
        std::uint32_t crc = 0;
        std::uint8_t state = kEmpty;
        Entry entry = 0;
    };
    static constexpr std::uint8_t kEmpty = 0;
    static constexpr std::uint8_t kUsed = 1;
    static constexpr std::uint8_t kRemoved = 2;

    static std::uint32_t KeyCrc(std::string_view key);
    void Grow();
    void Place(std::uint32_t crc, Entry entry);

    std::uint32_t size_;
    KeyGetter keyGetter_;
    bool found_ = false;
    std::vector<Slot> slots_;   // capacity is a power of two, or 0 before the first insert
    std::size_t occupied_ = 0;  // used and removed slots
};

class THashTable : public TCustomHashTable {
  public:
    using TCustomHashTable::TCustomHashTable;
};

// Items in the order they were added, found by key. The list does not own the items.
template <typename T>
class THashedList : public THashTable {
  public:
    using ItemKeyGetter = std::function<std::string_view(const T& item, std::string& scratch)>;

    THashedList(std::uint32_t size, ItemKeyGetter keyGetter)
        : THashTable(size, nullptr), itemKey_(std::move(keyGetter)) {}

    void Add(T* item) {
        items_.push_back(item);
        Insert(items_.size() - 1);
    }
    // The earliest added item with this key, or null.
    T* Find(std::string_view key) {
        const Entry position = THashTable::Find(key);
        return Found() ? items_[position] : nullptr;
    }
    long long IndexOfKey(std::string_view key) {
        const Entry position = THashTable::Find(key);
        return Found() ? static_cast<long long>(position) : -1;
    }
    std::size_t Count() const { return items_.size(); }
    T* Items(long long position) const {
        if (position < 0 || static_cast<std::size_t>(position) >= items_.size()) {
            throw EListError(position);
        }
        return items_[static_cast<std::size_t>(position)];
    }
    std::string_view GetKey(Entry position, std::string& scratch) const override {
        if (!itemKey_ || position >= items_.size()) return {};
        return itemKey_(*items_[position], scratch);
    }

  private:
    ItemKeyGetter itemKey_;
    std::vector<T*> items_;
};

// 8-bit strings in insertion order with a hash index over them.
class THashedStringList {
  public:
    explicit THashedStringList(std::uint32_t size);
    THashedStringList(const THashedStringList&) = delete;
    THashedStringList& operator=(const THashedStringList&) = delete;

    void Add(std::string text);
    long long IndexOf(std::string_view text);
    std::size_t Count() const { return strings_.Count(); }
    const std::string& Strings(long long position) const { return strings_.Get(position); }
    void Clear();

  private:
    TAnsiStringList strings_;
    THashTable table_;
};

}  // namespace vorlix
