#include "cli/StructureCommands.h"

#include <cstdio>
#include <set>

#include "platform/CodePage.h"
#include "xls/model/Errors.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"
#include "xls/read/TXLSReader.h"

namespace vorlix::cli {

namespace {

constexpr const char* kWorkbookStream = "Workbook";

void ListStorage(TCFileStorage& storage, const std::string& prefix, std::ostream& out) {
    for (std::size_t i = 0; i < storage.Count(); ++i) {
        TCFileItem* item = storage.Items(i);
        const std::string path = prefix + EscapeName(item->Name());
        if (auto* stream = dynamic_cast<TCFileStream*>(item)) {
            out << "stream " << stream->Size() << ' ' << path << '\n';
        } else if (auto* child = dynamic_cast<TCFileStorage*>(item)) {
            out << "storage - " << path << '\n';
            ListStorage(*child, path + "/", out);
        }
    }
}

std::u16string FileName(const std::string& file) {
    return platform::FileNameToUtf16(file);
}

}  // namespace

std::string EscapeName(const std::string& name) {
    std::string out;
    for (const char ch : name) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

int ListStreams(const std::string& file, std::ostream& out, std::ostream& err) {
    try {
        TCFile cf(FileName(file), cfOpen);
        ListStorage(cf.Root(), "", out);
        return 0;
    } catch (const Exception& e) {
        err << e.what() << '\n';
        return 2;
    }
}

namespace {

// The offsets of the records whose handler wanted bytes past the end of the body, found by
// reading the workbook. A read that fails leaves the records after the failure unmarked.
std::set<std::int64_t> ShortRecords(const std::string& file) {
    std::set<std::int64_t> found;
    try {
        TXLSFile xls;
        xls.SetOnRecord([&found](const TRecordReport& r) {
            if (r.Short) found.insert(r.Offset);
        });
        xls.OpenFile(FileName(file));
    } catch (const Exception&) {
    }
    return found;
}

}  // namespace

int ListRecords(const std::string& file, std::ostream& out, std::ostream& err) {
    try {
        const std::set<std::int64_t> shortRecords = ShortRecords(file);
        TCFile cf(FileName(file), cfOpen);
        TCFileStream* stream = TXLSReader::WorkbookStream(cf);
        if (stream == nullptr) throw EXLSError(xeStreamNotFound, kWorkbookStream);
        TBIFFStream records(*stream);
        records.Rewind();
        char line[64];
        while (records.ReadRecord()) {
            const TBIFFRecord& r = records.Record();
            std::snprintf(line, sizeof line, "%lld 0x%04X %u", static_cast<long long>(r.Offset),
                          r.Id, static_cast<unsigned>(r.Length));
            out << line;
            if (const auto name = rec::RecordName(r.Id); !name.empty()) out << ' ' << name;
            if (shortRecords.count(r.Offset) != 0) out << " SHORT";
            out << '\n';
        }
        return 0;
    } catch (const Exception& e) {
        err << e.what() << '\n';
        return 2;
    }
}

}  // namespace vorlix::cli
