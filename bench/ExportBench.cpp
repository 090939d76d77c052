// Times opening the large generated workbook and writing its sheet as CSV through the
// display texts (every value formatted with its number format), as the export does.
#include <chrono>
#include <cstdio>

#include "bench/WorkbookGenerator.h"
#include "platform/CodePage.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    test::TempDir dir;
    std::printf("generating a workbook of 65536 x 40 cells...\n");
    test::WriteWorkbook(dir / "large.xls", bench::GenerateLargeSheetStream(bench::SheetShape{}));
    double bestOpen = 1e9, bestExport = 1e9, bestTotal = 1e9;
    long long cells = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        TXLSFile xls;
        xls.OpenFile(platform::Utf8ToUtf16((dir / "large.xls").string()));
        const double open = Since(start);
        const auto exportStart = std::chrono::steady_clock::now();
        TSheet& sheet = xls.Workbook().Sheets().Items(0);
        sheet.SaveAsText((dir / "large.csv").string(), tkCSV);
        const double exported = Since(exportStart);
        cells = sheet.Cells().Count();
        bestOpen = std::min(bestOpen, open);
        bestExport = std::min(bestExport, exported);
        bestTotal = std::min(bestTotal, Since(start));
    }
    std::printf("%lld cells: open %.3f s, export %.3f s, in all %.3f s (%.2f M cells/s)\n", cells,
                bestOpen, bestExport, bestTotal, cells / bestTotal / 1e6);
    return 0;
}
