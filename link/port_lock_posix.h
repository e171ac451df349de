// UUCP lock files of serial devices, the convention Linux serial programs share: a program that
// uses /dev/ttyUSB0 holds /var/lock/LCK..ttyUSB0 (or /run/lock/LCK..ttyUSB0 where /var/lock is
// missing), which holds its process id as ten right-aligned digits and a newline. A lock whose
// process is gone is stale: the next program removes it and takes the device.
//
// A device below a folder of /dev is named by its path under /dev with every '/' made '_':
// /dev/pts/3 is LCK..pts_3, so that it does not meet the lock of a device called "3".
#pragma once

#include <cstddef>

constexpr size_t PORT_LOCK_PATH_BYTES = 512; // a lock file's path with its terminator

enum PortLockResult : int {
    PORT_LOCK_TAKEN = 0,   // the lock file is this process's until port_lock_release
    PORT_LOCK_NONE = -1,   // no lock folder takes a file from this user: the device goes unlocked
    PORT_LOCK_HELD = -2,   // a live process holds the device
    PORT_LOCK_FAILED = -3, // the device's name makes no lock file name
};

// Takes the lock of a device, given by its path with every link resolved. Stale locks found on
// the way are removed. On PORT_LOCK_TAKEN the lock file's path is in `path` (empty on
// PORT_LOCK_NONE); on PORT_LOCK_HELD the holder's process id is in *holder.
int port_lock_take(const char* device, char path[PORT_LOCK_PATH_BYTES], long* holder);

// Removes a lock file taken by port_lock_take, if it still holds this process's id.
void port_lock_release(const char path[PORT_LOCK_PATH_BYTES]);

// The live process, other than this one, that holds the device's lock; 0 when none does.
long port_lock_holder(const char* device);
