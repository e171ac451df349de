#include "settings/setting_rows.h"

// The rows stand in table order; the names of the positions and columns are their indices.
static_assert(GLOBAL_COUNT + CHANNEL_COUNT * CHANNEL_COLUMNS == SETTINGS_COUNT);
static_assert(POS_REPEAT_TIMER == GLOBAL_COUNT - 1 && COL_STANDBY_LEVEL == CHANNEL_COLUMNS - 1);
// The payload's parts follow each other without a gap.
static_assert(WIRE_CHANNELS_AT + CHANNEL_COUNT * WIRE_CHANNEL_RECORD_BYTES == WIRE_STANDBY_MASK_AT);
static_assert(WIRE_STANDBY_MASK_AT + WIRE_STANDBY_MASK_BYTES == WIRE_IMAGE_CRC_AT);

const SettingRow* setting_row(int position) {
    if (position < 0 || position >= SETTINGS_COUNT) {
        return nullptr;
    }
    if (position < GLOBAL_COUNT) {
        return &GlobalRows[position];
    }
    return &ChannelRows[(position - GLOBAL_COUNT) / CHANNEL_COUNT];
}

int setting_channel(int position) {
    if (position < GLOBAL_COUNT || position >= SETTINGS_COUNT) {
        return 0;
    }
    return (position - GLOBAL_COUNT) % CHANNEL_COUNT + 1;
}

ValueKind settings_value_kind(int position) {
    const SettingRow* row = setting_row(position);
    return row != nullptr ? row->kind : VALUE_WHOLE;
}
