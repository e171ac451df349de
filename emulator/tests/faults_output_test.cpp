#include <gtest/gtest.h>

#include <fcntl.h>
#include <cstring>
#include <unistd.h>

#include <string>
#include <vector>

#include "emulator/emu_faults.h"
#include "emulator/emu_output.h"
#include "emulator/tests/test_bytes.h"

namespace {

// A pipe standing in for the line: what the emulator writes is read back from its other end.
struct FaultsTest : ::testing::Test {
    EmuFaults faults;
    EmuOutput output;
    int fds[2];
    void SetUp() override {
        emu_faults_reset(&faults);
        emu_output_init(&output);
        ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    }
    void TearDown() override {
        emu_output_clear(&output);
        close(fds[0]);
        close(fds[1]);
    }
    std::string line_at(int64_t now) {
        emu_output_write(&output, fds[1], now);
        uint8_t buf[65536];
        ssize_t n = read(fds[0], buf, sizeof buf);
        return n > 0 ? hex_text(buf, static_cast<size_t>(n)) : "";
    }
    void send(const char* hex, int64_t now) {
        auto bytes = hex_bytes(hex);
        ASSERT_EQ(emu_faults_send(&faults, &output, bytes.data(), bytes.size(), now), 0);
    }
};

TEST_F(FaultsTest, AnswerGoesOutAtOnceWithoutFaults) {
    send("01020304", 1000);
    EXPECT_EQ(line_at(1000), "01020304");
    EXPECT_EQ(output.count, 0u);
    EXPECT_EQ(output.queued_bytes, 0u);
}

TEST_F(FaultsTest, SilentSendsNothing) {
    faults.silent = true;
    send("01020304", 0);
    EXPECT_EQ(output.count, 0u);
}

TEST_F(FaultsTest, DelayHoldsTheAnswerBack) {
    faults.delay_ms = 150;
    send("0102", 1000);
    EXPECT_EQ(emu_output_next_due(&output), 1150);
    EXPECT_EQ(line_at(1149), "");
    EXPECT_EQ(line_at(1150), "0102");
}

TEST_F(FaultsTest, StrayBytesOnceThenAlways) {
    uint8_t once[] = {0x00, 0xFF};
    memcpy(faults.stray_once, once, sizeof once);
    faults.stray_once_length = sizeof once;
    send("aa", 0);
    send("bb", 0);
    EXPECT_EQ(line_at(0), "00ffaabb") << "only the first answer gets the stray bytes";

    faults.stray_always = true;
    faults.stray_always_bytes[0] = 0x00;
    faults.stray_always_length = 1;
    send("aa", 0);
    send("bb", 0);
    EXPECT_EQ(line_at(0), "00aa00bb");
}

TEST_F(FaultsTest, SplitSpreadsTheAnswerOverTimedPieces) {
    faults.split_pieces = 3;
    faults.split_pause_ms = 20;
    faults.delay_ms = 5;
    send("0102030405060708090a0b0c0d0e0f1011", 100); // 17 bytes: 6 + 6 + 5
    EXPECT_EQ(output.count, 3u);
    EXPECT_EQ(line_at(104), "");
    EXPECT_EQ(line_at(105), "010203040506");
    EXPECT_EQ(line_at(124), "");
    EXPECT_EQ(line_at(125), "0708090a0b0c");
    EXPECT_EQ(line_at(145), "0d0e0f1011");
    faults.split_pieces = 10;
    faults.split_pause_ms = 0;
    send("0102", 200);
    EXPECT_EQ(output.count, 2u) << "never more pieces than bytes";
}

TEST_F(FaultsTest, JunkLargerThanTheLineTakesGoesOutInTurns) {
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
    ASSERT_EQ(emu_output_push_junk(&output, 100000, 0x5A, 0), 0);
    send("0102", 0);
    std::string seen;
    for (int turn = 0; turn < 1000 && output.count > 0; ++turn) {
        seen += line_at(0);
    }
    seen += line_at(0);
    ASSERT_EQ(seen.size(), 2u * 100002);
    EXPECT_EQ(seen.substr(0, 8), "5a5a5a5a");
    EXPECT_EQ(seen.substr(seen.size() - 6), "5a0102") << "the answer follows the junk";
}

TEST_F(FaultsTest, QueueRefusesWhatIsBeyondItsBounds) {
    EXPECT_EQ(emu_output_push_junk(&output, EMU_OUTPUT_MAX_BYTES + 1, -1, 0), -1);
    EXPECT_EQ(output.count, 0u);
    ASSERT_EQ(emu_output_push_junk(&output, EMU_OUTPUT_MAX_BYTES, -1, 0), 0);
    EXPECT_EQ(emu_output_push_junk(&output, 1, -1, 0), -1);
    emu_output_clear(&output);
    EXPECT_EQ(output.queued_bytes, 0u);
    EXPECT_EQ(emu_output_next_due(&output), -1);
}

TEST(EmuFaultSlots, RawAnswersAndTruncationsAreKeptPerCommand) {
    EmuFaults f;
    emu_faults_reset(&f);
    uint8_t one = 1;
    for (uint16_t c = 0; c < EMU_FAULT_SLOTS; ++c) {
        ASSERT_EQ(emu_faults_arm_raw(&f, c, &one, 1), 0);
        ASSERT_EQ(emu_faults_set_truncation(&f, c, 3), 0);
    }
    EXPECT_EQ(emu_faults_arm_raw(&f, 0x99, &one, 1), -1) << "every slot taken";
    EXPECT_EQ(emu_faults_arm_raw(&f, 2, &one, 1), 0) << "re-arming a command reuses its slot";
    EXPECT_EQ(emu_faults_set_truncation(&f, 0x99, 3), -1);
    EXPECT_EQ(emu_faults_truncated_length(&f, 2, 17), 3u);
    EXPECT_EQ(emu_faults_truncated_length(&f, 2, 2), 2u) << "never longer than the answer";
    emu_faults_set_truncation(&f, 2, -1);
    EXPECT_EQ(emu_faults_truncated_length(&f, 2, 17), 17u);
    EXPECT_EQ(emu_faults_set_truncation(&f, 0x99, 3), 0) << "the freed slot is reused";
    EXPECT_NE(emu_faults_take_raw(&f, 5), nullptr);
    EXPECT_EQ(emu_faults_take_raw(&f, 5), nullptr);
    EXPECT_EQ(emu_faults_arm_raw(&f, 0x99, &one, EMU_RAW_MAX + 1), -1);
}

} // namespace
