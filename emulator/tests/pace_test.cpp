// The paced line's schedule, computed for given clocks: when the bytes of a burst have crossed,
// how many may be handed on at a time, and when the loop is to look again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "emulator/emu_output.h"
#include "emulator/emu_pace.h"

namespace {

// Hands on `waiting` bytes from t0, waking when the schedule says; the hand-overs as
// (time, bytes) pairs.
std::vector<std::pair<int64_t, size_t>> hand_over(uint32_t baud, int64_t t0, size_t waiting) {
    EmuPace pace;
    emu_pace_init(&pace, baud);
    std::vector<std::pair<int64_t, size_t>> steps;
    int64_t now = t0;
    while (waiting > 0 && steps.size() < 10000) {
        size_t n = emu_pace_allowed(&pace, now, waiting);
        emu_pace_handed(&pace, n, waiting);
        if (n > 0) {
            steps.emplace_back(now, n);
        }
        waiting -= n;
        int64_t next = emu_pace_next_us(&pace, waiting);
        EXPECT_TRUE(waiting == 0 ? next == -1 : next > now) << now;
        now = next;
    }
    return steps;
}

TEST(EmuPace, SettingsAnswerAt115200CrossesIn56MsInMillisecondSteps) {
    auto steps = hand_over(115200, 5000000, 649);
    ASSERT_FALSE(steps.empty());
    // 649 bytes of 10 bits: 56336 us (56.3368 rounded up), the last byte at its stop bit.
    EXPECT_EQ(steps.back().first, 5000000 + 56337);
    // 11 bytes a millisecond: the first step after 11 bytes' time (954.9 us rounded up).
    EXPECT_EQ(steps.front(), std::make_pair(int64_t{5000955}, size_t{11}));
    EXPECT_EQ(steps.size(), 59u); // steps of 11 bytes: 649 = 59 * 11
    size_t total = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        total += steps[i].second;
        // Never ahead of the line: byte k is handed on no earlier than k * 10 / 115200 s.
        EXPECT_GE((steps[i].first - 5000000) * 115200, static_cast<int64_t>(total) * 10000000);
    }
    EXPECT_EQ(total, 649u);
}

TEST(EmuPace, SlowLineHandsOnByteByByte) {
    auto steps = hand_over(1200, 0, 3);
    std::vector<std::pair<int64_t, size_t>> expected = {{8334, 1}, {16667, 1}, {25000, 1}};
    EXPECT_EQ(steps, expected);
}

TEST(EmuPace, BytesThatWaitFollowWithoutAGapAndAnIdleLineStartsAnew) {
    EmuPace pace;
    emu_pace_init(&pace, 115200);
    EXPECT_EQ(emu_pace_allowed(&pace, 1000, 6), 0u) << "a burst begins: nothing crossed yet";
    emu_pace_handed(&pace, 0, 6);
    // A late look takes in all that crossed meanwhile, and more bytes join the burst.
    EXPECT_EQ(emu_pace_allowed(&pace, 1000 + 1042, 20), 12u); // 12 bytes in 1041.7 us
    emu_pace_handed(&pace, 12, 20);
    EXPECT_EQ(emu_pace_next_us(&pace, 8), 1000 + 1737); // 20 bytes: 1736.1 us
    EXPECT_EQ(emu_pace_allowed(&pace, 1000 + 1737, 8), 8u);
    emu_pace_handed(&pace, 8, 8);
    EXPECT_EQ(emu_pace_next_us(&pace, 0), -1);
    // Nothing was left waiting: bytes seen later begin a new burst when they are seen.
    EXPECT_EQ(emu_pace_allowed(&pace, 90000, 1), 0u);
    emu_pace_handed(&pace, 0, 1);
    EXPECT_EQ(emu_pace_next_us(&pace, 1), 90000 + 87);
    emu_pace_reset(&pace);
    EXPECT_EQ(emu_pace_allowed(&pace, 95000, 1), 0u) << "a reset line starts anew too";
}

TEST(EmuPace, OutputQueueGivesOutNoMoreThanTheLimitAndCountsWhatIsDue) {
    EmuOutput output;
    emu_output_init(&output);
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    const uint8_t answer[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(emu_output_push(&output, answer, 5, 10), 0);
    ASSERT_EQ(emu_output_push(&output, answer, 2, 10), 0);
    ASSERT_EQ(emu_output_push(&output, answer, 3, 50), 0);
    EXPECT_EQ(emu_output_due_bytes(&output, 9), 0u);
    EXPECT_EQ(emu_output_due_bytes(&output, 10), 7u) << "the third is not due yet";
    EXPECT_EQ(emu_output_write_limited(&output, fds[1], 10, 3), 3);
    EXPECT_EQ(emu_output_write_limited(&output, fds[1], 10, 3), 3) << "across two segments";
    EXPECT_EQ(emu_output_due_bytes(&output, 10), 1u);
    EXPECT_EQ(emu_output_write_limited(&output, fds[1], 10, 3), 1) << "the rest is not due";
    uint8_t got[16];
    EXPECT_EQ(read(fds[0], got, sizeof got), 7);
    EXPECT_EQ(got[5], 1);
    EXPECT_EQ(got[6], 2);
    emu_output_clear(&output);
    close(fds[0]);
    close(fds[1]);
}

} // namespace
