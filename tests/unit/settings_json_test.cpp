// Settings read back from the JSON `show --json` prints: the round trip of a settings file, and
// one row per refusal, each an edit of the printed factory defaults. That document has the
// globals on lines 3 to 9, "channels" on line 10, and record k (channel k + 1) from line
// 11 + 13k, its "channel" one line lower and its values below that.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "cli/settings_output.h"
#include "settings/settings_json.h"

namespace {

constexpr int LAST_STANDBY_FLAG = 223;

std::string defaults_document() {
    SettingsValues values{};
    values_from_defaults(&values);
    return settings_json("defaults", values).dump(2);
}

std::string edited(const std::string& from, const std::string& to) {
    std::string text = defaults_document();
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

int read(const std::string& text, SettingsValues* values, char why[JSON_WHY_BYTES]) {
    return values_from_json(text.data(), text.size(), values, why);
}

struct Refused {
    const char* from;
    const char* to;
    const char* why;
};

const Refused REFUSED[] = {
    {"{\n  \"source\"", "[\n  \"source\"",
     "The document must be an object of settings names, not an array (line 1)."},
    {"\"use_light_sensor\": true", "\"use_light_sensor\": 1",
     "use_light_sensor (line 8) must be true or false, not 1."},
    {"\"off_timer_s\"", "\"colour\": 1, \"off_timer_s\"",
     "colour (line 9) is not a settings name."},
    {"  \"off_timer_s\": 180,\n", "", "off_timer_s is missing from the document."},
    {"\"sensor1_max_cm\"", "\"sensor1_min_cm\"", "sensor1_min_cm (line 4) is named twice."},
    {"\"channels\": [", "\"channels\": 5, \"x\": [",
     "channels (line 10) must be an array of 24 channel records, not 5."},
    {"\"on_delay_ms\": 100", "\"on_delay_ms\": \"100\"",
     "channels[2].on_delay_ms (channel 3, line 39) must be a number, not the text \"100\"."},
    {"\"on_delay_ms\": 100", "\"on_delay_ms\": \"nan\"",
     "channels[2].on_delay_ms (channel 3, line 39) is nan, not a finite number."},
    {"\"on_delay_ms\": 100", "\"on_delay_ms\": 1e39",
     "channels[2].on_delay_ms (channel 3, line 39) is 1e39, beyond the range of a "
     "single-precision value."},
    {"\"on_delay_ms\": 100", "\"on_delay_ms\": -1e999",
     "channels[2].on_delay_ms (channel 3, line 39) is -1e999, beyond the range of a "
     "single-precision value."},
    {"\"channel\": 2", "\"channel\": 3",
     "channels[1].channel (channel 2, line 25) must be 2, not 3: the records stand in channel "
     "order."},
    {"      \"rise_time_ms\": 250,\n", "",
     "channels[1].rise_time_ms (channel 2) is missing from the record at line 24."},
    {"\"standby_enabled\": true", "\"standby_enabled\": null",
     "channels[0].standby_enabled (channel 1, line 21) must be true or false, not null."},
    {"\"channels\": [", "\"channels\": [\n{}, ",
     "channels[0].channel (channel 1) is missing from the record at line 11."},
    {"\"channels\": [", "\"channels\": [,", "Not a valid JSON document: parse error at line 10, "},
};

} // namespace

// A file's values, printed as `show --json` prints them and read back, give the same file byte
// for byte: -0, the float nearest 0.1, the largest float, the smallest subnormal and a text that
// a double would round wrongly included, and channel 24's standby flag, which the file does not
// hold, stays not held.
TEST(CliJson, AFilePrintedAndReadBackIsTheSameFile) {
    SettingsValues values{};
    values_from_defaults(&values);
    values.table[0] = -0.0f;
    values.table[1] = 3.40282347e38f;
    values.table[2] = 1.4e-45f;
    values.table[POS_LIGHT_THRESHOLD] = 30.0048828125f;
    values.table[9] = 0.1f;
    values.table[10] = 16777216.0f;
    values.table[11] = -1e10f;
    values.table[12] = 7.038531e-26f; // read as a double first, this text comes back one ulp off
    uint8_t file[VALUES_FILE_DISK_MAX];
    const size_t n = values_file_bytes(&values, file);
    SettingsValues loaded{};
    ASSERT_EQ(values_file_load(file, n, &loaded), 0);

    const std::string text = settings_json("stairs.lv24", loaded).dump(2);
    SettingsValues back{};
    char why[JSON_WHY_BYTES];
    ASSERT_EQ(read(text, &back, why), 0) << why;
    uint8_t again[VALUES_FILE_DISK_MAX];
    ASSERT_EQ(values_file_bytes(&back, again), n);
    EXPECT_EQ(memcmp(again, file, n), 0);
    EXPECT_TRUE(std::signbit(back.table[0]));
    EXPECT_FALSE(back.held[LAST_STANDBY_FLAG]);
    EXPECT_FALSE(back.held[POS_REPEAT_TIMER]);
}

TEST(CliJson, ChannelTwentyFoursStandbyFlagAndTheSourceMayBeLeftOut) {
    const std::string full = defaults_document();
    const size_t flag = full.rfind("\"standby_enabled\": ");
    const size_t end = full.find('\n', flag);
    const struct {
        std::string text;
        bool flag_held;
    } rows[] = {
        {full.substr(0, full.rfind('\n', flag) + 1) + full.substr(end + 1), false},
        {full.substr(0, flag) + "\"standby_enabled\": null," + full.substr(end), false},
        {edited("\"source\": \"defaults\"", "\"source\": {\"any\": [1, {}]}"), true},
        {edited("  \"source\": \"defaults\",\n", ""), true},
    };
    for (const auto& row : rows) {
        SettingsValues values{};
        char why[JSON_WHY_BYTES];
        ASSERT_EQ(read(row.text, &values, why), 0) << why;
        EXPECT_EQ(values.held[LAST_STANDBY_FLAG], row.flag_held);
        EXPECT_EQ(values.table[channel_position(COL_OFF_END_LEVEL, 24)], 0.1f);
    }
}

TEST(CliJson, ARefusalNamesTheValueAndWhereItStands) {
    for (const Refused& row : REFUSED) {
        SettingsValues values{};
        values.table[0] = 7.0f;
        char why[JSON_WHY_BYTES];
        EXPECT_EQ(read(edited(row.from, row.to), &values, why), -1) << row.to;
        EXPECT_EQ(std::string(why).substr(0, strlen(row.why)), row.why);
        EXPECT_EQ(values.table[0], 7.0f); // untouched
    }
    Json doc = Json::parse(defaults_document());
    doc["channels"].erase(23);
    SettingsValues values{};
    char why[JSON_WHY_BYTES];
    EXPECT_EQ(read(doc.dump(2), &values, why), -1);
    EXPECT_STREQ(why, "channels (line 10) holds 23 channel records, not 24.");
    doc = Json::parse(defaults_document());
    doc["channels"].push_back(doc["channels"][23]);
    EXPECT_EQ(read(doc.dump(2), &values, why), -1);
    EXPECT_STREQ(why, "channels (line 10) holds more than 24 channel records.");
}
