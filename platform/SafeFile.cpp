#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace vorlix::platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseErrno(int error, const fs::path& file) {
    throw std::system_error(error, std::generic_category(), file.string());
}

// The process's file creation mask, read without changing it (umask() would change it
// for every thread for a moment).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

// fsync of a file or folder by name; errors of a folder's sync are not worth failing for.
int SyncPath(const fs::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

}  // namespace

TSafeFile::TSafeFile(const fs::path& target) : target_(target), writing_(target) {
    // Through a symbolic link the file it names is replaced, and the link stays.
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        const fs::path real = fs::canonical(target, error);
        if (!error) target_ = writing_ = real;
    }
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        inPlace_ = true;
        return;
    }
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) RaiseErrno(errno, target);
    // mkostemp creates the file for its owner alone; the result gets the old file's mode,
    // or that of any new file.
    const mode_t mode = exists ? existing.st_mode & 07777 : 0666 & ~CurrentUmask();
    ::fchmod(fd, mode);
    ::close(fd);
    writing_ = fs::path(name.data());
}

TSafeFile::~TSafeFile() {
    Abandon();
}

void TSafeFile::Commit() {
    if (done_) return;
    if (inPlace_) {
        done_ = true;
        return;
    }
    if (const int error = SyncPath(writing_, O_RDONLY); error != 0) {
        Abandon();
        RaiseErrno(error, target_);
    }
    if (::rename(writing_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        Abandon();
        RaiseErrno(error, target_);
    }
    done_ = true;
    SyncPath(target_.has_parent_path() ? target_.parent_path() : fs::path("."),
             O_RDONLY | O_DIRECTORY);
}

void TSafeFile::Abandon() noexcept {
    if (done_) return;
    done_ = true;
    if (!inPlace_) ::unlink(writing_.c_str());
}

}  // namespace vorlix::platform
