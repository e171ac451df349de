#include "emulator/emu_pace.h"

namespace {

constexpr int64_t BITS_PER_BYTE = 10;
constexpr int64_t US_PER_S = 1000000;

// Bytes of the burst that have crossed at now_us.
uint64_t crossed_by(const EmuPace* pace, int64_t now_us) {
    if (now_us <= pace->start_us) {
        return 0;
    }
    const int64_t elapsed = now_us - pace->start_us;
    return static_cast<uint64_t>(elapsed * pace->baud / (BITS_PER_BYTE * US_PER_S));
}

} // namespace

void emu_pace_init(EmuPace* pace, uint32_t baud) {
    pace->baud = baud;
    emu_pace_reset(pace);
}

void emu_pace_reset(EmuPace* pace) {
    pace->busy = false;
    pace->start_us = 0;
    pace->handed = 0;
}

int64_t emu_pace_done_us(const EmuPace* pace, uint64_t count) {
    // Rounded up: a byte is never there before its stop bit.
    const int64_t bits_us = static_cast<int64_t>(count) * BITS_PER_BYTE * US_PER_S;
    return pace->start_us + (bits_us + pace->baud - 1) / pace->baud;
}

size_t emu_pace_allowed(EmuPace* pace, int64_t now_us, size_t waiting) {
    if (waiting == 0) {
        return 0;
    }
    if (!pace->busy) {
        pace->start_us = now_us;
        pace->handed = 0;
        pace->busy = true;
        return 0;
    }
    const uint64_t crossed = crossed_by(pace, now_us);
    const uint64_t ready = crossed > pace->handed ? crossed - pace->handed : 0;
    return ready < waiting ? static_cast<size_t>(ready) : waiting;
}

void emu_pace_handed(EmuPace* pace, size_t handed, size_t waiting) {
    pace->handed += handed;
    pace->busy = handed < waiting;
}

int64_t emu_pace_next_us(const EmuPace* pace, size_t waiting) {
    if (waiting == 0 || !pace->busy) {
        return -1;
    }
    uint64_t step = static_cast<uint64_t>(pace->baud) * EMU_PACE_STEP_US /
                    static_cast<uint64_t>(BITS_PER_BYTE * US_PER_S);
    if (step == 0) {
        step = 1;
    }
    if (step > waiting) {
        step = waiting;
    }
    return emu_pace_done_us(pace, pace->handed + step);
}
