#include "platform/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <system_error>

#include "tests/support/XlsBuilder.h"

using vorlix::platform::TSafeFile;
namespace fs = std::filesystem;

namespace {

std::string Content(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::size_t Entries(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

mode_t Mode(const fs::path& file) {
    struct stat s {};
    ::stat(file.c_str(), &s);
    return s.st_mode & 07777;
}

}  // namespace

TEST(SafeFileTest, TheTargetChangesOnlyOnCommit) {
    vorlix::test::TempDir dir;
    const fs::path target = dir / "out.csv";
    Put(target, "old");
    ::chmod(target.c_str(), 0640);
    {
        TSafeFile file(target);
        EXPECT_NE(file.Path(), target);
        EXPECT_EQ(file.Path().parent_path(), dir.path());
        EXPECT_EQ(file.Path().filename().string().front(), '.');  // hidden from file lists
        Put(file.Path(), "new");
        EXPECT_EQ(Content(target), "old");
        file.Commit();
    }
    EXPECT_EQ(Content(target), "new");
    EXPECT_EQ(Mode(target), 0640u);  // the replaced file's permissions
    EXPECT_EQ(Entries(dir.path()), 1u);

    // Dropped without a commit (a failed or cancelled writer): old content, no leftovers.
    {
        TSafeFile file(target);
        Put(file.Path(), "half a sheet");
    }
    EXPECT_EQ(Content(target), "new");
    EXPECT_EQ(Entries(dir.path()), 1u);

    // A new file gets the permissions any new file gets, not the temporary's 0600.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    {
        TSafeFile file(dir / "fresh.txt");
        Put(file.Path(), "x");
        file.Commit();
    }
    EXPECT_EQ(Mode(dir / "fresh.txt"), 0666u & ~mask);

    // Through a symbolic link: the file it names changes, the link stays a link.
    fs::create_symlink(target, dir / "link.csv");
    {
        TSafeFile file(dir / "link.csv");
        EXPECT_EQ(file.Target(), fs::canonical(target));
        Put(file.Path(), "linked");
        file.Commit();
    }
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(Content(target), "linked");
}

TEST(SafeFileTest, PlacesThatCannotHoldTheFile) {
    vorlix::test::TempDir dir;
    Put(dir / "plain", "a file, not a folder");
    try {
        TSafeFile file(dir / "plain" / "out.csv");
        FAIL() << "created in a file";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::not_a_directory);
    }
    EXPECT_THROW(TSafeFile(dir / "missing" / "out.csv"), std::system_error);
    EXPECT_EQ(Entries(dir.path()), 1u);

    // Devices and pipes cannot be replaced by renaming: they are written in place.
    TSafeFile device("/dev/null");
    EXPECT_EQ(device.Path(), fs::path("/dev/null"));
    device.Commit();
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}
