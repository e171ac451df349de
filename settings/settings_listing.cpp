// The names' order and the listing order, apart from the values' texts: the window program's
// checks list the fields in this order too, and the texts' shortest-number formatting
// (std::to_chars) would bring parts of the C++ library into the window program with them.
#include "settings/settings_values.h"

namespace {

// Position of the i-th global value with a name: scripts see them in table order.
int named_global(int i) {
    for (int p = 0; p < GLOBAL_COUNT; ++p) {
        if (GlobalRows[p].name != nullptr && i-- == 0) {
            return p;
        }
    }
    return -1;
}

constexpr int named_globals() {
    int n = 0;
    for (const SettingRow& row : GlobalRows) {
        n += row.name != nullptr;
    }
    return n;
}
static_assert(named_globals() == VALUES_GLOBAL_NAMES);

} // namespace

const char* values_global_name(int i) {
    const int p = named_global(i);
    return p >= 0 ? GlobalRows[p].name : "";
}

int values_global_position(int i) {
    const int p = named_global(i);
    return p >= 0 ? p : POS_REPEAT_TIMER;
}

size_t values_listing_order(int out[VALUES_LISTED]) {
    size_t n = 0;
    for (int i = 0; i < VALUES_GLOBAL_NAMES; ++i) {
        out[n++] = values_global_position(i);
    }
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
            out[n++] = channel_position(column, channel);
        }
    }
    return n;
}
