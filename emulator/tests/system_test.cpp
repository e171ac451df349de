// The parts of the emulator that touch the system: the settings file, the pseudo-terminal, the
// links, the Wine attachment without registration, the command line.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "emulator/emu_options.h"
#include "emulator/emu_pty.h"
#include "emulator/emu_settings.h"
#include "emulator/emu_store.h"
#include "emulator/emu_wine.h"

namespace {

struct TempDir : ::testing::Test {
    std::string dir;
    void SetUp() override {
        char pattern[] = "/tmp/emu-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
    std::string link_target(const std::string& link) const {
        char buf[PATH_MAX];
        ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
        return n < 0 ? "" : std::string(buf, static_cast<size_t>(n));
    }
    int entries() const {
        int n = 0;
        DIR* d = opendir(dir.c_str());
        while (dirent* e = readdir(d)) {
            n += e->d_name[0] != '.';
        }
        closedir(d);
        return n;
    }
};

using StoreTest = TempDir;

TEST_F(StoreTest, SavesAndLoadsThePayloadAndLeavesNoTemporaryFile) {
    uint8_t payload[EMU_SETTINGS_BYTES];
    emu_settings_factory(payload);
    payload[0] = 0x42;
    std::string file = path("store");
    uint8_t loaded[EMU_SETTINGS_BYTES] = {};
    EXPECT_EQ(emu_store_load(file.c_str(), loaded), EMU_STORE_ABSENT);
    ASSERT_EQ(emu_store_save(file.c_str(), payload), 0);
    ASSERT_EQ(emu_store_save(file.c_str(), payload), 0) << "replacing works too";
    EXPECT_EQ(emu_store_load(file.c_str(), loaded), EMU_STORE_LOADED);
    EXPECT_EQ(0, memcmp(loaded, payload, sizeof payload));
    EXPECT_EQ(entries(), 1);
}

TEST_F(StoreTest, RefusesAFileOfTheWrongSize) {
    for (size_t size : {size_t{0}, EMU_SETTINGS_BYTES - 1, EMU_SETTINGS_BYTES + 1}) {
        std::string file = path("store");
        FILE* f = fopen(file.c_str(), "wb");
        for (size_t i = 0; i < size; ++i) {
            fputc(0x11, f);
        }
        fclose(f);
        uint8_t payload[EMU_SETTINGS_BYTES];
        memset(payload, 0x77, sizeof payload);
        EXPECT_EQ(emu_store_load(file.c_str(), payload), EMU_STORE_INVALID) << size;
        EXPECT_EQ(payload[0], 0x77) << "left as it was";
    }
    uint8_t payload[EMU_SETTINGS_BYTES] = {};
    EXPECT_EQ(emu_store_save(path("missing/store").c_str(), payload), -1) << "no such directory";
}

TEST(EmuPty, DeviceSideOpensRawAndItsUsersAreSeen) {
    EmuPty pty;
    ASSERT_EQ(emu_pty_open(&pty), 0);
    EXPECT_FALSE(emu_pty_peer_present(&pty)) << "nobody has it open yet";
    int device = open(pty.path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(device, 0);
    EXPECT_TRUE(emu_pty_peer_present(&pty));
    // Raw both ways: no echo, no line editing, CR and 0x7F pass unchanged.
    const uint8_t request[] = {0x01, 0x0D, 0x7F, 0x0A, 0x03};
    ASSERT_EQ(write(device, request, sizeof request), 5);
    struct pollfd p = {pty.master, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    uint8_t got[16];
    ASSERT_EQ(read(pty.master, got, sizeof got), 5);
    EXPECT_EQ(0, memcmp(got, request, 5));
    ASSERT_EQ(write(pty.master, request, sizeof request), 5);
    p = {device, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    ASSERT_EQ(read(device, got, sizeof got), 5);
    EXPECT_EQ(0, memcmp(got, request, 5));
    close(device);
    EXPECT_FALSE(emu_pty_peer_present(&pty)) << "closed again";
    // Unflushed bytes toward a closed port do not reach the next user.
    ASSERT_EQ(write(pty.master, request, sizeof request), 5);
    usleep(20000); // let the kernel move them on into the device side's line discipline
    emu_pty_flush_output(&pty);
    device = open(pty.path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(read(device, got, sizeof got), -1);
    close(device);
    emu_pty_close(&pty);
    EXPECT_EQ(pty.master, -1);
}

using LinkTest = TempDir;

TEST_F(LinkTest, SymlinksAreReplacedAndRemovedOnlyWhenOurs) {
    std::string link = path("port");
    ASSERT_EQ(emu_symlink_replace("/dev/pts/5", link.c_str()), 0);
    ASSERT_EQ(emu_symlink_replace("/dev/pts/6", link.c_str()), 0);
    EXPECT_EQ(link_target(link), "/dev/pts/6");
    emu_symlink_remove_if(link.c_str(), "/dev/pts/5");
    EXPECT_EQ(link_target(link), "/dev/pts/6") << "not pointing at us: left alone";
    emu_symlink_remove_if(link.c_str(), "/dev/pts/6");
    EXPECT_EQ(link_target(link), "");
    std::string file = path("file");
    fclose(fopen(file.c_str(), "w"));
    EXPECT_EQ(emu_symlink_replace("/dev/pts/5", file.c_str()), -1) << "a real file is kept";
    EXPECT_EQ(entries(), 1);
}

TEST_F(LinkTest, WineAttachMakesTheComLinkAndDetachRemovesIt) {
    EmuWine wine = {};
    wine.enabled = true;
    snprintf(wine.prefix, sizeof wine.prefix, "%s", dir.c_str());
    wine.com = 7;
    wine.register_port = false;
    wine.wine_program = "wine";
    ASSERT_EQ(emu_wine_attach(&wine, "/dev/pts/3"), 0);
    EXPECT_EQ(link_target(path("dosdevices/com7")), "/dev/pts/3");
    ASSERT_EQ(emu_wine_repoint(&wine, "/dev/pts/4"), 0);
    EXPECT_EQ(link_target(path("dosdevices/com7")), "/dev/pts/4");
    emu_wine_detach(&wine);
    EXPECT_EQ(link_target(path("dosdevices/com7")), "");
    EXPECT_FALSE(wine.registered);
    char name[64];
    char data[16];
    emu_wine_value_name(12, name, sizeof name);
    emu_wine_value_data(12, data, sizeof data);
    EXPECT_STREQ(name, "\\Device\\LumivoEmu12");
    EXPECT_STREQ(data, "COM12");
}

TEST(EmuOptions, ReadsTheCommandLine) {
    const char* argv[] = {
        "emu",   "--static", "--control-port", "4100",      "--wine-prefix", "/p",
        "--com", "5",        "--no-register",  "--version", "5.002",         "--lifetime",
        "9",     "--baud",   "115200"};
    EmuOptions o;
    char error[128];
    ASSERT_EQ(emu_options_parse(15, const_cast<char**>(argv), &o, error, sizeof error), 0);
    EXPECT_TRUE(o.static_sensors);
    EXPECT_EQ(o.control_port, 4100);
    EXPECT_STREQ(o.wine_prefix, "/p");
    EXPECT_EQ(o.com, 5);
    EXPECT_TRUE(o.no_register);
    EXPECT_STREQ(o.version, "5.002");
    EXPECT_EQ(o.lifetime_s, 9);
    EXPECT_EQ(o.baud, 115200);

    const char* bad[][3] = {{"emu", "--com", "0"},          {"emu", "--control-port", "70000"},
                            {"emu", "--wine-prefix", "/p"}, {"emu", "--bogus", "1"},
                            {"emu", "--baud", "1199"},      {"emu", "--store", nullptr}};
    for (auto& b : bad) {
        int argc = b[2] == nullptr ? 2 : 3;
        EXPECT_EQ(emu_options_parse(argc, const_cast<char**>(b), &o, error, sizeof error), -1)
            << b[1];
    }
}

} // namespace
