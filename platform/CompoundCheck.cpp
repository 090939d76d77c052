#include "platform/CompoundCheck.h"

#include <cstring>
#include <vector>

#include "platform/CompoundLayout.h"

namespace vorlix::platform {

namespace {

using namespace cfb;

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct Corrupt {
    const char* why;
};

class Checker {
  public:
    Checker(std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

    CompoundCheck Run() {
        ReadHeader();
        const bool repaired = LoadFat();
        std::vector<std::uint32_t> dirChain =
            Chain(fat_, Get32(bytes_ + kFirstDirSector), sectors_);
        LoadDirectory(dirChain);
        const bool miniStreamRepaired = CheckTree();
        return repaired || miniStreamRepaired ? CompoundCheck::Repaired : CompoundCheck::Ok;
    }

  private:
    void ReadHeader() {
        if (size_ < kHeaderSize || std::memcmp(bytes_, kSignature, sizeof kSignature) != 0) {
            throw Corrupt{"not a compound document"};
        }
        const std::uint16_t shift = Get16(bytes_ + kSectorShift);
        if (shift != 9 && shift != 12) throw Corrupt{"bad sector size"};
        if (Get16(bytes_ + kMiniSectorShift) != 6) throw Corrupt{"bad mini sector size"};
        sectorSize_ = std::size_t{1} << shift;
        version_ = Get16(bytes_ + kMajorVersion);
        // Sector s starts at (s + 1) * sectorSize; only sectors that start inside the file
        // exist.
        sectors_ = size_ > sectorSize_ ? (size_ - 1) / sectorSize_ : 0;
        cutoff_ = Get32(bytes_ + kMiniStreamCutoff);
    }

    std::uint8_t* Sector(std::uint32_t s) const {
        return bytes_ + (std::size_t{s} + 1) * sectorSize_;
    }
    // The bytes of sector s that lie inside the file (a short last sector is allowed).
    std::size_t SectorBytes(std::uint32_t s) const {
        const std::size_t at = (std::size_t{s} + 1) * sectorSize_;
        return std::min(sectorSize_, size_ - at);
    }

    // The FAT, from the sector numbers listed in the header and the DIFAT chain.
    bool LoadFat() {
        std::vector<std::uint32_t> listed;
        for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
            listed.push_back(Get32(bytes_ + kHeaderDifat + 4 * i));
        }
        const std::size_t perDifat = sectorSize_ / 4 - 1;
        std::vector<bool> seen(sectors_, false);
        std::uint32_t s = Get32(bytes_ + kFirstDifatSector);
        while (s != kEndOfChain && s != kFreeSector) {
            if (s >= sectors_ || seen[s]) throw Corrupt{"broken DIFAT chain"};
            if (SectorBytes(s) < sectorSize_) throw Corrupt{"DIFAT sector cut off"};
            seen[s] = true;
            const std::uint8_t* p = Sector(s);
            for (std::size_t i = 0; i < perDifat; ++i)
                listed.push_back(Get32(p + 4 * i));
            s = Get32(p + 4 * perDifat);
        }
        std::uint32_t count = Get32(bytes_ + kFatSectorCount);
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
            Put32(bytes_ + kFatSectorCount, count);
            repaired = true;
        }
        fat_.reserve(std::size_t{count} * (sectorSize_ / 4));
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint32_t f = listed[k];
            if (f >= sectors_ || SectorBytes(f) < sectorSize_)
                throw Corrupt{"FAT sector outside the file"};
            const std::uint8_t* p = Sector(f);
            for (std::size_t i = 0; i < sectorSize_ / 4; ++i)
                fat_.push_back(Get32(p + 4 * i));
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
            std::uint8_t* p = Sector(s);
            const std::size_t n = SectorBytes(s) / kDirEntrySize;
            for (std::size_t i = 0; i < n; ++i)
                entries_.push_back(p + i * kDirEntrySize);
        }
        if (entries_.empty() || entries_[0][kEntryType] != kTypeRoot)
            throw Corrupt{"no root entry"};
    }

    std::uint64_t EntrySize(const std::uint8_t* e) const {
        const std::uint64_t low = Get32(e + kEntrySizeLow);
        // Version 3 files keep only 32 bits; writers leave garbage in the high half.
        if (version_ == 3) return low;
        return low | static_cast<std::uint64_t>(Get32(e + kEntrySizeHigh)) << 32;
    }

    void CheckLength(std::size_t sectors, std::size_t sectorSize, std::uint64_t size) const {
        if (size > static_cast<std::uint64_t>(sectors) * sectorSize)
            throw Corrupt{"chain shorter than its stream"};
    }

    // Walks the directory tree from the root (as a reader does) and checks the chain of
    // every stream on it. True when the root entry's size was rounded up (see below).
    bool CheckTree() {
        std::uint8_t* root = entries_[0];
        std::uint64_t miniStreamSize = EntrySize(root);
        bool repaired = false;
        if (miniStreamSize > 0) {
            const std::vector<std::uint32_t> miniStream =
                Chain(fat_, Get32(root + kEntryStart), sectors_);
            CheckLength(miniStream.size(), sectorSize_, miniStreamSize);
            // Some writers record the mini stream's exact length instead of whole mini
            // sectors, so its last sector lies partly beyond the recorded size. The chain
            // holds whole sectors (a regular sector is a multiple of 64 bytes), so the
            // size is rounded up for the reader that follows.
            if (miniStreamSize % kMiniSectorSize != 0) {
                miniStreamSize += kMiniSectorSize - miniStreamSize % kMiniSectorSize;
                if (version_ == 3 && miniStreamSize > 0xFFFFFFFFu)
                    throw Corrupt{"mini stream size out of range"};
                Put32(root + kEntrySizeLow, static_cast<std::uint32_t>(miniStreamSize));
                if (version_ != 3)
                    Put32(root + kEntrySizeHigh, static_cast<std::uint32_t>(miniStreamSize >> 32));
                repaired = true;
            }
        }
        std::vector<std::uint32_t> miniFat;
        const std::uint32_t firstMiniFat = Get32(bytes_ + kFirstMiniFatSector);
        if (firstMiniFat != kEndOfChain && firstMiniFat != kFreeSector) {
            for (std::uint32_t s : Chain(fat_, firstMiniFat, sectors_)) {
                const std::uint8_t* p = Sector(s);
                for (std::size_t i = 0; i < SectorBytes(s) / 4; ++i)
                    miniFat.push_back(Get32(p + 4 * i));
            }
        }
        const std::size_t miniSectors = static_cast<std::size_t>(miniStreamSize / kMiniSectorSize);

        std::vector<bool> visited(entries_.size(), false);
        std::vector<std::uint32_t> pending = {Get32(root + kEntryChild)};
        visited[0] = true;
        while (!pending.empty()) {
            const std::uint32_t id = pending.back();
            pending.pop_back();
            if (id == kNoStream) continue;
            if (id >= entries_.size() || visited[id]) throw Corrupt{"broken directory tree"};
            visited[id] = true;
            const std::uint8_t* e = entries_[id];
            pending.push_back(Get32(e + kEntryLeft));
            pending.push_back(Get32(e + kEntryRight));
            const std::uint8_t type = e[kEntryType];
            if (type == kTypeStorage) {
                pending.push_back(Get32(e + kEntryChild));
            } else if (type == kTypeStream) {
                const std::uint64_t size = EntrySize(e);
                if (size == 0) continue;
                if (size > size_) throw Corrupt{"stream larger than the file"};
                if (size < cutoff_) {
                    CheckLength(Chain(miniFat, Get32(e + kEntryStart), miniSectors).size(),
                                kMiniSectorSize, size);
                } else {
                    CheckLength(Chain(fat_, Get32(e + kEntryStart), sectors_).size(), sectorSize_,
                                size);
                }
            }
        }
        return repaired;
    }

    std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t sectorSize_ = 512;
    std::uint16_t version_ = 3;
    std::size_t sectors_ = 0;
    std::uint32_t cutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint8_t*> entries_;
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
