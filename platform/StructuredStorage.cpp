#include "platform/StructuredStorage.h"

#include <fcntl.h>
#include <gsf/gsf-input-impl.h>
#include <gsf/gsf.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/ByteCursor.h"
#include "platform/CodePage.h"
#include "platform/CompoundCheck.h"
#include "platform/CompoundLayout.h"

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

// Where the bytes of an opened document come from: a file read through its descriptor, or
// bytes in memory. The repairs of the structural check lie over what is read. One thread
// reads a document at a time.
class Source {
  public:
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source() {
        if (fd_ >= 0) close(fd_);
    }

    // Takes over `fd`, a regular file whose state is `st`.
    static std::unique_ptr<Source> OnFile(int fd, const struct stat& st) {
        auto source = std::unique_ptr<Source>(new Source);
        source->fd_ = fd;
        source->size_ = static_cast<std::uint64_t>(st.st_size);
        source->opened_ = st;
        return source;
    }
    static std::unique_ptr<Source> OnBytes(std::shared_ptr<const std::vector<std::uint8_t>> bytes) {
        auto source = std::unique_ptr<Source>(new Source);
        source->size_ = bytes->size();
        source->bytes_ = std::move(bytes);
        return source;
    }

    std::uint64_t Size() const { return size_; }
    const DocumentFailure& Failure() const { return failure_; }
    void SetRepairs(std::vector<CompoundRepair> repairs) { repairs_ = std::move(repairs); }

    // Copies `count` bytes at `offset`, all of them inside Size(); false (with Failure())
    // when the file no longer holds them or changed since it was opened.
    bool ReadAt(std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        if (offset > size_ || count > size_ - offset) return false;
        if (bytes_) {
            std::memcpy(out, bytes_->data() + offset, count);
        } else if (!ReadFile(offset, count, out)) {
            return false;
        }
        for (const CompoundRepair& repair : repairs_) {
            std::uint8_t value[4];
            Store32(value, repair.Value);
            for (std::size_t k = 0; k < 4; ++k) {
                const std::uint64_t at = repair.Offset + k;
                if (at >= offset && at < offset + count) out[at - offset] = value[k];
            }
        }
        return true;
    }

  private:
    Source() = default;

    bool ReadFile(std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n =
                pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail(DocumentProblem::System, errno);
            if (n == 0) return Fail(DocumentProblem::Changed, 0, "it was cut short");
            done += static_cast<std::size_t>(n);
        }
        // What was read belongs to the file as it was opened only while its size and time
        // of change are still those (a program that rewrites it in place changes both).
        struct stat now {};
        if (fstat(fd_, &now) != 0) return Fail(DocumentProblem::System, errno);
        if (now.st_size != opened_.st_size)
            return Fail(DocumentProblem::Changed, 0,
                        now.st_size < opened_.st_size ? "it was cut short" : "it grew");
        if (now.st_mtim.tv_sec != opened_.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != opened_.st_mtim.tv_nsec)
            return Fail(DocumentProblem::Changed, 0, "it was written to");
        return true;
    }

    bool Fail(DocumentProblem problem, int error, const char* detail = "") {
        failure_ = {problem, error, detail};
        return false;
    }

    int fd_ = -1;
    struct stat opened_ {};
    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
    std::uint64_t size_ = 0;
    std::vector<CompoundRepair> repairs_;
    DocumentFailure failure_;
};

// The input libgsf reads a document through: each read goes to the Source (libgsf
// duplicates the input for every element it opens; all of them read the same Source).
struct SourceInput {
    GsfInput base;
    Source* source;   // owned by the document's Backing, which outlives every input
    guint8* scratch;  // for reads that give no buffer of their own
    std::size_t scratchSize;
};
struct SourceInputClass {
    GsfInputClass base;
};

GType SourceInputType();

SourceInput* AsSourceInput(GsfInput* input) {
    return reinterpret_cast<SourceInput*>(input);
}

GsfInput* NewSourceInput(Source* source, gsf_off_t size) {
    auto* input = static_cast<SourceInput*>(g_object_new(SourceInputType(), nullptr));
    input->source = source;
    gsf_input_set_size(&input->base, size);
    return &input->base;
}

GsfInput* SourceInputDup(GsfInput* input, GError**) {
    return NewSourceInput(AsSourceInput(input)->source, gsf_input_size(input));
}

// libgsf keeps the position and makes sure that the bytes asked for lie inside the input.
const guint8* SourceInputRead(GsfInput* input, size_t count, guint8* buffer) {
    SourceInput* self = AsSourceInput(input);
    if (buffer == nullptr) {
        if (self->scratchSize < count) {
            g_free(self->scratch);
            self->scratch = static_cast<guint8*>(g_malloc(count));
            self->scratchSize = count;
        }
        buffer = self->scratch;
    }
    const auto offset = static_cast<std::uint64_t>(gsf_input_tell(input));
    return self->source->ReadAt(offset, count, buffer) ? buffer : nullptr;
}

gboolean SourceInputSeek(GsfInput*, gsf_off_t, GSeekType) {
    return FALSE;  // reads go by offset: nothing to move
}

void SourceInputFinalize(GObject* object) {
    SourceInput* self = reinterpret_cast<SourceInput*>(object);
    g_free(self->scratch);
    self->scratch = nullptr;
    // The parent class is looked up through GLib, not saved by the class initialiser: that
    // runs on whichever thread makes the first input, under a lock of GLib's that
    // ThreadSanitizer cannot see, so a variable written there looks raced on other threads.
    G_OBJECT_CLASS(g_type_class_peek(GSF_INPUT_TYPE))->finalize(object);
}

GType SourceInputType() {
    static const GType type = g_type_register_static_simple(
        GSF_INPUT_TYPE, "VorlixSourceInput", sizeof(SourceInputClass),
        [](gpointer klass, gpointer) {
            G_OBJECT_CLASS(klass)->finalize = SourceInputFinalize;
            auto* input = reinterpret_cast<GsfInputClass*>(klass);
            input->Dup = SourceInputDup;
            input->Read = SourceInputRead;
            input->Seek = SourceInputSeek;
        },
        sizeof(SourceInput), nullptr, static_cast<GTypeFlags>(0));
    return type;
}

// Whether the first bytes are the BOF record that starts a BIFF record stream: the id of
// one of the format's versions (2, 3, 4, 5 and later), a body of the length those versions
// write, and the type of substream that a file can start with.
bool StartsRecordStream(const std::uint8_t* bytes, std::size_t size) {
    TByteCursor header(bytes, size);
    const std::uint16_t id = header.U16();
    const std::uint16_t length = header.U16();
    header.Skip(2);  // the version
    const std::uint16_t type = header.U16();
    if (header.Short()) return false;
    if (id != 0x0009 && id != 0x0209 && id != 0x0409 && id != 0x0809) return false;
    if (length < 4 || length > 20) return false;
    // Workbook globals, a Visual Basic module, a worksheet, a chart, a macro sheet, a
    // workspace or Excel 4.0 workbook.
    for (const std::uint16_t known : {0x0005, 0x0006, 0x0010, 0x0020, 0x0040, 0x0100}) {
        if (type == known) return true;
    }
    return false;
}

// Lines of values between separators: every line of the sample (the first ones, up to a
// line the sample cuts off) has as many commas, semicolons or tabs outside quotes as the
// first, and at least one.
bool LooksLikeCsv(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size() && lines.size() < 20) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.empty()) lines.push_back(text);
    for (const char separator : {',', ';', '\t'}) {
        std::size_t first = 0;
        bool same = true;
        for (std::size_t i = 0; i < lines.size() && same; ++i) {
            std::size_t count = 0;
            bool quoted = false;
            for (const char c : lines[i]) {
                if (c == '"') quoted = !quoted;
                if (c == separator && !quoted) ++count;
            }
            if (i == 0) first = count;
            same = count == first;
        }
        if (same && first > 0) return true;
    }
    return false;
}

// What a file that is no compound document holds, from its first bytes.
DocumentProblem KindOfFile(const std::uint8_t* bytes, std::size_t size) {
    std::size_t at = 0;
    if (size >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return DocumentProblem::Text;  // UTF-16 with its byte order mark
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) at = 3;
    for (std::size_t i = at; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        // Text has no control characters but tabs, line and page breaks (and the old
        // end-of-file mark and escape).
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != '\v' &&
            b != 0x1A && b != 0x1B)
            return DocumentProblem::Other;
    }
    while (at < size && std::isspace(bytes[at]) != 0)
        ++at;
    if (at == size) return DocumentProblem::Text;
    if (bytes[at] != '<') {
        return LooksLikeCsv(std::string_view(reinterpret_cast<const char*>(bytes) + at, size - at))
                   ? DocumentProblem::Csv
                   : DocumentProblem::Text;
    }
    std::string lower(reinterpret_cast<const char*>(bytes) + at, size - at);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The XML format of Excel 2002 and 2003 names its namespace; HTML that the same
    // programs save names another one ("urn:schemas-microsoft-com:office:excel").
    if (lower.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos)
        return DocumentProblem::XmlSpreadsheet;
    for (const char* tag : {"<!doctype html", "<html", "<table", "<body"}) {
        if (lower.find(tag) != std::string::npos) return DocumentProblem::Html;
    }
    return DocumentProblem::Text;
}

// What a zip archive holds: an OpenDocument file starts with an uncompressed "mimetype"
// entry that gives its media type; an Office Open XML workbook keeps its parts in an "xl/"
// folder, which the central directory at the archive's end lists.
DocumentFailure KindOfZip(Source& source, const std::uint8_t* head, std::size_t sample) {
    TByteCursor local(head, sample);
    local.Skip(8);
    const std::uint16_t method = local.U16();
    local.Skip(8);
    const std::uint32_t stored = local.U32();
    local.Skip(4);
    const std::uint16_t nameLength = local.U16();
    const std::uint16_t extraLength = local.U16();
    const std::string_view first = local.Bytes(nameLength);
    local.Skip(extraLength);
    if (!local.Short() && first == "mimetype" && method == 0 && stored < 100) {
        const std::string_view type = local.Bytes(stored);
        if (!local.Short() && type.starts_with("application/vnd.oasis.opendocument."))
            return {DocumentProblem::OpenDocument, 0, std::string(type)};
    }
    // The end of central directory record lies in the last 64 KiB + 22 bytes.
    constexpr std::uint64_t kTail = 65536 + 22;
    constexpr std::uint32_t kMostDirectory = 4u << 20;
    const std::uint64_t size = source.Size();
    const std::uint64_t tailStart = size > kTail ? size - kTail : 0;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - tailStart));
    if (!source.ReadAt(tailStart, tail.size(), tail.data())) return {DocumentProblem::Zip, 0, {}};
    for (std::size_t at = tail.size() >= 22 ? tail.size() - 22 : 0; at + 22 <= tail.size(); --at) {
        if (std::memcmp(tail.data() + at, "PK\x05\x06", 4) == 0) {
            TByteCursor end(tail.data() + at, tail.size() - at);
            end.Skip(12);
            const std::uint32_t directorySize = end.U32();
            const std::uint32_t directoryOffset = end.U32();
            if (directorySize > kMostDirectory) break;
            std::vector<std::uint8_t> directory(directorySize);
            if (!source.ReadAt(directoryOffset, directory.size(), directory.data())) break;
            TByteCursor entries(directory.data(), directory.size());
            while (entries.Remaining() >= 46 && entries.U32() == 0x02014B50) {
                entries.Skip(24);
                const std::uint16_t n = entries.U16();
                const std::uint16_t extra = entries.U16();
                const std::uint16_t comment = entries.U16();
                entries.Skip(12);
                const std::string_view name = entries.Bytes(n);
                if (name.starts_with("xl/")) return {DocumentProblem::OfficeOpenXml, 0, {}};
                entries.Skip(static_cast<std::size_t>(extra) + comment);
            }
            break;
        }
        if (at == 0) break;
    }
    return {DocumentProblem::Zip, 0, {}};
}

// The bytes of an opened document, shared by every handle opened from it so that they
// outlive them all.
class Backing {
  public:
    explicit Backing(std::unique_ptr<Source> source) : source_(std::move(source)) {}
    Backing(const Backing&) = delete;
    Backing& operator=(const Backing&) = delete;
    ~Backing() { input_.reset(); }  // the inputs go before the source they read

    // Checks the document's structure and makes the input that libgsf reads. False (with
    // `failure`) when it is no compound document or a damaged one.
    bool Prepare(DocumentFailure& failure) {
        Source& source = *source_;
        const std::uint64_t size = source.Size();
        if (size == 0) return Refuse(failure, {DocumentProblem::Empty, 0, {}});
        std::uint8_t head[4096];
        const auto sample = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof head));
        if (!source.ReadAt(0, sample, head)) return Refuse(failure, source.Failure());
        const std::size_t signature = std::min(sample, sizeof cfb::kSignature);
        if (std::memcmp(head, cfb::kSignature, signature) != 0) {
            if (StartsRecordStream(head, sample)) {
                recordStream_ = true;
                input_ = GRef<GsfInput>(NewSourceInput(&source, static_cast<gsf_off_t>(size)));
                return true;
            }
            if (sample >= 30 && std::memcmp(head, "PK\x03\x04", 4) == 0)
                return Refuse(failure, KindOfZip(source, head, sample));
            return Refuse(failure, {KindOfFile(head, sample), 0, {}});
        }
        // libgsf reads around some kinds of damage (a looping or short chain gives a short
        // stream, an oversized entry is left out); such documents are refused here instead.
        CompoundCheckResult check = CheckCompoundDocument(
            [&source](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
                return source.ReadAt(offset, count, out);
            },
            size);
        if (source.Failure().Problem != DocumentProblem::None)
            return Refuse(failure, source.Failure());
        if (check.State == CompoundCheck::Corrupt) {
            return Refuse(failure,
                          {check.CutShort ? DocumentProblem::CutShort : DocumentProblem::Damaged, 0,
                           check.Why});
        }
        source.SetRepairs(std::move(check.Repairs));
        for (DamagedStream& d : check.Damaged) {
            damaged_.emplace(
                std::move(d.Path),
                DocumentFailure{d.CutShort ? DocumentProblem::CutShort : DocumentProblem::Damaged,
                                0, std::move(d.Why)});
        }
        warnings_ = std::move(check.Warnings);
        input_ = GRef<GsfInput>(NewSourceInput(&source, static_cast<gsf_off_t>(size)));
        return true;
    }

    // Why the stream at `path` (see DamagedStream) was left out, or null.
    const DocumentFailure* Damage(const std::string& path) const {
        const auto it = damaged_.find(path);
        return it == damaged_.end() ? nullptr : &it->second;
    }
    const std::vector<std::string>& Warnings() const { return warnings_; }

    GsfInput* input() const { return input_.get(); }
    const Source& source() const { return *source_; }
    // The file is a bare record stream: input() is its one stream.
    bool RecordStream() const { return recordStream_; }

    // Why reading failed: the source's reason, or damage that libgsf found (`what`).
    DocumentFailure FailureOr(const char* what) const {
        if (source_->Failure().Problem != DocumentProblem::None) return source_->Failure();
        return {DocumentProblem::Damaged, 0, what};
    }

  private:
    static bool Refuse(DocumentFailure& failure, DocumentFailure why) {
        failure = std::move(why);
        return false;
    }

    std::unique_ptr<Source> source_;
    GRef<GsfInput> input_;
    std::map<std::string, DocumentFailure> damaged_;
    std::vector<std::string> warnings_;
    bool recordStream_ = false;
};

// A stream of an opened document. It reads ahead a block at a time, so that the many
// small reads of a record reader cost no system call each.
class GsfStream final : public StreamHandle {
  public:
    // A stream left out as damaged (`damage` set) fails every read with the reason.
    GsfStream(std::shared_ptr<Backing> backing, GsfInput* input, const DocumentFailure* damage)
        : backing_(std::move(backing)),
          input_(GSF_INPUT(g_object_ref(input))),
          size_(gsf_input_size(input_.get())) {
        if (damage != nullptr) damage_ = *damage;
    }

    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (damage_.Problem != DocumentProblem::None) return -1;
        if (count <= 0 || buffer == nullptr) return 0;
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::int64_t done = 0;
        while (done < count && position_ < size_) {
            const std::int64_t want = std::min<std::int64_t>(count - done, size_ - position_);
            if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferFill_) {
                const std::int64_t take =
                    std::min<std::int64_t>(want, bufferStart_ + bufferFill_ - position_);
                std::memcpy(out + done, buffer_.data() + (position_ - bufferStart_),
                            static_cast<std::size_t>(take));
                done += take;
                position_ += take;
            } else if (want >= kReadAhead) {
                // A large read goes straight into the caller's buffer.
                if (!Fetch(out + done, want)) return -1;
                done += want;
                position_ += want;
            } else {
                buffer_.resize(kReadAhead);
                const std::int64_t fill = std::min<std::int64_t>(kReadAhead, size_ - position_);
                if (!Fetch(buffer_.data(), fill)) return -1;
                bufferStart_ = position_;
                bufferFill_ = fill;
            }
        }
        return done;
    }

    bool Seek(std::int64_t offset, SeekOrigin origin, std::int64_t& newPosition) override {
        const std::int64_t base = origin == SeekOrigin::Begin     ? 0
                                  : origin == SeekOrigin::Current ? position_
                                                                  : size_;
        const std::int64_t target = base + offset;
        const bool inside = target >= 0 && target <= size_;
        if (inside) position_ = target;
        newPosition = position_;
        return inside;
    }

    DocumentFailure Failure() const override {
        if (damage_.Problem != DocumentProblem::None) return damage_;
        return backing_->FailureOr("a stream cannot be read");
    }

  private:
    static constexpr std::int64_t kReadAhead = 64 * 1024;

    // `count` bytes from the position, which lie inside the stream.
    bool Fetch(std::uint8_t* out, std::int64_t count) {
        return !gsf_input_seek(input_.get(), position_, G_SEEK_SET) &&
               gsf_input_read(input_.get(), static_cast<size_t>(count), out) != nullptr;
    }

    std::shared_ptr<Backing> backing_;
    GRef<GsfInput> input_;
    std::int64_t size_;
    std::int64_t position_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::int64_t bufferStart_ = 0;
    std::int64_t bufferFill_ = 0;
    DocumentFailure damage_;
};

// A storage of an opened document. Its children were opened (and their allocation
// chains checked) when the document was opened; the handles below hand them out.
class GsfStorage final : public StorageHandle {
  public:
    // `path` is that of the storage's children: the names above them, each with a '/'.
    GsfStorage(std::shared_ptr<Backing> backing, GsfInfile* infile, std::string path = {})
        : backing_(std::move(backing)),
          infile_(GSF_INFILE(g_object_ref(infile))),
          path_(std::move(path)) {}

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
                c.storage = std::make_unique<GsfStorage>(backing_, GSF_INFILE(child.get()),
                                                         path_ + name + "/");
                if (!c.storage->LoadChildren(depth + 1)) return false;
            } else {
                c.info.type = ElementType::Stream;
                c.stream = std::move(child);
                c.damage = backing_->Damage(path_ + name);
            }
            children_.push_back(std::move(c));
        }
        return true;
    }

    std::vector<std::string> Warnings() const override {
        return path_.empty() ? backing_->Warnings() : std::vector<std::string>{};
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
        auto handle = std::make_unique<GsfStream>(backing_, children_[index].stream.get(),
                                                  children_[index].damage);
        children_[index].stream.reset();
        return handle;
    }

  private:
    struct Child {
        ElementInfo info;
        std::unique_ptr<GsfStorage> storage;
        GRef<GsfInput> stream;
        const DocumentFailure* damage = nullptr;  // owned by the backing
    };
    std::shared_ptr<Backing> backing_;
    GRef<GsfInfile> infile_;
    std::string path_;
    std::vector<Child> children_;
};

// A bare record stream as a storage: one stream, the whole file.
class RecordStreamStorage final : public StorageHandle {
  public:
    explicit RecordStreamStorage(std::shared_ptr<Backing> backing) : backing_(std::move(backing)) {}

    std::vector<ElementInfo> Elements() override {
        return {ElementInfo{kRecordStreamName, ElementType::Stream}};
    }
    std::unique_ptr<StorageHandle> OpenStorage(std::size_t) override { return nullptr; }
    std::unique_ptr<StreamHandle> OpenStream(std::size_t index) override {
        if (index != 0) return nullptr;
        return std::make_unique<GsfStream>(backing_, backing_->input(), nullptr);
    }

  private:
    std::shared_ptr<Backing> backing_;
};

// Opens the document of a source; null with `failure` set when it cannot be.
std::unique_ptr<StorageHandle> OpenSource(std::unique_ptr<Source> source,
                                          DocumentFailure& failure) {
    auto backing = std::make_shared<Backing>(std::move(source));
    if (!backing->Prepare(failure)) return nullptr;
    if (backing->RecordStream()) return std::make_unique<RecordStreamStorage>(backing);
    GError* error = nullptr;
    GRef<GsfInfile> root(gsf_infile_msole_new(backing->input(), &error));
    if (error != nullptr) g_error_free(error);
    if (!root) {
        failure = backing->FailureOr("its directory cannot be read");
        return nullptr;
    }
    auto storage = std::make_unique<GsfStorage>(backing, root.get());
    if (!storage->LoadChildren(0)) {
        failure = backing->FailureOr("an element of it cannot be opened");
        return nullptr;
    }
    return storage;
}

// A stream that is bytes in memory.
class BytesStream final : public StreamHandle {
  public:
    explicit BytesStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (count <= 0 || buffer == nullptr) return 0;
        const auto size = static_cast<std::int64_t>(bytes_.size());
        const std::int64_t take = std::min(count, size - position_);
        if (take <= 0) return 0;
        std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(take));
        position_ += take;
        return take;
    }

    bool Seek(std::int64_t offset, SeekOrigin origin, std::int64_t& newPosition) override {
        const auto size = static_cast<std::int64_t>(bytes_.size());
        const std::int64_t base = origin == SeekOrigin::Begin     ? 0
                                  : origin == SeekOrigin::Current ? position_
                                                                  : size;
        const std::int64_t target = base + offset;
        const bool inside = target >= 0 && target <= size;
        if (inside) position_ = target;
        newPosition = position_;
        return inside;
    }

    DocumentFailure Failure() const override { return {}; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::int64_t position_ = 0;
};

// Streams in memory under one root; each opens once.
class BytesStorage final : public StorageHandle {
  public:
    explicit BytesStorage(std::vector<NamedBytes> streams) : streams_(std::move(streams)) {}

    std::vector<ElementInfo> Elements() override {
        std::vector<ElementInfo> out;
        for (const NamedBytes& s : streams_)
            out.push_back({s.name, ElementType::Stream});
        return out;
    }

    std::unique_ptr<StorageHandle> OpenStorage(std::size_t) override { return nullptr; }

    std::unique_ptr<StreamHandle> OpenStream(std::size_t index) override {
        if (index >= streams_.size()) return nullptr;
        return std::make_unique<BytesStream>(std::move(streams_[index].bytes));
    }

  private:
    std::vector<NamedBytes> streams_;
};

// The inputs that stand under a name of their own (see RegisterInput).
struct RegisteredInput {
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    int fd = -1;  // kept open for the rest of the process
    std::string display;
};

std::mutex gRegisteredMutex;
std::map<std::filesystem::path, RegisteredInput>& Registered() {
    static std::map<std::filesystem::path, RegisteredInput> inputs;
    return inputs;
}

std::optional<RegisteredInput> FindRegistered(const std::filesystem::path& name) {
    std::lock_guard<std::mutex> lock(gRegisteredMutex);
    const auto it = Registered().find(name);
    if (it == Registered().end()) return std::nullopt;
    return it->second;
}

// A source on a descriptor: a regular file, else the problem.
std::unique_ptr<Source> SourceOnDescriptor(int fd, DocumentFailure& failure) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        failure = {DocumentProblem::System, errno, {}};
        close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        failure = {
            S_ISDIR(st.st_mode) ? DocumentProblem::Folder : DocumentProblem::NotAFile, 0, {}};
        close(fd);
        return nullptr;
    }
    return Source::OnFile(fd, st);
}

std::unique_ptr<Source> SourceOnPath(const std::filesystem::path& path, DocumentFailure& failure) {
    if (const std::optional<RegisteredInput> input = FindRegistered(path)) {
        if (input->bytes) return Source::OnBytes(input->bytes);
        const int fd = fcntl(input->fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            failure = {DocumentProblem::System, errno, {}};
            return nullptr;
        }
        return SourceOnDescriptor(fd, failure);
    }
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused just below.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = {errno == ENOENT ? DocumentProblem::Missing : DocumentProblem::System, errno, {}};
        return nullptr;
    }
    return SourceOnDescriptor(fd, failure);
}

// A new, empty document. Its bytes are produced when the handle goes away and, for a
// document on disk, written through the descriptor that holds the lock on the new file.
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

std::unique_ptr<StorageHandle> OpenStorageFile(const std::filesystem::path& path,
                                               DocumentFailure* failure) {
    InitGsfOnce();
    DocumentFailure why;
    std::unique_ptr<StorageHandle> storage;
    if (std::unique_ptr<Source> source = SourceOnPath(path, why))
        storage = OpenSource(std::move(source), why);
    if (failure != nullptr) *failure = std::move(why);
    return storage;
}

std::unique_ptr<StorageHandle> OpenStorageOnBytes(std::vector<std::uint8_t> bytes,
                                                  DocumentFailure* failure) {
    InitGsfOnce();
    DocumentFailure why;
    auto shared = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    std::unique_ptr<StorageHandle> storage = OpenSource(Source::OnBytes(std::move(shared)), why);
    if (failure != nullptr) *failure = std::move(why);
    return storage;
}

std::unique_ptr<StorageHandle> OpenStreamsInMemory(std::vector<NamedBytes> streams) {
    return std::make_unique<BytesStorage>(std::move(streams));
}

void RegisterInput(const std::filesystem::path& name, std::vector<std::uint8_t> bytes,
                   const std::string& display) {
    RegisterInput(name, std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)),
                  display);
}

void RegisterInput(const std::filesystem::path& name,
                   std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                   const std::string& display) {
    RegisteredInput input;
    input.bytes = std::move(bytes);
    input.display = display;
    std::lock_guard<std::mutex> lock(gRegisteredMutex);
    Registered()[name] = std::move(input);
}

void RegisterInput(const std::filesystem::path& name, int descriptor, const std::string& display) {
    RegisteredInput input;
    input.fd = descriptor;
    input.display = display;
    std::lock_guard<std::mutex> lock(gRegisteredMutex);
    Registered()[name] = std::move(input);
}

void UnregisterInput(const std::filesystem::path& name) {
    int fd = -1;
    {
        std::lock_guard<std::mutex> lock(gRegisteredMutex);
        const auto it = Registered().find(name);
        if (it == Registered().end()) return;
        fd = it->second.fd;
        Registered().erase(it);
    }
    if (fd >= 0) close(fd);
}

bool IsRegisteredInput(const std::filesystem::path& name) {
    return FindRegistered(name).has_value();
}

std::string InputDisplayName(const std::filesystem::path& name) {
    if (const std::optional<RegisteredInput> input = FindRegistered(name)) return input->display;
    return name.string();
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
