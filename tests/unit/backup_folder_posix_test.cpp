// The folder the command-line tool backs the controller's settings up to, on POSIX systems.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/backup_folder.h"

namespace {

namespace fs = std::filesystem;

std::string new_folder() {
    char name[] = "/tmp/cli-file-XXXXXX";
    return mkdtemp(name) != nullptr ? name : "";
}

int mode_of(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

} // namespace

TEST(BackupFolder, BackupsGoUnderAnAbsoluteStateFolderOrTheHomeFolderCreatedPrivate) {
    const std::string dir = new_folder();
    char got[BACKUP_FOLDER_BYTES];
    char why[FILE_WHY_BYTES];
    setenv("XDG_STATE_HOME", (dir + "/state/").c_str(), 1);
    ASSERT_EQ(backup_folder(got, why), 0) << why;
    EXPECT_EQ(std::string(got), dir + "/state/lumivo24/backups");
    EXPECT_EQ(mode_of(dir + "/state"), 0700);
    setenv("XDG_STATE_HOME", "relative", 1);
    setenv("HOME", dir.c_str(), 1);
    ASSERT_EQ(backup_folder(got, why), 0) << why;
    EXPECT_EQ(std::string(got), dir + "/.local/state/lumivo24/backups");
    EXPECT_EQ(mode_of(dir + "/.local/state/lumivo24/backups"), 0700);
    fs::remove_all(dir + "/.local/state/lumivo24");
    std::ofstream(dir + "/.local/state/lumivo24") << "a file where a folder should be";
    EXPECT_EQ(backup_folder(got, why), -1);
    fs::remove_all(dir);
}
