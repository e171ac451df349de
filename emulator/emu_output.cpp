#include "emulator/emu_output.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

void emu_output_init(EmuOutput* output) {
    memset(output, 0, sizeof *output);
    output->junk_state = 0x2545F491u;
}

static EmuSegment* reserve(EmuOutput* output, size_t length, int64_t due_ms) {
    if (length == 0 || output->count == EMU_OUTPUT_SEGMENTS ||
        length > EMU_OUTPUT_MAX_BYTES - output->queued_bytes) {
        return nullptr;
    }
    uint8_t* data = static_cast<uint8_t*>(malloc(length));
    if (data == nullptr) {
        return nullptr;
    }
    EmuSegment* s = &output->segments[(output->head + output->count) % EMU_OUTPUT_SEGMENTS];
    s->data = data;
    s->length = length;
    s->sent = 0;
    s->due_ms = due_ms;
    output->count += 1;
    output->queued_bytes += length;
    return s;
}

int emu_output_push(EmuOutput* output, const uint8_t* data, size_t length, int64_t due_ms) {
    if (length == 0) {
        return 0;
    }
    EmuSegment* s = reserve(output, length, due_ms);
    if (s == nullptr) {
        return -1;
    }
    memcpy(s->data, data, length);
    return 0;
}

int emu_output_push_junk(EmuOutput* output, size_t length, int fill, int64_t due_ms) {
    if (length == 0) {
        return 0;
    }
    EmuSegment* s = reserve(output, length, due_ms);
    if (s == nullptr) {
        return -1;
    }
    if (fill >= 0) {
        memset(s->data, fill & 0xFF, length);
        return 0;
    }
    uint32_t x = output->junk_state;
    for (size_t i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s->data[i] = static_cast<uint8_t>(x >> 24);
    }
    output->junk_state = x;
    return 0;
}

int64_t emu_output_next_due(const EmuOutput* output) {
    if (output->count == 0) {
        return -1;
    }
    return output->segments[output->head].due_ms;
}

static void pop_head(EmuOutput* output) {
    EmuSegment* s = &output->segments[output->head];
    output->queued_bytes -= s->length - s->sent;
    free(s->data);
    s->data = nullptr;
    output->head = (output->head + 1) % EMU_OUTPUT_SEGMENTS;
    output->count -= 1;
}

size_t emu_output_due_bytes(const EmuOutput* output, int64_t now_ms) {
    size_t due = 0;
    for (size_t i = 0; i < output->count; ++i) {
        const EmuSegment* s = &output->segments[(output->head + i) % EMU_OUTPUT_SEGMENTS];
        if (s->due_ms > now_ms) {
            break;
        }
        due += s->length - s->sent;
    }
    return due;
}

long emu_output_write(EmuOutput* output, int fd, int64_t now_ms) {
    return emu_output_write_limited(output, fd, now_ms, SIZE_MAX);
}

long emu_output_write_limited(EmuOutput* output, int fd, int64_t now_ms, size_t limit) {
    long total = 0;
    while (output->count > 0 && static_cast<size_t>(total) < limit) {
        EmuSegment* s = &output->segments[output->head];
        if (s->due_ms > now_ms) {
            break;
        }
        size_t want = s->length - s->sent;
        size_t room = limit - static_cast<size_t>(total);
        if (want > room) {
            want = room;
        }
        ssize_t n = write(fd, s->data + s->sent, want);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                break;
            }
            return -1;
        }
        s->sent += static_cast<size_t>(n);
        output->queued_bytes -= static_cast<size_t>(n);
        total += n;
        if (static_cast<size_t>(n) < want) {
            break; // the descriptor is full; wait until it can take more
        }
        if (s->sent < s->length) {
            break; // the limit is reached
        }
        pop_head(output);
    }
    return total;
}

void emu_output_clear(EmuOutput* output) {
    while (output->count > 0) {
        pop_head(output);
    }
}
