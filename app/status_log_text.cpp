#include "app/status_log_text.h"

size_t status_log_append(char16_t* log, size_t log_bytes, const char16_t* text) {
    size_t units = log_bytes / 2; // whole code units in the buffer
    if (units == 0) {
        return 0;
    }
    size_t current = 0;
    while (current < units && log[current] != 0) {
        ++current;
    }
    size_t added = 0;
    while (text[added] != 0 && added < units) {
        ++added; // counting stops once the line alone could not fit
    }
    if (current >= units || (current + added) * 2 + 2 >= log_bytes) {
        current = 0; // the line replaces the log
    }
    size_t room = units - 1 - current; // units left before the terminator's place
    if (added > room) {
        added = room;
    }
    for (size_t i = 0; i < added; ++i) {
        log[current + i] = text[i];
    }
    log[current + added] = 0;
    return current + added;
}
