// Runs a fuzz harness without libFuzzer: every file named on the command line, and every
// file under every folder named there, is handed to the harness once, in name order. The
// test run replays the kept inputs with it; a fault aborts with the sanitizers' report.
//
// With --bounds first, each input runs in a child process of its own, whose peak memory
// and processor time are held against what opening N bytes may cost: 64 MB + 40 x N of
// memory and 1 s + 1 s per MB. The worst inputs are reported, and the exit status is 1 when
// any input goes beyond. Meant for an optimised build without sanitizers.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

int RunFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    // An empty vector may hand out a null pointer; libFuzzer never does.
    if (data.empty()) data.reserve(1);
    LLVMFuzzerTestOneInput(data.data(), bytes.size());
    return 0;
}

struct TUsage {
    std::filesystem::path file;
    std::uintmax_t size = 0;
    double megabytes = 0;    // peak resident memory
    double seconds = 0;      // processor time, user and system
    double memoryShare = 0;  // of the bound
    double timeShare = 0;
};

constexpr double kMiB = 1024.0 * 1024.0;

bool Measure(const std::filesystem::path& file, TUsage& usage) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) _exit(RunFile(file));
    int status = 0;
    rusage used{};
    if (wait4(child, &status, 0, &used) != child) return false;
    usage.file = file;
    usage.size = std::filesystem::file_size(file);
    usage.megabytes = static_cast<double>(used.ru_maxrss) / 1024.0;
    usage.seconds = static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                    static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
    const double inputMiB = static_cast<double>(usage.size) / kMiB;
    usage.memoryShare = usage.megabytes / (64.0 + 40.0 * inputMiB);
    usage.timeShare = usage.seconds / (1.0 + inputMiB);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Report(const char* what, const TUsage& u, double share) {
    std::printf("%s: %.0f%% of the bound, %.1f MB and %.3f s for %ju bytes (%s)\n", what,
                100.0 * share, u.megabytes, u.seconds, u.size, u.file.c_str());
}

int MeasureAll(const std::vector<std::filesystem::path>& files) {
    TUsage worstMemory;
    TUsage worstTime;
    int failures = 0;
    int beyond = 0;
    for (const auto& file : files) {
        TUsage usage;
        if (!Measure(file, usage)) {
            std::fprintf(stderr, "failed: %s\n", file.c_str());
            ++failures;
            continue;
        }
        if (usage.memoryShare > 1.0 || usage.timeShare > 1.0) {
            Report("beyond", usage, std::max(usage.memoryShare, usage.timeShare));
            ++beyond;
        }
        if (usage.memoryShare > worstMemory.memoryShare) worstMemory = usage;
        if (usage.timeShare > worstTime.timeShare) worstTime = usage;
    }
    std::printf("%zu inputs measured, %d beyond the bound\n", files.size(), beyond);
    if (!files.empty()) {
        Report("most memory", worstMemory, worstMemory.memoryShare);
        Report("most time", worstTime, worstTime.timeShare);
    }
    return failures == 0 && beyond == 0 && !files.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    const bool bounds = argc > 1 && std::string(argv[1]) == "--bounds";
    std::vector<std::filesystem::path> files;
    for (int i = bounds ? 2 : 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    if (bounds) return MeasureAll(files);
    int failures = 0;
    for (const auto& file : files)
        failures += RunFile(file);
    std::printf("%zu inputs replayed\n", files.size() - static_cast<std::size_t>(failures));
    if (files.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
