// One direction of a serial line run at its real rate (--baud). A byte takes ten bit times to
// cross (start bit, eight data bits, stop bit) and is there for the other side only once its
// stop bit has arrived, so at 115200 baud 11,520 bytes cross in a second and a 649-byte settings
// answer takes 56 ms.
//
// Bytes cross one after another in bursts. A burst begins when bytes are waiting and the line
// had nothing left to carry; its k-th byte has crossed k * 10 / baud seconds after it began,
// counted from the burst's start so that no rounding piles up. Bytes that wait while earlier
// ones are still crossing follow them without a gap. The schedule is a pure function of the
// times it is given: the event loop asks how many bytes have crossed by now, hands those on
// (to the pseudo-terminal towards the PC, to the request parser from the PC) and sleeps until
// the next step's bytes will have crossed, about a millisecond later, so that a reader sees an
// answer arrive in small pieces as it would from a real port.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t EMU_PACE_MIN_BAUD = 1200;    // slowest rate taken
constexpr uint32_t EMU_PACE_MAX_BAUD = 4000000; // fastest rate taken
constexpr int64_t EMU_PACE_STEP_US = 1000;      // bytes are handed on about this often

struct EmuPace {
    uint32_t baud;    // bits a second; 0: the line is not paced
    bool busy;        // bytes were still waiting at the last hand-over: the burst goes on
    int64_t start_us; // when the current burst's first byte began to cross
    uint64_t handed;  // bytes of the current burst handed on so far
};

void emu_pace_init(EmuPace* pace, uint32_t baud);

// Time at which the first `count` bytes of the current burst have crossed.
int64_t emu_pace_done_us(const EmuPace* pace, uint64_t count);

// How many of the `waiting` bytes may be handed on at now_us. When the line had nothing left
// waiting at the last hand-over, a new burst begins at now_us (and nothing has crossed yet).
size_t emu_pace_allowed(EmuPace* pace, int64_t now_us, size_t waiting);

// Records that `handed` of the `waiting` bytes went on; the burst goes on while any are left.
void emu_pace_handed(EmuPace* pace, size_t handed, size_t waiting);

// When the next step's bytes (about EMU_PACE_STEP_US worth, at least one) of the `waiting`
// ones will have crossed; -1 when none wait.
int64_t emu_pace_next_us(const EmuPace* pace, size_t waiting);

// The line is idle: a burst cut off (the port closed, the cable pulled) is forgotten.
void emu_pace_reset(EmuPace* pace);
