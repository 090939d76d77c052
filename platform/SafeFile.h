// Files that are replaced whole or not at all. The new content is written to a hidden
// temporary file in the target's folder and renamed over the target once it is complete
// and on disk, so a failure (disk full, permission denied, the process killed) never
// leaves a truncated file behind and never touches the old file. A target that exists and
// is not a regular file (a terminal, a pipe, /dev/full) cannot be replaced by renaming;
// it is written in place. Through a symbolic link, the file the link names is replaced.
#pragma once

#include <filesystem>

namespace vorlix::platform {

class TSafeFile {
  public:
    // Creates the temporary file (raises std::system_error when the folder refuses it).
    explicit TSafeFile(const std::filesystem::path& target);
    // Removes the temporary file unless Commit succeeded.
    ~TSafeFile();
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    // Where to write: the temporary file, or the target itself when it is written in place.
    const std::filesystem::path& Path() const { return writing_; }
    // The file that is replaced: the target, or the file its symbolic link names.
    const std::filesystem::path& Target() const { return target_; }

    // Once the writer closed Path(): puts the content on disk and renames it over the
    // target (raises std::system_error; the temporary file is removed then).
    void Commit();
    // Removes the temporary file now; the target stays as it was.
    void Abandon() noexcept;

  private:
    std::filesystem::path target_;
    std::filesystem::path writing_;
    bool inPlace_ = false;
    bool done_ = false;
};

}  // namespace vorlix::platform
