// The contents of a folder as the program lists them: its workbooks, and the subfolders the
// window's folder list shows. No widgets here.
#pragma once

#include <filesystem>
#include <vector>

namespace vorlix::app {

// The workbooks of a folder: regular files whose names end in ".xls" (any letter case),
// in name order. Errors while listing end the list; an unreadable folder has none.
std::vector<std::filesystem::path> ListWorkbooks(const std::filesystem::path& folder);

// The workbooks the window lists: those of ListWorkbooks whose names do not begin with "."
// (hidden files).
std::vector<std::filesystem::path> ListVisibleWorkbooks(const std::filesystem::path& folder);

// The subfolders of a folder that are not hidden, in name order.
std::vector<std::filesystem::path> ListSubfolders(const std::filesystem::path& folder);

// The folders from the root down to `folder` itself: "/", "/home", "/home/ann".
std::vector<std::filesystem::path> FolderAncestors(const std::filesystem::path& folder);

}  // namespace vorlix::app
