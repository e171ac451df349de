// What Linux tells of a serial port besides its name: the device the name leads to, the name
// udev gives a USB adapter under /dev/serial/by-id (it stays the same whichever ttyUSB number the
// adapter gets), the adapter's USB ids and serial number from sysfs, the group that may open the
// device, the process that holds its lock file, and whether it is the system console. Nothing
// here opens the port.
#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/port_list.h"
#include "link/port_lock_posix.h"

namespace {

constexpr char BY_ID_FOLDER[] = "/dev/serial/by-id";
constexpr int USB_LEVELS_MAX = 8; // folders from the tty's device up to the USB device
constexpr size_t GROUP_BUFFER_BYTES = 16384;

// Copies a text into a field, cut to fit, with every byte that is not printable ASCII made '?':
// these texts come from devices and must not upset a terminal or the JSON output.
void copy_field(char* field, size_t cap, const char* text) {
    size_t n = 0;
    for (; text[n] != 0 && n + 1 < cap; ++n) {
        const unsigned char c = static_cast<unsigned char>(text[n]);
        field[n] = c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    field[n] = 0;
}

// The first line of a small sysfs file into a field; false when there is none.
bool read_line(const char* path, char* field, size_t cap) {
    FILE* f = fopen(path, "re");
    if (f == nullptr) {
        return false;
    }
    char line[PORT_NAME_BYTES];
    const bool got = fgets(line, sizeof line, f) != nullptr;
    fclose(f);
    if (!got) {
        return false;
    }
    line[strcspn(line, "\n")] = 0;
    copy_field(field, cap, line);
    return field[0] != 0;
}

void find_by_id(const char* device, PortDetails* out) {
    DIR* folder = opendir(BY_ID_FOLDER);
    if (folder == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(folder)) {
        char path[PORT_NAME_BYTES];
        const int n = snprintf(path, sizeof path, "%s/%s", BY_ID_FOLDER, entry->d_name);
        char target[PATH_MAX];
        if (entry->d_name[0] == '.' || n < 0 || static_cast<size_t>(n) >= sizeof path ||
            realpath(path, target) == nullptr || strcmp(target, device) != 0) {
            continue;
        }
        // Of several names for one device, the first in byte order, the same on every run.
        if (out->by_id[0] == 0 || strcmp(path, out->by_id) < 0) {
            copy_field(out->by_id, sizeof out->by_id, path);
        }
    }
    closedir(folder);
}

// The USB device above the tty in sysfs: /sys/class/tty/ttyUSB0/device leads to the adapter's
// interface, whose parent folder holds idVendor, idProduct and, where it has one, serial.
void find_usb(const char* device, PortDetails* out) {
    const char* base = device + 5;
    if (strncmp(device, "/dev/", 5) != 0 || strchr(base, '/') != nullptr) {
        return; // only devices right under /dev are in /sys/class/tty
    }
    char path[PATH_MAX + 32];
    char at[PATH_MAX];
    snprintf(path, sizeof path, "/sys/class/tty/%s/device", base);
    if (strlen(base) >= PORT_NAME_BYTES || realpath(path, at) == nullptr) {
        return;
    }
    for (int level = 0; level < USB_LEVELS_MAX; ++level) {
        char file[PATH_MAX + 16];
        snprintf(file, sizeof file, "%s/idVendor", at);
        if (read_line(file, out->usb_vid, sizeof out->usb_vid)) {
            snprintf(file, sizeof file, "%s/idProduct", at);
            read_line(file, out->usb_pid, sizeof out->usb_pid);
            snprintf(file, sizeof file, "%s/serial", at);
            read_line(file, out->usb_serial, sizeof out->usb_serial);
            return;
        }
        char* slash = strrchr(at, '/');
        if (slash == nullptr || slash == at || strcmp(at, "/sys/devices") == 0) {
            return;
        }
        *slash = 0;
    }
}

// The group's name, or its number where the system has no name for it.
void find_group(gid_t gid, PortDetails* out) {
    static char buffer[GROUP_BUFFER_BYTES];
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        copy_field(out->group, sizeof out->group, found->gr_name);
    } else {
        snprintf(out->group, sizeof out->group, "%lu", static_cast<unsigned long>(gid));
    }
}

} // namespace

bool port_details(const char* name, PortDetails* out) {
    *out = PortDetails{};
    char device[PATH_MAX];
    struct stat st {};
    if (realpath(name, device) == nullptr || strlen(device) >= sizeof out->device ||
        stat(device, &st) != 0) {
        return false;
    }
    memcpy(out->device, device, strlen(device) + 1);
    find_group(st.st_gid, out);
    if (S_ISCHR(st.st_mode)) {
        find_by_id(device, out);
        find_usb(device, out);
        out->console = port_is_console(device);
    }
    out->lock_pid = port_lock_holder(device);
    return true;
}
