// One assignment of `set` as a user types it on the command line.
//
// Input: the assignment's bytes, up to the first NUL. Whatever they hold, the parser answers 0
// or -1; a refusal is one sentence that begins with the assignment quoted. An assignment it
// takes is printable ASCII throughout; it names distinct positions, channel after channel of a
// selection of 1 to 24 for each name (one position per name for global values); every position
// belongs to one of the names written before '=', all of one kind; a flag gets exactly 1 or 0,
// and every value put in place is a finite float, the same for every name at the same place of
// the selection; nothing else changes.
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
    FUZZ_CHECK(a.channels >= 1 && a.channels <= CHANNEL_COUNT && a.count % a.channels == 0);
    FUZZ_CHECK(a.count >= 1 && a.count <= ASSIGN_MAX_POSITIONS);
    const char* name = "";
    int channel = 0;
    FUZZ_CHECK(values_position_name(a.positions[0], &name, &channel));
    const size_t equals = text.find('=');
    const size_t dot = text.rfind('.', equals);
    const std::string written =
        "," + (channel == 0 ? text.substr(0, equals) : text.substr(dot + 1, equals - dot - 1)) +
        ",";
    FUZZ_CHECK(channel != 0 || a.channels == 1);
    const bool flag = settings_value_kind(a.positions[0]) == VALUE_FLAG;
    FUZZ_CHECK(!flag || (a.step == 0.0 && (a.start == 0.0 || a.start == 1.0)));

    SettingsValues values;
    memset(&values, 0, sizeof values);
    assign_apply(&a, &values);
    bool seen[SETTINGS_COUNT] = {};
    for (int k = 0; k < a.count; ++k) {
        const int p = a.positions[k];
        const char* own = "";
        int own_channel = 0;
        FUZZ_CHECK(p >= 0 && p < SETTINGS_COUNT && !seen[p]);
        FUZZ_CHECK(values_position_name(p, &own, &own_channel));
        FUZZ_CHECK(written.find("," + std::string(own) + ",") != std::string::npos);
        FUZZ_CHECK((own_channel == 0) == (channel == 0));
        FUZZ_CHECK((settings_value_kind(p) == VALUE_FLAG) == flag);
        seen[p] = true;
        FUZZ_CHECK(values.held[p] && std::isfinite(values.table[p]));
        const float first_name = values.table[a.positions[k % a.channels]];
        FUZZ_CHECK(bits_of_float(values.table[p]) == bits_of_float(first_name));
    }
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        FUZZ_CHECK(seen[p] || (!values.held[p] && bits_of_float(values.table[p]) == 0));
    }
    return 0;
}
