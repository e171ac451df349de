#include "link/session.h"

#include <algorithm>
#include <cstring>

#include "link/crc16.h"
#include "link/link_timing.h"
#include "link/wire_image.h"

namespace {

SessionTrace session_trace = nullptr;     // shows every transaction when set
SessionProceed session_proceed = nullptr; // says when to stop waiting, when set

bool proceed() {
    return session_proceed == nullptr || session_proceed();
}

void trace(const SessionLink* link, bool sent, const uint8_t* bytes, size_t n) {
    if (session_trace != nullptr) {
        session_trace(link->name != nullptr ? link->name : "", sent, bytes, n);
    }
}

constexpr size_t STATUS_FRAME_BYTES = 17; // the status reply, CRC included
// The longest answer of each request, as the controller sends it.
constexpr size_t IDENT_ANSWER_BYTES = LINK_FRAME_OVERHEAD + IDENT_TEXT_CAP - 1;
constexpr size_t SETTINGS_ANSWER_BYTES = LINK_FRAME_OVERHEAD + WIRE_IMAGE_BYTES;
constexpr size_t WRITE_ANSWER_BYTES = LINK_FRAME_OVERHEAD + 1;

// Tells whether the bytes gathered so far already make the whole answer, so that the
// transaction can end without waiting for more. Whatever it says, the answer is judged again
// once gathering ends.
using AnswerComplete = bool (*)(const uint8_t* rx, size_t count);

// Where an answer that has begun as the one expected stands, when it is not whole yet.
struct AnswerBegun {
    size_t at;    // its first byte among the bytes received
    size_t bytes; // its whole length, as its frame head gives it
};

// Tells whether the bytes gathered so far hold the start of the answer expected that runs past
// them: a frame head the controller would send, at the place the reader of the answer would
// take it, with a length that the bytes received do not reach yet.
using AnswerBegins = bool (*)(const uint8_t* rx, size_t count, AnswerBegun* begun);

// What a transaction knows of the answer it waits for.
struct AnswerShape {
    size_t longest;          // bytes of its longest form, for its deadlines
    AnswerComplete complete; // the answer is whole
    AnswerBegins begins;     // the answer has begun and is not whole
};

// The deadlines of one answer on the clock (link_timing.h).
struct AnswerDeadlines {
    int64_t first_byte; // nothing by then: no answer
    int64_t limit;      // still coming by then: cut off
};

// The deadlines of an answer of at most `answer_bytes` to a request of `request_bytes` handed to
// the port at `sent`.
AnswerDeadlines deadlines_from(int64_t sent, size_t request_bytes, size_t answer_bytes) {
    const int64_t first = sent + link_tool_crossing_ms(request_bytes) + LINK_TOOL_FIRST_BYTE_MS;
    return {first, first + link_tool_crossing_ms(answer_bytes) + LINK_TOOL_SLACK_MS};
}

// How the gathering of an answer ended.
enum GatherEnd : int {
    GATHER_WHOLE,   // the answer is whole
    GATHER_QUIET,   // no byte came at all, or none for a whole pause
    GATHER_CUT_OFF, // bytes were still coming at the limit, or the buffer is full
    GATHER_FAILED,  // the port failed
    GATHER_STOPPED, // the program is to stop
};

uint16_t get_u16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

// A frame head at `at` whose length field is `bytes`, running past the count received.
bool frame_runs_past(const uint8_t* rx, size_t count, size_t at, size_t bytes) {
    return at + LINK_FRAME_PAYLOAD_AT <= count && get_u16(rx + at + 2) == bytes &&
           at + bytes > count;
}

// The first frame head anywhere whose length field says 17 and which runs past the bytes.
bool status_begins(const uint8_t* rx, size_t count, AnswerBegun* begun) {
    for (size_t at = 0; at + LINK_FRAME_PAYLOAD_AT <= count; ++at) {
        if (frame_runs_past(rx, count, at, STATUS_FRAME_BYTES)) {
            *begun = {at, STATUS_FRAME_BYTES};
            return true;
        }
    }
    return false;
}

// The settings frame at the start, or one stray byte later, as the link realigns.
bool settings_begins(const uint8_t* rx, size_t count, AnswerBegun* begun) {
    for (size_t at = 0; at < 2; ++at) {
        if (frame_runs_past(rx, count, at, SETTINGS_ANSWER_BYTES)) {
            *begun = {at, SETTINGS_ANSWER_BYTES};
            return true;
        }
    }
    return false;
}

// The controller's answer of one payload byte.
bool write_begins(const uint8_t* rx, size_t count, AnswerBegun* begun) {
    if (frame_runs_past(rx, count, 0, WRITE_ANSWER_BYTES)) {
        *begun = {0, WRITE_ANSWER_BYTES};
        return true;
    }
    return false;
}

bool ident_begins(const uint8_t* rx, size_t count, AnswerBegun* begun) {
    return ident_answer_begins(rx, count, &begun->at, &begun->bytes);
}

// Where the status frame stands among the bytes of an answer. Zero bytes before it are passed
// over, as the window passes them over; its length field says 17, both bytes. A frame found where
// the window would read it (the first byte that is not zero) is taken as it is, CRC or not, as
// the window takes it. Stray bytes before it, or noise, are stepped over byte by byte, as the
// settings read realigns on its length field, but a frame found further on counts only with a
// matching CRC: noise that happens to hold the bytes 11 00 is no reading. Returns false when no
// frame stands anywhere; numbers are never taken from anything else. *crc_ok tells whether the
// frame found carries a matching CRC.
bool status_frame_at(const uint8_t* rx, size_t count, size_t* at, bool* crc_ok) {
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
            *crc_ok = true;
            return true;
        }
        first_is_frame = first_is_frame || p == first;
    }
    *at = first;
    *crc_ok = false;
    return first_is_frame;
}

bool status_complete(const uint8_t* rx, size_t count) {
    size_t at = 0;
    bool crc_ok = false;
    return status_frame_at(rx, count, &at, &crc_ok);
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

// Drops what is still coming of an answer that was cut off: reads until the line has been quiet
// for a pause, or for as long as a whole answer may take. False when the port failed.
bool settle(SessionLink* link) {
    const PortOps* ops = link->ops;
    link->unsettled = false;
    const int64_t start = ops->now_ms(ops->context);
    const int64_t limit = start + link_tool_crossing_ms(SESSION_RX_BYTES) + LINK_TOOL_SLACK_MS;
    int64_t last = start;
    for (;;) {
        const int64_t now = ops->now_ms(ops->context);
        const int64_t deadline = std::min(last + LINK_TOOL_PAUSE_MS, limit);
        if (now >= deadline || !proceed()) {
            return true;
        }
        const long got = ops->read(ops->context, link->port, link->rx, SESSION_RX_BYTES, deadline);
        if (got < 0) {
            return false;
        }
        if (got > 0) {
            last = ops->now_ms(ops->context);
        }
    }
}

// Sends the request, after dropping whatever the line still holds. Returns the frame's length,
// 0 when the port failed or nothing could be framed.
size_t send_request(SessionLink* link, int32_t command, const uint8_t* payload, size_t n) {
    uint8_t tx[WIRE_IMAGE_BYTES + LINK_FRAME_OVERHEAD];
    link->request_sent = false;
    link->answer_bytes = 0;
    link->answer_received = 0;
    link->answer_still_coming = false;
    if (n > WIRE_IMAGE_BYTES) {
        return 0;
    }
    if (n > 0) {
        memcpy(tx + LINK_FRAME_PAYLOAD_AT, payload, n);
    }
    const size_t length = frame_build(tx, sizeof tx, command, static_cast<int32_t>(n));
    if (link->unsettled && !settle(link)) {
        return 0;
    }
    link->ops->discard(link->ops->context, link->port);
    link->count = 0;
    if (length == 0) {
        return 0;
    }
    trace(link, true, tx, length);
    link->request_sent = true; // a write that fails may have passed some bytes on
    return link->ops->write(link->ops->context, link->port, tx, length) ? length : 0;
}

// Gathers the answer until it is whole, or no byte comes by the first-byte deadline, or a pause
// between bytes lasts LINK_TOOL_ANSWER_PAUSE_MS within an answer that has begun and
// LINK_TOOL_PAUSE_MS after other bytes, or the limit comes while bytes are still coming or an
// answer that has begun is still not whole.
GatherEnd gather(SessionLink* link, const AnswerDeadlines& due, const AnswerShape& shape) {
    const PortOps* ops = link->ops;
    int64_t last = 0; // when the latest bytes came
    for (;;) {
        if (shape.complete(link->rx, link->count)) {
            return GATHER_WHOLE;
        }
        if (link->count == SESSION_RX_BYTES) {
            return GATHER_CUT_OFF;
        }
        if (!proceed()) {
            return GATHER_STOPPED;
        }
        AnswerBegun begun{};
        const bool begins = shape.begins(link->rx, link->count, &begun);
        const int64_t pause = begins ? LINK_TOOL_ANSWER_PAUSE_MS : LINK_TOOL_PAUSE_MS;
        const int64_t quiet = link->count == 0 ? due.first_byte : last + pause;
        const int64_t deadline = std::min(quiet, due.limit);
        // A deadline already past still takes what is there: bytes that waited in the driver
        // while another port of a search was read.
        const long got = ops->read(ops->context, link->port, link->rx + link->count,
                                   SESSION_RX_BYTES - link->count, deadline);
        if (got < 0) {
            return GATHER_FAILED;
        }
        if (got > 0) {
            const size_t room = SESSION_RX_BYTES - link->count;
            link->count += static_cast<size_t>(got) < room ? static_cast<size_t>(got) : room;
            last = ops->now_ms(ops->context);
        } else if (ops->now_ms(ops->context) >= deadline) {
            return deadline == quiet ? GATHER_QUIET : GATHER_CUT_OFF;
        } // else woken early with nothing: wait on
    }
}

// What a transaction's gathering means: SESSION_OK when bytes came (the caller judges them),
// SESSION_INCOMPLETE when they began the answer and it stopped short, whatever else they hold.
// The rest of an answer that stopped short may still come: it is drained before the next
// request, as that of an answer cut off.
SessionResult gathered(SessionLink* link, GatherEnd end, const AnswerShape& shape) {
    AnswerBegun begun{};
    const bool short_of_whole = (end == GATHER_QUIET || end == GATHER_CUT_OFF) &&
                                shape.begins(link->rx, link->count, &begun);
    link->unsettled = end == GATHER_CUT_OFF || short_of_whole;
    trace(link, false, link->rx, link->count);
    if (end == GATHER_FAILED) {
        return SESSION_PORT_FAILED;
    }
    if (end == GATHER_STOPPED) {
        return SESSION_STOPPED;
    }
    if (short_of_whole) {
        link->answer_bytes = begun.bytes;
        link->answer_received = link->count - begun.at;
        link->answer_still_coming = end == GATHER_CUT_OFF;
        return SESSION_INCOMPLETE;
    }
    return link->count == 0 ? SESSION_SILENT : SESSION_OK;
}

const AnswerShape IDENT_SHAPE = {IDENT_ANSWER_BYTES, ident_answer_whole, ident_begins};
const AnswerShape STATUS_SHAPE = {STATUS_FRAME_BYTES, status_complete, status_begins};
const AnswerShape SETTINGS_SHAPE = {SETTINGS_ANSWER_BYTES, settings_complete, settings_begins};
const AnswerShape WRITE_SHAPE = {WRITE_ANSWER_BYTES, write_complete, write_begins};

// One request and its answer.
SessionResult transact(SessionLink* link, int32_t command, const uint8_t* payload, size_t n,
                       const AnswerShape& shape) {
    if (!proceed()) {
        return SESSION_STOPPED;
    }
    const size_t sent = send_request(link, command, payload, n);
    if (sent == 0) {
        return SESSION_PORT_FAILED;
    }
    const int64_t now = link->ops->now_ms(link->ops->context);
    return gathered(link, gather(link, deadlines_from(now, sent, shape.longest), shape), shape);
}

} // namespace

void session_set_trace(SessionTrace trace_to) {
    session_trace = trace_to;
}

void session_set_proceed(SessionProceed proceed_while) {
    session_proceed = proceed_while;
}

SessionResult session_identify(SessionLink* link, IdentAnswer* answer) {
    SessionResult result = transact(link, CMD_IDENTIFY, nullptr, 0, IDENT_SHAPE);
    if (result != SESSION_OK) {
        return result;
    }
    return ident_parse(link->rx, SESSION_RX_BYTES, link->count, answer) ? SESSION_OK
                                                                        : SESSION_INVALID;
}

SessionResult session_status(SessionLink* link, StatusReadings* readings, bool* checksum_ok) {
    SessionResult result = transact(link, CMD_GET_STATUS, nullptr, 0, STATUS_SHAPE);
    if (result != SESSION_OK) {
        return result;
    }
    size_t at = 0;
    if (!status_frame_at(link->rx, link->count, &at, checksum_ok)) {
        return SESSION_INVALID;
    }
    return status_reply_parse(link->rx + at, link->count - at, readings) ? SESSION_OK
                                                                         : SESSION_INVALID;
}

SessionResult session_read_settings(SessionLink* link, uint8_t image[WIRE_IMAGE_BYTES]) {
    SessionResult result = transact(link, CMD_READ_SETTINGS, nullptr, 0, SETTINGS_SHAPE);
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
    // Any byte answers a write: one whose frame stopped short still came.
    const SessionResult result =
        transact(link, CMD_WRITE_SETTINGS, image, WIRE_IMAGE_BYTES, WRITE_SHAPE);
    return result == SESSION_INCOMPLETE ? SESSION_OK : result;
}

size_t session_probe(const PortOps* ops, ProbeSlot* slots, size_t n) {
    size_t request_bytes = 0;
    for (size_t i = 0; i < n; ++i) {
        ProbeSlot* slot = &slots[i];
        slot->answer = SESSION_SILENT;
        slot->open = false;
        slot->link.ops = ops;
        slot->link.name = slot->name;
        slot->link.count = 0;
        slot->link.unsettled = false;
        if (slot->left_alone) {
            slot->open_result = PORT_LEFT_ALONE;
            continue;
        }
        slot->open_result = ops->open(ops->context, slot->name, &slot->link.port);
        if (slot->open_result == PORT_OPENED) {
            const size_t sent = send_request(&slot->link, CMD_IDENTIFY, nullptr, 0);
            if (sent == 0) {
                slot->answer = SESSION_PORT_FAILED;
            }
            request_bytes = std::max(request_bytes, sent);
        }
    }
    // Every request is out: the answers come in together, each port's waiting in its driver
    // while another is read, and all are due from the same moment.
    const AnswerDeadlines due =
        deadlines_from(ops->now_ms(ops->context), request_bytes, IDENT_ANSWER_BYTES);
    size_t found = 0;
    for (size_t i = 0; i < n; ++i) {
        ProbeSlot* slot = &slots[i];
        if (slot->open_result != PORT_OPENED) {
            continue;
        }
        if (slot->answer == SESSION_SILENT) {
            slot->answer =
                gathered(&slot->link, gather(&slot->link, due, IDENT_SHAPE), IDENT_SHAPE);
            if (slot->answer == SESSION_OK &&
                !ident_parse(slot->link.rx, SESSION_RX_BYTES, slot->link.count, &slot->ident)) {
                slot->answer = SESSION_INVALID;
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
