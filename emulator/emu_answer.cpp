#include "emulator/emu_answer.h"

#include <cstring>

#include "link/crc16.h"

constexpr size_t IDENT_TEXT_MAX = 4096; // identification payload at most

size_t emu_answer_identify(const char* version, long length_field, uint8_t* out, size_t cap) {
    uint8_t text[IDENT_TEXT_MAX];
    size_t prefix = strlen(EMU_IDENT_PREFIX);
    size_t tail = strlen(version);
    if (prefix + tail > sizeof text) {
        return 0;
    }
    memcpy(text, EMU_IDENT_PREFIX, prefix);
    memcpy(text + prefix, version, tail);
    size_t n = emu_frame_encode(EMU_CMD_IDENTIFY, text, prefix + tail, out, cap);
    if (n == 0 || length_field < 0) {
        return n;
    }
    emu_put_u16(out + 2, static_cast<uint16_t>(length_field));
    emu_put_u16(out + n - 2, link_crc16(out, static_cast<uint16_t>(n - 2)));
    return n;
}

static void put_float(uint8_t* p, float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    emu_put_u32(p, bits);
}

size_t emu_answer_status(const EmuReadings* readings, uint8_t* out, size_t cap) {
    uint8_t payload[11];
    emu_put_u16(payload, readings->light);
    put_float(payload + 2, readings->distance[0]);
    put_float(payload + 6, readings->distance[1]);
    payload[10] = readings->fault_bits;
    return emu_frame_encode(EMU_CMD_GET_STATUS, payload, sizeof payload, out, cap);
}

size_t emu_answer_settings(const uint8_t payload[EMU_SETTINGS_BYTES], uint8_t* out, size_t cap) {
    return emu_frame_encode(EMU_CMD_READ_SETTINGS, payload, EMU_SETTINGS_BYTES, out, cap);
}

size_t emu_answer_write_result(uint8_t result, uint8_t* out, size_t cap) {
    return emu_frame_encode(EMU_CMD_WRITE_SETTINGS, &result, 1, out, cap);
}
