// Times TXLSFile::OpenFile on large generated workbooks and reports the peak memory of
// the read. Each read runs in a fresh process of this program, so the figures hold only
// what reading takes.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/WorkbookGenerator.h"
#include "platform/CodePage.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;

namespace {

// Child: read the file `runs` times, print the best time, the cell count and the peak RSS.
int ReadOnly(const char* file, int runs, bool allFormulas) {
    double best = 1e9;
    long long cells = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        TXLSFile xls;
        xls.SetFormulaSettings(TFormulaSettings{allFormulas});
        xls.OpenFile(platform::Utf8ToUtf16(file));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, seconds);
        cells = 0;
        for (int s = 0; s < xls.Workbook().Sheets().Count(); ++s) {
            cells += xls.Workbook().Sheets().Items(s).Cells().Count();
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld %.4f %ld\n", cells, best, usage.ru_maxrss);
    return 0;
}

void Measure(const char* self, const char* what, const std::filesystem::path& file,
             bool allFormulas = false) {
    const std::string command = std::string(self) + " --read " + file.string() + " 3" +
                                (allFormulas ? " --all-formulas" : "");
    FILE* pipe = popen(command.c_str(), "r");
    long long cells = 0;
    double seconds = 0;
    long rssKb = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%lld %lf %ld", &cells, &seconds, &rssKb) != 3) {
        std::printf("%-22s failed\n", what);
        if (pipe != nullptr) pclose(pipe);
        return;
    }
    pclose(pipe);
    const double mb = rssKb / 1024.0;
    std::printf("%-22s %9lld cells  %7.3f s  %8.1f MB peak  %6.1f bytes/cell  %6.2f M cells/s\n",
                what, cells, seconds, mb, cells > 0 ? rssKb * 1024.0 / cells : 0.0,
                cells / seconds / 1e6);
}

// Writes the workbooks into `dir`.
void Generate(const std::filesystem::path& dir) {
    test::WriteWorkbook(dir / "large.xls", bench::GenerateLargeSheetStream(bench::SheetShape{}));
    bench::SheetShape withFormulas;
    withFormulas.formulaColumns = 4;
    test::WriteWorkbook(dir / "formulas.xls", bench::GenerateLargeSheetStream(withFormulas));
    bench::SheetShape numbersOnly;
    numbersOnly.numberRecordsOnly = true;
    test::WriteWorkbook(dir / "numbers.xls", bench::GenerateLargeSheetStream(numbersOnly));
    test::WriteWorkbook(dir / "sheets.xls", bench::GenerateManySheetsStream(200));
    // 200 sheets of 1300 x 10 cells: as many cells as the large sheet.
    test::WriteWorkbook(dir / "sheets-large.xls", bench::GenerateManySheetsStream(200, 1300));
    test::WriteWorkbook(dir / "empty.xls", bench::GenerateManySheetsStream(1));
    // 65536 x 40 cells as LibreOffice and Excel write them: a formula in every tenth cell,
    // of its own or shared, RK/MULRK numbers, strings continued across CONTINUE records.
    test::WriteWorkbook(dir / "lo-style.xls",
                        bench::GenerateWrittenSheetStream(bench::TWriter::OwnFormulas));
    test::WriteWorkbook(dir / "excel-style.xls",
                        bench::GenerateWrittenSheetStream(bench::TWriter::SharedFormulas));
}

}  // namespace

// read_bench: generate the workbooks and time reading each.
// read_bench --read FILE [RUNS [--all-formulas]]: read one file RUNS times (3), decoding
//   formulas with the complete decoder when asked, and print the figures.
// read_bench --generate DIR: only write the workbooks into DIR (for profilers).
int main(int argc, char** argv) {
    if (argc >= 3 && argc <= 5 && std::strcmp(argv[1], "--read") == 0) {
        const bool all = argc == 5 && std::strcmp(argv[4], "--all-formulas") == 0;
        return ReadOnly(argv[2], argc >= 4 ? std::max(1, std::atoi(argv[3])) : 3, all);
    }
    if (argc == 3 && std::strcmp(argv[1], "--generate") == 0) {
        Generate(argv[2]);
        return 0;
    }
    test::TempDir dir;
    std::printf("generating workbooks...\n");
    Generate(dir.path());
    Measure(argv[0], "1 sheet, few cells", dir / "empty.xls");
    Measure(argv[0], "65536 x 40 cells", dir / "large.xls");
    Measure(argv[0], "... 4 formula columns", dir / "formulas.xls");
    Measure(argv[0], "... every formula token", dir / "formulas.xls", true);
    Measure(argv[0], "... NUMBER records only", dir / "numbers.xls");
    Measure(argv[0], "200 sheets", dir / "sheets.xls");
    Measure(argv[0], "200 sheets of 1300 x 10", dir / "sheets-large.xls");
    Measure(argv[0], "as LibreOffice writes", dir / "lo-style.xls");
    Measure(argv[0], "as Excel writes", dir / "excel-style.xls");
    return 0;
}
