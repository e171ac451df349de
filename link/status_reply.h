// The controller's answer to a status request and the texts the form shows for it.
//
// The reply is a 17-byte frame: command, length, raw light u16 at 4, distance of sensor 1 and
// of sensor 2 as 32-bit floats at 6 and 10, fault bits u8 at 14, CRC; little-endian. Zero bytes
// before it are skipped. Only the low byte of its length field and the presence of every field
// are checked; the command and the CRC are not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text_line.h"

// The live readings of one status reply.
struct StatusReadings {
    uint16_t raw_light; // light sensor: 0 full daylight, 4096 dark
    float distance1;    // sensor 1, cm
    float distance2;    // sensor 2, cm
    uint8_t fault_bits; // bit 0: sensor 1 fails, bit 1: sensor 2 fails
};

// Reads the status reply among the n bytes of one read. Returns false, leaving *out alone, when
// only zero bytes arrived, when fewer bytes arrived than the low length byte says, or when they
// do not reach the last field.
bool status_reply_parse(const uint8_t* data, size_t n, StatusReadings* out);

// Formats the three readings: the illuminance in percent ("%3.1f"), and each distance rounded
// to whole centimetres ("%d") or "Не работает" when its fault bit is set. A distance that
// rounds to no 32-bit integer (NaN, infinite or out of that range) is no reading either and
// shows "Не работает" too.
void status_reading_texts(const StatusReadings* readings, char16_t illuminance[TEXT_LINE_UNITS],
                          char16_t distance1[TEXT_LINE_UNITS], char16_t distance2[TEXT_LINE_UNITS]);
