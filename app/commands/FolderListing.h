// The contents of a folder as the program lists them: its workbooks, and the subfolders the
// window's folder list shows. No widgets here.
#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

namespace vorlix::app {

// The workbooks of a folder: regular files whose names end in ".xls" (any letter case),
// and links of such names that lead nowhere (missing or looping targets), in name order. An error
// while listing ends the list; it is kept in `error` when given (an unreadable or missing folder
// lists none).
std::vector<std::filesystem::path> ListWorkbooks(const std::filesystem::path& folder,
                                                 std::error_code* error = nullptr);

// The workbooks the window lists, searches and exports: those of ListWorkbooks whose names do
// not begin with "." (hidden files).
std::vector<std::filesystem::path> ListVisibleWorkbooks(const std::filesystem::path& folder,
                                                        std::error_code* error = nullptr);

// The visible workbooks of a folder and of its subfolders at any depth.
struct TFolderWalk {
    // Each folder's workbooks in name order, then its subfolders' (in name order) in turn.
    std::vector<std::filesystem::path> Workbooks;
    // The folders that could not be listed, and why.
    struct TUnreadable {
        std::filesystem::path Folder;
        std::error_code Error;
    };
    std::vector<TUnreadable> Unreadable;
};

// The visible workbooks of `folder` and of its subfolders that are not hidden (ListSubfolders),
// at any depth. A folder reached twice (through a link) is gone through once.
TFolderWalk WalkWorkbooks(const std::filesystem::path& folder);

// The subfolders of a folder that are not hidden, in name order.
std::vector<std::filesystem::path> ListSubfolders(const std::filesystem::path& folder);

// The folders from the root down to `folder` itself: "/", "/home", "/home/ann".
std::vector<std::filesystem::path> FolderAncestors(const std::filesystem::path& folder);

}  // namespace vorlix::app
