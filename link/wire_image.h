// The controller's settings payload: 643 bytes of scaled integers with a CRC-16 of their own,
// carried by every settings write and by the reply to a settings read.
//
// The layout is that of the settings' rows (settings/setting_rows.h): each row says where its
// field stands, how wide it is and how it is scaled, or that the value travels otherwise (the
// light threshold, the standby flags) or not at all (RepeatTimer).
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/frame.h"
#include "settings/setting_rows.h"

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

// Packs one table value into its field of a payload by the same rule, StandbyEnabled into its
// bit of the standby mask, and leaves every other byte as it is; RepeatTimer has no field and
// changes nothing. The inner CRC is not updated: wire_image_seal does that once every value is in.
void wire_image_put(uint8_t payload[WIRE_IMAGE_BYTES], int position, float value);
void wire_image_seal(uint8_t payload[WIRE_IMAGE_BYTES]);

// The values a position's field can give back, in the table's unit: what its lowest and its
// highest integer unpack to (0 and 1 for a standby flag, which is one bit of the mask; for the
// light threshold the raw value 65535 gives the lowest percentage, -1499.9755859375, and 0 the
// highest, 100). False for RepeatTimer.
bool wire_image_field_range(int position, double* lowest, double* highest);

// Unpacks the payload into the table. table[POS_REPEAT_TIMER] is left as it was. The payload
// is not checked: callers test it with wire_image_valid first.
void wire_image_unpack(const uint8_t payload[WIRE_IMAGE_BYTES], float table[SETTINGS_COUNT]);

// True when `available` bytes cover the whole payload and its inner CRC matches.
bool wire_image_valid(const uint8_t* payload, size_t available);
