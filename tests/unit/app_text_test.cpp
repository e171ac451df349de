#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/caption_version.h"
#include "app/status_log_text.h"
#include "app/window_place.h"
#include "base/log_format.h"
#include "base/text_cp1251.h"

namespace {

constexpr size_t LOG_BYTES = 32767;
constexpr size_t LINE_UNITS = 100;

// ---- CP1251 -----------------------------------------------------------------------------

TEST(Cp1251, CyrillicLettersAndAscii) {
    char16_t out[32];
    EXPECT_EQ(cp1251_to_utf16(out, "C:\\\xCF\xF0\xE8\xEC\xE5\xF0 \xA8\xB8.lv24"), 17u);
    EXPECT_EQ(std::u16string(out), u"C:\\Пример Ёё.lv24");
    cp1251_to_utf16(out, "\xC0\xDF\xE0\xFF\x7F");
    EXPECT_EQ(std::u16string(out), u"АЯая\x7F");
    EXPECT_EQ(cp1251_to_utf16(out, ""), 0u);
    EXPECT_EQ(out[0], 0);
}

TEST(Cp1251, OtherHighBytesMoveByTheLettersOffset) {
    char16_t out[8];
    cp1251_to_utf16(out, "\x80\xB9\xBF\xA9");
    EXPECT_EQ(out[0], 0x04D0);
    EXPECT_EQ(out[1], 0x0409); // not the numero sign
    EXPECT_EQ(out[2], 0x040F);
    EXPECT_EQ(out[3], 0x04F9);
    EXPECT_EQ(out[4], 0);
}

TEST(Cp1251, BoundedConversionStopsAtTheBuffer) {
    char16_t out[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    EXPECT_EQ(cp1251_to_utf16_n(out, 0, "abc"), 0u);
    EXPECT_EQ(out[0], u'#');
    EXPECT_EQ(cp1251_to_utf16_n(out, 3, "\xC0\xC1\xC2\xC3"), 2u);
    EXPECT_EQ(std::u16string(out), u"АБ");
    EXPECT_EQ(out[3], u'#');
}

// ---- caption ----------------------------------------------------------------------------

std::u16string piece(const char* date, int which) {
    char16_t first[16];
    char16_t second[16];
    caption_version_pieces(date, first, 16, second, 16);
    return which == 1 ? first : second;
}

TEST(CaptionVersion, PiecesOfTheBuildDate) {
    EXPECT_EQ(piece("May 15 2017", 1), u"May ");
    EXPECT_EQ(piece("May 15 2017", 2), u"2017");
    EXPECT_EQ(piece("May  5 2017", 1), u"May ");
    EXPECT_EQ(piece("May  5 2017", 2), u"5 2017");
    EXPECT_EQ(piece("May", 1), u"May");
    EXPECT_EQ(piece("May", 2), u"");
    EXPECT_EQ(piece("May 15", 2), u"");
    EXPECT_EQ(piece("", 1), u"");
}

TEST(CaptionVersion, PiecesAreBounded) {
    char16_t first[3] = {u'#', u'#', u'#'};
    char16_t second[2] = {u'#', u'#'};
    caption_version_pieces("Septembre 15 2017", first, 3, second, 2);
    EXPECT_EQ(std::u16string(first), u"Se");
    EXPECT_EQ(std::u16string(second), u"2");
    std::string long_date = "May " + std::string(200, '1') + " " + std::string(200, '2');
    char16_t big[300];
    caption_version_pieces(long_date.c_str(), big, 300, big, 300);
    EXPECT_LT(std::u16string(big).size(), 300u);
}

TEST(CaptionVersion, FullCaption) {
    char16_t caption[CAPTION_UNITS] = u"lumivo";
    EXPECT_EQ(caption_append_version(caption, CAPTION_UNITS, "May 15 2017"), 26u);
    EXPECT_EQ(std::u16string(caption), u"lumivo, Version: May  2017");
}

TEST(CaptionVersion, AppendedTextKeepsToItsLimitAndTheBuffer) {
    std::vector<char16_t> caption(CAPTION_UNITS, u'#');
    std::fill(caption.begin(), caption.begin() + 400, u'c');
    caption[400] = 0;
    std::string date = "May " + std::string(40, '1') + " " + std::string(180, '2');
    EXPECT_EQ(caption_append_version(caption.data(), CAPTION_UNITS, date.c_str()), 511u);
    EXPECT_EQ(caption[511], 0);

    std::fill(caption.begin(), caption.end(), u'#');
    caption[0] = u'x';
    caption[1] = 0;
    std::string wide_date = "May " + std::string(300, '1') + " " + std::string(300, '2');
    EXPECT_EQ(caption_append_version(caption.data(), CAPTION_UNITS, wide_date.c_str()),
              1 + CAPTION_VERSION_UNITS - 1);
    EXPECT_EQ(caption[200], 0);
    EXPECT_EQ(caption[201], u'#');

    std::vector<char16_t> full(8, u'z'); // no terminator anywhere
    EXPECT_EQ(caption_append_version(full.data(), 8, "May 15 2017"), 7u);
    EXPECT_EQ(full[7], 0);
}

// ---- status log -------------------------------------------------------------------------

struct Log {
    std::vector<char16_t> buffer = std::vector<char16_t>(LOG_BYTES / 2 + 1, 0);
    size_t append(const std::u16string& text) {
        return status_log_append(buffer.data(), LOG_BYTES, text.c_str());
    }
    std::u16string text() const { return buffer.data(); }
};

TEST(StatusLog, LinesAccumulate) {
    Log log;
    EXPECT_EQ(log.append(u"Контроллер подключен.\r\n"), 23u);
    EXPECT_EQ(log.append(u"Контроллер отключен.\r\n"), 45u);
    EXPECT_EQ(log.text(), u"Контроллер подключен.\r\nКонтроллер отключен.\r\n");
    EXPECT_EQ(log.append(u""), 45u);
}

TEST(StatusLog, ReachingTheLimitReplacesTheLog) {
    Log log;
    log.append(std::u16string(16000, u'a'));
    // 32000 + 764 = 32764 bytes: still appended.
    EXPECT_EQ(log.append(std::u16string(382, u'b')), 16382u);
    Log other;
    other.append(std::u16string(16000, u'a'));
    // 32000 + 766 = 32766 bytes, at or above 32765: the line replaces the log.
    EXPECT_EQ(other.append(std::u16string(383, u'c')), 383u);
    EXPECT_EQ(other.text(), std::u16string(383, u'c'));
    EXPECT_EQ(other.buffer[383], 0);
}

TEST(StatusLog, OverlongLineIsCutToTheBuffer) {
    std::vector<char16_t> buffer(LOG_BYTES / 2 + 4, u'#');
    buffer[0] = 0;
    std::u16string huge(40000, u'x');
    EXPECT_EQ(status_log_append(buffer.data(), LOG_BYTES, huge.c_str()), 16382u);
    EXPECT_EQ(buffer[16382], 0);
    EXPECT_EQ(buffer[16383], u'#'); // byte 32766 is the buffer's last; nothing after it

    // A log with no terminator in its buffer is replaced as well.
    std::vector<char16_t> garbage(8, u'g');
    EXPECT_EQ(status_log_append(garbage.data(), 16, u"line"), 4u);
    EXPECT_EQ(std::u16string(garbage.data()), u"line");
}

// ---- log lines --------------------------------------------------------------------------

TEST(LogLine, ArgumentsAreFilledIn) {
    char16_t line[LINE_UNITS];
    EXPECT_EQ(log_format_int(line, LINE_UNITS, u"Количество COM-портов: %d\r\n", 3), 26u);
    EXPECT_EQ(std::u16string(line), u"Количество COM-портов: 3\r\n");
    log_format_int(line, LINE_UNITS, u"%d", INT32_MIN);
    EXPECT_EQ(std::u16string(line), u"-2147483648");
    log_format(line, LINE_UNITS, u"Ошибка открытия файла %s.\r\n", u"C:\\a.lv24");
    EXPECT_EQ(std::u16string(line), u"Ошибка открытия файла C:\\a.lv24.\r\n");
    log_format(line, LINE_UNITS, u"Восстановлены значения по умолчанию.\r\n", u"x");
    EXPECT_EQ(std::u16string(line), u"Восстановлены значения по умолчанию.\r\n");
}

// A line too long for its buffer loses the middle of its argument, marked "…": a path keeps the
// folders from its start that fit beside its file name, or its start and its end in halves when
// the name is too long for that, and never half of a surrogate pair; the words after it and the
// line break stay. A pattern too long by itself keeps its line break. (The log text fuzzer checks
// every buffer size against a model of this rule.)
TEST(LogLine, ALongLineIsCutInItsArgumentAndKeepsItsLineBreak) {
    const std::u16string folder = u"C:\\Users\\Техник\\" + std::u16string(41, u'д');
    const std::u16string name = u"C:\\" + std::u16string(80, u'п') + u".lv24";
    const struct {
        size_t cap;
        const char16_t* pattern;
        std::u16string argument;
        std::u16string expected;
    } rows[] = {
        {LINE_UNITS, u"Данные записаны в файл \"%s\".\r\n", folder + u"\\Подъезд 2.lv24",
         u"Данные записаны в файл \"C:\\Users\\Техник\\…\\Подъезд 2.lv24\".\r\n"},
        {LINE_UNITS, u"Данные записаны в файл \"%s\".\r\n",
         folder.substr(0, 55) + u"\\Подъезд 2.lv24",
         u"Данные записаны в файл \"" + folder.substr(0, 55) + u"\\Подъезд 2.lv24\".\r\n"},
        {LINE_UNITS, u"Данные записаны в файл \"%s\".\r\n", name,
         u"Данные записаны в файл \"C:\\" + std::u16string(32, u'п') + u"…" +
             std::u16string(30, u'п') + u".lv24\".\r\n"},
        {34, u"Ошибка открытия файла %s.\r\n", u"C:\\a.lv24",
         u"Ошибка открытия файла C:\\a…v24.\r\n"},
        {6, u"%s", u"a\U0001F4C1bcd", u"a…cd"},
        {6, u"%s", u"abc\U0001F4C1d", u"ab…d"},
        {26, u"Ошибка открытия файла %s.\r\n", u"C:\\a.lv24", u"Ошибка открытия файла .\r\n"},
        {12, u"Ошибка открытия файла %s.\r\n", u"C:\\a.lv24", u"Ошибка от\r\n"},
    };
    for (const auto& row : rows) {
        std::vector<char16_t> line(row.cap + 4, u'#');
        const size_t length = log_format(line.data(), row.cap, row.pattern, row.argument.c_str());
        EXPECT_EQ(std::u16string(line.data()), row.expected) << row.cap;
        EXPECT_EQ(length, row.expected.size());
        EXPECT_EQ(line[row.cap], u'#');
    }
    char16_t line[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(log_format(line, 1, u"abc", u""), 0u);
    EXPECT_EQ(line[0], 0);
    EXPECT_EQ(log_format(line, 0, u"abc", u""), 0u);
}

// ---- the window on its screen --------------------------------------------------------------

// Centred in the work area when it fits; otherwise at the area's top or left edge, so that the
// caption bar stays on the screen. The areas are the work areas of a 1366x768 screen and of a
// second screen left of the first.
TEST(WindowPlace, CentredWhereItFitsAndCaptionOnTheScreenWhereNot) {
    const struct {
        PlaceArea area;
        int32_t width, height, left, top;
    } rows[] = {
        {{0, 0, 1366, 720}, 1200, 1017, 83, 0},
        {{0, 0, 1366, 720}, 1400, 600, 0, 60},
        {{-1280, 40, 0, 1024}, 1600, 2000, -1280, 40},
        {{-1280, 40, 0, 1024}, 1000, 500, -1140, 282},
    };
    for (const auto& row : rows) {
        int32_t left = -1, top = -1;
        window_place(&row.area, row.width, row.height, &left, &top);
        EXPECT_EQ(left, row.left) << row.width << "x" << row.height;
        EXPECT_EQ(top, row.top) << row.width << "x" << row.height;
    }
}

} // namespace
