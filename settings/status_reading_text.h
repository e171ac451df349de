// The texts the window shows for the live readings of a status reply (controls 1005, 1002 and
// 1003), which the command-line tool's status output shows too.
#pragma once

#include "base/text_line.h"
#include "link/status_reply.h"

// Formats the three readings: the illuminance in percent ("%3.1f"), and each distance rounded
// to whole centimetres ("%d") or "Не работает" when its fault bit is set. A distance that
// rounds to no 32-bit integer (NaN, infinite or out of that range) is no reading either and
// shows "Не работает" too.
void status_reading_texts(const StatusReadings* readings, char16_t illuminance[TEXT_LINE_UNITS],
                          char16_t distance1[TEXT_LINE_UNITS], char16_t distance2[TEXT_LINE_UNITS]);
