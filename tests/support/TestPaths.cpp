#include "tests/support/TestPaths.h"

#include <algorithm>
#include <cstdlib>

namespace vorlix::test {

std::filesystem::path CorpusDir() {
    std::filesystem::path dir = VORLIX_CORPUS_DIR;
    if (const char* env = std::getenv("VORLIX_CORPUS")) dir = env;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir / "files", ec)) return {};
    return dir;
}

std::vector<std::filesystem::path> CorpusFiles() {
    std::vector<std::filesystem::path> files;
    const auto dir = CorpusDir();
    if (dir.empty()) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "files")) {
        if (entry.path().extension() == ".xls") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::filesystem::path SourceDir() {
    return VORLIX_SOURCE_DIR;
}

}  // namespace vorlix::test
