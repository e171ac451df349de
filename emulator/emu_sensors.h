// The controller's sensors: a light sensor (raw 0 full daylight to 4096 dark) and two distance
// sensors in centimetres, one at each end of the staircase.
//
// Left to themselves the readings move like a real staircase, as a pure function of time so
// that they need no ticking: the light drifts slowly through a long day-like swing, the
// distances hover around the far wall with a little noise, and every walk period (about ten
// seconds) a person walks the stairs: the sensor at one end sees them approach and leave, a few
// seconds later the sensor at the other end does, and the next walk goes the other way. Each
// reading can be pinned to a fixed value (`--static` pins all of them).
#pragma once

#include <cstdint>

struct EmuSensors {
    bool light_pinned;       // light holds `light` instead of drifting
    bool distance_pinned[2]; // sensor n holds `distance[n - 1]` instead of moving
    uint16_t light;          // pinned raw light value
    float distance[2];       // pinned distances, cm
    uint8_t fault_bits;      // bit 0: sensor 1 fails, bit 1: sensor 2 fails
    uint32_t seed;           // varies the walks and the noise between runs
};

constexpr uint16_t EMU_STATIC_LIGHT = 2048;
constexpr float EMU_STATIC_DISTANCE1 = 300.0f;
constexpr float EMU_STATIC_DISTANCE2 = 350.0f;
constexpr int64_t EMU_WALK_PERIOD_MS = 10000;

void emu_sensors_init(EmuSensors* sensors, bool pinned, uint32_t seed);

struct EmuReadings {
    uint16_t light;     // raw light value
    float distance[2];  // cm
    uint8_t fault_bits; // as set
};

EmuReadings emu_sensors_read(const EmuSensors* sensors, int64_t now_ms);
