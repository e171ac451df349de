// The image a write sends, apart from the rest of what the controller can hold: it compares with
// the values as a read shows them (settings_values), which only the command-line tool needs.
#include "settings/settings_hold.h"

#include <cstring>

#include "link/wire_image.h"
#include "settings/settings_values.h"

namespace {

// Whether the controller already holds `given` at `position`: it is the very value the field
// reads as, unpacked (`held`) or as a read shows it (`shown`), so that a file saved from the
// controller writes nothing back; or packing it would change no byte of the image. The light
// threshold, whose two scales differ, is held within its rounding as a read-back is checked.
bool already_held(const uint8_t current[WIRE_IMAGE_BYTES], int position, float given, float held,
                  float shown) {
    if (given == held || given == shown) {
        return true;
    }
    if (settings_value_kind(position) == VALUE_THRESHOLD) {
        return values_field_holds(position, given, held);
    }
    uint8_t packed[WIRE_IMAGE_BYTES];
    memcpy(packed, current, WIRE_IMAGE_BYTES);
    wire_image_put(packed, position, given);
    return memcmp(packed, current, WIRE_IMAGE_BYTES) == 0;
}

} // namespace

void values_image_to_write(const uint8_t current[WIRE_IMAGE_BYTES], const SettingsValues* given,
                           uint8_t out[WIRE_IMAGE_BYTES]) {
    float held[SETTINGS_COUNT] = {};
    wire_image_unpack(current, held);
    SettingsValues shown{};
    values_from_controller(current, &shown);
    memcpy(out, current, WIRE_IMAGE_BYTES);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (given->held[p] && !already_held(current, p, given->table[p], held[p], shown.table[p])) {
            wire_image_put(out, p, given->table[p]);
        }
    }
    wire_image_seal(out);
}
