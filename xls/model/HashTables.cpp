#include "xls/model/HashTables.h"

#include "xls/model/Crc32.h"

namespace vorlix {

namespace {

constexpr std::uint32_t kHashStart = 0x0FFFFFFF;

// Spreads the CRC over the slot array; the CRC's low bits are already well mixed, the
// multiplication only keeps keys that differ in few bits apart.
inline std::size_t Home(std::uint32_t crc, std::size_t mask) {
    return static_cast<std::size_t>((crc * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

}  // namespace

TCustomHashTable::TCustomHashTable(std::uint32_t size, KeyGetter keyGetter)
    : size_(size), keyGetter_(std::move(keyGetter)) {
    if (size == 0) throw Exception("Bad hash table size !");
}

std::uint32_t TCustomHashTable::KeyCrc(std::string_view key) {
    return CrcUpdate(kHashStart, key.data(), key.size());
}

std::uint32_t TCustomHashTable::Hash(std::string_view key) const {
    return KeyCrc(key) % size_;
}

std::string_view TCustomHashTable::GetKey(Entry entry, std::string& scratch) const {
    if (!keyGetter_) return {};
    return keyGetter_(entry, scratch);
}

TCustomHashTable::Entry TCustomHashTable::Find(std::string_view key) {
    found_ = false;
    if (slots_.empty()) return 0;
    const std::uint32_t crc = KeyCrc(key);
    const std::size_t mask = slots_.size() - 1;
    std::string scratch;
    for (std::size_t i = Home(crc, mask);; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.state == kEmpty) return 0;
        if (slot.state == kUsed && slot.crc == crc && GetKey(slot.entry, scratch) == key) {
            found_ = true;
            return slot.entry;
        }
    }
}

void TCustomHashTable::Place(std::uint32_t crc, Entry entry) {
    // Always the first empty slot of the probe sequence, never a removed one: a later
    // entry must come after every earlier entry of the same key.
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = Home(crc, mask);
    while (slots_[i].state != kEmpty)
        i = (i + 1) & mask;
    slots_[i] = Slot{crc, kUsed, entry};
    ++occupied_;
}

void TCustomHashTable::Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    occupied_ = 0;
    if (old.empty()) return;
    // Re-insert cluster by cluster, starting just after an empty slot, so that no probe
    // sequence is visited out of order and equal keys keep their relative order.
    std::size_t start = 0;
    while (old[start].state != kEmpty)
        ++start;
    for (std::size_t k = 1; k <= old.size(); ++k) {
        const Slot& slot = old[(start + k) % old.size()];
        if (slot.state == kUsed) Place(slot.crc, slot.entry);
    }
}

void TCustomHashTable::Insert(Entry entry) {
    std::string scratch;
    const std::uint32_t crc = KeyCrc(GetKey(entry, scratch));
    if ((occupied_ + 1) * 2 > slots_.size()) Grow();
    Place(crc, entry);
}

void TCustomHashTable::Remove(Entry entry) {
    if (slots_.empty()) return;
    std::string scratch;
    const std::uint32_t crc = KeyCrc(GetKey(entry, scratch));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Home(crc, mask); slots_[i].state != kEmpty; i = (i + 1) & mask) {
        if (slots_[i].state == kUsed && slots_[i].entry == entry) {
            slots_[i].state = kRemoved;
            return;
        }
    }
}

void TCustomHashTable::Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    occupied_ = 0;
    found_ = false;
}

THashedStringList::THashedStringList(std::uint32_t size)
    : table_(size, [this](TCustomHashTable::Entry position, std::string&) -> std::string_view {
          return strings_.Get(static_cast<long long>(position));
      }) {}

void THashedStringList::Add(std::string text) {
    strings_.Add(std::move(text));
    table_.Insert(strings_.Count() - 1);
}

long long THashedStringList::IndexOf(std::string_view text) {
    const auto position = table_.Find(text);
    return table_.Found() ? static_cast<long long>(position) : -1;
}

void THashedStringList::Clear() {
    strings_.Clear();
    table_.Clear();
}

}  // namespace vorlix
