// UUCP lock files in the system's lock folder, taken by separate processes, as programs on one
// machine take them. A device name that no real device has keeps the tests off real ports.
#include <gtest/gtest.h>

#include <glob.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iomanip>
#include <string>

#include "link/port_lock_posix.h"

// Two programs that find the same stale lock at the same moment: one takes the device over, the
// other is told that the first one holds it; never both.
TEST(PortLock, TwoProcessesRacingForAStaleLockTakeItOnce) {
    const std::string device = "/dev/lumivo-race-" + std::to_string(getpid());
    char path[PORT_LOCK_PATH_BYTES];
    long holder = 0;
    if (port_lock_take(device.c_str(), path, &holder) != PORT_LOCK_TAKEN) {
        GTEST_SKIP() << "no lock folder takes a lock from this user";
    }
    port_lock_release(path);
    struct Taken { // what one racer reports: its id, what port_lock_take said, the holder named
        long pid;
        int result;
        long holder;
    };
    // The fault this guards against showed in one round of eight or more.
    for (int round = 0; round < 80 && !HasFailure(); ++round) {
        const pid_t ended = fork(); // a stale lock holds the id of a process that has ended
        if (ended == 0) {
            _exit(0);
        }
        waitpid(ended, nullptr, 0);
        ASSERT_TRUE(std::ofstream(path) << std::setw(10) << ended << '\n');
        int start[2], report[2], release[2];
        ASSERT_TRUE(pipe(start) == 0 && pipe(report) == 0 && pipe(release) == 0);
        // Each racer waits until `start` closes, takes the lock, reports, and gives back what it
        // took when `release` closes; only the test holds their write ends.
        pid_t racers[2];
        for (pid_t& racer : racers) {
            racer = fork();
            if (racer == 0) {
                close(start[1]);
                close(release[1]);
                char byte = 0;
                (void)!read(start[0], &byte, 1);
                Taken taken{static_cast<long>(getpid()), 0, 0};
                taken.result = port_lock_take(device.c_str(), path, &taken.holder);
                (void)!write(report[1], &taken, sizeof taken);
                (void)!read(release[0], &byte, 1);
                if (taken.result == PORT_LOCK_TAKEN) {
                    port_lock_release(path);
                }
                _exit(0);
            }
        }
        close(start[1]); // both start at once
        Taken t[2]{};
        const bool reported = read(report[0], &t[0], sizeof t[0]) == sizeof t[0] &&
                              read(report[0], &t[1], sizeof t[1]) == sizeof t[1];
        long in_file = 0;
        std::ifstream(path) >> in_file;
        close(release[1]);
        for (pid_t racer : racers) {
            waitpid(racer, nullptr, 0);
        }
        for (int fd : {start[0], report[0], report[1], release[0]}) {
            close(fd);
        }
        const Taken& won = t[0].result == PORT_LOCK_TAKEN ? t[0] : t[1];
        const Taken& lost = t[0].result == PORT_LOCK_TAKEN ? t[1] : t[0];
        EXPECT_TRUE(reported);
        EXPECT_EQ(won.result, PORT_LOCK_TAKEN) << "round " << round;
        EXPECT_EQ(lost.result, PORT_LOCK_HELD) << "round " << round;
        EXPECT_EQ(lost.holder, won.pid);
        EXPECT_EQ(in_file, won.pid);
        EXPECT_EQ(access(path, F_OK), -1) << "the winner's lock stayed after its release";
    }
    unlink(path);
}

// A name like the temporary one somebody left or planted in the lock folder (another user's
// LTMP.<pid>, which this user may not remove; here a folder, which nobody can unlink as a file)
// holds nothing: the lock is taken, and no temporary file of this process stays behind.
TEST(PortLock, APlantedTemporaryNameHoldsNothing) {
    const std::string device = "/dev/lumivo-planted-" + std::to_string(getpid());
    char path[PORT_LOCK_PATH_BYTES];
    long holder = 0;
    if (port_lock_take(device.c_str(), path, &holder) != PORT_LOCK_TAKEN) {
        GTEST_SKIP() << "no lock folder takes a lock from this user";
    }
    port_lock_release(path);
    const std::string folder = std::string(path).substr(0, std::string(path).rfind('/'));
    const std::string planted = folder + "/LTMP." + std::to_string(getpid());
    ASSERT_EQ(mkdir(planted.c_str(), 0755), 0);
    const int taken = port_lock_take(device.c_str(), path, &holder);
    long in_file = 0;
    std::ifstream(path) >> in_file;
    port_lock_release(path);
    rmdir(planted.c_str());
    EXPECT_EQ(taken, PORT_LOCK_TAKEN);
    EXPECT_EQ(holder, 0);
    EXPECT_EQ(in_file, static_cast<long>(getpid()));
    glob_t left{};
    EXPECT_EQ(glob((planted + "*").c_str(), 0, nullptr, &left), GLOB_NOMATCH);
    globfree(&left);
}
