#include "emulator/emu_control.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "emulator/emu_hex.h"
#include "emulator/emu_settings.h"

namespace {

constexpr unsigned long MAX_DELAY_MS = 600000;
constexpr unsigned long MAX_JUNK_BYTES = 8ul * 1024 * 1024;

EmuAction reply_with(char* reply, size_t cap, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

EmuAction reply_with(char* reply, size_t cap, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(reply, cap, format, args);
    va_end(args);
    return EMU_ACTION_NONE;
}

// Splits off the next blank-separated word; nullptr when none is left.
char* next_word(char** cursor) {
    char* p = *cursor;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    if (*p == '\0') {
        *cursor = p;
        return nullptr;
    }
    char* word = p;
    while (*p != '\0' && *p != ' ' && *p != '\t') {
        ++p;
    }
    if (*p != '\0') {
        *p++ = '\0';
    }
    *cursor = p;
    return word;
}

bool at_end(char* cursor) {
    return next_word(&cursor) == nullptr;
}

bool parse_on_off(const char* word, bool* value) {
    if (word != nullptr && strcmp(word, "on") == 0) {
        *value = true;
        return true;
    }
    if (word != nullptr && strcmp(word, "off") == 0) {
        *value = false;
        return true;
    }
    return false;
}

bool parse_float(const char* word, float* value) {
    if (word == nullptr) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    float v = strtof(word, &end);
    if (end == word || *end != '\0' || errno != 0 || !std::isfinite(v)) {
        return false;
    }
    *value = v;
    return true;
}

bool parse_number(const char* word, unsigned long max, unsigned long* value) {
    return word != nullptr && emu_parse_unsigned(word, max, value);
}

// ---- readings and identity -----------------------------------------------------------------

EmuAction set_light(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* word = next_word(&rest);
    unsigned long v = 0;
    EmuSensors* s = &c->device->sensors;
    if (word != nullptr && strcmp(word, "auto") == 0 && at_end(rest)) {
        s->light_pinned = false;
        return reply_with(reply, cap, "ok light auto");
    }
    if (!parse_number(word, 0xFFFF, &v) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: set light N|auto (N 0..65535)");
    }
    s->light_pinned = true;
    s->light = static_cast<uint16_t>(v);
    return reply_with(reply, cap, "ok light %lu", v);
}

EmuAction set_distance(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* which = next_word(&rest);
    char* word = next_word(&rest);
    int index = which != nullptr && strcmp(which, "1") == 0   ? 0
                : which != nullptr && strcmp(which, "2") == 0 ? 1
                                                              : -1;
    EmuSensors* s = &c->device->sensors;
    float v = 0.0f;
    if (index >= 0 && word != nullptr && strcmp(word, "auto") == 0 && at_end(rest)) {
        s->distance_pinned[index] = false;
        return reply_with(reply, cap, "ok distance %d auto", index + 1);
    }
    if (index < 0 || !parse_float(word, &v) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: set distance 1|2 CM|auto");
    }
    s->distance_pinned[index] = true;
    s->distance[index] = v;
    return reply_with(reply, cap, "ok distance %d %.2f", index + 1, static_cast<double>(v));
}

EmuAction set_faults(EmuControl* c, char* rest, char* reply, size_t cap) {
    unsigned long v = 0;
    if (!parse_number(next_word(&rest), 0xFF, &v) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: set faults N (0..255)");
    }
    c->device->sensors.fault_bits = static_cast<uint8_t>(v);
    return reply_with(reply, cap, "ok faults %lu", v);
}

EmuAction set_version(EmuControl* c, char* rest, char* reply, size_t cap) {
    if (*rest == ' ' || *rest == '\t') {
        ++rest; // one separator; everything after it, blanks included, is the text
    }
    if (emu_device_set_version(c->device, rest) != 0) {
        return reply_with(reply, cap, "error version text longer than %zu characters",
                          EMU_VERSION_MAX);
    }
    return reply_with(reply, cap, "ok version %s", c->device->version);
}

EmuAction set_settings(EmuControl* c, char* rest, char* reply, size_t cap) {
    uint8_t payload[EMU_SETTINGS_BYTES];
    long n = emu_hex_parse(rest, payload, sizeof payload);
    if (n != static_cast<long>(EMU_SETTINGS_BYTES)) {
        return reply_with(reply, cap, "error set settings needs exactly %zu hex bytes",
                          EMU_SETTINGS_BYTES);
    }
    memcpy(c->device->settings, payload, sizeof payload);
    c->device->settings_changed = true;
    return reply_with(reply, cap, "ok settings stored, crc %s",
                      emu_settings_crc_ok(payload) ? "ok" : "bad");
}

EmuAction cmd_set(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* what = next_word(&rest);
    if (what == nullptr) {
        return reply_with(reply, cap, "error usage: set light|distance|faults|version|settings");
    }
    if (strcmp(what, "light") == 0) {
        return set_light(c, rest, reply, cap);
    }
    if (strcmp(what, "distance") == 0) {
        return set_distance(c, rest, reply, cap);
    }
    if (strcmp(what, "faults") == 0) {
        return set_faults(c, rest, reply, cap);
    }
    if (strcmp(what, "version") == 0) {
        return set_version(c, rest, reply, cap);
    }
    if (strcmp(what, "settings") == 0) {
        return set_settings(c, rest, reply, cap);
    }
    return reply_with(reply, cap, "error unknown setting '%s'", what);
}

EmuAction cmd_get(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* what = next_word(&rest);
    if (what == nullptr || strcmp(what, "settings") != 0 || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: get settings");
    }
    char hex[2 * EMU_SETTINGS_BYTES + 1];
    emu_hex_format(c->device->settings, EMU_SETTINGS_BYTES, hex, sizeof hex);
    return reply_with(reply, cap, "ok %s", hex);
}

EmuAction cmd_defaults(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)rest;
    emu_settings_factory(c->device->settings);
    c->device->settings_changed = true;
    return reply_with(reply, cap, "ok factory settings stored");
}

// ---- faults --------------------------------------------------------------------------------

EmuAction cmd_silent(EmuControl* c, char* rest, char* reply, size_t cap) {
    bool on = false;
    if (!parse_on_off(next_word(&rest), &on) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: silent on|off");
    }
    c->device->faults.silent = on;
    return reply_with(reply, cap, "ok silent %s", on ? "on" : "off");
}

EmuAction cmd_refuse_writes(EmuControl* c, char* rest, char* reply, size_t cap) {
    bool on = false;
    if (!parse_on_off(next_word(&rest), &on) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: refuse-writes on|off");
    }
    c->device->faults.refuse_writes = on;
    return reply_with(reply, cap, "ok refuse-writes %s", on ? "on" : "off");
}

EmuAction cmd_delay(EmuControl* c, char* rest, char* reply, size_t cap) {
    unsigned long v = 0;
    if (!parse_number(next_word(&rest), MAX_DELAY_MS, &v) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: delay MS (0..%lu)", MAX_DELAY_MS);
    }
    c->device->faults.delay_ms = static_cast<uint32_t>(v);
    return reply_with(reply, cap, "ok delay %lu", v);
}

EmuAction cmd_stray(EmuControl* c, char* rest, char* reply, size_t cap) {
    EmuFaults* f = &c->device->faults;
    long n = emu_hex_parse(rest, f->stray_once, EMU_STRAY_MAX);
    if (n <= 0) {
        f->stray_once_length = 0;
        return reply_with(reply, cap, "error usage: stray HEX (1..%zu bytes)", EMU_STRAY_MAX);
    }
    f->stray_once_length = static_cast<size_t>(n);
    return reply_with(reply, cap, "ok stray %ld bytes before the next answer", n);
}

EmuAction cmd_stray_always(EmuControl* c, char* rest, char* reply, size_t cap) {
    EmuFaults* f = &c->device->faults;
    bool on = false;
    if (!parse_on_off(next_word(&rest), &on)) {
        return reply_with(reply, cap, "error usage: stray-always on [HEX]|off");
    }
    if (!on) {
        f->stray_always = false;
        return reply_with(reply, cap, "ok stray-always off");
    }
    uint8_t bytes[EMU_STRAY_MAX];
    long n = emu_hex_parse(rest, bytes, sizeof bytes);
    if (n < 0) {
        return reply_with(reply, cap, "error usage: stray-always on [HEX]|off");
    }
    if (n == 0) {
        bytes[0] = 0x00;
        n = 1;
    }
    memcpy(f->stray_always_bytes, bytes, static_cast<size_t>(n));
    f->stray_always_length = static_cast<size_t>(n);
    f->stray_always = true;
    return reply_with(reply, cap, "ok stray-always on, %ld bytes", n);
}

EmuAction cmd_split(EmuControl* c, char* rest, char* reply, size_t cap) {
    unsigned long pieces = 0;
    unsigned long pause = 0;
    if (!parse_number(next_word(&rest), EMU_SPLIT_MAX, &pieces) || pieces == 0 ||
        !parse_number(next_word(&rest), MAX_DELAY_MS, &pause) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: split N MS (N 1..%u)", EMU_SPLIT_MAX);
    }
    c->device->faults.split_pieces = static_cast<uint32_t>(pieces);
    c->device->faults.split_pause_ms = static_cast<uint32_t>(pause);
    return reply_with(reply, cap, "ok split %lu %lu", pieces, pause);
}

EmuAction cmd_junk(EmuControl* c, char* rest, char* reply, size_t cap) {
    unsigned long count = 0;
    unsigned long fill = 0;
    char* fill_word = nullptr;
    if (!parse_number(next_word(&rest), MAX_JUNK_BYTES, &count) || count == 0) {
        return reply_with(reply, cap, "error usage: junk BYTES [FILL] (BYTES 1..%lu)",
                          MAX_JUNK_BYTES);
    }
    fill_word = next_word(&rest);
    uint8_t fill_byte = 0;
    if (fill_word != nullptr && (emu_hex_parse(fill_word, &fill_byte, 1) != 1 || !at_end(rest))) {
        return reply_with(reply, cap, "error usage: junk BYTES [FILL] (FILL one hex byte)");
    }
    fill = fill_byte;
    if (!c->plugged || !c->port_open) {
        return reply_with(reply, cap, "error the port is not open; junk would be lost");
    }
    int f = fill_word != nullptr ? static_cast<int>(fill) : -1;
    if (emu_output_push_junk(c->output, count, f, c->now_ms) != 0) {
        return reply_with(reply, cap, "error output queue full");
    }
    return reply_with(reply, cap, "ok junk %lu", count);
}

EmuAction cmd_raw(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* word = next_word(&rest);
    uint16_t command = 0;
    uint8_t bytes[EMU_RAW_MAX];
    long n = -1;
    if (word != nullptr && emu_parse_command(word, &command)) {
        n = emu_hex_parse(rest, bytes, sizeof bytes);
    }
    if (n <= 0) {
        return reply_with(reply, cap, "error usage: raw CMD HEX (1..%zu bytes)", EMU_RAW_MAX);
    }
    if (emu_faults_arm_raw(&c->device->faults, command, bytes, static_cast<size_t>(n)) != 0) {
        return reply_with(reply, cap, "error too many raw answers waiting");
    }
    return reply_with(reply, cap, "ok raw answer of %ld bytes for the next 0x%04x", n, command);
}

EmuAction cmd_truncate(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* word = next_word(&rest);
    char* count = next_word(&rest);
    uint16_t command = 0;
    unsigned long n = 0;
    bool off = count != nullptr && strcmp(count, "off") == 0;
    if (word == nullptr || !emu_parse_command(word, &command) ||
        (!off && !parse_number(count, 0xFFFF, &n)) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: truncate CMD N|off");
    }
    long bytes = off ? -1 : static_cast<long>(n);
    if (emu_faults_set_truncation(&c->device->faults, command, bytes) != 0) {
        return reply_with(reply, cap, "error too many truncations");
    }
    if (off) {
        return reply_with(reply, cap, "ok truncate 0x%04x off", command);
    }
    return reply_with(reply, cap, "ok truncate 0x%04x %lu", command, n);
}

EmuAction cmd_ident_length(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* word = next_word(&rest);
    unsigned long n = 0;
    if (word != nullptr && strcmp(word, "off") == 0 && at_end(rest)) {
        c->device->faults.ident_length = -1;
        return reply_with(reply, cap, "ok ident-length off");
    }
    if (!parse_number(word, 0xFFFF, &n) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: ident-length L|off (L 0..65535)");
    }
    c->device->faults.ident_length = static_cast<int32_t>(n);
    return reply_with(reply, cap, "ok ident-length %lu", n);
}

EmuAction cmd_reset_faults(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)rest;
    emu_faults_reset(&c->device->faults);
    return reply_with(reply, cap, "ok faults reset");
}

// ---- what the controller saw ---------------------------------------------------------------

EmuAction cmd_requests(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)rest;
    const EmuCounters* n = &c->device->counters;
    return reply_with(reply, cap, "ok identify=%u status=%u read=%u write=%u other=%u bad-crc=%u",
                      n->identify, n->status, n->read, n->write, n->other, n->bad_crc);
}

EmuAction cmd_clear_requests(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)rest;
    memset(&c->device->counters, 0, sizeof c->device->counters);
    memset(c->device->last, 0, sizeof c->device->last);
    return reply_with(reply, cap, "ok requests cleared");
}

EmuAction cmd_last_request(EmuControl* c, char* rest, char* reply, size_t cap) {
    char* word = next_word(&rest);
    uint16_t command = 0;
    if (word == nullptr || !emu_parse_command(word, &command) || !at_end(rest)) {
        return reply_with(reply, cap, "error usage: last-request CMD");
    }
    const EmuLastRequest* last = emu_device_last_request(c->device, command);
    if (last == nullptr) {
        return reply_with(reply, cap, "error no request 0x%04x received", command);
    }
    char hex[2 * EMU_REQUEST_MAX + 1];
    emu_hex_format(last->bytes, last->length, hex, sizeof hex);
    return reply_with(reply, cap, "ok %s", hex);
}

EmuAction cmd_log(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)rest;
    int n = snprintf(reply, cap, "ok %zu ", c->log->count);
    if (n > 0 && static_cast<size_t>(n) < cap) {
        emu_log_join(c->log, reply + n, cap - static_cast<size_t>(n));
    }
    return EMU_ACTION_NONE;
}

EmuAction cmd_clear_log(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)rest;
    emu_log_clear(c->log);
    return reply_with(reply, cap, "ok log cleared");
}

EmuAction cmd_status(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)rest;
    const EmuDevice* d = c->device;
    EmuReadings r = emu_sensors_read(&d->sensors, c->now_ms);
    const EmuFaults* f = &d->faults;
    return reply_with(
        reply, cap,
        "ok plugged=%s port=%s pty=%s light=%u%s distance1=%.1f%s distance2=%.1f%s faults=%u "
        "silent=%s delay=%u split=%u/%u stray-always=%s ident-length=%d version=%s",
        c->plugged ? "yes" : "no", c->port_open ? "open" : "closed", c->pty_path, r.light,
        d->sensors.light_pinned ? "" : "(auto)", static_cast<double>(r.distance[0]),
        d->sensors.distance_pinned[0] ? "" : "(auto)", static_cast<double>(r.distance[1]),
        d->sensors.distance_pinned[1] ? "" : "(auto)", r.fault_bits, f->silent ? "on" : "off",
        f->delay_ms, f->split_pieces, f->split_pause_ms, f->stray_always ? "on" : "off",
        f->ident_length, d->version);
}

EmuAction cmd_help(EmuControl* c, char* rest, char* reply, size_t cap);

EmuAction cmd_unplug(EmuControl*, char*, char*, size_t) {
    return EMU_ACTION_UNPLUG;
}
EmuAction cmd_plug(EmuControl*, char*, char*, size_t) {
    return EMU_ACTION_PLUG;
}
EmuAction cmd_quit(EmuControl*, char*, char*, size_t) {
    return EMU_ACTION_QUIT;
}

struct CommandEntry {
    const char* name;
    EmuAction (*run)(EmuControl*, char*, char*, size_t);
};

const CommandEntry COMMANDS[] = {
    {"status", cmd_status},
    {"set", cmd_set},
    {"get", cmd_get},
    {"defaults", cmd_defaults},
    {"silent", cmd_silent},
    {"refuse-writes", cmd_refuse_writes},
    {"delay", cmd_delay},
    {"stray", cmd_stray},
    {"stray-always", cmd_stray_always},
    {"split", cmd_split},
    {"junk", cmd_junk},
    {"raw", cmd_raw},
    {"truncate", cmd_truncate},
    {"ident-length", cmd_ident_length},
    {"reset-faults", cmd_reset_faults},
    {"requests", cmd_requests},
    {"clear-requests", cmd_clear_requests},
    {"last-request", cmd_last_request},
    {"log", cmd_log},
    {"clear-log", cmd_clear_log},
    {"unplug", cmd_unplug},
    {"plug", cmd_plug},
    {"quit", cmd_quit},
    {"help", cmd_help},
};

EmuAction cmd_help(EmuControl* c, char* rest, char* reply, size_t cap) {
    (void)c;
    (void)rest;
    int used = snprintf(reply, cap, "ok commands:");
    for (const CommandEntry& e : COMMANDS) {
        if (used < 0 || static_cast<size_t>(used) >= cap) {
            break;
        }
        used += snprintf(reply + used, cap - static_cast<size_t>(used), " %s", e.name);
    }
    return EMU_ACTION_NONE;
}

} // namespace

EmuAction emu_control_execute(EmuControl* control, char* line, char* reply, size_t cap) {
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n')) {
        line[--n] = '\0';
    }
    char* rest = line;
    char* name = next_word(&rest);
    if (name == nullptr) {
        return reply_with(reply, cap, "error empty command");
    }
    for (const CommandEntry& e : COMMANDS) {
        if (strcmp(name, e.name) == 0) {
            return e.run(control, rest, reply, cap);
        }
    }
    return reply_with(reply, cap, "error unknown command '%s' (try help)", name);
}
