#include "emulator/emu_log.h"

#include <cstdarg>
#include <cstring>
#include <ctime>
#include <sys/time.h>

void emu_log_init(EmuLog* log, FILE* stream) {
    memset(log, 0, sizeof *log);
    log->stream = stream;
}

static void add_line(EmuLog* log, const char* text) {
    char* line = log->lines[log->next];
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm local;
    localtime_r(&tv.tv_sec, &local);
    snprintf(line, EMU_LOG_LINE_BYTES, "%02d:%02d:%02d.%03ld %s", local.tm_hour, local.tm_min,
             local.tm_sec, static_cast<long>(tv.tv_usec / 1000), text);
    log->next = (log->next + 1) % EMU_LOG_LINES;
    if (log->count < EMU_LOG_LINES) {
        log->count += 1;
    }
    if (log->stream != nullptr) {
        fprintf(log->stream, "%s\n", line);
        fflush(log->stream);
    }
}

void emu_log_request(EmuLog* log, const EmuRequest* request) {
    char text[EMU_LOG_LINE_BYTES];
    snprintf(text, sizeof text, "request cmd=0x%04x len=%u crc=%s", request->command,
             request->length, request->crc_ok ? "ok" : "bad");
    add_line(log, text);
}

void emu_log_event(EmuLog* log, const char* format, ...) {
    char text[EMU_LOG_LINE_BYTES];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    add_line(log, text);
}

void emu_log_clear(EmuLog* log) {
    log->next = 0;
    log->count = 0;
}

size_t emu_log_join(const EmuLog* log, char* out, size_t cap) {
    if (cap == 0) {
        return 0;
    }
    size_t used = 0;
    out[0] = '\0';
    size_t first = (log->next + EMU_LOG_LINES - log->count) % EMU_LOG_LINES;
    for (size_t i = 0; i < log->count; ++i) {
        const char* line = log->lines[(first + i) % EMU_LOG_LINES];
        int n = snprintf(out + used, cap - used, "%s%s", i == 0 ? "" : " | ", line);
        if (n < 0 || static_cast<size_t>(n) >= cap - used) {
            used = cap - 1;
            break;
        }
        used += static_cast<size_t>(n);
    }
    return used;
}
