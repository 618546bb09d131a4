// save_file: the whole file or a clear failure, the target's permissions
// kept, and no temporary file left behind.
#include "viewer/file_save.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

#include "tests/common/test_temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::size_t files_in(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

mode_t mode_of(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

} // namespace

TEST(SaveFile, ReplacesTheTargetKeepingItsPermissions)
{
    const fs::path folder = test_temp_dir();
    const fs::path target = folder / "report.txt";
    ASSERT_TRUE(save_file(target.string(), "first"));
    EXPECT_EQ(read_all(target), "first");

    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string big(1 << 20, 'x');
    ASSERT_TRUE(save_file(target.string(), big));
    EXPECT_EQ(read_all(target), big);
    EXPECT_EQ(mode_of(target), 0640U);
    EXPECT_EQ(files_in(folder), 1U);

    EXPECT_FALSE(save_file((folder / "no_such_folder" / "report.txt").string(), "x"));
}

TEST(SaveFile, AFailedWriteIsReportedAndLeavesTheOldFile)
{
    const fs::path folder = test_temp_dir();
    const fs::path target = folder / "report.txt";
    ASSERT_TRUE(save_file(target.string(), "old"));

    // Files may not grow past 1 KB: the write of 64 KB fails as on a full disk.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_big = save_file(target.string(), std::string(65536, 'y'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(saved_big);
    EXPECT_EQ(read_all(target), "old");
    EXPECT_EQ(files_in(folder), 1U);

    // A device is written in place, never replaced: /dev/full refuses the bytes.
    EXPECT_FALSE(save_file("/dev/full", "bytes"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}
