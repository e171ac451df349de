// The system console found in the texts of /sys/class/tty/console/active and /proc/consoles, as
// Linux writes them, with the names resolved through a fixed table of devices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "link/port_console.h"

namespace {

// The devices of a machine: /dev/NAME and its number.
struct Node {
    const char* name;
    ConsoleDevice device;
};
const Node NODES[] = {{"tty0", {4, 0}},   {"tty1", {4, 1}},       {"ttyS0", {4, 64}},
                      {"ttyS1", {4, 65}}, {"ttyAMA0", {204, 64}}, {"ttyUSB0", {188, 0}},
                      {"hvc0", {229, 0}}};

std::vector<std::string> asked; // the names looked up

bool number_of(const char* name, ConsoleDevice* device) {
    asked.push_back(name);
    for (const Node& node : NODES) {
        if (strcmp(node.name, name) == 0) {
            *device = node.device;
            return true;
        }
    }
    return false;
}

} // namespace

bool operator==(ConsoleDevice a, ConsoleDevice b) {
    return a.major == b.major && a.minor == b.minor;
}

void PrintTo(ConsoleDevice device, std::ostream* out) {
    *out << device.major << ":" << device.minor;
}

TEST(PortConsole, TheConsolesOfTheTwoFilesByDeviceNumber) {
    const struct {
        const char* what;
        const char* active;   // null: the file is absent
        const char* consoles; // null: the file is absent
        std::vector<ConsoleDevice> consoles_found;
    } rows[] = {
        {"ttyS0 active", "ttyS0\n", "ttyS0                -W- (EC  p a)    4:64\n", {{4, 64}}},
        {"several consoles, the last one /dev/console",
         "tty0 ttyS0 ttyAMA0\n",
         "ttyAMA0              -W- (EC p a)    204:64\n"
         "ttyS0                -W- (E  p a)    4:64\n"
         "tty0                 -WU (E  p  )    4:1\n",
         {{4, 0}, {4, 64}, {204, 64}, {4, 1}}},
        // tty0 is the virtual terminal in front (/proc/consoles shows the one it is, tty1): no
        // serial port among them.
        {"tty0 only", "tty0\n", "tty0                 -WU (EC p  )    4:1\n", {{4, 0}, {4, 1}}},
        {"absent files", nullptr, nullptr, {}},
        {"empty files", "", "\n", {}},
        // Without /proc, the names alone, looked up; a console without a device (netconsole),
        // a name that is no device and one that would lead out of /dev are passed over.
        {"active only", "netcon0 ttyS1 ../ttyS0 ttyS0/x\n", nullptr, {{4, 65}}},
        // Without /sys: a line without a number is looked up by its name.
        {"consoles only", nullptr, "netcon0  -W- (E )\nhvc0  -W- (EC p )\n", {{229, 0}}},
        // A copy of the device node under another name is still the console: the number decides.
        {"a number /sys does not name",
         "ttyS0",
         "console9  -W- (EC p a)  4:65\n",
         {{4, 64}, {4, 65}}},
        {"a number that makes none", nullptr, "ttyS0  -W- (EC p a)  4:x64\n", {{4, 64}}},
    };
    for (const auto& row : rows) {
        ConsoleDevices found{};
        console_devices_parse(row.active, row.consoles, number_of, &found);
        EXPECT_EQ(std::vector<ConsoleDevice>(found.devices, found.devices + found.count),
                  row.consoles_found)
            << row.what;
        // The search's question: a USB adapter is never the console, ttyS0 only where it is.
        EXPECT_FALSE(console_devices_has(&found, {188, 0})) << row.what;
        const bool s0 = std::find(row.consoles_found.begin(), row.consoles_found.end(),
                                  ConsoleDevice{4, 64}) != row.consoles_found.end();
        EXPECT_EQ(console_devices_has(&found, {4, 64}), s0) << row.what;
    }
    asked.clear();
    ConsoleDevices found{};
    console_devices_parse("ttyS0 ../../etc/passwd tty/0", nullptr, number_of, &found);
    EXPECT_EQ(asked, std::vector<std::string>{"ttyS0"}) << "a name outside /dev was looked up";
}
