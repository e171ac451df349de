// The command-line tool's new files on POSIX systems: a file that must not replace anything (a
// backup), and the folder backups go to.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/platform.h"

namespace {

namespace fs = std::filesystem;

std::string new_folder() {
    char name[] = "/tmp/cli-file-XXXXXX";
    return mkdtemp(name) != nullptr ? name : "";
}

int create(const std::string& path, const std::string& text) {
    char why[PLATFORM_WHY_BYTES];
    return platform_file_create(path.c_str(), reinterpret_cast<const uint8_t*>(text.data()),
                                text.size(), why);
}

int mode_of(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

} // namespace

TEST(CliFile, ANewFileNeverTakesANameInUseAndLeavesNothingElse) {
    const std::string dir = new_folder();
    fs::create_symlink("elsewhere", dir + "/link"); // dangling, and still a name in use
    EXPECT_EQ(create(dir + "/a", "first"), PLATFORM_FILE_DONE);
    EXPECT_EQ(create(dir + "/a", "second"), PLATFORM_FILE_EXISTS);
    EXPECT_EQ(create(dir + "/link", "x"), PLATFORM_FILE_EXISTS);
    EXPECT_EQ(create(dir + "/missing/b", "x"), PLATFORM_FILE_FAILED);
    std::ifstream a(dir + "/a");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}), "first");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
    fs::remove_all(dir);
}

TEST(CliFile, BackupsGoUnderAnAbsoluteStateFolderOrTheHomeFolderCreatedPrivate) {
    const std::string dir = new_folder();
    char got[PLATFORM_PATH_BYTES];
    char why[PLATFORM_WHY_BYTES];
    setenv("XDG_STATE_HOME", (dir + "/state/").c_str(), 1);
    ASSERT_EQ(platform_backup_folder(got, why), 0) << why;
    EXPECT_EQ(std::string(got), dir + "/state/lumivo24/backups");
    EXPECT_EQ(mode_of(dir + "/state"), 0700);
    setenv("XDG_STATE_HOME", "relative", 1);
    setenv("HOME", dir.c_str(), 1);
    ASSERT_EQ(platform_backup_folder(got, why), 0) << why;
    EXPECT_EQ(std::string(got), dir + "/.local/state/lumivo24/backups");
    EXPECT_EQ(mode_of(dir + "/.local/state/lumivo24/backups"), 0700);
    fs::remove_all(dir + "/.local/state/lumivo24");
    std::ofstream(dir + "/.local/state/lumivo24") << "a file where a folder should be";
    EXPECT_EQ(platform_backup_folder(got, why), -1);
    fs::remove_all(dir);
}
