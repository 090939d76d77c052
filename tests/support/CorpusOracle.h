// The corpus manifest and the oracle files of independent readers, as JSON.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

namespace vorlix::test {

nlohmann::json LoadJson(const std::filesystem::path& file);
// manifest.json of the corpus (load only when CorpusDir() is not empty).
const nlohmann::json& CorpusManifest();
// Whether a manifest entry lists a feature tag ("malformed", "encrypted_rc4", ...).
bool HasFeature(const nlohmann::json& entry, const std::string& feature);

}  // namespace vorlix::test
