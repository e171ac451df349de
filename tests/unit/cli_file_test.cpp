// The command-line tool's new files on POSIX systems, in a folder of their own: a file that must
// not replace anything (a backup), and the folder backups go to.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "cli/platform.h"

namespace {

namespace fs = std::filesystem;

class CliFile : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/cli-file-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string in(const std::string& name) const { return folder + "/" + name; }
    std::string folder;
};

std::string content(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

int create(const std::string& path, const char* text) {
    char why[PLATFORM_WHY_BYTES];
    return platform_file_create(path.c_str(), reinterpret_cast<const uint8_t*>(text),
                                std::char_traits<char>::length(text), why);
}

int mode_of(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

} // namespace

TEST_F(CliFile, ANewFileNeverReplacesWhatHasTheName) {
    EXPECT_EQ(create(in("a.lv24"), "first"), PLATFORM_FILE_DONE);
    EXPECT_EQ(create(in("a.lv24"), "second"), PLATFORM_FILE_EXISTS);
    EXPECT_EQ(content(in("a.lv24")), "first");
    // A dangling link is a taken name too: nothing is written where it points.
    fs::create_symlink("elsewhere.lv24", in("link.lv24"));
    EXPECT_EQ(create(in("link.lv24"), "x"), PLATFORM_FILE_EXISTS);
    EXPECT_EQ(create(in("missing/b.lv24"), "x"), PLATFORM_FILE_FAILED);
    EXPECT_EQ(create(in("dir/"), "x"), PLATFORM_FILE_FAILED);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename());
    }
    EXPECT_EQ(names, (std::set<std::string>{"a.lv24", "link.lv24"})) << "a file was left behind";
}

TEST_F(CliFile, BackupsGoUnderTheStateFolderWhichIsCreatedPrivate) {
    const char* state = getenv("XDG_STATE_HOME");
    const char* home = getenv("HOME");
    const std::string saved_state = state != nullptr ? state : "";
    const std::string saved_home = home != nullptr ? home : "";
    char got[PLATFORM_PATH_BYTES];
    char why[PLATFORM_WHY_BYTES];

    setenv("XDG_STATE_HOME", in("state/").c_str(), 1);
    ASSERT_EQ(platform_backup_folder(got, why), 0) << why;
    EXPECT_EQ(std::string(got), in("state/lumivo24/backups"));
    EXPECT_EQ(mode_of(in("state")), 0700);
    EXPECT_EQ(mode_of(in("state/lumivo24/backups")), 0700);

    // A relative XDG_STATE_HOME is not taken: the home folder's .local/state is.
    setenv("XDG_STATE_HOME", "relative", 1);
    setenv("HOME", folder.c_str(), 1);
    ASSERT_EQ(platform_backup_folder(got, why), 0) << why;
    EXPECT_EQ(std::string(got), in(".local/state/lumivo24/backups"));
    EXPECT_EQ(mode_of(in(".local")), 0700);

    // A file where a folder should be.
    fs::remove_all(in(".local/state/lumivo24"));
    std::ofstream(in(".local/state/lumivo24")) << "x";
    EXPECT_EQ(platform_backup_folder(got, why), -1);

    saved_state.empty() ? unsetenv("XDG_STATE_HOME")
                        : setenv("XDG_STATE_HOME", saved_state.c_str(), 1);
    saved_home.empty() ? unsetenv("HOME") : setenv("HOME", saved_home.c_str(), 1);
}
