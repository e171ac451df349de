// The controller's answer to a status request. The texts the window shows for it are made in
// settings/status_reading_text.h.
//
// The reply is a 17-byte frame: command, length, raw light u16 at 4, distance of sensor 1 and
// of sensor 2 as 32-bit floats at 6 and 10, fault bits u8 at 14, CRC; little-endian. Zero bytes
// before it are skipped. Only the low byte of its length field and the presence of every field
// are checked; the command and the CRC are not.
#pragma once

#include <cstddef>
#include <cstdint>

// The live readings of one status reply.
struct StatusReadings {
    uint16_t raw_light; // light sensor: 0 full daylight, 4096 dark
    float distance1;    // sensor 1, cm
    float distance2;    // sensor 2, cm
    uint8_t fault_bits; // STATUS_FAULT_* bits
};

constexpr uint8_t STATUS_FAULT_SENSOR1 = 0x01; // fault bit: sensor 1 fails
constexpr uint8_t STATUS_FAULT_SENSOR2 = 0x02; // fault bit: sensor 2 fails

// Reads the status reply among the n bytes of one read. Returns false, leaving *out alone, when
// only zero bytes arrived, when fewer bytes arrived than the low length byte says, or when they
// do not reach the last field.
bool status_reply_parse(const uint8_t* data, size_t n, StatusReadings* out);
