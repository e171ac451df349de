// The controller's settings store: the 643-byte payload it answers a settings read with and
// takes from a settings write. The controller keeps the bytes as they came; this file builds its
// factory contents from the defaults table with an encoder of its own (scaled integers rounded
// with +0.4999, the light threshold as a raw sensor value, the standby flags as a bit mask) and
// checks and seals the payload's own CRC-16 (over bytes 0 to 640, stored at 641).
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulator/emu_frame.h"
#include "settings/settings_layout.h"

constexpr size_t EMU_SETTINGS_CRC_AT = 641;

// The factory table: every setting as the controller leaves the factory.
void emu_settings_factory_table(float table[SETTINGS_COUNT]);

// Encodes a settings table into the payload, its CRC included.
void emu_settings_encode(const float table[SETTINGS_COUNT], uint8_t out[EMU_SETTINGS_BYTES]);

// The factory payload.
void emu_settings_factory(uint8_t out[EMU_SETTINGS_BYTES]);

bool emu_settings_crc_ok(const uint8_t payload[EMU_SETTINGS_BYTES]);
void emu_settings_seal(uint8_t payload[EMU_SETTINGS_BYTES]);
