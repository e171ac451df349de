// The controller's settings payload: 643 bytes of scaled integers with a CRC-16 of their own,
// carried by every settings write and by the reply to a settings read.
//
// Layout (offsets in the payload, little-endian, unaligned): six u16 globals and the u8 light
// sensor flag at 0 to 12, 24 channel records of 26 bytes from 13, the u32 standby mask at 637
// (bit n-1 for channel n), the CRC-16 over bytes 0 to 640 at 641. RepeatTimer is not carried.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/frame.h"
#include "settings/settings_layout.h"

constexpr size_t WIRE_IMAGE_CRC_AT = 641; // inner CRC, over every byte before it

// Packing turns each value into an integer the way the controller expects: in double precision,
// scaled (tenths for the levels), plus WIRE_ROUNDING, so that exact halves go down, and cut
// toward zero. The light threshold goes out as a raw sensor value, WIRE_THRESHOLD_RAW -
// (percent * WIRE_THRESHOLD_OUT_SCALE + WIRE_ROUNDING), and comes back as (WIRE_THRESHOLD_RAW -
// raw) * 100 / WIRE_THRESHOLD_RAW; the two scales differ, so 30 % returns as 30.005 %.
constexpr double WIRE_ROUNDING = 0.4999;
constexpr double WIRE_THRESHOLD_RAW = 4096.0;      // the light sensor's full scale
constexpr double WIRE_THRESHOLD_OUT_SCALE = 40.95; // raw units per percent, going out

// Packs the table into the payload, inner CRC included. table[POS_REPEAT_TIMER] is not read.
void wire_image_pack(const float table[SETTINGS_COUNT], uint8_t payload[WIRE_IMAGE_BYTES]);

// Unpacks the payload into the table. table[POS_REPEAT_TIMER] is left as it was. The payload
// is not checked: callers test it with wire_image_valid first.
void wire_image_unpack(const uint8_t payload[WIRE_IMAGE_BYTES], float table[SETTINGS_COUNT]);

// True when `available` bytes cover the whole payload and its inner CRC matches.
bool wire_image_valid(const uint8_t* payload, size_t available);
