#include "settings/settings_layout.h"

#include <gtest/gtest.h>

#include "test_text.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "settings/form_text.h"

namespace {

int32_t grid_id(int column, int channel) {
    return settings_control_id(channel_position(column, channel));
}

TEST(SettingsLayout, ControlIdsOfPositions) {
    EXPECT_EQ(settings_control_id(0), 1006);
    EXPECT_EQ(settings_control_id(POS_SENSOR1_MAX), 1009);
    EXPECT_EQ(settings_control_id(POS_SENSOR2_MIN), 1007);
    EXPECT_EQ(settings_control_id(POS_USE_LIGHT_SENSOR), 1302);
    EXPECT_EQ(settings_control_id(POS_REPEAT_TIMER), 1309);
    EXPECT_EQ(settings_control_id(8), 1011);
    EXPECT_EQ(settings_control_id(247), 1301);
    EXPECT_EQ(settings_control_id(-1), 0);
    EXPECT_EQ(settings_control_id(248), 0);
}

TEST(SettingsLayout, IrregularGridIdsComeFromTheTemplate) {
    EXPECT_EQ(grid_id(6, 3), 1119);
    EXPECT_EQ(grid_id(4, 4), 1120);
    EXPECT_EQ(grid_id(5, 4), 1162);
    EXPECT_EQ(grid_id(8, 9), 1266);
    EXPECT_EQ(grid_id(9, 5), 1274);
    EXPECT_EQ(grid_id(8, 17), 1282);
    EXPECT_EQ(grid_id(9, 13), 1290);
    EXPECT_EQ(grid_id(7, 1), 1224);
    EXPECT_EQ(grid_id(7, 2), 1227);
    EXPECT_EQ(grid_id(3, 24), 1106);
    std::set<int32_t> ids;
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        ids.insert(settings_control_id(p));
    }
    EXPECT_EQ(ids.size(), 248u) << "every control appears once";
}

TEST(SettingsLayout, ValueKinds) {
    EXPECT_EQ(settings_value_kind(POS_SENSOR2_MAX), VALUE_WHOLE);
    EXPECT_EQ(settings_value_kind(POS_LIGHT_THRESHOLD), VALUE_THRESHOLD);
    EXPECT_EQ(settings_value_kind(POS_USE_LIGHT_SENSOR), VALUE_FLAG);
    EXPECT_EQ(settings_value_kind(POS_REPEAT_TIMER), VALUE_WHOLE);
    int whole = 0, tenths = 0, flags = 0;
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
            ValueKind kind = settings_value_kind(channel_position(column, channel));
            whole += kind == VALUE_WHOLE;
            tenths += kind == VALUE_TENTHS;
            flags += kind == VALUE_FLAG;
        }
    }
    EXPECT_EQ(whole, 4 * 24);
    EXPECT_EQ(tenths, 5 * 24);
    EXPECT_EQ(flags, 24);
    EXPECT_EQ(settings_value_kind(channel_position(COL_FALL_TIME, 1)), VALUE_WHOLE);
    EXPECT_EQ(settings_value_kind(channel_position(COL_OFF_END_LEVEL, 24)), VALUE_TENTHS);
    EXPECT_EQ(settings_value_kind(channel_position(COL_STANDBY_ENABLED, 9)), VALUE_FLAG);
}

std::vector<int32_t> ids_of(const PositionOrder& order, size_t from, size_t count) {
    std::vector<int32_t> ids;
    for (size_t i = from; i < from + count; ++i) {
        ids.push_back(settings_control_id(order[i]));
    }
    return ids;
}

TEST(SettingsLayout, OrdersArePermutations) {
    for (const PositionOrder* order : {&GatherOrder, &ShowOrder, &LockOrder}) {
        PositionOrder sorted = *order;
        std::sort(sorted.begin(), sorted.end());
        for (int p = 0; p < SETTINGS_COUNT; ++p) {
            ASSERT_EQ(sorted[p], p);
        }
    }
}

TEST(SettingsLayout, OrdersOfTheGlobalControls) {
    using Ids = std::vector<int32_t>;
    EXPECT_EQ(ids_of(GatherOrder, 0, 8), (Ids{1006, 1007, 1009, 1010, 1008, 1302, 1304, 1309}));
    EXPECT_EQ(ids_of(ShowOrder, 0, 8), (Ids{1006, 1007, 1009, 1010, 1008, 1304, 1309, 1302}));
    EXPECT_EQ(ids_of(LockOrder, 0, 8), (Ids{1006, 1007, 1009, 1010, 1008, 1304, 1309, 1302}));
}

TEST(SettingsLayout, OrdersWalkChannelByChannel) {
    using Ids = std::vector<int32_t>;
    // Channel 1: columns 0 to 7, the standby level, the standby check box.
    Ids gather{1011, 1012, 1013, 1083, 1107, 1108, 1109, 1224, 1260, 1250};
    EXPECT_EQ(ids_of(GatherOrder, 8, 10), gather);
    EXPECT_EQ(ids_of(ShowOrder, 8, 10), gather);
    EXPECT_EQ(ids_of(LockOrder, 8, 10),
              (Ids{1011, 1012, 1109, 1013, 1083, 1107, 1108, 1224, 1260, 1250}));
    // Channel 24 closes every list with its standby check box.
    EXPECT_EQ(ids_of(GatherOrder, 238, 10),
              (Ids{1080, 1081, 1082, 1106, 1221, 1222, 1223, 1249, 1301, 1289}));
    EXPECT_EQ(LockOrder[247], channel_position(COL_STANDBY_ENABLED, 24));
    EXPECT_EQ(LockOrder[8 + 10 * 4 + 2], channel_position(COL_OFF_END_LEVEL, 5));
}

// The form after the defaults: the last write of each position.
std::map<int, const DefaultStep*> defaults_form(const std::vector<DefaultStep>& steps) {
    std::map<int, const DefaultStep*> form;
    for (const DefaultStep& step : steps) {
        form[step.position] = &step;
    }
    return form;
}

std::vector<DefaultStep> all_defaults() {
    std::vector<DefaultStep> steps(DEFAULT_STEP_COUNT + 4);
    steps.resize(settings_defaults(steps.data(), steps.size()));
    return steps;
}

TEST(SettingsDefaults, SequenceOfWrites) {
    std::vector<DefaultStep> steps = all_defaults();
    ASSERT_EQ(steps.size(), DEFAULT_STEP_COUNT);
    std::vector<int32_t> ids;
    for (size_t i = 0; i < 8; ++i) {
        ids.push_back(settings_control_id(steps[i].position));
    }
    EXPECT_EQ(ids, (std::vector<int32_t>{1006, 1007, 1009, 1010, 1008, 1304, 1309, 1302}));
    EXPECT_TRUE(steps[7].is_flag && steps[7].checked);
    // Channel 2's writes, in order, with their texts.
    std::vector<std::pair<int, std::string>> channel2;
    for (size_t i = 18; i < 28; ++i) {
        const DefaultStep& s = steps[i];
        channel2.push_back({(s.position - GLOBAL_COUNT) / CHANNEL_COUNT,
                            s.is_flag ? (s.checked ? "on" : "off") : narrow(s.text)});
        EXPECT_EQ((s.position - GLOBAL_COUNT) % CHANNEL_COUNT, 1);
    }
    std::vector<std::pair<int, std::string>> expected{
        {COL_ON_DELAY, "50"},       {COL_FALL_TIME, "250"},         {COL_ON_START_LEVEL, "0.1"},
        {COL_OFF_END_LEVEL, "0.1"}, {COL_ON_END_LEVEL, "100.0"},    {COL_RISE_TIME, "250"},
        {COL_OFF_DELAY, "50"},      {COL_OFF_START_LEVEL, "100.0"}, {COL_STANDBY_ENABLED, "off"},
        {COL_STANDBY_LEVEL, "0.0"}};
    EXPECT_EQ(channel2, expected);
    // The last four writes: "1" into channel 1's OnDelay, FallTime, RiseTime, OffDelay.
    const int last_columns[4] = {COL_ON_DELAY, COL_FALL_TIME, COL_RISE_TIME, COL_OFF_DELAY};
    for (int i = 0; i < 4; ++i) {
        const DefaultStep& s = steps[DEFAULT_STEP_COUNT - 4 + i];
        EXPECT_EQ(s.position, channel_position(last_columns[i], 1));
        EXPECT_EQ(narrow(s.text), "1");
    }
}

TEST(SettingsDefaults, ResultingForm) {
    std::vector<DefaultStep> steps = all_defaults();
    std::map<int, const DefaultStep*> form = defaults_form(steps);
    ASSERT_EQ(form.size(), 248u) << "every control gets a default";
    auto text = [&](int column, int channel) {
        return narrow(form.at(channel_position(column, channel))->text);
    };
    auto times = [&](int channel) {
        return text(COL_ON_DELAY, channel) + " " + text(COL_RISE_TIME, channel) + " " +
               text(COL_OFF_DELAY, channel) + " " + text(COL_FALL_TIME, channel);
    };
    EXPECT_EQ(times(1), "1 1 1 1");
    EXPECT_EQ(times(2), "50 250 50 250");
    EXPECT_EQ(times(3), "100 500 100 500");
    EXPECT_EQ(times(24), "1150 5750 1150 5750");
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        bool odd = channel % 2 == 1;
        const DefaultStep* standby = form.at(channel_position(COL_STANDBY_ENABLED, channel));
        EXPECT_TRUE(standby->is_flag);
        EXPECT_EQ(standby->checked, odd) << channel;
        EXPECT_EQ(text(COL_STANDBY_LEVEL, channel), odd ? "0.1" : "0.0") << channel;
        EXPECT_EQ(text(COL_ON_START_LEVEL, channel), "0.1");
        EXPECT_EQ(text(COL_ON_END_LEVEL, channel), "100.0");
        EXPECT_EQ(text(COL_OFF_START_LEVEL, channel), "100.0");
        EXPECT_EQ(text(COL_OFF_END_LEVEL, channel), "0.1");
    }
}

TEST(SettingsDefaults, GatheredDefaults) {
    std::vector<DefaultStep> steps = all_defaults();
    float table[SETTINGS_COUNT] = {};
    for (const DefaultStep& step : steps) {
        table[step.position] =
            step.is_flag ? (step.checked ? 1.0f : 0.0f) : form_text_value(step.text);
    }
    EXPECT_EQ(table[channel_position(COL_ON_DELAY, 1)], 1.0f);
    EXPECT_EQ(table[channel_position(COL_STANDBY_LEVEL, 1)], 0.1f);
    EXPECT_EQ(table[channel_position(COL_STANDBY_LEVEL, 2)], 0.0f);
    EXPECT_EQ(table[channel_position(COL_STANDBY_ENABLED, 1)], 1.0f);
    EXPECT_EQ(table[POS_LIGHT_THRESHOLD], 50.0f);
    EXPECT_EQ(table[POS_SENSOR1_MAX], 100.0f);
    EXPECT_EQ(table[POS_OFF_TIMER], 180.0f);
    EXPECT_EQ(table[POS_REPEAT_TIMER], 5.0f);
    EXPECT_EQ(table[POS_USE_LIGHT_SENSOR], 1.0f);
    EXPECT_EQ(table[channel_position(COL_FALL_TIME, 24)], 5750.0f);
}

TEST(SettingsDefaults, ShortListIsCutNotOverrun) {
    DefaultStep steps[3];
    steps[2].position = -7;
    EXPECT_EQ(settings_defaults(steps, 2), 2u);
    EXPECT_EQ(steps[2].position, -7);
    EXPECT_EQ(settings_defaults(nullptr, 0), 0u);
}

} // namespace
