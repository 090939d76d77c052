#include "fuzz/FuzzSupport.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "platform/CodePage.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TCFile.h"
#include "xls/read/TXLSReader.h"

namespace vorlix::fuzz {

std::uint8_t TInputSplitter::U8() {
    if (rest_.empty()) return 0;
    const auto v = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return v;
}

std::uint16_t TInputSplitter::U16() {
    const std::uint16_t low = U8();
    return static_cast<std::uint16_t>(low | (U8() << 8));
}

std::uint64_t TInputSplitter::U64() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(U8()) << (8 * i);
    return v;
}

std::string_view TInputSplitter::Piece() {
    const std::size_t n = std::min<std::size_t>(U16(), rest_.size());
    const std::string_view piece = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return piece;
}

std::string_view TInputSplitter::Rest() {
    const std::string_view all = rest_;
    rest_ = {};
    return all;
}

TMemoryFile::TMemoryFile() {
    fd_ = memfd_create("vorlix-fuzz.xls", MFD_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("memfd_create failed");
    path_ = platform::Utf8ToUtf16("/proc/self/fd/" + std::to_string(fd_));
}

TMemoryFile::~TMemoryFile() {
    if (fd_ >= 0) close(fd_);
}

bool TMemoryFile::Write(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(fd_, 0) != 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

// Reads with the program's options through `open`, then formats what was read.
template <class Open>
void ReadWith(Open open) {
    TXLSFile file;
    TReadOptions options;
    options.ReadDrawings = true;
    options.ReadFormulas = true;
    file.SetReadOptions(options);
    file.SetFormulaSettings(TFormulaSettings{true});
    try {
        open(file);
    } catch (const Exception&) {
        return;  // refused or damaged: the library says so by design
    }
    // The display texts run the formatting engine on what the reader made; a sheet can hold
    // many cells, of which the first ones are enough.
    TSheets& sheets = file.Workbook().Sheets();
    for (int s = 0; s < sheets.Count(); ++s) {
        TCells& cells = sheets.Items(s).Cells();
        const int count = std::min(cells.Count(), 2000);
        for (int i = 0; i < count; ++i) {
            const TCell cell = cells.Items(i);
            (void)cell.DisplayText();
            (void)cell.Formula();
            (void)cell.Hyperlink();
        }
    }
}

}  // namespace

void ReadWorkbook(const std::u16string& path) {
    ReadWith([&path](TXLSFile& file) { file.OpenFile(path); });
}

void ReadWorkbookStream(const std::uint8_t* data, std::size_t size) {
    ReadWith([data, size](TXLSFile& file) {
        std::vector<platform::NamedBytes> streams;
        streams.push_back({u"Workbook", std::vector<std::uint8_t>(data, data + size)});
        const std::unique_ptr<TCFile> document = TCFile::FromStreams(std::move(streams));
        TXLSReader reader(file);
        reader.ReadDocument(*document, u"", file.ReadOptions());
    });
}

}  // namespace vorlix::fuzz
