// Frames on the controller's serial line, seen from the controller's side: encoding its answers
// and picking request frames out of the byte stream that arrives from the PC.
//
// The request reader is a resynchronising parser. Bytes accumulate in a bounded buffer; a frame
// candidate starts at the first byte and is accepted when its length field is plausible (6 to
// the largest request, 649 bytes) and its CRC-16 matches. A candidate that cannot be a frame
// costs one byte and the search goes on at the next one, so garbage before a request is skipped.
// An incomplete candidate is waited for, with two ways out: a complete, valid request of a known
// command further on in the buffer means the candidate was garbage (the bytes before that
// request are dropped), and a candidate that gets no new byte for EMU_PARSER_STALE_MS loses its
// first byte. Frames whose CRC does not match are not answered, as a device on a noisy line
// would do; those that look like a known request are reported so that they can be logged.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t EMU_CMD_IDENTIFY = 0x0001;
constexpr uint16_t EMU_CMD_GET_STATUS = 0x0002;
constexpr uint16_t EMU_CMD_READ_SETTINGS = 0x0003;
constexpr uint16_t EMU_CMD_WRITE_SETTINGS = 0x0103;

constexpr size_t EMU_FRAME_OVERHEAD = 6;    // command, length and CRC
constexpr size_t EMU_SETTINGS_BYTES = 643;  // settings payload
constexpr size_t EMU_REQUEST_MAX = 649;     // largest request: a settings write
constexpr size_t EMU_PARSER_BYTES = 4096;   // bytes the parser holds at most
constexpr int64_t EMU_PARSER_STALE_MS = 50; // an incomplete frame older than this loses a byte

// Writes the frame (command, payload length + 6, payload, CRC) into out. Returns its size, or 0
// when it does not fit in cap.
size_t emu_frame_encode(uint16_t command, const uint8_t* payload, size_t payload_length,
                        uint8_t* out, size_t cap);

// The expected total length of a request of a known command, or 0 for other commands.
size_t emu_frame_request_length(uint16_t command);

uint16_t emu_get_u16(const uint8_t* p);
void emu_put_u16(uint8_t* p, uint16_t value);
void emu_put_u32(uint8_t* p, uint32_t value);

// A request taken from the stream.
struct EmuRequest {
    uint16_t command;               // command field
    uint16_t length;                // total length field (= bytes held)
    bool crc_ok;                    // the frame's CRC matched
    uint8_t bytes[EMU_REQUEST_MAX]; // the whole frame as received
};

struct EmuParser {
    uint8_t buffer[EMU_PARSER_BYTES]; // bytes received and not yet consumed
    size_t count;                     // bytes held in buffer
    int64_t last_arrival_ms;          // time the newest bytes arrived
};

void emu_parser_reset(EmuParser* parser);

// Appends up to `count` bytes; returns how many fit (the rest must be fed again after
// emu_parser_next has consumed some).
size_t emu_parser_feed(EmuParser* parser, const uint8_t* data, size_t count, int64_t now_ms);

// Free room for emu_parser_feed.
size_t emu_parser_room(const EmuParser* parser);

enum EmuParseResult {
    EMU_PARSE_NONE = 0,    // nothing complete yet
    EMU_PARSE_REQUEST = 1, // *out holds a request with a good CRC
    EMU_PARSE_BAD_CRC = 2, // *out holds a known request whose CRC does not match (not answered)
};

// Takes the next frame out of the buffer, dropping garbage on the way.
EmuParseResult emu_parser_next(EmuParser* parser, int64_t now_ms, EmuRequest* out);

// Time at which waiting bytes turn stale and emu_parser_next must run again; -1 when none wait.
int64_t emu_parser_deadline(const EmuParser* parser);
