#include "platform/StructuredStorage.h"

#include <fcntl.h>
#include <gsf/gsf.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/CodePage.h"
#include "platform/CompoundCheck.h"

namespace vorlix::platform {

namespace {

// Deeper nesting than this is taken for a corrupt directory (real documents nest a few
// levels at most).
constexpr int kMaxStorageDepth = 64;

void InitGsfOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // libgsf reports damaged documents through GLib's log. The caller learns of the
        // failure from the open result; the program has no log, so the chatter goes.
        const auto quiet = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {};
        for (const char* domain : {"libgsf", "libgsf:msole", "libgsf:utils"}) {
            g_log_set_handler(domain,
                              static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                                          G_LOG_FLAG_RECURSION),
                              quiet, nullptr);
        }
    });
}

// Owns one GObject reference.
template <typename T>
class GRef {
  public:
    GRef() = default;
    explicit GRef(T* p) : p_(p) {}
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    GRef(GRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    GRef& operator=(GRef&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ~GRef() { reset(); }
    void reset() {
        if (p_) g_object_unref(p_);
        p_ = nullptr;
    }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

  private:
    T* p_ = nullptr;
};

// The bytes of an opened document: a read-only mapping of a locked file, or a copy in
// memory. Shared by every handle opened from the document so that it outlives them all.
class Backing {
  public:
    Backing() = default;
    Backing(const Backing&) = delete;
    Backing& operator=(const Backing&) = delete;
    ~Backing() {
        input_.reset();
        if (map_ != nullptr) munmap(map_, mapSize_);
        if (fd_ >= 0) close(fd_);  // closing the descriptor drops the lock
    }

    static std::shared_ptr<Backing> FromFile(const std::filesystem::path& path) {
        auto b = std::make_shared<Backing>();
        // O_NONBLOCK keeps a FIFO from blocking the open; it is refused just below.
        b->fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (b->fd_ < 0) return nullptr;
        struct stat st {};
        if (fstat(b->fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return nullptr;
        if (flock(b->fd_, LOCK_EX | LOCK_NB) != 0) return nullptr;
        const auto size = static_cast<size_t>(st.st_size);
        // A private writable mapping: a header repair stays in this process's copy.
        void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, b->fd_, 0);
        if (map != MAP_FAILED) {
            b->map_ = map;
            b->mapSize_ = size;
            const CompoundCheck check =
                CheckCompoundDocument(static_cast<std::uint8_t*>(map), size);
            if (check == CompoundCheck::Corrupt) return nullptr;
            // Pages of the file come back from it as they are read again; a repair lives
            // only in this process's pages, which must then stay.
            b->releasable_ = check == CompoundCheck::Ok;
            b->input_ = GRef<GsfInput>(
                gsf_input_memory_new(static_cast<const guint8*>(map), st.st_size, FALSE));
        } else {
            // No mapping (some file systems refuse it): read the file into memory.
            b->copy_.resize(size);
            size_t done = 0;
            while (done < size) {
                const ssize_t n =
                    pread(b->fd_, b->copy_.data() + done, size - done, static_cast<off_t>(done));
                if (n <= 0) return nullptr;
                done += static_cast<size_t>(n);
            }
            if (!Usable(b->copy_.data(), size)) return nullptr;
            b->input_ = GRef<GsfInput>(
                gsf_input_memory_new(b->copy_.data(), static_cast<gsf_off_t>(size), FALSE));
        }
        return b->input_ ? b : nullptr;
    }

    static std::shared_ptr<Backing> FromBytes(std::vector<std::uint8_t> bytes) {
        if (bytes.empty()) return nullptr;
        auto b = std::make_shared<Backing>();
        b->copy_ = std::move(bytes);
        if (!Usable(b->copy_.data(), b->copy_.size())) return nullptr;
        b->input_ = GRef<GsfInput>(
            gsf_input_memory_new(b->copy_.data(), static_cast<gsf_off_t>(b->copy_.size()), FALSE));
        return b->input_ ? b : nullptr;
    }

    GsfInput* input() const { return input_.get(); }

    // Counts bytes read from the document. Every so often the mapped pages read so far are
    // handed back: they would otherwise stay resident until the document is closed, as
    // much memory again as the file for nothing, since a read goes through it once.
    void Consumed(std::size_t bytes) {
        if (!releasable_) return;
        consumed_ += bytes;
        if (consumed_ < kReleaseEvery) return;
        consumed_ = 0;
        madvise(map_, mapSize_, MADV_DONTNEED);
    }

  private:
    // libgsf reads around some kinds of damage (a looping or short chain gives a short
    // stream, an oversized entry is left out); such documents are refused here instead.
    static bool Usable(std::uint8_t* bytes, size_t size) {
        return CheckCompoundDocument(bytes, size) != CompoundCheck::Corrupt;
    }

    static constexpr std::size_t kReleaseEvery = 4 << 20;

    int fd_ = -1;
    bool releasable_ = false;
    std::size_t consumed_ = 0;
    void* map_ = nullptr;
    size_t mapSize_ = 0;
    std::vector<std::uint8_t> copy_;
    GRef<GsfInput> input_;
};

class GsfStream final : public StreamHandle {
  public:
    GsfStream(std::shared_ptr<Backing> backing, GsfInput* input)
        : backing_(std::move(backing)), input_(GSF_INPUT(g_object_ref(input))) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (count <= 0 || buffer == nullptr) return 0;
        const gsf_off_t remaining = gsf_input_remaining(input_.get());
        const auto n = static_cast<size_t>(std::min<std::int64_t>(count, remaining));
        if (n == 0) return 0;
        // gsf_input_read fails unless all n bytes are there, which n guarantees.
        if (gsf_input_read(input_.get(), n, static_cast<guint8*>(buffer)) == nullptr) return 0;
        backing_->Consumed(n);
        return static_cast<std::int64_t>(n);
    }

    bool Seek(std::int64_t offset, SeekOrigin origin, std::int64_t& newPosition) override {
        const GSeekType whence = origin == SeekOrigin::Begin     ? G_SEEK_SET
                                 : origin == SeekOrigin::Current ? G_SEEK_CUR
                                                                 : G_SEEK_END;
        const bool failed = gsf_input_seek(input_.get(), offset, whence);
        newPosition = gsf_input_tell(input_.get());
        return !failed;
    }

  private:
    std::shared_ptr<Backing> backing_;
    GRef<GsfInput> input_;
};

// A storage of an opened document. Its children were opened (and their allocation
// chains checked) when the document was opened; the handles below hand them out.
class GsfStorage final : public StorageHandle {
  public:
    GsfStorage(std::shared_ptr<Backing> backing, GsfInfile* infile)
        : backing_(std::move(backing)), infile_(GSF_INFILE(g_object_ref(infile))) {}

    // Opens every child, depth first; false when any element cannot be opened.
    bool LoadChildren(int depth) {
        if (depth > kMaxStorageDepth) return false;
        const int n = gsf_infile_num_children(infile_.get());
        for (int i = 0; i < n; ++i) {
            const char* name = gsf_infile_name_by_index(infile_.get(), i);
            GRef<GsfInput> child(gsf_infile_child_by_index(infile_.get(), i));
            if (!child || name == nullptr) return false;
            Child c;
            c.info.name = Utf8ToUtf16(name);
            // An msole child with children of its own, or a directory entry of storage
            // type, is a GsfInfile; a stream is a plain GsfInput.
            if (GSF_IS_INFILE(child.get()) &&
                gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
                c.info.type = ElementType::Storage;
                c.storage = std::make_unique<GsfStorage>(backing_, GSF_INFILE(child.get()));
                if (!c.storage->LoadChildren(depth + 1)) return false;
            } else {
                c.info.type = ElementType::Stream;
                c.stream = std::move(child);
            }
            children_.push_back(std::move(c));
        }
        return true;
    }

    std::vector<ElementInfo> Elements() override {
        std::vector<ElementInfo> out;
        out.reserve(children_.size());
        for (const auto& c : children_)
            out.push_back(c.info);
        return out;
    }

    std::unique_ptr<StorageHandle> OpenStorage(std::size_t index) override {
        if (index >= children_.size() || !children_[index].storage) return nullptr;
        return std::move(children_[index].storage);
    }

    std::unique_ptr<StreamHandle> OpenStream(std::size_t index) override {
        if (index >= children_.size() || !children_[index].stream) return nullptr;
        auto handle = std::make_unique<GsfStream>(backing_, children_[index].stream.get());
        children_[index].stream.reset();
        return handle;
    }

  private:
    struct Child {
        ElementInfo info;
        std::unique_ptr<GsfStorage> storage;
        GRef<GsfInput> stream;
    };
    std::shared_ptr<Backing> backing_;
    GRef<GsfInfile> infile_;
    std::vector<Child> children_;
};

std::unique_ptr<StorageHandle> OpenBacking(const std::shared_ptr<Backing>& backing) {
    if (!backing) return nullptr;
    GError* error = nullptr;
    GRef<GsfInfile> root(gsf_infile_msole_new(backing->input(), &error));
    if (error != nullptr) g_error_free(error);
    if (!root) return nullptr;
    auto storage = std::make_unique<GsfStorage>(backing, root.get());
    if (!storage->LoadChildren(0)) return nullptr;
    return storage;
}

// A new, empty document. Its bytes are produced when the handle goes away and, for a
// document on disk, written through the descriptor that holds the lock.
class NewStorage final : public StorageHandle {
  public:
    explicit NewStorage(int fd) : fd_(fd) {
        sink_ = GRef<GsfOutput>(gsf_output_memory_new());
        outfile_ = GRef<GsfOutfile>(gsf_outfile_msole_new(sink_.get()));
    }
    NewStorage(const NewStorage&) = delete;
    NewStorage& operator=(const NewStorage&) = delete;
    ~NewStorage() override {
        if (outfile_) gsf_output_close(GSF_OUTPUT(outfile_.get()));
        if (fd_ >= 0) {
            const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink_.get()));
            const auto size = static_cast<size_t>(gsf_output_size(sink_.get()));
            size_t done = 0;
            while (bytes != nullptr && done < size) {
                const ssize_t n = write(fd_, bytes + done, size - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            close(fd_);
        }
        outfile_.reset();
        sink_.reset();
    }
    bool ok() const { return sink_ && outfile_; }

    std::vector<ElementInfo> Elements() override { return {}; }
    std::unique_ptr<StorageHandle> OpenStorage(std::size_t) override { return nullptr; }
    std::unique_ptr<StreamHandle> OpenStream(std::size_t) override { return nullptr; }

  private:
    int fd_ = -1;
    GRef<GsfOutput> sink_;
    GRef<GsfOutfile> outfile_;
};

}  // namespace

std::unique_ptr<StorageHandle> OpenStorageFile(const std::filesystem::path& path) {
    InitGsfOnce();
    return OpenBacking(Backing::FromFile(path));
}

std::unique_ptr<StorageHandle> OpenStorageOnBytes(std::vector<std::uint8_t> bytes) {
    InitGsfOnce();
    return OpenBacking(Backing::FromBytes(std::move(bytes)));
}

std::unique_ptr<StorageHandle> CreateStorageFile(const std::filesystem::path& path) {
    InitGsfOnce();
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    auto storage = std::make_unique<NewStorage>(fd);
    if (!storage->ok()) return nullptr;
    return storage;
}

std::unique_ptr<StorageHandle> CreateMemoryStorage() {
    InitGsfOnce();
    auto storage = std::make_unique<NewStorage>(-1);
    if (!storage->ok()) return nullptr;
    return storage;
}

}  // namespace vorlix::platform
