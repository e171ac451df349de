#include "emulator/emu_frame.h"

#include <cstring>

#include "link/crc16.h"

uint16_t emu_get_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void emu_put_u16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void emu_put_u32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

size_t emu_frame_encode(uint16_t command, const uint8_t* payload, size_t payload_length,
                        uint8_t* out, size_t cap) {
    size_t total = payload_length + EMU_FRAME_OVERHEAD;
    if (total > 0xFFFF || total > cap) {
        return 0;
    }
    emu_put_u16(out, command);
    emu_put_u16(out + 2, static_cast<uint16_t>(total));
    if (payload_length > 0) {
        memcpy(out + 4, payload, payload_length);
    }
    emu_put_u16(out + total - 2, link_crc16(out, static_cast<uint16_t>(total - 2)));
    return total;
}

size_t emu_frame_request_length(uint16_t command) {
    switch (command) {
    case EMU_CMD_IDENTIFY:
    case EMU_CMD_GET_STATUS:
    case EMU_CMD_READ_SETTINGS:
        return EMU_FRAME_OVERHEAD;
    case EMU_CMD_WRITE_SETTINGS:
        return EMU_FRAME_OVERHEAD + EMU_SETTINGS_BYTES;
    default:
        return 0;
    }
}

void emu_parser_reset(EmuParser* parser) {
    parser->count = 0;
    parser->last_arrival_ms = 0;
}

size_t emu_parser_room(const EmuParser* parser) {
    return EMU_PARSER_BYTES - parser->count;
}

size_t emu_parser_feed(EmuParser* parser, const uint8_t* data, size_t count, int64_t now_ms) {
    size_t take = count < emu_parser_room(parser) ? count : emu_parser_room(parser);
    if (take == 0) {
        return 0;
    }
    memcpy(parser->buffer + parser->count, data, take);
    parser->count += take;
    parser->last_arrival_ms = now_ms;
    return take;
}

static void parser_drop(EmuParser* parser, size_t n) {
    memmove(parser->buffer, parser->buffer + n, parser->count - n);
    parser->count -= n;
}

static bool length_plausible(uint16_t length) {
    return length >= EMU_FRAME_OVERHEAD && length <= EMU_REQUEST_MAX;
}

static bool crc_matches(const uint8_t* frame, uint16_t length) {
    uint16_t crc = link_crc16(frame, static_cast<uint16_t>(length - 2));
    return emu_get_u16(frame + length - 2) == crc;
}

// A complete request of a known command, with its own length and a good CRC, at `at`.
static bool known_request_at(const EmuParser* parser, size_t at) {
    if (parser->count - at < EMU_FRAME_OVERHEAD) {
        return false;
    }
    const uint8_t* p = parser->buffer + at;
    size_t expected = emu_frame_request_length(emu_get_u16(p));
    if (expected == 0 || emu_get_u16(p + 2) != expected || parser->count - at < expected) {
        return false;
    }
    return crc_matches(p, static_cast<uint16_t>(expected));
}

static void take_frame(EmuParser* parser, uint16_t length, bool crc_ok, EmuRequest* out) {
    out->command = emu_get_u16(parser->buffer);
    out->length = length;
    out->crc_ok = crc_ok;
    memcpy(out->bytes, parser->buffer, length);
}

EmuParseResult emu_parser_next(EmuParser* parser, int64_t now_ms, EmuRequest* out) {
    while (parser->count > 0) {
        bool stale = now_ms - parser->last_arrival_ms >= EMU_PARSER_STALE_MS;
        uint16_t length = parser->count >= 4 ? emu_get_u16(parser->buffer + 2) : 0;
        if (parser->count >= 4 && !length_plausible(length)) {
            parser_drop(parser, 1);
            continue;
        }
        if (parser->count < 4 || parser->count < length) {
            size_t at = 1;
            while (at < parser->count && !known_request_at(parser, at)) {
                ++at;
            }
            if (at < parser->count) {
                parser_drop(parser, at);
                continue;
            }
            if (stale) {
                parser_drop(parser, 1);
                continue;
            }
            return EMU_PARSE_NONE;
        }
        if (crc_matches(parser->buffer, length)) {
            take_frame(parser, length, true, out);
            parser_drop(parser, length);
            return EMU_PARSE_REQUEST;
        }
        // A corrupted frame is not answered; the search goes on one byte later, because a
        // real request may begin inside what looked like a frame.
        bool report = emu_frame_request_length(emu_get_u16(parser->buffer)) == length;
        if (report) {
            take_frame(parser, length, false, out);
        }
        parser_drop(parser, 1);
        if (report) {
            return EMU_PARSE_BAD_CRC;
        }
    }
    return EMU_PARSE_NONE;
}

int64_t emu_parser_deadline(const EmuParser* parser) {
    if (parser->count == 0) {
        return -1;
    }
    return parser->last_arrival_ms + EMU_PARSER_STALE_MS;
}
