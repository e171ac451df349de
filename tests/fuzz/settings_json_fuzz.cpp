// A settings document in JSON, as a user gives it after editing what `show --json` printed.
//
// Input: the document's bytes. Whatever they hold, the reader answers 0 or -1 without throwing
// and without touching the values it refuses, and a refusal is one sentence. A document it takes
// is valid JSON to the library's own tree parser too, which must find the same values; printed
// again as `show --json` prints it, it must read back to the very same values, bit for bit.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "cli/settings_output.h"
#include "settings/settings_json.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool same_values(const SettingsValues& a, const SettingsValues& b) {
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (a.held[p] != b.held[p] ||
            (a.held[p] && bits_of_float(a.table[p]) != bits_of_float(b.table[p]))) {
            return false;
        }
    }
    return true;
}

// The library's tree of the same document holds the same value at `p`: the same flag, or a
// number whose double rounds to the same float or, when that double lies just halfway between
// two floats (the number written a hair from it), to the other one of them; a missing or null
// last standby flag is not held.
FUZZ_REFERENCE bool tree_agrees(const nlohmann::json& doc, const SettingsValues& v, int p) {
    const char* name = "";
    int channel = 0;
    values_position_name(p, &name, &channel);
    const nlohmann::json& holder = channel == 0 ? doc : doc["channels"][channel - 1];
    if (p == SETTINGS_FILE_UNSTORED && (!holder.contains(name) || holder[name].is_null())) {
        return !v.held[p];
    }
    const nlohmann::json& value = holder[name];
    if (value.is_boolean()) {
        return v.held[p] && v.table[p] == (value.get<bool>() ? 1.0f : 0.0f);
    }
    const double d = value.get<double>();
    if (!(std::fabs(d) < 0x1.ffffffp+127)) { // halfway between the largest float and 2^128
        return v.held[p] && std::fabs(v.table[p]) == FLT_MAX;
    }
    const float f = static_cast<float>(d);
    return v.held[p] && (bits_of_float(v.table[p]) == bits_of_float(f) ||
                         std::fabs(double{v.table[p]} - d) == std::fabs(double{f} - d));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ExactBytes text = exact_copy(data, size);
    SettingsValues values;
    memset(&values, 0x01, sizeof values); // every flag true, every value 2.4e-38
    const SettingsValues untouched = values;
    char why[JSON_WHY_BYTES];
    memset(why, 0x7F, sizeof why);
    const int read =
        values_from_json(reinterpret_cast<const char*>(text.get()), size, &values, why);
    FUZZ_CHECK(read == 0 || read == -1);
    if (read != 0) {
        FUZZ_CHECK(memchr(why, '\0', sizeof why) != nullptr && why[0] != '\0');
        FUZZ_CHECK(memcmp(&values, &untouched, sizeof values) == 0);
        return 0;
    }
    const nlohmann::json doc = nlohmann::json::parse(data, data + size, nullptr, false);
    FUZZ_CHECK(doc.is_object() && doc["channels"].size() == CHANNEL_COUNT);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (p != POS_REPEAT_TIMER) {
            FUZZ_CHECK(tree_agrees(doc, values, p));
        }
    }
    FUZZ_CHECK(!values.held[POS_REPEAT_TIMER]);

    const std::string printed = settings_json("fuzz", values).dump(2);
    SettingsValues again;
    FUZZ_CHECK(values_from_json(printed.data(), printed.size(), &again, why) == 0);
    FUZZ_CHECK(same_values(values, again));
    return 0;
}
