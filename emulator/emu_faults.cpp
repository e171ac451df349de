#include "emulator/emu_faults.h"

#include <cstring>

void emu_faults_reset(EmuFaults* faults) {
    memset(faults, 0, sizeof *faults);
    faults->split_pieces = 1;
    faults->ident_length = -1;
}

int emu_faults_arm_raw(EmuFaults* faults, uint16_t command, const uint8_t* bytes, size_t length) {
    if (length > EMU_RAW_MAX) {
        return -1;
    }
    EmuRawAnswer* slot = nullptr;
    for (EmuRawAnswer& r : faults->raw) {
        if (r.armed && r.command == command) {
            slot = &r;
            break;
        }
        if (!r.armed && slot == nullptr) {
            slot = &r;
        }
    }
    if (slot == nullptr) {
        return -1;
    }
    slot->armed = true;
    slot->command = command;
    slot->length = length;
    memcpy(slot->bytes, bytes, length);
    return 0;
}

const EmuRawAnswer* emu_faults_take_raw(EmuFaults* faults, uint16_t command) {
    for (EmuRawAnswer& r : faults->raw) {
        if (r.armed && r.command == command) {
            r.armed = false;
            return &r;
        }
    }
    return nullptr;
}

int emu_faults_set_truncation(EmuFaults* faults, uint16_t command, long bytes) {
    EmuTruncation* slot = nullptr;
    for (EmuTruncation& t : faults->truncation) {
        if (t.armed && t.command == command) {
            slot = &t;
            break;
        }
        if (!t.armed && slot == nullptr) {
            slot = &t;
        }
    }
    if (bytes < 0) {
        if (slot != nullptr && slot->armed && slot->command == command) {
            slot->armed = false;
        }
        return 0;
    }
    if (slot == nullptr) {
        return -1;
    }
    slot->armed = true;
    slot->command = command;
    slot->bytes = static_cast<uint32_t>(bytes);
    return 0;
}

size_t emu_faults_truncated_length(const EmuFaults* faults, uint16_t command, size_t length) {
    for (const EmuTruncation& t : faults->truncation) {
        if (t.armed && t.command == command && t.bytes < length) {
            return t.bytes;
        }
    }
    return length;
}

static int send_pieces(const EmuFaults* faults, EmuOutput* output, const uint8_t* answer,
                       size_t length, int64_t due_ms) {
    size_t pieces = faults->split_pieces < 1 ? 1 : faults->split_pieces;
    if (pieces > length) {
        pieces = length;
    }
    size_t at = 0;
    for (size_t i = 0; i < pieces; ++i) {
        // Spread the bytes evenly; the first pieces take the remainder.
        size_t size = length / pieces + (i < length % pieces ? 1 : 0);
        int64_t due = due_ms + static_cast<int64_t>(i) * faults->split_pause_ms;
        if (emu_output_push(output, answer + at, size, due) != 0) {
            return -1;
        }
        at += size;
    }
    return 0;
}

int emu_faults_send(EmuFaults* faults, EmuOutput* output, const uint8_t* answer, size_t length,
                    int64_t now_ms) {
    if (faults->silent) {
        return 0;
    }
    int64_t due = now_ms + faults->delay_ms;
    int result = 0;
    if (faults->stray_always &&
        emu_output_push(output, faults->stray_always_bytes, faults->stray_always_length, due)) {
        result = -1;
    }
    if (faults->stray_once_length > 0) {
        if (emu_output_push(output, faults->stray_once, faults->stray_once_length, due) != 0) {
            result = -1;
        }
        faults->stray_once_length = 0;
    }
    if (send_pieces(faults, output, answer, length, due) != 0) {
        result = -1;
    }
    return result;
}
