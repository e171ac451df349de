#include "cli/output.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/text_cp1251.h"
#include "cli/console.h"
#include "link/clock.h"

namespace {

void append_utf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

std::string utf8_of(const char16_t* text) {
    std::string out;
    for (; *text != 0; ++text) {
        append_utf8(&out, *text); // the texts here hold no surrogates
    }
    return out;
}

void out_text(const std::string& text) {
    console_write(CONSOLE_OUT, text.data(), text.size());
}

void out_json(const Json& value) {
    out_text(value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

void out_json_line(const Json& value) {
    out_text(value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n");
}

void err_line(const std::string& sentence) {
    const std::string line = sentence + "\n";
    console_write(CONSOLE_ERR, line.data(), line.size());
}

namespace {
bool output_quiet = false;          // -q: notes are not shown
int64_t trace_start_ms = INT64_MIN; // the clock at the first frame shown
} // namespace

void note_line(const std::string& sentence) {
    if (!output_quiet) {
        err_line(sentence);
    }
}

void out_set_quiet(bool quiet) {
    output_quiet = quiet;
}

std::string text_of(const char* pattern, std::initializer_list<std::string> values) {
    std::string out;
    const std::string* value = values.begin();
    for (const char* at = pattern; *at != 0; ++at) {
        if (at[0] == '%' && at[1] == 's' && value != values.end()) {
            out += *value++;
            ++at;
        } else {
            out += *at;
        }
    }
    return out;
}

void out_trace(const char* port, bool sent, const uint8_t* bytes, size_t n) {
    const int64_t now = clock_now_ms();
    if (trace_start_ms == INT64_MIN) {
        trace_start_ms = now;
    }
    const int64_t ms = now - trace_start_ms;
    char head[64];
    snprintf(head, sizeof head, "%4lld.%03lld ", static_cast<long long>(ms / 1000),
             static_cast<long long>(ms % 1000));
    std::string line = head + std::string(port) + (sent ? " >>" : " <<");
    static const char HEX[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        line += ' ';
        line += HEX[bytes[i] >> 4];
        line += HEX[bytes[i] & 0x0F];
    }
    err_line(n == 0 ? line + " (nothing)" : line);
}

std::string text_from_controller(const char* text) {
    std::vector<char16_t> wide(strlen(text) + 1);
    cp1251_to_utf16_n(wide.data(), wide.size(), text);
    return utf8_of(wide.data());
}

std::string printable(const std::string& utf8) {
    std::string out = utf8;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}
