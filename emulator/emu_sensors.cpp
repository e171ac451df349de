#include "emulator/emu_sensors.h"

#include <cmath>

namespace {
constexpr double PI = 3.14159265358979323846;
constexpr double FAR_WALL_CM[2] = {320.0, 280.0}; // distance seen with nobody on the stairs
constexpr double NEAREST_CM = 35.0;               // closest a walker comes to a sensor
constexpr double PASS_MS = 3000.0;                // time one sensor sees the walker
constexpr double DAY_MS = 600000.0;               // period of the slow light swing
} // namespace

void emu_sensors_init(EmuSensors* sensors, bool pinned, uint32_t seed) {
    sensors->light_pinned = pinned;
    sensors->distance_pinned[0] = pinned;
    sensors->distance_pinned[1] = pinned;
    sensors->light = EMU_STATIC_LIGHT;
    sensors->distance[0] = EMU_STATIC_DISTANCE1;
    sensors->distance[1] = EMU_STATIC_DISTANCE2;
    sensors->fault_bits = 0;
    sensors->seed = seed;
}

// A small integer hash, so that each walk gets its own start offset without stored state.
static uint32_t mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

static uint16_t drifting_light(uint32_t seed, double t) {
    double phase = (seed % 1000) / 1000.0 * 2.0 * PI;
    double v = 2048.0 + 1600.0 * std::sin(2.0 * PI * t / DAY_MS + phase) +
               120.0 * std::sin(2.0 * PI * t / 47000.0 + 2.0 * phase);
    if (v < 0.0) {
        v = 0.0;
    }
    if (v > 4096.0) {
        v = 4096.0;
    }
    return static_cast<uint16_t>(v);
}

// How close the walker is to sensor `index` (0 or 1) at time t: 0 when not seen, 1 when nearest.
static double walker_nearness(uint32_t seed, double t, int index) {
    int64_t walk = static_cast<int64_t>(t / EMU_WALK_PERIOD_MS);
    double into = t - static_cast<double>(walk) * EMU_WALK_PERIOD_MS;
    uint32_t h = mix(seed ^ static_cast<uint32_t>(walk * 2654435761u));
    double start = 500.0 + (h % 1500); // the walk starts 0.5 to 2 s into its period
    bool upward = (walk % 2) == 0;     // upward walks pass sensor 1 first
    int first = upward ? 0 : 1;
    double seen_from = index == first ? start : start + PASS_MS + 1500.0;
    double x = (into - seen_from) / PASS_MS; // 0..1 while this sensor sees the walker
    if (x < 0.0 || x > 1.0) {
        return 0.0;
    }
    return std::sin(PI * x); // approaches, is nearest halfway, leaves
}

EmuReadings emu_sensors_read(const EmuSensors* sensors, int64_t now_ms) {
    double t = static_cast<double>(now_ms);
    EmuReadings r;
    r.light = sensors->light_pinned ? sensors->light : drifting_light(sensors->seed, t);
    for (int i = 0; i < 2; ++i) {
        if (sensors->distance_pinned[i]) {
            r.distance[i] = sensors->distance[i];
            continue;
        }
        double noise = 2.0 * std::sin(t / (370.0 + 90.0 * i)) + std::sin(t / 53.0 + i);
        double near = walker_nearness(sensors->seed, t, i);
        double d = FAR_WALL_CM[i] + noise - near * (FAR_WALL_CM[i] - NEAREST_CM);
        r.distance[i] = static_cast<float>(std::round(d * 10.0) / 10.0);
    }
    r.fault_bits = sensors->fault_bits;
    return r;
}
