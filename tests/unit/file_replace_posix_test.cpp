// New files on POSIX systems: a file that must not replace anything (a backup), and the links
// that a file put in place follows.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/file_replace.h"
#include "settings/file_replace_steps_posix.h"

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
// Links are given away to another user, which takes root. The command line plays another
// user's link in a folder like /tmp end to end.
TEST(FilePut, FollowsALinkOnlyWhereTheKernelWould) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a link to another user";
    }
    struct Row {
        mode_t folder_mode;
        uid_t folder_owner;
        uid_t link_owner;
        bool dangling;
        bool followed;
    };
    const Row rows[] = {
        {01777, 0, NOBODY, false, false},    // /tmp, another user's link: refused
        {01777, 0, NOBODY, true, false},     // the same, dangling: nothing created
        {01777, 0, 0, false, true},          // the caller's own link
        {01777, NOBODY, NOBODY, true, true}, // the folder owner's link
        {00777, 0, NOBODY, false, true},     // not sticky: the kernel follows it too
        {01775, 0, NOBODY, false, true},     // sticky, but not writable by everybody
    };
    const std::string dir = new_folder();
    int i = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(i);
        const std::string shared = dir + "/shared" + std::to_string(i);
        const std::string target = dir + "/target" + std::to_string(i++);
        ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
        ASSERT_EQ(chown(shared.c_str(), row.folder_owner, 0), 0);
        ASSERT_EQ(chmod(shared.c_str(), row.folder_mode), 0);
        if (!row.dangling) {
            std::ofstream(target) << "old";
        }
        fs::create_symlink(target, shared + "/x.lv24");
        ASSERT_EQ(lchown((shared + "/x.lv24").c_str(), row.link_owner, 0), 0);
        EXPECT_EQ(put(shared + "/x.lv24", "new"), row.followed ? FILE_PUT_DONE : FILE_PUT_FAILED);
        EXPECT_EQ(content(target), row.followed ? "new" : row.dangling ? "" : "old");
        EXPECT_EQ(fs::exists(target), row.followed || !row.dangling);
        EXPECT_TRUE(fs::is_symlink(shared + "/x.lv24"));
    }
    fs::remove_all(dir);
}

namespace {

// A file system without hard links, as FAT is: link() refuses with EPERM, after first planting
// a file at the name when a row asks for one (another program taking the name meanwhile).
bool plant_first = false;
int rename_error = 0;                             // renameat2 fails with this; 0: the system's own
const FilePutSteps system_steps = file_put_steps; // the system's own calls

int no_hard_links(const char*, const char* to) {
    if (plant_first) {
        std::ofstream(to) << "planted";
    }
    errno = EPERM;
    return -1;
}

int rename_new_or_not(const char* from, const char* to) {
    if (rename_error != 0) {
        errno = rename_error;
        return -1;
    }
    return system_steps.rename_new(from, to);
}

} // namespace

// Without hard links, a backup is moved to its name by renameat2 (RENAME_NOREPLACE) or, where
// the system has no such call, over an empty file of its own: whole, only at a free name, and
// nothing else is left in the folder.
TEST(FilePut, WithoutHardLinksANewFileStillTakesOnlyAFreeNameWhole) {
    const struct {
        int rename_error;
        bool planted;
        FilePutResult result;
        const char* content;
    } rows[] = {
        {0, false, FILE_PUT_DONE, "backup"},        // renameat2
        {0, true, FILE_PUT_EXISTS, "planted"},      // renameat2 finds the name taken
        {ENOSYS, false, FILE_PUT_DONE, "backup"},   // no renameat2: the checked fallback
        {ENOSYS, true, FILE_PUT_EXISTS, "planted"}, // the fallback finds the name taken
        {EINVAL, false, FILE_PUT_DONE, "backup"},   // renameat2 without the flag's support
        {EACCES, false, FILE_PUT_FAILED, nullptr},  // any other failure: nothing is made
    };
    file_put_steps = {no_hard_links, rename_new_or_not};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.rename_error << " " << row.planted);
        const std::string dir = new_folder();
        plant_first = row.planted;
        rename_error = row.rename_error;
        EXPECT_EQ(create(dir + "/backup.lv24", "backup"), row.result);
        EXPECT_EQ(fs::exists(dir + "/backup.lv24"), row.content != nullptr);
        if (row.content != nullptr) {
            EXPECT_EQ(content(dir + "/backup.lv24"), row.content);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()),
                  row.content != nullptr ? 1 : 0);
        fs::remove_all(dir);
    }
    file_put_steps = system_steps;
}
