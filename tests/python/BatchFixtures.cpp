// Writes COUNT small workbooks for the Python tests that read many at once (Dask), with the
// tests' workbook builder: book000.xls, book001.xls, ... Workbook n has a sheet "Data" of a
// header row (id, name, value) and three rows: id 10n + r, name "b<n>r<r>", value
// n + r / 4 (r = 1, 2, 3); every seventh workbook from the fourth on (n % 7 == 3) has a
// fourth column "note" with a text in its first row only. A second sheet "Extra" holds a
// header "k" over the number n.
// Usage: python_batch_fixtures FOLDER COUNT
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"

namespace rec = vorlix::rec;
using namespace vorlix::test;

namespace {

constexpr std::uint16_t kGeneral = 15;

RecordList Globals() {
    RecordList g;
    for (int i = 0; i < 5; ++i)
        g.emplace_back(rec::kFont, FontBody(200, 0, 0x7FFF, 400, "Arial"));
    for (int i = 0; i < 16; ++i)
        g.emplace_back(rec::kXf, XfBody(0, 0));
    return g;
}

Bytes BatchStream(int n) {
    const bool noted = n % 7 == 3;
    RecordList data = {{rec::kLabel, LabelCellBody(0, 0, kGeneral, "id")},
                       {rec::kLabel, LabelCellBody(0, 1, kGeneral, "name")},
                       {rec::kLabel, LabelCellBody(0, 2, kGeneral, "value")}};
    if (noted) data.emplace_back(rec::kLabel, LabelCellBody(0, 3, kGeneral, "note"));
    for (std::uint16_t r = 1; r <= 3; ++r) {
        data.emplace_back(rec::kNumber, NumberBody(r, 0, kGeneral, 10 * n + r));
        const std::string name = "b" + std::to_string(n) + "r" + std::to_string(r);
        data.emplace_back(rec::kLabel, LabelCellBody(r, 1, kGeneral, name));
        data.emplace_back(rec::kNumber, NumberBody(r, 2, kGeneral, n + r / 4.0));
    }
    if (noted)
        data.emplace_back(rec::kLabel, LabelCellBody(1, 3, kGeneral, "n" + std::to_string(n)));
    RecordList extra = {{rec::kLabel, LabelCellBody(0, 0, kGeneral, "k")},
                        {rec::kNumber, NumberBody(1, 0, kGeneral, n)}};
    return WorkbookStream({{"Data", data}, {"Extra", extra}}, Globals());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: python_batch_fixtures FOLDER COUNT\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::atoi(argv[2]);
    std::filesystem::create_directories(folder);
    for (int n = 0; n < count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "book%03d.xls", n);
        WriteWorkbook(folder / name, BatchStream(n));
    }
    return 0;
}
