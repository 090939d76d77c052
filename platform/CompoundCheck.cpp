#include "platform/CompoundCheck.h"

#include <cstring>
#include <vector>

#include "platform/ByteCursor.h"
#include "platform/CompoundLayout.h"

namespace vorlix::platform {

namespace {

using namespace cfb;

struct Corrupt {
    const char* why;
};

class Checker {
  public:
    Checker(std::uint8_t* bytes, std::size_t size)
        : bytes_(bytes), size_(size), file_(bytes, size) {}

    CompoundCheck Run() {
        ReadHeader();
        const bool repaired = LoadFat();
        std::vector<std::uint32_t> dirChain = Chain(fat_, file_.U32At(kFirstDirSector), sectors_);
        LoadDirectory(dirChain);
        const bool miniStreamRepaired = CheckTree();
        return repaired || miniStreamRepaired ? CompoundCheck::Repaired : CompoundCheck::Ok;
    }

  private:
    void ReadHeader() {
        if (size_ < kHeaderSize || std::memcmp(bytes_, kSignature, sizeof kSignature) != 0) {
            throw Corrupt{"not a compound document"};
        }
        const std::uint16_t shift = file_.U16At(kSectorShift);
        if (shift != 9 && shift != 12) throw Corrupt{"bad sector size"};
        if (file_.U16At(kMiniSectorShift) != 6) throw Corrupt{"bad mini sector size"};
        sectorSize_ = std::size_t{1} << shift;
        version_ = file_.U16At(kMajorVersion);
        // Sector s starts at (s + 1) * sectorSize; only sectors that start inside the file
        // exist.
        sectors_ = size_ > sectorSize_ ? (size_ - 1) / sectorSize_ : 0;
        cutoff_ = file_.U32At(kMiniStreamCutoff);
    }

    // The offset of sector s in the file.
    std::size_t Sector(std::uint32_t s) const { return (std::size_t{s} + 1) * sectorSize_; }
    // The bytes of sector s that lie inside the file (a short last sector is allowed).
    std::size_t SectorBytes(std::uint32_t s) const {
        const std::size_t at = (std::size_t{s} + 1) * sectorSize_;
        return std::min(sectorSize_, size_ - at);
    }

    // The FAT, from the sector numbers listed in the header and the DIFAT chain.
    bool LoadFat() {
        std::vector<std::uint32_t> listed;
        for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
            listed.push_back(file_.U32At(kHeaderDifat + 4 * i));
        }
        const std::size_t perDifat = sectorSize_ / 4 - 1;
        std::vector<bool> seen(sectors_, false);
        std::uint32_t s = file_.U32At(kFirstDifatSector);
        while (s != kEndOfChain && s != kFreeSector) {
            if (s >= sectors_ || seen[s]) throw Corrupt{"broken DIFAT chain"};
            if (SectorBytes(s) < sectorSize_) throw Corrupt{"DIFAT sector cut off"};
            seen[s] = true;
            const std::size_t p = Sector(s);
            for (std::size_t i = 0; i < perDifat; ++i)
                listed.push_back(file_.U32At(p + 4 * i));
            s = file_.U32At(p + 4 * perDifat);
        }
        std::uint32_t count = file_.U32At(kFatSectorCount);
        // The listed sector numbers end at the first free entry.
        std::size_t available = 0;
        while (available < listed.size() && listed[available] < kMaxRegularSector)
            ++available;
        bool repaired = false;
        if (count > available) {
            // Some writers leave a count larger than the list; the list is what locates
            // the table, so the count follows it.
            if (available == 0) throw Corrupt{"no FAT sectors"};
            count = static_cast<std::uint32_t>(available);
            Store32(bytes_ + kFatSectorCount, count);
            repaired = true;
        }
        fat_.reserve(std::size_t{count} * (sectorSize_ / 4));
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint32_t f = listed[k];
            if (f >= sectors_ || SectorBytes(f) < sectorSize_)
                throw Corrupt{"FAT sector outside the file"};
            const std::size_t p = Sector(f);
            for (std::size_t i = 0; i < sectorSize_ / 4; ++i)
                fat_.push_back(file_.U32At(p + 4 * i));
        }
        return repaired;
    }

    // The sectors of a chain; a loop, a link outside the table or outside the file, or a
    // special value inside the chain is damage.
    std::vector<std::uint32_t> Chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                     std::size_t limit) const {
        std::vector<std::uint32_t> chain;
        std::vector<bool> seen(std::min(table.size(), limit), false);
        for (std::uint32_t s = start; s != kEndOfChain;) {
            if (s >= table.size() || s >= limit) throw Corrupt{"chain leaves the file"};
            if (seen[s]) throw Corrupt{"chain loops"};
            seen[s] = true;
            chain.push_back(s);
            s = table[s];
        }
        return chain;
    }

    void LoadDirectory(const std::vector<std::uint32_t>& chain) {
        for (std::uint32_t s : chain) {
            const std::size_t p = Sector(s);
            const std::size_t n = SectorBytes(s) / kDirEntrySize;
            for (std::size_t i = 0; i < n; ++i)
                entries_.push_back(p + i * kDirEntrySize);
        }
        if (entries_.empty() || file_.U8At(entries_[0] + kEntryType) != kTypeRoot)
            throw Corrupt{"no root entry"};
    }

    std::uint64_t EntrySize(std::size_t e) {
        const std::uint64_t low = file_.U32At(e + kEntrySizeLow);
        // Version 3 files keep only 32 bits; writers leave garbage in the high half.
        if (version_ == 3) return low;
        return low | static_cast<std::uint64_t>(file_.U32At(e + kEntrySizeHigh)) << 32;
    }

    void CheckLength(std::size_t sectors, std::size_t sectorSize, std::uint64_t size) const {
        if (size > static_cast<std::uint64_t>(sectors) * sectorSize)
            throw Corrupt{"chain shorter than its stream"};
    }

    // Walks the directory tree from the root (as a reader does) and checks the chain of
    // every stream on it. True when the root entry was repaired (see below).
    bool CheckTree() {
        const std::size_t root = entries_[0];
        std::uint64_t miniStreamSize = EntrySize(root);
        bool repaired = false;
        // The root entry has no siblings. Links there are garbage that the tree below does
        // not reach; the compound-document library would follow them and lose track of
        // what it built, so they are cleared.
        for (const std::size_t field : {kEntryLeft, kEntryRight}) {
            if (file_.U32At(root + field) != kNoStream) {
                Store32(bytes_ + root + field, kNoStream);
                repaired = true;
            }
        }
        if (miniStreamSize > 0) {
            const std::vector<std::uint32_t> miniStream =
                Chain(fat_, file_.U32At(root + kEntryStart), sectors_);
            CheckLength(miniStream.size(), sectorSize_, miniStreamSize);
            // Some writers record the mini stream's exact length instead of whole mini
            // sectors, so its last sector lies partly beyond the recorded size. The chain
            // holds whole sectors (a regular sector is a multiple of 64 bytes), so the
            // size is rounded up for the reader that follows.
            if (miniStreamSize % kMiniSectorSize != 0) {
                miniStreamSize += kMiniSectorSize - miniStreamSize % kMiniSectorSize;
                if (version_ == 3 && miniStreamSize > 0xFFFFFFFFu)
                    throw Corrupt{"mini stream size out of range"};
                Store32(bytes_ + root + kEntrySizeLow, static_cast<std::uint32_t>(miniStreamSize));
                if (version_ != 3)
                    Store32(bytes_ + root + kEntrySizeHigh,
                            static_cast<std::uint32_t>(miniStreamSize >> 32));
                repaired = true;
            }
        }
        std::vector<std::uint32_t> miniFat;
        const std::uint32_t firstMiniFat = file_.U32At(kFirstMiniFatSector);
        if (firstMiniFat != kEndOfChain && firstMiniFat != kFreeSector) {
            for (std::uint32_t s : Chain(fat_, firstMiniFat, sectors_)) {
                const std::size_t p = Sector(s);
                for (std::size_t i = 0; i < SectorBytes(s) / 4; ++i)
                    miniFat.push_back(file_.U32At(p + 4 * i));
            }
        }
        const std::size_t miniSectors = static_cast<std::size_t>(miniStreamSize / kMiniSectorSize);

        std::vector<bool> visited(entries_.size(), false);
        std::vector<std::uint32_t> pending = {file_.U32At(root + kEntryChild)};
        visited[0] = true;
        while (!pending.empty()) {
            const std::uint32_t id = pending.back();
            pending.pop_back();
            if (id == kNoStream) continue;
            if (id >= entries_.size() || visited[id]) throw Corrupt{"broken directory tree"};
            visited[id] = true;
            const std::size_t e = entries_[id];
            pending.push_back(file_.U32At(e + kEntryLeft));
            pending.push_back(file_.U32At(e + kEntryRight));
            const std::uint8_t type = file_.U8At(e + kEntryType);
            if (type == kTypeStorage) {
                pending.push_back(file_.U32At(e + kEntryChild));
            } else if (type == kTypeStream) {
                const std::uint64_t size = EntrySize(e);
                if (size == 0) continue;
                if (size > size_) throw Corrupt{"stream larger than the file"};
                if (size < cutoff_) {
                    CheckLength(Chain(miniFat, file_.U32At(e + kEntryStart), miniSectors).size(),
                                kMiniSectorSize, size);
                } else {
                    CheckLength(Chain(fat_, file_.U32At(e + kEntryStart), sectors_).size(),
                                sectorSize_, size);
                }
            }
        }
        return repaired;
    }

    std::uint8_t* bytes_;
    std::size_t size_;
    platform::TByteCursor file_;
    std::size_t sectorSize_ = 512;
    std::uint16_t version_ = 3;
    std::size_t sectors_ = 0;
    std::uint32_t cutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::size_t> entries_;  // offsets of the directory entries
};

}  // namespace

CompoundCheck CheckCompoundDocument(std::uint8_t* bytes, std::size_t size, std::string* why) {
    try {
        return Checker(bytes, size).Run();
    } catch (const Corrupt& c) {
        if (why != nullptr) *why = c.why;
        return CompoundCheck::Corrupt;
    }
}

}  // namespace vorlix::platform
