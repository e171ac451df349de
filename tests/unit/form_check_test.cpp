// The checks of the form before a write and a save, and the log line naming the first field that
// fails, from a form of zeros (every value the controller holds) with the fields of each row
// typed in. The end-to-end table of typed texts (tests/e2e/connection_test.cpp) has more.
#include "settings/form_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Typed {
    int position;
    const char16_t* text;
};

FormGathered form_of(const std::vector<Typed>& typed) {
    FormGathered form{};
    for (const Typed& t : typed) {
        form.values[t.position] = form_text_value(t.text);
        form.kinds[t.position] = form_text_kind(t.text);
    }
    return form;
}

// The line for a form, or "" when it passes; `first_text` stands for the first failing field's
// text in the window.
std::u16string line_for(const std::vector<Typed>& typed, FormCheckFor target) {
    const FormGathered form = form_of(typed);
    const FormFaults faults = form_check(&form, target);
    if (faults.count == 0) {
        return u"";
    }
    const char16_t* first_text = u"";
    for (const Typed& t : typed) {
        if (t.position == faults.first) {
            first_text = t.text;
        }
    }
    char16_t line[TEXT_LINE_UNITS];
    const size_t n = form_fault_line(line, TEXT_LINE_UNITS, target, &faults, first_text);
    EXPECT_EQ(n, std::char_traits<char16_t>::length(line));
    return line;
}

constexpr int ON_DELAY_1 = channel_position(COL_ON_DELAY, 1);
constexpr int ON_DELAY_2 = channel_position(COL_ON_DELAY, 2);
constexpr int ON_START_3 = channel_position(COL_ON_START_LEVEL, 3);
constexpr int FALL_TIME_5 = channel_position(COL_FALL_TIME, 5);
constexpr int STANDBY_LEVEL_24 = channel_position(COL_STANDBY_LEVEL, 24);

TEST(FormCheck, TheFirstFieldThatFailsIsNamedWithWhatItHoldsAndWhatFits) {
    const std::u16string long_text(200, u'x');
    const struct {
        FormCheckFor target;
        std::vector<Typed> typed;
        std::u16string line;
    } rows[] = {
        // a comma value, and every value in range, pass
        {CHECK_FOR_CONTROLLER,
         {{ON_START_3, u"12,5"}, {POS_LIGHT_THRESHOLD, u"100"}, {POS_REPEAT_TIMER, u"abc"}},
         u""},
        {CHECK_FOR_CONTROLLER,
         {{STANDBY_LEVEL_24, u"6553,5"}, {ON_DELAY_1, u"4294967040"}, {POS_SENSOR1_MAX, u"65535"}},
         u""},
        // 2^32 ms has no place in a u32 field: it would arrive as 0
        {CHECK_FOR_CONTROLLER,
         {{FALL_TIME_5, u"4294967295"}},
         u"Не записано: Лестница 5, «Спад ярк., мс»: 4294967295 — допустимо 0…4294967040.\r\n"},
        // the threshold: 0 (night) to 100 % (day); -1 % would travel, as a raw value past night
        {CHECK_FOR_CONTROLLER,
         {{POS_LIGHT_THRESHOLD, u"-1"}},
         u"Не записано: «Освещённость, %»: -1 — допустимо 0…100.\r\n"},
        {CHECK_FOR_CONTROLLER,
         {{ON_DELAY_2, u"  "}},
         u"Не записано: Лестница 2, «Задержка вкл., мс»: пустое поле.\r\n"},
        // what a file of 1e30 shows is cut to the room the line leaves
        {CHECK_FOR_CONTROLLER,
         {{ON_DELAY_1, u"1000000015047466200000000000000"}},
         u"Не записано: Лестница 1, «Задержка вкл., мс»: 100000001504746620000000… — допустимо "
         u"0…4294967040.\r\n"},
        // the first in listing order (the global values first), and how many others fail
        {CHECK_FOR_CONTROLLER,
         {{ON_DELAY_2, u"abc"}, {POS_OFF_TIMER, u"99999"}, {ON_START_3, u"7000"}},
         u"Не записано: «Таймер Выкл., с»: 99999 — допустимо 0…65535; ещё ошибок: 2.\r\n"},
        // a file holds any float: no range, only one number each; RepeatTimer is neither sent
        // nor saved
        {CHECK_FOR_FILE,
         {{POS_SENSOR1_MIN, u"70000"}, {ON_DELAY_1, u"1e30"}, {POS_REPEAT_TIMER, u"abc"}},
         u""},
        {CHECK_FOR_FILE,
         {{POS_OFF_TIMER, u"abc"}, {ON_DELAY_2, u""}, {ON_START_3, u"NaN"}},
         u"Файл не записан: «Таймер Выкл., с»: «abc» — не число; ещё ошибок: 2.\r\n"},
        // a long text is cut to the room the line leaves
        {CHECK_FOR_FILE,
         {{STANDBY_LEVEL_24, long_text.c_str()}},
         u"Файл не записан: Лестница 24, «Ярк. деж. реж., %»: «" + std::u16string(31, u'x') +
             u"…» — не число.\r\n"},
    };
    for (const auto& row : rows) {
        const std::u16string line = line_for(row.typed, row.target);
        EXPECT_EQ(line, row.line) << testing::PrintToString(row.line);
        EXPECT_LE(line.size(), TEXT_LINE_UNITS - 1);
    }
}

} // namespace
