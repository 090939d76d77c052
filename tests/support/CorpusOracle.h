// The corpus manifest and the oracle files of independent readers, as JSON.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vorlix::test {

nlohmann::json LoadJson(const std::filesystem::path& file);
// manifest.json of the corpus (load only when CorpusDir() is not empty).
const nlohmann::json& CorpusManifest();
// Whether a manifest entry lists a feature tag ("malformed", "encrypted_rc4", ...).
bool HasFeature(const nlohmann::json& entry, const std::string& feature);

// The records of a CSV file (RFC 4180: quoted fields may hold commas, quotes and breaks),
// as the other spreadsheet's oracle files are written.
std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& file);
// The field at a 0-based row and column, empty where the file has none.
std::string CsvField(const std::vector<std::vector<std::string>>& rows, int row, int col);

}  // namespace vorlix::test
