// New files on POSIX systems: a file that must not replace anything (a backup), and the links
// that a file put in place follows.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/file_replace.h"

namespace {

namespace fs = std::filesystem;

std::string new_folder() {
    char name[] = "/tmp/cli-file-XXXXXX";
    return mkdtemp(name) != nullptr ? name : "";
}

int create(const std::string& path, const std::string& text) {
    char why[FILE_WHY_BYTES];
    return file_put_new(path.c_str(), reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                        nullptr, why);
}

int put(const std::string& path, const std::string& text) {
    char why[FILE_WHY_BYTES];
    return file_put(path.c_str(), reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                    nullptr, why);
}

std::string content(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr uid_t NOBODY = 65534;

} // namespace

TEST(FilePut, ANewFileNeverTakesANameInUseAndLeavesNothingElse) {
    const std::string dir = new_folder();
    fs::create_symlink("elsewhere", dir + "/link"); // dangling, and still a name in use
    EXPECT_EQ(create(dir + "/a", "first"), FILE_PUT_DONE);
    EXPECT_EQ(create(dir + "/a", "second"), FILE_PUT_EXISTS);
    EXPECT_EQ(create(dir + "/link", "x"), FILE_PUT_EXISTS);
    EXPECT_EQ(create(dir + "/missing/b", "x"), FILE_PUT_FAILED);
    std::ifstream a(dir + "/a");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}), "first");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
    fs::remove_all(dir);
}

// As the kernel does (fs.protected_symlinks): a link in a sticky folder that everybody may write
// is followed only when it is the folder owner's or the caller's; elsewhere any link is followed.
// Links are given away to another user, which takes root. The command-line cases play a folder
// like /tmp: the caller's own link followed, another user's refused, to a file or dangling.
TEST(FilePut, FollowsALinkOnlyWhereTheKernelWould) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a link to another user";
    }
    const struct {
        mode_t folder_mode;
        uid_t folder_owner;
    } rows[] = {
        {01777, NOBODY}, // the folder owner's link
        {00777, 0},      // not sticky: the kernel follows it too
        {01775, 0},      // sticky, but not writable by everybody
    };
    const std::string dir = new_folder();
    int i = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(i);
        const std::string shared = dir + "/shared" + std::to_string(i);
        const std::string target = dir + "/target" + std::to_string(i++);
        ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
        ASSERT_EQ(chown(shared.c_str(), row.folder_owner, 0), 0);
        ASSERT_EQ(chmod(shared.c_str(), row.folder_mode), 0);
        std::ofstream(target) << "old";
        fs::create_symlink(target, shared + "/x.lv24");
        ASSERT_EQ(lchown((shared + "/x.lv24").c_str(), NOBODY, 0), 0);
        EXPECT_EQ(put(shared + "/x.lv24", "new"), FILE_PUT_DONE);
        EXPECT_EQ(content(target), "new");
        EXPECT_TRUE(fs::is_symlink(shared + "/x.lv24"));
    }
    fs::remove_all(dir);
}
