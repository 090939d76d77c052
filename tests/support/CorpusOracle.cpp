#include "tests/support/CorpusOracle.h"

#include <fstream>
#include <iterator>

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

std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quoted) {
            if (ch == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (ch == '"') {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == ',') {
            rows.back().push_back(std::move(field));
            field.clear();
        } else if (ch == '\n' || ch == '\r') {
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            rows.back().push_back(std::move(field));
            field.clear();
            rows.emplace_back();
        } else {
            field += ch;
        }
    }
    if (!field.empty() || !rows.back().empty()) rows.back().push_back(field);
    return rows;
}

std::string CsvField(const std::vector<std::vector<std::string>>& rows, int row, int col) {
    if (row < 0 || row >= static_cast<int>(rows.size())) return {};
    if (col < 0 || col >= static_cast<int>(rows[row].size())) return {};
    return rows[row][col];
}

}  // namespace vorlix::test
