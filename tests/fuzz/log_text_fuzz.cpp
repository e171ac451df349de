// Text from outside on its way into the status log: the command line (8-bit CP1251, a settings
// file path) converted to UTF-16, formatted into a log line, and the lines appended to the log.
//
// Input: a byte for the size of the converted text's buffer, a byte for the line buffer's size,
// a byte for the log buffer's size in bytes (odd sizes included, as the program's 32767), then
// the command line, NUL-terminated at the end of the input or at its first 0 byte.
#include <cstring>
#include <string>

#include "app/status_log_text.h"
#include "base/log_format.h"
#include "base/text_cp1251.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The CP1251 letters А..я at 0xC0..0xFF, Ё and ё at 0xA8 and 0xB8; ASCII as it is; any other
// byte moved by the letters' offset.
char16_t cp1251_reference(uint8_t byte) {
    if (byte < 0x80) {
        return byte;
    }
    if (byte == 0xA8) {
        return u'Ё';
    }
    if (byte == 0xB8) {
        return u'ё';
    }
    if (byte >= 0xC0) {
        return static_cast<char16_t>(u'А' + (byte - 0xC0));
    }
    return static_cast<char16_t>(0x0400 + ((byte + 0x50) & 0xFF));
}

// The text must be terminated within cap units and equal the expected one cut to fit.
void check_cut(const char16_t* out, size_t cap, size_t length, const std::u16string& expected) {
    if (cap == 0) {
        FUZZ_CHECK(length == 0);
        return;
    }
    size_t fits = std::min(expected.size(), cap - 1);
    FUZZ_CHECK(length == fits);
    FUZZ_CHECK(out[length] == 0);
    FUZZ_CHECK(std::u16string(out, length) == expected.substr(0, fits));
}

// Converts the command line into a buffer of cap units.
std::u16string check_conversion(const char* line, size_t cap) {
    std::u16string expected;
    for (const char* c = line; *c != '\0'; ++c) {
        expected += cp1251_reference(static_cast<uint8_t>(*c));
    }
    std::unique_ptr<char16_t[]> out(new char16_t[cap]);
    size_t length = cp1251_to_utf16_n(out.get(), cap, line);
    check_cut(out.get(), cap, length, expected);

    std::unique_ptr<char16_t[]> whole(new char16_t[strlen(line) + 1]);
    FUZZ_CHECK(cp1251_to_utf16(whole.get(), line) == expected.size());
    FUZZ_CHECK(whole[expected.size()] == 0 && std::u16string(whole.get()) == expected);
    return cap == 0 ? std::u16string() : std::u16string(out.get(), length);
}

// An argument too long for its `keep` units: a path (a separator before its last one) gives its
// last part from that separator and, before "…", the longest start ending in a separator that
// fits with it; anything else its start and its end in halves, the start taking the odd unit,
// less a unit on either side that would split a surrogate pair.
std::u16string middle_model(const std::u16string& text, size_t keep) {
    const size_t last = text.find_last_of(u"\\/");
    for (size_t at = last == std::u16string::npos ? 0 : last; at-- > 0;)
        if ((text[at] == u'\\' || text[at] == u'/') && at + 2 + text.size() - last <= keep)
            return text.substr(0, at + 1) + u'\u2026' + text.substr(last);
    if (keep == 0)
        return u"";
    size_t end = (keep - 1) / 2, head = keep - 1 - end;
    head -= head > 0 && text[head - 1] >= 0xD800 && text[head - 1] <= 0xDBFF;
    end -= end > 0 && text[text.size() - end] >= 0xDC00 && text[text.size() - end] <= 0xDFFF;
    return text.substr(0, head) + u'\u2026' + text.substr(text.size() - end);
}

// The line a pattern gives with `argument` in place of its first `mark`, in a buffer of cap
// units: whole when it fits; otherwise the argument is cut in its middle (above); when the
// pattern's own text does not fit either, that is cut, keeping a final line break.
std::u16string line_model(const std::u16string& pattern, const std::u16string& mark,
                          const std::u16string& argument, size_t cap) {
    const size_t room = cap - 1; // with cap 0, anything fits: check_cut then wants nothing
    const size_t at = std::min(pattern.find(mark), pattern.size());
    const std::u16string before = pattern.substr(0, at);
    const std::u16string after = pattern.substr(std::min(at + mark.size(), pattern.size()));
    const std::u16string used = at < pattern.size() ? argument : u"";
    const std::u16string fixed = before + after;
    if (fixed.size() + used.size() <= room) {
        return before + used + after;
    }
    if (fixed.size() <= room) {
        return before + middle_model(used, room - fixed.size()) + after;
    }
    const bool line_break = room >= 2 && fixed.substr(fixed.size() - 2) == u"\r\n";
    return fixed.substr(0, room - (line_break ? 2 : 0)) + (line_break ? u"\r\n" : u"");
}

std::u16string check_lines(const std::u16string& text, size_t cap) {
    std::unique_ptr<char16_t[]> out(new char16_t[cap]);
    const std::u16string loaded = u"Данные прочитаны из файла \"%s\".\r\n";
    size_t length = log_format(out.get(), cap, loaded.c_str(), text.c_str());
    check_cut(out.get(), cap, length, line_model(loaded, u"%s", text, cap));
    std::u16string line = cap == 0 ? std::u16string() : std::u16string(out.get(), length);

    // The text as a pattern: only its first %s or %d is replaced.
    length = log_format(out.get(), cap, text.c_str(), u"<path>");
    check_cut(out.get(), cap, length, line_model(text, u"%s", u"<path>", cap));
    int32_t value = static_cast<int32_t>(text.size() * 2654435761u);
    length = log_format_int(out.get(), cap, text.c_str(), value);
    check_cut(out.get(), cap, length, line_model(text, u"%d", widen(std::to_string(value)), cap));
    return line;
}

// Appends the line to a log of log_bytes bytes a few times over, following the rule: appended
// unless the log and the line together reach the size less 2 bytes; then the line replaces the
// log; never more than the buffer holds.
void check_log(const std::u16string& line, size_t log_bytes) {
    ExactBytes block(new uint8_t[log_bytes]);
    memset(block.get(), 0, log_bytes);
    char16_t* log = reinterpret_cast<char16_t*>(block.get());
    size_t units = log_bytes / 2;
    std::u16string model;
    for (int round = 0; round < 4; ++round) {
        std::u16string added = line.substr(0, line.size() >> round); // ever shorter lines
        size_t length = status_log_append(log, log_bytes, added.c_str());
        if (units == 0) {
            FUZZ_CHECK(length == 0);
            continue;
        }
        if ((model.size() + added.size()) * 2 + 2 >= log_bytes) {
            model.clear();
        }
        model += added.substr(0, units - 1 - model.size());
        FUZZ_CHECK(length == model.size());
        FUZZ_CHECK(log[length] == 0 && std::u16string(log, length) == model);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReader in{data, size};
    size_t text_cap = fuzz_u8(&in);
    size_t line_cap = fuzz_u8(&in) % 120;
    size_t log_bytes = fuzz_u8(&in);
    const uint8_t* bytes = nullptr;
    size_t n = fuzz_bytes(&in, fuzz_left(&in), &bytes);
    std::string line(reinterpret_cast<const char*>(bytes), n);
    ExactBytes command_line = exact_copy(reinterpret_cast<const uint8_t*>(line.c_str()), n + 1);

    std::u16string text =
        check_conversion(reinterpret_cast<const char*>(command_line.get()), text_cap);
    std::u16string formatted = check_lines(text, line_cap);
    check_log(formatted, log_bytes);
    return 0;
}
