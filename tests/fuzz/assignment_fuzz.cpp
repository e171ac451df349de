// One assignment of `set` as a user types it on the command line.
//
// Input: the assignment's bytes, up to the first NUL. Whatever they hold, the parser answers 0
// or -1; a refusal is one sentence that begins with the assignment quoted. An assignment it
// takes is printable ASCII throughout, names 1 to 24 distinct positions of one value (one
// position for a global value), the name written before '=' is that value's name, a flag gets
// exactly 1 or 0, and every value put in place is a finite float; nothing else changes.
#include <cmath>
#include <cstring>
#include <string>

#include "settings/assign.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    Assignment a;
    memset(&a, 0, sizeof a);
    char why[ASSIGN_WHY_BYTES];
    memset(why, 0x7F, sizeof why);
    const int parsed = assign_parse(text.c_str(), &a, why);
    FUZZ_CHECK(parsed == 0 || parsed == -1);
    if (parsed != 0) {
        FUZZ_CHECK(memchr(why, '\0', sizeof why) != nullptr && why[0] == '"');
        return 0;
    }
    for (char c : text) {
        FUZZ_CHECK(c > ' ' && c < 0x7F);
    }
    FUZZ_CHECK(a.count >= 1 && a.count <= CHANNEL_COUNT);
    const char* name = "";
    int channel = 0;
    FUZZ_CHECK(values_position_name(a.positions[0], &name, &channel));
    const size_t equals = text.find('=');
    const size_t dot = text.rfind('.', equals);
    const std::string written =
        channel == 0 ? text.substr(0, equals) : text.substr(dot + 1, equals - dot - 1);
    FUZZ_CHECK(written == name && (channel != 0 || a.count == 1));
    const bool flag = settings_value_kind(a.positions[0]) == VALUE_FLAG;
    FUZZ_CHECK(!flag || (a.step == 0.0 && (a.start == 0.0 || a.start == 1.0)));

    SettingsValues values;
    memset(&values, 0, sizeof values);
    assign_apply(&a, &values);
    bool seen[SETTINGS_COUNT] = {};
    for (int k = 0; k < a.count; ++k) {
        const int p = a.positions[k];
        const char* other = "";
        int other_channel = 0;
        FUZZ_CHECK(p >= 0 && p < SETTINGS_COUNT && !seen[p]);
        FUZZ_CHECK(values_position_name(p, &other, &other_channel) && strcmp(other, name) == 0);
        seen[p] = true;
        FUZZ_CHECK(values.held[p] && std::isfinite(values.table[p]));
    }
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        FUZZ_CHECK(seen[p] || (!values.held[p] && bits_of_float(values.table[p]) == 0));
    }
    return 0;
}
