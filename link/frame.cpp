#include "link/frame.h"

#include <cstring>

#include "link/crc16.h"

static void put_u16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>(value >> 8);
}

static uint16_t get_u16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

size_t frame_build(uint8_t* tx, size_t tx_cap, int32_t command, int32_t payload_length) {
    if (payload_length < 0 || static_cast<size_t>(payload_length) > LINK_FRAME_MAX_PAYLOAD) {
        return 0;
    }
    size_t payload = static_cast<size_t>(payload_length);
    size_t total = payload + LINK_FRAME_OVERHEAD;
    if (tx == nullptr || total > tx_cap) {
        return 0;
    }
    put_u16(tx, static_cast<uint16_t>(command & 0xFFFF));
    put_u16(tx + 2, static_cast<uint16_t>(total));
    size_t covered = LINK_FRAME_PAYLOAD_AT + payload;
    put_u16(tx + covered, link_crc16(tx, static_cast<uint16_t>(covered)));
    return total;
}

size_t frame_receive_append(uint8_t* rx, size_t rx_cap, uint32_t* received_count,
                            uint32_t* frame_start, const uint8_t* bytes, size_t n) {
    size_t count = *received_count;
    size_t room = count < rx_cap ? rx_cap - count : 0;
    size_t counter_room = UINT32_MAX - count;
    size_t take = n < room ? n : room;
    if (take > counter_room) {
        take = counter_room;
    }
    if (take == 0) {
        return 0; // nothing read, or RX full: the frame stays as it stood
    }
    memcpy(rx + count, bytes, take);
    count += take;
    *received_count = static_cast<uint32_t>(count);

    // The length field must lie wholly among the received bytes and inside rx; past them it
    // has not arrived yet and says nothing.
    size_t length_at = static_cast<size_t>(*frame_start) + 2;
    if (count > 4 && length_at + 2 <= count && length_at + 2 <= rx_cap &&
        *frame_start < UINT32_MAX && get_u16(rx + length_at) > count) {
        *frame_start += 1;
    }
    return take;
}

size_t frame_payload_received(size_t rx_cap, uint32_t received_count, uint32_t frame_start,
                              size_t* offset) {
    size_t at = static_cast<size_t>(frame_start) + LINK_FRAME_PAYLOAD_AT;
    size_t end = received_count < rx_cap ? received_count : rx_cap;
    *offset = at;
    return at < end ? end - at : 0;
}
