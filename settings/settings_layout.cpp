#include "settings/settings_layout.h"

#include "base/number_text.h"

int32_t settings_control_id(int position) {
    if (position < 0 || position >= SETTINGS_COUNT) {
        return 0;
    }
    if (position < GLOBAL_COUNT) {
        return GlobalRows[position].control_id;
    }
    return ControlIdGrid[position - GLOBAL_COUNT];
}

namespace {

// Appends one write to the list while there is room; the count goes on regardless.
struct DefaultList {
    DefaultStep* out;
    size_t cap;
    size_t count;
};

void defaults_text(DefaultList* list, int position, const char16_t* text) {
    if (list->count < list->cap) {
        DefaultStep* step = &list->out[list->count];
        *step = DefaultStep{};
        step->position = static_cast<int16_t>(position);
        for (size_t i = 0; i + 1 < sizeof step->text / sizeof step->text[0] && text[i] != 0; ++i) {
            step->text[i] = text[i];
        }
    }
    ++list->count;
}

void defaults_check(DefaultList* list, int position, bool checked) {
    if (list->count < list->cap) {
        DefaultStep* step = &list->out[list->count];
        *step = DefaultStep{};
        step->position = static_cast<int16_t>(position);
        step->is_flag = true;
        step->checked = checked;
    }
    ++list->count;
}

void defaults_int(DefaultList* list, int position, int32_t value) {
    char16_t text[8];
    num_format_int(text, 8, value);
    defaults_text(list, position, text);
}

} // namespace

size_t settings_defaults(DefaultStep* out, size_t cap) {
    DefaultList list{out, out != nullptr ? cap : 0, 0};
    defaults_text(&list, POS_SENSOR1_MIN, u"0");
    defaults_text(&list, POS_SENSOR2_MIN, u"0");
    defaults_text(&list, POS_SENSOR1_MAX, u"100");
    defaults_text(&list, POS_SENSOR2_MAX, u"100");
    defaults_text(&list, POS_LIGHT_THRESHOLD, u"50.0");
    defaults_text(&list, POS_OFF_TIMER, u"180");
    defaults_text(&list, POS_REPEAT_TIMER, u"5");
    defaults_check(&list, POS_USE_LIGHT_SENSOR, true);

    char16_t low[8];     // one text for both the start level on and the end level off
    char16_t full[8];    // the end level on and the start level off
    char16_t standby[8]; // the standby level of the even channel numbers
    num_format_fixed(low, 8, 0.1, 1);
    num_format_fixed(full, 8, 100.0, 1);
    num_format_fixed(standby, 8, 0.0, 1);
    int32_t step50 = 0;
    int32_t step250 = 0;
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        bool odd = (channel - 1) % 2 == 0;
        defaults_int(&list, channel_position(COL_ON_DELAY, channel), step50);
        defaults_int(&list, channel_position(COL_FALL_TIME, channel), step250);
        defaults_text(&list, channel_position(COL_ON_START_LEVEL, channel), low);
        defaults_text(&list, channel_position(COL_OFF_END_LEVEL, channel), low);
        defaults_text(&list, channel_position(COL_ON_END_LEVEL, channel), full);
        defaults_int(&list, channel_position(COL_RISE_TIME, channel), step250);
        defaults_int(&list, channel_position(COL_OFF_DELAY, channel), step50);
        defaults_text(&list, channel_position(COL_OFF_START_LEVEL, channel), full);
        defaults_check(&list, channel_position(COL_STANDBY_ENABLED, channel), odd);
        defaults_text(&list, channel_position(COL_STANDBY_LEVEL, channel), odd ? low : standby);
        step50 += 50;
        step250 += 250;
    }
    // Channel 1's four times show 1 rather than the counters' 0.
    defaults_text(&list, channel_position(COL_ON_DELAY, 1), u"1");
    defaults_text(&list, channel_position(COL_FALL_TIME, 1), u"1");
    defaults_text(&list, channel_position(COL_RISE_TIME, 1), u"1");
    defaults_text(&list, channel_position(COL_OFF_DELAY, 1), u"1");
    return list.count < list.cap ? list.count : list.cap;
}
