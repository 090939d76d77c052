#include "tests/support/CorpusOracle.h"

#include <fstream>

#include "tests/support/TestPaths.h"

namespace vorlix::test {

nlohmann::json LoadJson(const std::filesystem::path& file) {
    std::ifstream in(file);
    return nlohmann::json::parse(in);
}

const nlohmann::json& CorpusManifest() {
    static const nlohmann::json manifest = LoadJson(CorpusDir() / "manifest.json");
    return manifest;
}

bool HasFeature(const nlohmann::json& entry, const std::string& feature) {
    for (const nlohmann::json& f : entry["features"]) {
        if (f == feature) return true;
    }
    return false;
}

}  // namespace vorlix::test
