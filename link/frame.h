// The frame every request and reply travels in, and the two byte-level steps of a transaction:
// building a request in TX and appending the bytes of one read to RX.
//
// A frame is: command u16, total length u16 (payload length + 6), payload, CRC-16 over
// everything before it; every field little-endian.
//
// The receive step realigns the reply by one byte: once more than 4 bytes have arrived, a
// length field (at frame start + 2) larger than the whole received count means the frame is
// taken to begin one byte later. This steps over one stray byte before a reply, and it also
// moves the frame start of a reply that has not fully arrived; the readers of a reply decide
// what to make of it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t CMD_IDENTIFY = 0x0001;       // identification request, empty payload
constexpr int32_t CMD_GET_STATUS = 0x0002;     // sensor readings, empty payload
constexpr int32_t CMD_READ_SETTINGS = 0x0003;  // settings read, empty payload
constexpr int32_t CMD_WRITE_SETTINGS = 0x0103; // settings write, the settings payload

constexpr size_t LINK_FRAME_OVERHEAD = 6;   // command, length and CRC around the payload
constexpr size_t LINK_FRAME_PAYLOAD_AT = 4; // offset of the payload in a frame
constexpr size_t LINK_FRAME_MAX_PAYLOAD = 0xFFFF - LINK_FRAME_OVERHEAD; // the u16 length's limit
constexpr size_t WIRE_IMAGE_BYTES = 643;                                // the settings payload

// Completes the request in tx whose payload the caller has written from offset 4: writes the
// low 16 bits of `command`, the total length and the CRC. Returns the number of bytes to send
// (the total length), or 0 when nothing can be framed: a payload length below 0 or above
// LINK_FRAME_MAX_PAYLOAD, or a frame that does not fit in tx_cap bytes; tx is then untouched.
size_t frame_build(uint8_t* tx, size_t tx_cap, int32_t command, int32_t payload_length);

// Appends the n bytes of one read to rx, which holds *received_count bytes, and realigns the
// frame start. Bytes beyond rx_cap are dropped, and the count stops short of wrapping; nothing
// is written past rx_cap. A read of no bytes, or one whose bytes were all dropped, changes
// nothing, as a failed read. The length field is examined only when both of its bytes are among
// the received bytes (and inside rx); until then the frame start stays. Returns the number of
// bytes appended.
size_t frame_receive_append(uint8_t* rx, size_t rx_cap, uint32_t* received_count,
                            uint32_t* frame_start, const uint8_t* bytes, size_t n);

// Where the payload of the reply frame stands in rx: sets *offset to frame start + 4 and returns
// how many payload bytes from there were received (0 when none), bounded by rx_cap.
size_t frame_payload_received(size_t rx_cap, uint32_t received_count, uint32_t frame_start,
                              size_t* offset);
