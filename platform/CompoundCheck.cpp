#include "platform/CompoundCheck.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ByteCursor.h"
#include "platform/CompoundLayout.h"

namespace vorlix::platform {

namespace {

using namespace cfb;

constexpr const char* kBeyondEnd = "its tables point beyond its end";

struct Corrupt {
    const char* why;
    bool cutShort = false;
};

class Checker {
  public:
    Checker(const CompoundReader& read, std::uint64_t size) : read_(read), size_(size) {}

    CompoundCheckResult Run() {
        ReadHeader();
        LoadFat();
        const std::vector<std::uint32_t> dirChain =
            Chain(fat_, header_.U32At(kFirstDirSector), sectors_, true);
        LoadDirectory(dirChain);
        CheckTree();
        CompoundCheckResult result;
        result.Repairs = std::move(repairs_);
        result.State = result.Repairs.empty() ? CompoundCheck::Ok : CompoundCheck::Repaired;
        return result;
    }

  private:
    // `count` bytes at `offset`, which the caller made sure lie inside the file.
    std::vector<std::uint8_t> Load(std::uint64_t offset, std::size_t count) const {
        std::vector<std::uint8_t> bytes(count);
        if (count > 0 && !read_(offset, count, bytes.data())) throw Corrupt{"unreadable"};
        return bytes;
    }

    void ReadHeader() {
        const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(size_, 512));
        headerBytes_ = Load(0, have);
        const std::size_t signature = std::min(have, sizeof kSignature);
        if (std::memcmp(headerBytes_.data(), kSignature, signature) != 0)
            throw Corrupt{"not a compound document"};
        // The start of a header and nothing after it: a file that stopped early.
        if (size_ < kHeaderSize) throw Corrupt{"it ends inside its header", true};
        header_ = TByteCursor(headerBytes_.data(), headerBytes_.size());
        const std::uint16_t shift = header_.U16At(kSectorShift);
        if (shift != 9 && shift != 12) throw Corrupt{"bad sector size"};
        if (header_.U16At(kMiniSectorShift) != 6) throw Corrupt{"bad mini sector size"};
        sectorSize_ = std::size_t{1} << shift;
        version_ = header_.U16At(kMajorVersion);
        // Sector s starts at (s + 1) * sectorSize; only sectors that start inside the file
        // exist.
        sectors_ = size_ > sectorSize_ ? static_cast<std::size_t>((size_ - 1) / sectorSize_) : 0;
        cutoff_ = header_.U32At(kMiniStreamCutoff);
    }

    // The offset of sector s in the file.
    std::uint64_t Sector(std::uint32_t s) const { return (std::uint64_t{s} + 1) * sectorSize_; }
    // The bytes of sector s that lie inside the file (a short last sector is allowed).
    std::size_t SectorBytes(std::uint32_t s) const {
        return static_cast<std::size_t>(std::min<std::uint64_t>(sectorSize_, size_ - Sector(s)));
    }
    // The 32-bit values of a whole sector.
    void AppendValues(std::uint32_t s, std::size_t count, std::vector<std::uint32_t>& out) const {
        const std::vector<std::uint8_t> bytes = Load(Sector(s), count * 4);
        for (std::size_t i = 0; i < count; ++i)
            out.push_back(Load32(bytes.data() + 4 * i));
    }

    // The FAT, from the sector numbers listed in the header and the DIFAT chain.
    void LoadFat() {
        std::vector<std::uint32_t> listed;
        for (std::size_t i = 0; i < kHeaderDifatEntries; ++i)
            listed.push_back(header_.U32At(kHeaderDifat + 4 * i));
        const std::size_t perDifat = sectorSize_ / 4 - 1;
        std::vector<bool> seen(sectors_, false);
        std::uint32_t s = header_.U32At(kFirstDifatSector);
        while (s != kEndOfChain && s != kFreeSector) {
            if (s >= sectors_) {
                if (s < kMaxRegularSector) throw Corrupt{kBeyondEnd, true};
                throw Corrupt{"broken DIFAT chain"};
            }
            if (seen[s]) throw Corrupt{"broken DIFAT chain"};
            if (SectorBytes(s) < sectorSize_) throw Corrupt{kBeyondEnd, true};
            seen[s] = true;
            std::vector<std::uint32_t> values;
            AppendValues(s, perDifat + 1, values);
            listed.insert(listed.end(), values.begin(), values.end() - 1);
            s = values.back();
        }
        std::uint32_t count = header_.U32At(kFatSectorCount);
        // The listed sector numbers end at the first free entry.
        std::size_t available = 0;
        while (available < listed.size() && listed[available] < kMaxRegularSector)
            ++available;
        if (count > available) {
            // Some writers leave a count larger than the list; the list is what locates
            // the table, so the count follows it.
            if (available == 0) throw Corrupt{"no FAT sectors"};
            count = static_cast<std::uint32_t>(available);
            repairs_.push_back({kFatSectorCount, count});
        }
        fat_.reserve(std::size_t{count} * (sectorSize_ / 4));
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint32_t f = listed[k];
            if (f >= sectors_ || SectorBytes(f) < sectorSize_) throw Corrupt{kBeyondEnd, true};
            AppendValues(f, sectorSize_ / 4, fat_);
        }
    }

    // The sectors of a chain; a loop, a link outside the table or outside the file, or a
    // special value inside the chain is damage. With `inFile` the limit is the file's end,
    // and a link past it (but inside the table) is what a file cut short shows.
    std::vector<std::uint32_t> Chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                     std::size_t limit, bool inFile) const {
        std::vector<std::uint32_t> chain;
        std::vector<bool> seen(std::min(table.size(), limit), false);
        for (std::uint32_t s = start; s != kEndOfChain;) {
            if (s >= table.size() || s >= limit) {
                if (inFile && s < table.size()) throw Corrupt{kBeyondEnd, true};
                throw Corrupt{"chain leaves the file"};
            }
            if (seen[s]) throw Corrupt{"chain loops"};
            seen[s] = true;
            chain.push_back(s);
            s = table[s];
        }
        return chain;
    }

    void LoadDirectory(const std::vector<std::uint32_t>& chain) {
        for (std::uint32_t s : chain) {
            const std::size_t n = SectorBytes(s) / kDirEntrySize;
            const std::vector<std::uint8_t> bytes = Load(Sector(s), n * kDirEntrySize);
            for (std::size_t i = 0; i < n; ++i)
                entryOffsets_.push_back(Sector(s) + i * kDirEntrySize);
            directory_.insert(directory_.end(), bytes.begin(), bytes.end());
        }
        dir_ = TByteCursor(directory_.data(), directory_.size());
        if (entryOffsets_.empty() || dir_.U8At(kEntryType) != kTypeRoot)
            throw Corrupt{"no root entry"};
    }

    // Directory entry `id`'s field at `field`.
    std::uint32_t Entry32(std::size_t id, std::size_t field) const {
        return dir_.U32At(id * kDirEntrySize + field);
    }

    std::uint64_t EntrySize(std::size_t id) const {
        const std::uint64_t low = Entry32(id, kEntrySizeLow);
        // Version 3 files keep only 32 bits; writers leave garbage in the high half.
        if (version_ == 3) return low;
        return low | static_cast<std::uint64_t>(Entry32(id, kEntrySizeHigh)) << 32;
    }

    void CheckLength(std::size_t sectors, std::size_t sectorSize, std::uint64_t size) const {
        if (size > static_cast<std::uint64_t>(sectors) * sectorSize)
            throw Corrupt{"chain shorter than its stream"};
    }

    void Repair(std::size_t id, std::size_t field, std::uint32_t value) {
        repairs_.push_back({entryOffsets_[id] + field, value});
    }

    // Walks the directory tree from the root (as a reader does) and checks the chain of
    // every stream on it.
    void CheckTree() {
        std::uint64_t miniStreamSize = EntrySize(0);
        // The root entry has no siblings. Links there are garbage that the tree below does
        // not reach; the compound-document library would follow them and lose track of
        // what it built, so they are cleared.
        for (const std::size_t field : {kEntryLeft, kEntryRight}) {
            if (Entry32(0, field) != kNoStream) Repair(0, field, kNoStream);
        }
        if (miniStreamSize > 0) {
            const std::vector<std::uint32_t> miniStream =
                Chain(fat_, Entry32(0, kEntryStart), sectors_, true);
            CheckLength(miniStream.size(), sectorSize_, miniStreamSize);
            // Some writers record the mini stream's exact length instead of whole mini
            // sectors, so its last sector lies partly beyond the recorded size. The chain
            // holds whole sectors (a regular sector is a multiple of 64 bytes), so the
            // size is rounded up for the reader that follows.
            if (miniStreamSize % kMiniSectorSize != 0) {
                miniStreamSize += kMiniSectorSize - miniStreamSize % kMiniSectorSize;
                if (version_ == 3 && miniStreamSize > 0xFFFFFFFFu)
                    throw Corrupt{"mini stream size out of range"};
                Repair(0, kEntrySizeLow, static_cast<std::uint32_t>(miniStreamSize));
                if (version_ != 3)
                    Repair(0, kEntrySizeHigh, static_cast<std::uint32_t>(miniStreamSize >> 32));
            }
        }
        std::vector<std::uint32_t> miniFat;
        const std::uint32_t firstMiniFat = header_.U32At(kFirstMiniFatSector);
        if (firstMiniFat != kEndOfChain && firstMiniFat != kFreeSector) {
            for (std::uint32_t s : Chain(fat_, firstMiniFat, sectors_, true))
                AppendValues(s, SectorBytes(s) / 4, miniFat);
        }
        const std::size_t miniSectors = static_cast<std::size_t>(miniStreamSize / kMiniSectorSize);

        const std::size_t entries = entryOffsets_.size();
        std::vector<bool> visited(entries, false);
        std::vector<std::uint32_t> pending = {Entry32(0, kEntryChild)};
        visited[0] = true;
        while (!pending.empty()) {
            const std::uint32_t id = pending.back();
            pending.pop_back();
            if (id == kNoStream) continue;
            if (id >= entries || visited[id]) throw Corrupt{"broken directory tree"};
            visited[id] = true;
            pending.push_back(Entry32(id, kEntryLeft));
            pending.push_back(Entry32(id, kEntryRight));
            const std::uint8_t type = dir_.U8At(id * kDirEntrySize + kEntryType);
            if (type == kTypeStorage) {
                pending.push_back(Entry32(id, kEntryChild));
            } else if (type == kTypeStream) {
                const std::uint64_t size = EntrySize(id);
                if (size == 0) continue;
                if (size > size_) throw Corrupt{"a stream is larger than the file", true};
                if (size < cutoff_) {
                    CheckLength(Chain(miniFat, Entry32(id, kEntryStart), miniSectors, false).size(),
                                kMiniSectorSize, size);
                } else {
                    CheckLength(Chain(fat_, Entry32(id, kEntryStart), sectors_, true).size(),
                                sectorSize_, size);
                }
            }
        }
    }

    const CompoundReader& read_;
    std::uint64_t size_;
    std::vector<std::uint8_t> headerBytes_;
    mutable TByteCursor header_;
    std::size_t sectorSize_ = 512;
    std::uint16_t version_ = 3;
    std::size_t sectors_ = 0;
    std::uint32_t cutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint8_t> directory_;      // the directory's entries, one after another
    std::vector<std::uint64_t> entryOffsets_;  // where each entry lies in the file
    mutable TByteCursor dir_;
    std::vector<CompoundRepair> repairs_;
};

}  // namespace

CompoundCheckResult CheckCompoundDocument(const CompoundReader& read, std::uint64_t size) {
    try {
        return Checker(read, size).Run();
    } catch (const Corrupt& c) {
        CompoundCheckResult result;
        result.State = CompoundCheck::Corrupt;
        result.Why = c.why;
        result.CutShort = c.cutShort;
        return result;
    }
}

CompoundCheck CheckCompoundDocument(std::uint8_t* bytes, std::size_t size, std::string* why) {
    const CompoundCheckResult result = CheckCompoundDocument(
        [bytes, size](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
            if (offset > size || count > size - offset) return false;
            std::memcpy(out, bytes + offset, count);
            return true;
        },
        size);
    if (why != nullptr) *why = result.Why;
    for (const CompoundRepair& repair : result.Repairs)
        Store32(bytes + repair.Offset, repair.Value);
    return result.State;
}

}  // namespace vorlix::platform
