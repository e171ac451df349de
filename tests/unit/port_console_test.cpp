// The system console found in the texts of /sys/class/tty/console/active and /proc/consoles, as
// Linux writes them, with names looked up in a fixed table of devices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "link/port_console.h"

namespace {

// The devices of a machine: /dev/NAME and its number.
const struct {
    const char* name;
    ConsoleDevice device;
} NODES[] = {{"tty0", {4, 0}},
             {"ttyS0", {4, 64}},
             {"ttyS1", {4, 65}},
             {"ttyAMA0", {204, 64}},
             {"hvc0", {229, 0}}};

std::vector<std::string> asked; // the names looked up

bool number_of(const char* name, ConsoleDevice* device) {
    asked.push_back(name);
    for (const auto& node : NODES) {
        if (strcmp(node.name, name) == 0) {
            *device = node.device;
            return true;
        }
    }
    return false;
}

} // namespace

// The search's question is whether a port's device number is one of the consoles': ttyS0 is
// 4:64, a USB adapter 188:0.
TEST(PortConsole, TheConsolesOfTheTwoFilesByDeviceNumber) {
    const struct {
        const char* what;
        const char* active;   // null: the file is absent
        const char* consoles; // null: the file is absent
        const char* found;    // major:minor of each console found, in ascending order
    } rows[] = {
        // clang-format off
        {"ttyS0 active", "ttyS0\n", "ttyS0                -W- (EC  p a)    4:64\n", "4:64 "},
        {"several, the last one /dev/console", "tty0 ttyS0 ttyAMA0\n",
         "ttyAMA0   -W- (EC p a)    204:64\nttyS0   -W- (E  p a)    4:64\n"
         "tty0   -WU (E  p  )    4:1\n", "4:0 4:1 4:64 204:64 "},
        // The virtual terminal in front (/proc/consoles names the one it is): no serial port.
        {"tty0 only", "tty0\n", "tty0                 -WU (EC p  )    4:1\n", "4:0 4:1 "},
        {"absent files", nullptr, nullptr, ""},
        // Without /proc the names are looked up; netconsole has no device.
        {"active only", "netcon0 ttyS1\n", nullptr, "4:65 "},
        // A line without a number is looked up by its name, one with a number is taken by it.
        {"consoles only", nullptr, "netcon0  -W- (E )\nttyS0  -W- (EC p a)  4:x64\n"
                                   "console9  -W- (EC p a)  4:66\n", "4:64 4:66 "},
        // clang-format on
    };
    for (const auto& row : rows) {
        ConsoleDevices found{};
        console_devices_parse(row.active, row.consoles, number_of, &found);
        std::sort(found.devices, found.devices + found.count, [](auto a, auto b) {
            return a.major != b.major ? a.major < b.major : a.minor < b.minor;
        });
        std::string listed;
        for (size_t i = 0; i < found.count; ++i) {
            listed += std::to_string(found.devices[i].major) + ":" +
                      std::to_string(found.devices[i].minor) + " ";
        }
        EXPECT_EQ(listed, row.found) << row.what;
        EXPECT_EQ(console_devices_has(&found, {4, 64}), strstr(row.found, "4:64 ") != nullptr)
            << row.what;
        EXPECT_FALSE(console_devices_has(&found, {188, 0})) << row.what;
    }
    asked.clear();
    ConsoleDevices found{};
    console_devices_parse("ttyS0 ../../etc/passwd tty/0", nullptr, number_of, &found);
    EXPECT_EQ(asked, std::vector<std::string>{"ttyS0"}) << "a name outside /dev was looked up";
}
