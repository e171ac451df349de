#include "link/session.h"

#include <cstring>

#include "link/crc16.h"
#include "link/link_timing.h"
#include "link/wire_image.h"

namespace {

SessionTrace session_trace = nullptr; // shows every transaction when set

void trace(const SessionLink* link, bool sent, const uint8_t* bytes, size_t n) {
    if (session_trace != nullptr) {
        session_trace(link->name != nullptr ? link->name : "", sent, bytes, n);
    }
}

constexpr size_t STATUS_FRAME_BYTES = 17; // the status reply, CRC included

// Tells whether the bytes gathered so far already make the whole answer, so that the
// transaction can end before its window does. Whatever it says, the answer is judged again
// once gathering ends.
using AnswerComplete = bool (*)(const uint8_t* rx, size_t count);

uint16_t get_u16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

// Where the status frame stands among the bytes of an answer. Zero bytes before it are passed
// over, as the window passes them over; its length field says 17, both bytes. A frame found where
// the window would read it (the first byte that is not zero) is taken as it is, CRC or not, as
// the window takes it. Stray bytes before it, or noise, are stepped over byte by byte, as the
// settings read realigns on its length field, but a frame found further on counts only with a
// matching CRC: noise that happens to hold the bytes 11 00 is no reading. Returns false when no
// frame stands anywhere; numbers are never taken from anything else.
bool status_frame_at(const uint8_t* rx, size_t count, size_t* at) {
    size_t first = 0;
    while (first < count && rx[first] == 0) {
        ++first;
    }
    bool first_is_frame = false;
    for (size_t p = first; p + STATUS_FRAME_BYTES <= count; ++p) {
        if (get_u16(rx + p + 2) != STATUS_FRAME_BYTES) {
            continue;
        }
        const size_t body = STATUS_FRAME_BYTES - 2;
        if (link_crc16(rx + p, body) == get_u16(rx + p + body)) {
            *at = p;
            return true;
        }
        first_is_frame = first_is_frame || p == first;
    }
    *at = first;
    return first_is_frame;
}

bool status_complete(const uint8_t* rx, size_t count) {
    size_t at = 0;
    return status_frame_at(rx, count, &at);
}

// Where the settings image stands: the frame start that the link's receive step gives when all
// the bytes arrive in one read (one stray byte before the frame is stepped over). Returns the
// number of image bytes from *offset.
size_t settings_image_at(const uint8_t* rx, size_t count, size_t* offset) {
    uint8_t aligned[SESSION_RX_BYTES];
    uint32_t received = 0;
    uint32_t frame_start = 0;
    frame_receive_append(aligned, sizeof aligned, &received, &frame_start, rx, count);
    return frame_payload_received(sizeof aligned, received, frame_start, offset);
}

bool settings_complete(const uint8_t* rx, size_t count) {
    size_t offset = 0;
    const size_t available = settings_image_at(rx, count, &offset);
    return wire_image_valid(rx + offset, available);
}

// Any byte answers a write; a frame whose length field is met ends the wait early.
bool write_complete(const uint8_t* rx, size_t count) {
    if (count < LINK_FRAME_PAYLOAD_AT) {
        return false;
    }
    const size_t length = get_u16(rx + 2);
    return length >= LINK_FRAME_OVERHEAD && count >= length;
}

bool send_request(SessionLink* link, int32_t command, const uint8_t* payload, size_t n) {
    uint8_t tx[WIRE_IMAGE_BYTES + LINK_FRAME_OVERHEAD];
    if (n > WIRE_IMAGE_BYTES) {
        return false;
    }
    if (n > 0) {
        memcpy(tx + LINK_FRAME_PAYLOAD_AT, payload, n);
    }
    const size_t length = frame_build(tx, sizeof tx, command, static_cast<int32_t>(n));
    link->ops->discard(link->ops->context, link->port);
    link->count = 0;
    if (length == 0) {
        return false;
    }
    trace(link, true, tx, length);
    return link->ops->write(link->ops->context, link->port, tx, length);
}

// Gathers the answer until it is complete, or the window ends (`until`), or, when nothing has
// come by then, the late read ends (`late`). Returns false when the port failed.
bool gather(SessionLink* link, int64_t until, int64_t late, AnswerComplete complete) {
    const PortOps* ops = link->ops;
    while (link->count < SESSION_RX_BYTES && !complete(link->rx, link->count)) {
        const int64_t deadline = link->count == 0 ? late : until;
        const long got = ops->read(ops->context, link->port, link->rx + link->count,
                                   SESSION_RX_BYTES - link->count, deadline);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            if (ops->now_ms(ops->context) >= deadline) {
                break;
            }
            continue; // woken early with nothing: wait on
        }
        const size_t room = SESSION_RX_BYTES - link->count;
        link->count += static_cast<size_t>(got) < room ? static_cast<size_t>(got) : room;
    }
    return true;
}

// One request and its answer; SESSION_OK means that bytes came (the caller judges them).
SessionResult transact(SessionLink* link, int32_t command, const uint8_t* payload, size_t n,
                       int window_ms, AnswerComplete complete) {
    if (!send_request(link, command, payload, n)) {
        return SESSION_PORT_FAILED;
    }
    const int64_t until = link->ops->now_ms(link->ops->context) + window_ms;
    const bool gathered = gather(link, until, until + LINK_READ_TIMEOUT_MS, complete);
    trace(link, false, link->rx, link->count);
    if (!gathered) {
        return SESSION_PORT_FAILED;
    }
    return link->count == 0 ? SESSION_SILENT : SESSION_OK;
}

} // namespace

void session_set_trace(SessionTrace trace_to) {
    session_trace = trace_to;
}

SessionResult session_identify(SessionLink* link, IdentAnswer* answer) {
    SessionResult result =
        transact(link, CMD_IDENTIFY, nullptr, 0, LINK_IDENTIFY_REPLY_MS, ident_answer_whole);
    if (result != SESSION_OK) {
        return result;
    }
    return ident_parse(link->rx, SESSION_RX_BYTES, link->count, answer) ? SESSION_OK
                                                                        : SESSION_INVALID;
}

SessionResult session_status(SessionLink* link, StatusReadings* readings) {
    SessionResult result =
        transact(link, CMD_GET_STATUS, nullptr, 0, LINK_STATUS_REPLY_MS, status_complete);
    if (result != SESSION_OK) {
        return result;
    }
    size_t at = 0;
    if (!status_frame_at(link->rx, link->count, &at)) {
        return SESSION_INVALID;
    }
    return status_reply_parse(link->rx + at, link->count - at, readings) ? SESSION_OK
                                                                         : SESSION_INVALID;
}

SessionResult session_read_settings(SessionLink* link, uint8_t image[WIRE_IMAGE_BYTES]) {
    SessionResult result =
        transact(link, CMD_READ_SETTINGS, nullptr, 0, LINK_READ_REPLY_MS, settings_complete);
    if (result != SESSION_OK) {
        return result;
    }
    size_t offset = 0;
    const size_t available = settings_image_at(link->rx, link->count, &offset);
    if (!wire_image_valid(link->rx + offset, available)) {
        return SESSION_INVALID;
    }
    memcpy(image, link->rx + offset, WIRE_IMAGE_BYTES);
    return SESSION_OK;
}

SessionResult session_write_settings(SessionLink* link, const uint8_t image[WIRE_IMAGE_BYTES]) {
    return transact(link, CMD_WRITE_SETTINGS, image, WIRE_IMAGE_BYTES, LINK_WRITE_REPLY_MS,
                    write_complete);
}

size_t session_probe(const PortOps* ops, ProbeSlot* slots, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        ProbeSlot* slot = &slots[i];
        slot->answer = SESSION_SILENT;
        slot->open = false;
        slot->link.ops = ops;
        slot->link.name = slot->name;
        slot->link.count = 0;
        slot->open_result = ops->open(ops->context, slot->name, &slot->link.port);
        if (slot->open_result == PORT_OPENED &&
            !send_request(&slot->link, CMD_IDENTIFY, nullptr, 0)) {
            slot->answer = SESSION_PORT_FAILED;
        }
    }
    // Every request is out: the answers come in together, each port's waiting in its driver
    // while another is read, and all share the one window.
    const int64_t until = ops->now_ms(ops->context) + LINK_IDENTIFY_REPLY_MS;
    size_t found = 0;
    for (size_t i = 0; i < n; ++i) {
        ProbeSlot* slot = &slots[i];
        if (slot->open_result != PORT_OPENED) {
            continue;
        }
        if (slot->answer == SESSION_SILENT) {
            const bool gathered =
                gather(&slot->link, until, until + LINK_READ_TIMEOUT_MS, ident_answer_whole);
            trace(&slot->link, false, slot->link.rx, slot->link.count);
            if (!gathered) {
                slot->answer = SESSION_PORT_FAILED;
            } else if (slot->link.count > 0) {
                slot->answer =
                    ident_parse(slot->link.rx, SESSION_RX_BYTES, slot->link.count, &slot->ident)
                        ? SESSION_OK
                        : SESSION_INVALID;
            }
        }
        if (slot->answer == SESSION_OK) {
            slot->open = true;
            ++found;
        } else {
            ops->close(ops->context, slot->link.port);
        }
    }
    return found;
}

void session_probe_close(ProbeSlot* slot) {
    if (slot->open) {
        slot->link.ops->close(slot->link.ops->context, slot->link.port);
        slot->open = false;
    }
}
