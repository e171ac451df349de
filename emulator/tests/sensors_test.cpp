#include <gtest/gtest.h>

#include <cmath>

#include "emulator/emu_sensors.h"

namespace {

TEST(EmuSensors, PinnedReadingsStayPut) {
    EmuSensors s;
    emu_sensors_init(&s, true, 3);
    for (int64_t t : {0, 12345, 99999999}) {
        EmuReadings r = emu_sensors_read(&s, t);
        EXPECT_EQ(r.light, EMU_STATIC_LIGHT);
        EXPECT_EQ(r.distance[0], EMU_STATIC_DISTANCE1);
        EXPECT_EQ(r.distance[1], EMU_STATIC_DISTANCE2);
        EXPECT_EQ(r.fault_bits, 0);
    }
}

// Over every walk period each sensor sees somebody come close and go, once; the light stays in
// range and drifts, never jumps.
TEST(EmuSensors, AWalkerPassesBothSensorsEveryPeriodAndTheLightDrifts) {
    EmuSensors s;
    emu_sensors_init(&s, false, 77);
    int64_t start = 1000000;
    for (int64_t walk = 0; walk < 6; ++walk) {
        float nearest[2] = {1e9f, 1e9f};
        float farthest[2] = {0.0f, 0.0f};
        for (int64_t t = 0; t < EMU_WALK_PERIOD_MS; t += 50) {
            EmuReadings r = emu_sensors_read(&s, start + walk * EMU_WALK_PERIOD_MS + t);
            for (int i = 0; i < 2; ++i) {
                nearest[i] = std::fmin(nearest[i], r.distance[i]);
                farthest[i] = std::fmax(farthest[i], r.distance[i]);
            }
        }
        for (int i = 0; i < 2; ++i) {
            EXPECT_LT(nearest[i], 60.0f) << "walk " << walk << " sensor " << i + 1;
            EXPECT_GT(farthest[i], 250.0f);
            EXPECT_LT(farthest[i], 420.0f);
        }
    }
    uint16_t previous = emu_sensors_read(&s, start).light;
    for (int64_t t = start; t < start + 600000; t += 1000) {
        uint16_t light = emu_sensors_read(&s, t).light;
        EXPECT_LE(light, 4096);
        EXPECT_LE(std::abs(light - previous), 40) << "at " << t;
        previous = light;
    }
}

} // namespace
