// What the controller can hold of the values a source gives, checked before a write and after it.
//
// Every value travels as an integer field: whole units, tenths, a 0/1 flag, or the light
// threshold's raw sensor value (link/wire_image.h). A value comes back from the controller as
// packing and unpacking leave it; it is held when that is within the field's rounding of the
// value given: half a unit (exact halves go down, so a little more), for the light threshold also
// the difference of its two scales for every percent and half a unit of offset; a flag is held
// only as exactly 1 or 0. A value beyond the field's range, or not a number, comes back as
// something else entirely and is not held.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/settings_values.h"

// A value the controller does not hold as given.
struct ValueMismatch {
    int position; // table position
    float given;  // the value of the source
    float held;   // what the controller holds (or would hold) instead
};

// True when `held`, as it comes back from the controller, is `given` within its field's rounding.
bool values_field_holds(int position, float given, float held);

// Checks the controller's values read back after a write (`stored`, a table as unpacked): each
// value `given` holds must be held within its field's rounding, and every other value must be
// exactly what it was before the write (`before`). Writes up to `cap` mismatches (for a value
// not given, the value before) in listing order (the global values, then channel after
// channel); returns how many there are in all.
size_t values_verify(const SettingsValues* given, const float before[SETTINGS_COUNT],
                     const float stored[SETTINGS_COUNT], ValueMismatch* out, size_t cap);

// The mismatches between the values `source` holds and what the controller would hold after they
// were packed and sent: the values that cannot travel, and those that would come back outside
// their range (values_range), in listing order; returns how many there are in all.
size_t values_unholdable(const SettingsValues* source, ValueMismatch* out, size_t cap);

// The range of values the controller can hold at a position: the lowest and highest
// single-precision values its field gives back, in the position's unit (values_unit); 0 and 1
// for a flag, which holds only those two; 0 to 100 % for the light threshold, from night to day. A
// value within the range is held, within its field's rounding; one beyond it by more than that
// rounding is not.
struct ValueRange {
    float lowest;
    float highest;
};
ValueRange values_range(int position);

// The settings image to send so that the controller holds the values given: the controller's
// current image byte for byte, with each value given that the controller does not already hold
// packed into its field. A value is already held when it is exactly what the field reads as,
// unpacked or as a read shows it (so a file saved from the controller writes nothing back), or
// when packing it would change no byte: a rise time of 0.5 ms against a controller holding 1 ms
// is not (it packs to 0). The light threshold is held within its rounding (values_field_holds). A
// value nobody gave keeps the exact bytes the controller sent: unpacked and packed again it could
// move (the light threshold's two scales differ, so a threshold below 50 % would drop a step with
// every write). An image equal to the current one means that nothing has to change. The last
// channel's standby flag, which no .lv24 file holds, thus stays the controller's own after a write
// of a file.
void values_image_to_write(const uint8_t current[WIRE_IMAGE_BYTES], const SettingsValues* given,
                           uint8_t out[WIRE_IMAGE_BYTES]);
