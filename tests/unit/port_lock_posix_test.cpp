// UUCP lock files in the system's lock folder, taken by separate processes, as programs on one
// machine take them. A device name that no real device has keeps the tests off real ports.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "link/port_lock_posix.h"

namespace {

// The id of a process that has just ended: what a stale lock holds.
pid_t ended_process() {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
    return pid;
}

bool put_lock(const char* path, long pid) {
    FILE* f = fopen(path, "w");
    if (f == nullptr) {
        return false;
    }
    fprintf(f, "%10ld\n", pid);
    return fclose(f) == 0;
}

long pid_in(const char* path) {
    long pid = 0;
    FILE* f = fopen(path, "r");
    if (f != nullptr) {
        if (fscanf(f, "%ld", &pid) != 1) {
            pid = 0;
        }
        fclose(f);
    }
    return pid;
}

// What one racer reports: its id, what port_lock_take said, and the holder it named.
struct Taken {
    long pid;
    int result;
    long holder;
};

// The pipes of one round: the racers start when `start` closes, report on `report`, and give
// back what they took when `release` closes.
struct Round {
    int start[2];
    int report[2];
    int release[2];
};

// A process that waits for the start, takes the device's lock, reports, keeps what it took
// until the release, and gives it back.
pid_t racer(const char* device, const Round& round) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    close(round.start[1]); // only the test holds the write ends, so that closing them is seen
    close(round.release[1]);
    char byte = 0;
    (void)!read(round.start[0], &byte, 1);
    char path[PORT_LOCK_PATH_BYTES];
    Taken taken{static_cast<long>(getpid()), 0, 0};
    taken.result = port_lock_take(device, path, &taken.holder);
    (void)!write(round.report[1], &taken, sizeof taken);
    (void)!read(round.release[0], &byte, 1);
    if (taken.result == PORT_LOCK_TAKEN) {
        port_lock_release(path);
    }
    _exit(0);
}

} // namespace

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
    const int rounds = 80; // the fault this guards against showed in one round of eight or more
    int both_took = 0;
    for (int round = 0; round < rounds; ++round) {
        ASSERT_TRUE(put_lock(path, ended_process()));
        Round pipes{};
        ASSERT_EQ(pipe(pipes.start), 0);
        ASSERT_EQ(pipe(pipes.report), 0);
        ASSERT_EQ(pipe(pipes.release), 0);
        const pid_t a = racer(device.c_str(), pipes);
        const pid_t b = racer(device.c_str(), pipes);
        close(pipes.start[1]); // both start at once
        Taken first{};
        Taken second{};
        const ssize_t got_first = read(pipes.report[0], &first, sizeof first);
        const ssize_t got_second = read(pipes.report[0], &second, sizeof second);
        const long in_file = pid_in(path);
        close(pipes.release[1]);
        waitpid(a, nullptr, 0);
        waitpid(b, nullptr, 0);
        for (int fd : {pipes.start[0], pipes.report[0], pipes.report[1], pipes.release[0]}) {
            close(fd);
        }
        ASSERT_EQ(got_first, static_cast<ssize_t>(sizeof first));
        ASSERT_EQ(got_second, static_cast<ssize_t>(sizeof second));
        if (first.result == PORT_LOCK_TAKEN && second.result == PORT_LOCK_TAKEN) {
            ++both_took;
            continue;
        }
        const Taken& won = first.result == PORT_LOCK_TAKEN ? first : second;
        const Taken& lost = first.result == PORT_LOCK_TAKEN ? second : first;
        ASSERT_EQ(won.result, PORT_LOCK_TAKEN) << "round " << round;
        ASSERT_EQ(lost.result, PORT_LOCK_HELD) << "round " << round;
        EXPECT_EQ(lost.holder, won.pid) << "round " << round;
        EXPECT_EQ(in_file, won.pid) << "round " << round;
        EXPECT_EQ(access(path, F_OK), -1) << "the winner's lock stayed after its release";
    }
    unlink(path);
    EXPECT_EQ(both_took, 0) << "of " << rounds << " rounds";
}
