#include "platform/CompoundCheck.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ByteCursor.h"
#include "platform/CodePage.h"
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
        // A directory whose chain breaks after its first sector (where the root entry is)
        // ends at the break: the entries beyond it are lost, and the links to them are cut
        // below.
        const Followed dirChain = Follow(fat_, header_.U32At(kFirstDirSector), sectors_, true);
        if (dirChain.why != nullptr) {
            if (dirChain.sectors.empty()) throw Corrupt{dirChain.why, dirChain.cutShort};
            repairs_.push_back({FatEntryOffset(dirChain.sectors.back()), kEndOfChain});
            warnings_.push_back(
                "the compound document is damaged: the chain of its directory "
                "breaks (" +
                std::string(dirChain.why) + "); the entries after the break were left out");
        }
        LoadDirectory(dirChain.sectors);
        CheckTree();
        CompoundCheckResult result;
        result.Repairs = std::move(repairs_);
        result.State = result.Repairs.empty() ? CompoundCheck::Ok : CompoundCheck::Repaired;
        result.Damaged = std::move(damaged_);
        result.Warnings = std::move(warnings_);
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
            fatSectors_.push_back(f);
        }
        // An entry that is neither a sector of the table nor one of the special values is
        // garbage (some writers leave text in unused parts of the table): it is read as the
        // end of a chain, so that a chain through it ends there and is judged by its length.
        bool garbage = false;
        for (std::size_t i = 0; i < fat_.size(); ++i) {
            if (fat_[i] >= fat_.size() && fat_[i] < kDifatSector) {
                fat_[i] = kEndOfChain;
                if (garbage_.empty()) garbage_.resize(fat_.size(), false);
                garbage_[i] = true;
                repairs_.push_back({FatEntryOffset(static_cast<std::uint32_t>(i)), kEndOfChain});
                garbage = true;
            }
        }
        if (garbage) {
            warnings_.push_back(
                "the compound document is damaged: its allocation table holds sector numbers "
                "beyond the table, which were read as the ends of their chains");
        }
    }

    // Where the FAT entry of sector s (one that the table holds) lies in the file.
    std::uint64_t FatEntryOffset(std::uint32_t s) const {
        const std::size_t perSector = sectorSize_ / 4;
        return Sector(fatSectors_[s / perSector]) + 4 * std::uint64_t{s % perSector};
    }

    // A chain as far as it can be followed; `why` says where it breaks.
    struct Followed {
        std::vector<std::uint32_t> sectors;
        const char* why = nullptr;
        bool cutShort = false;
        bool garbageEnd = false;  // it ends at a FAT entry that was garbage

        // Why a chain that holds `sectors` of `sectorSize` bytes cannot hold `size` bytes.
        const char* TooShort(std::size_t sectorSize, std::uint64_t size) const {
            if (size <= static_cast<std::uint64_t>(sectors.size()) * sectorSize) return nullptr;
            return garbageEnd ? "chain leaves the file" : "chain shorter than its stream";
        }
    };

    // The sectors of a chain; a loop, a link outside the table or outside the file, or a
    // special value inside the chain is damage. With `inFile` the limit is the file's end,
    // and a link past it (but inside the table) is what a file cut short shows. The walk
    // visits each sector once, so it ends on any table.
    Followed Follow(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
                    bool inFile) const {
        Followed f;
        std::vector<bool> seen(std::min(table.size(), limit), false);
        for (std::uint32_t s = start; s != kEndOfChain;) {
            if (s >= table.size() || s >= limit) {
                if (inFile && s < table.size()) {
                    f.why = kBeyondEnd;
                    f.cutShort = true;
                } else {
                    f.why = "chain leaves the file";
                }
                return f;
            }
            if (seen[s]) {
                f.why = "chain loops";
                return f;
            }
            seen[s] = true;
            f.sectors.push_back(s);
            f.garbageEnd = &table == &fat_ && s < garbage_.size() && garbage_[s];
            s = table[s];
        }
        return f;
    }

    std::vector<std::uint32_t> Chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                     std::size_t limit, bool inFile) const {
        Followed f = Follow(table, start, limit, inFile);
        if (f.why != nullptr) throw Corrupt{f.why, f.cutShort};
        return std::move(f.sectors);
    }

    // The entries of the directory's sectors. A sector that the file holds only in part
    // (the last one of a file cut short) holds no entries that can be read; its places
    // stay empty, so that the entries of later sectors keep their numbers.
    void LoadDirectory(const std::vector<std::uint32_t>& chain) {
        const std::size_t perSector = sectorSize_ / kDirEntrySize;
        for (std::uint32_t s : chain) {
            const bool whole = SectorBytes(s) == sectorSize_;
            std::vector<std::uint8_t> bytes(sectorSize_, 0);
            if (whole) bytes = Load(Sector(s), sectorSize_);
            for (std::size_t i = 0; i < perSector; ++i) {
                entryOffsets_.push_back(Sector(s) + i * kDirEntrySize);
                readable_.push_back(whole);
            }
            directory_.insert(directory_.end(), bytes.begin(), bytes.end());
        }
        dir_ = TByteCursor(directory_.data(), directory_.size());
        if (entryOffsets_.empty() || !readable_[0] || dir_.U8At(kEntryType) != kTypeRoot)
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

    void Repair(std::size_t id, std::size_t field, std::uint32_t value) {
        repairs_.push_back({entryOffsets_[id] + field, value});
    }

    // Leaves stream `id` empty (no sectors, no size) and lists it as damaged.
    void LeaveOut(std::size_t id, const std::string& path, const char* why, bool cutShort) {
        Repair(id, kEntrySizeLow, 0);
        if (version_ != 3) Repair(id, kEntrySizeHigh, 0);
        Repair(id, kEntryStart, kEndOfChain);
        damaged_.push_back({path, why, cutShort});
    }

    // The name of entry `id` in UTF-8 (as the compound-document library gives it).
    std::string EntryName(std::size_t id) const {
        // The length counts bytes with the terminator; a name has at most 31 characters.
        const std::size_t bytes = dir_.U16At(id * kDirEntrySize + kEntryNameLength);
        const std::size_t count = std::min<std::size_t>(bytes / 2, 32);
        std::u16string name;
        for (std::size_t i = 0; i < count; ++i) {
            const char16_t ch = dir_.U16At(id * kDirEntrySize + 2 * i);
            if (ch == 0) break;
            name.push_back(ch);
        }
        return Utf16ToUtf8(name);
    }

    // Walks the directory tree from the root (as a reader does) and checks the chain of
    // every stream on it. A stream whose chain is damaged is left out (see LeaveOut), and
    // so are all the small streams when the mini stream or its table is damaged; a link
    // of the tree to an entry that does not exist or was reached already is cut.
    void CheckTree() {
        std::uint64_t miniStreamSize = EntrySize(0);
        // The root entry has no siblings. Links there are garbage that the tree below does
        // not reach; the compound-document library would follow them and lose track of
        // what it built, so they are cleared.
        for (const std::size_t field : {kEntryLeft, kEntryRight}) {
            if (Entry32(0, field) != kNoStream) Repair(0, field, kNoStream);
        }
        // Why the small streams cannot be read, when they cannot.
        const char* miniBroken = nullptr;
        bool miniCutShort = false;
        if (miniStreamSize > 0) {
            const Followed miniStream = Follow(fat_, Entry32(0, kEntryStart), sectors_, true);
            const char* tooShort = miniStream.TooShort(sectorSize_, miniStreamSize);
            if (miniStream.why != nullptr || tooShort != nullptr) {
                miniBroken = miniStream.why != nullptr ? miniStream.why : tooShort;
                miniCutShort = miniStream.cutShort;
                miniStreamSize = 0;
                Repair(0, kEntrySizeLow, 0);
                if (version_ != 3) Repair(0, kEntrySizeHigh, 0);
                Repair(0, kEntryStart, kEndOfChain);
            } else if (miniStreamSize % kMiniSectorSize != 0) {
                // Some writers record the mini stream's exact length instead of whole mini
                // sectors, so its last sector lies partly beyond the recorded size. The
                // chain holds whole sectors (a regular sector is a multiple of 64 bytes),
                // so the size is rounded up for the reader that follows.
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
            const Followed chain = Follow(fat_, firstMiniFat, sectors_, true);
            if (chain.why != nullptr) {
                if (miniBroken == nullptr) {
                    miniBroken = chain.why;
                    miniCutShort = chain.cutShort;
                }
                repairs_.push_back({kFirstMiniFatSector, kEndOfChain});
                repairs_.push_back({kMiniFatSectorCount, 0});
            } else {
                for (std::uint32_t s : chain.sectors)
                    AppendValues(s, SectorBytes(s) / 4, miniFat);
            }
        }
        if (miniBroken != nullptr) miniFat.clear();
        const std::size_t miniSectors = static_cast<std::size_t>(miniStreamSize / kMiniSectorSize);

        struct Link {
            std::uint32_t id;
            std::size_t from;    // the entry that holds the link
            std::size_t field;   // and its field
            std::string parent;  // the path of the storage the entry belongs to
        };
        const std::size_t entries = entryOffsets_.size();
        std::vector<bool> visited(entries, false);
        std::vector<Link> pending = {{Entry32(0, kEntryChild), 0, kEntryChild, {}}};
        visited[0] = true;
        bool cut = false;
        std::size_t smallLeftOut = 0;
        while (!pending.empty()) {
            const Link link = std::move(pending.back());
            pending.pop_back();
            const std::uint32_t id = link.id;
            if (id == kNoStream) continue;
            if (id >= entries || visited[id] || !readable_[id]) {
                Repair(link.from, link.field, kNoStream);
                cut = true;
                continue;
            }
            visited[id] = true;
            // The entries are visited in the order of the compound-document library (left
            // siblings, right siblings, then children, depth first), so that of two links
            // to one entry the same one is kept.
            const std::uint8_t type = dir_.U8At(id * kDirEntrySize + kEntryType);
            if (type == kTypeStorage) {
                pending.push_back(
                    {Entry32(id, kEntryChild), id, kEntryChild, link.parent + EntryName(id) + "/"});
            }
            pending.push_back({Entry32(id, kEntryRight), id, kEntryRight, link.parent});
            pending.push_back({Entry32(id, kEntryLeft), id, kEntryLeft, link.parent});
            if (type == kTypeStream) {
                const std::uint64_t size = EntrySize(id);
                if (size == 0) continue;
                const std::string path = link.parent + EntryName(id);
                if (size > size_) {
                    LeaveOut(id, path, "a stream is larger than the file", true);
                    warnings_.push_back(StreamWarning(path, "it is larger than the file"));
                } else if (size < cutoff_) {
                    if (miniBroken != nullptr) {
                        LeaveOut(id, path, miniBroken, miniCutShort);
                        ++smallLeftOut;
                    } else {
                        CheckStream(id, path,
                                    Follow(miniFat, Entry32(id, kEntryStart), miniSectors, false),
                                    kMiniSectorSize, size);
                    }
                } else {
                    CheckStream(id, path, Follow(fat_, Entry32(id, kEntryStart), sectors_, true),
                                sectorSize_, size);
                }
            }
        }
        if (miniBroken != nullptr && smallLeftOut > 0) {
            warnings_.push_back(
                "the compound document is damaged: its mini stream cannot be followed (" +
                std::string(miniBroken) + "); " + std::to_string(smallLeftOut) +
                " small stream(s) kept in it were left out");
        }
        if (cut) {
            warnings_.push_back(
                "the compound document is damaged: its directory has broken links; the entries "
                "they led to were left out");
        }
    }

    // Leaves out a stream whose chain breaks or is shorter than its size.
    void CheckStream(std::size_t id, const std::string& path, const Followed& chain,
                     std::size_t sectorSize, std::uint64_t size) {
        const char* why = chain.why != nullptr ? chain.why : chain.TooShort(sectorSize, size);
        if (why == nullptr) return;
        LeaveOut(id, path, why, chain.cutShort);
        warnings_.push_back(StreamWarning(path, why));
    }

    static std::string StreamWarning(const std::string& path, const std::string& why) {
        std::string shown;
        for (const char c : path) {
            if (static_cast<unsigned char>(c) >= 0x20)
                shown += c;  // names start with control codes
        }
        return "the compound document is damaged: the stream \"" + shown + "\" cannot be read (" +
               why + "); it was left out";
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
    std::vector<std::uint32_t> fatSectors_;    // the sectors that hold the FAT, in order
    std::vector<bool> garbage_;                // FAT entries read as chain ends (see LoadFat)
    std::vector<std::uint8_t> directory_;      // the directory's entries, one after another
    std::vector<std::uint64_t> entryOffsets_;  // where each entry lies in the file
    std::vector<bool> readable_;               // whether the file holds the entry whole
    mutable TByteCursor dir_;
    std::vector<CompoundRepair> repairs_;
    std::vector<DamagedStream> damaged_;
    std::vector<std::string> warnings_;
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
