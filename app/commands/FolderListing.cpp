#include "app/commands/FolderListing.h"

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

namespace vorlix::app {

namespace fs = std::filesystem;

namespace {

bool EndsWithXls(const std::string& name) {
    static constexpr std::string_view kSuffix = ".xls";
    if (name.size() < kSuffix.size()) return false;
    return std::equal(kSuffix.begin(), kSuffix.end(), name.end() - kSuffix.size(),
                      [](char a, char b) {
                          return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
                      });
}

bool IsHidden(const fs::path& entry) {
    return entry.filename().string().starts_with('.');
}

}  // namespace

std::vector<std::filesystem::path> ListWorkbooks(const std::filesystem::path& folder,
                                                 std::error_code* error) {
    namespace fs = std::filesystem;
    std::vector<fs::path> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        // Pipes and devices are left out: opening one could wait forever. A link whose
        // target is missing or loops is kept, so that the commands name it and say why it
        // cannot be read instead of passing over it in silence.
        std::error_code typeError;
        const bool regular = it->is_regular_file(typeError);
        std::error_code linkError;
        if (!regular && !(typeError && it->is_symlink(linkError))) continue;
        fs::path name = it->path().filename();
        if (EndsWithXls(name.string())) names.push_back(std::move(name));
    }
    if (error != nullptr) *error = ec;
    std::sort(names.begin(), names.end());
    std::vector<fs::path> workbooks;
    workbooks.reserve(names.size());
    for (const fs::path& name : names)
        workbooks.push_back(folder.empty() ? name : folder / name);
    return workbooks;
}

std::vector<fs::path> ListVisibleWorkbooks(const fs::path& folder, std::error_code* error) {
    std::vector<fs::path> workbooks = ListWorkbooks(folder, error);
    std::erase_if(workbooks, IsHidden);
    return workbooks;
}

TFolderWalk WalkWorkbooks(const fs::path& folder) {
    TFolderWalk walk;
    std::set<fs::path> seen;  // the folders gone through, by their canonical path
    const std::function<void(const fs::path&)> visit = [&](const fs::path& at) {
        std::error_code ec;
        const fs::path real = fs::canonical(at, ec);
        if (!ec && !seen.insert(real).second) return;  // a link back to a folder gone through
        std::vector<fs::path> workbooks = ListVisibleWorkbooks(at, &ec);
        if (ec) {
            walk.Unreadable.push_back({at, ec});
            return;
        }
        walk.Workbooks.insert(walk.Workbooks.end(), std::make_move_iterator(workbooks.begin()),
                              std::make_move_iterator(workbooks.end()));
        for (const fs::path& subfolder : ListSubfolders(at))
            visit(subfolder);
    };
    visit(folder);
    return walk;
}

std::vector<fs::path> ListSubfolders(const fs::path& folder) {
    std::vector<fs::path> subfolders;
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        std::error_code kindError;
        if (!IsHidden(it->path()) && it->is_directory(kindError)) subfolders.push_back(it->path());
    }
    std::sort(subfolders.begin(), subfolders.end());
    return subfolders;
}

std::vector<fs::path> FolderAncestors(const fs::path& folder) {
    std::vector<fs::path> folders;
    fs::path path;
    for (const fs::path& part : folder) {
        if (part.empty()) continue;
        path /= part;
        folders.push_back(path);
    }
    return folders;
}

}  // namespace vorlix::app
