// New files on POSIX systems: a file that must not replace anything (a backup).
#include <gtest/gtest.h>

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
