// Where the tests find data that lives outside the build: the shared corpus of real
// workbooks and the project's examples.
#pragma once

#include <filesystem>
#include <vector>

namespace vorlix::test {

// The corpus folder (VORLIX_CORPUS overrides the configured one); empty when absent.
std::filesystem::path CorpusDir();
// Every .xls file of the corpus, in name order; empty when there is no corpus.
std::vector<std::filesystem::path> CorpusFiles();
std::filesystem::path SourceDir();

}  // namespace vorlix::test

// Skips the current test when there is no corpus (used inside a test body).
#define SKIP_WITHOUT_CORPUS() \
    if (::vorlix::test::CorpusDir().empty()) GTEST_SKIP() << "no corpus at ../shared/corpus"
