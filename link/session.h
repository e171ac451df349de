// The controller's requests as single transactions on an open port, and the search for the
// controller among several ports at once.
//
// A transaction drops what is left over from earlier answers, sends one request frame and
// gathers the answer until it is whole. It is not bound to the window program's reply windows
// (link_timing.h): the first byte is waited for as long as the request takes to cross a slow
// line and a little more, so that a silent controller is given up well within a second. After
// that, an answer that has begun as the one expected (its frame head, and for the
// identification the start of the controller's string, as the controller sends them) is waited
// for through pauses of up to LINK_TOOL_ANSWER_PAUSE_MS, and any other bytes as long as no pause
// lasts LINK_TOOL_PAUSE_MS, so that a slow line or a pause in the middle of an answer does not
// cut it short, while noise does not hold the tool up. An answer that was cut off while its
// bytes kept coming is drained from the line before the next request, so that its tail is
// never taken for the next answer.
//
// What makes an answer is exactly what the controller is relied on to send, no more:
// - identification: the controller's identification string somewhere in the bytes, read as
//   ident_parse reads it;
// - status: a whole 17-byte frame whose length field says 17; zero bytes may come first, and a
//   frame after other bytes counts when its CRC matches (stray bytes, noise on the line);
// - settings read: the whole 643-byte image with a valid inner CRC, the frame taken from where
//   the link's one-byte realignment puts it when all bytes received are seen at once;
// - settings write: at least one byte, whatever it holds.
// An answer that began as the one expected and stopped before it was whole is told as such
// (SESSION_INCOMPLETE, with how far it came), never as another device's answer: an
// identification whose frame stopped short is not read, as its version may be cut. Commands
// of answers are never examined, nor frame CRCs but the status frame's, whose result is told.
// A partial or damaged settings image is never handed out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/port_ops.h"
#include "link/frame.h"
#include "link/ident_answer.h"
#include "link/status_reply.h"

constexpr size_t SESSION_RX_BYTES = 8192; // bytes of one answer kept; later ones are not read

enum SessionResult : int {
    SESSION_OK = 0,
    SESSION_SILENT = -1,      // not one byte came back
    SESSION_INVALID = -2,     // bytes came, but not the answer relied on
    SESSION_PORT_FAILED = -3, // the port failed while sending or receiving
    SESSION_STOPPED = -4,     // the program is to stop: the wait was given up (the request, if
                              // any was sent, has gone out)
    SESSION_INCOMPLETE = -5,  // the answer began as the one expected but stopped before it was
                              // whole: SessionLink's answer_received of answer_bytes came
};

// Shows a frame sent or the bytes of an answer received (nothing received: n is 0), for a user
// who watches the line (lumivo24-cli -v).
using SessionTrace = void (*)(const char* port, bool sent, const uint8_t* bytes, size_t n);

// Every transaction from now on is shown through `trace`; nullptr shows nothing (the default).
void session_set_trace(SessionTrace trace);

// Asked whenever an answer is waited for; false ends the wait at once with SESSION_STOPPED, so
// that a program told to stop (Ctrl+C) gives its ports back without delay. nullptr (the
// default) never stops.
using SessionProceed = bool (*)();
void session_set_proceed(SessionProceed proceed);

// An open port and the bytes of the last answer received on it.
struct SessionLink {
    const PortOps* ops;
    PortHandle port;
    const char* name;             // the port's name, for the trace
    uint8_t rx[SESSION_RX_BYTES]; // the answer, from its first byte
    size_t count;                 // bytes in rx
    bool unsettled;               // the last answer was cut off while its bytes kept coming
    bool request_sent;            // the last request was handed to the port, whole or in part:
                                  // the controller may have taken it, whatever followed
    size_t answer_bytes;          // SESSION_INCOMPLETE: the length of the frame that began
    size_t answer_received;       // SESSION_INCOMPLETE: how many of its bytes came
    bool answer_still_coming;     // SESSION_INCOMPLETE: its bytes were still coming when the
                                  // wait ended (a line slower than the tool waits for)
};

// Identifies the controller on an open port.
SessionResult session_identify(SessionLink* link, IdentAnswer* answer);

// One status reading. *checksum_ok tells whether the frame's CRC matched: a frame at the start
// of the answer is read as the window reads it, CRC or not.
SessionResult session_status(SessionLink* link, StatusReadings* readings, bool* checksum_ok);

// Reads the 643-byte settings image; only a whole image with a valid inner CRC is copied out.
SessionResult session_read_settings(SessionLink* link, uint8_t image[WIRE_IMAGE_BYTES]);

// Writes the settings image (its inner CRC already in place).
SessionResult session_write_settings(SessionLink* link, const uint8_t image[WIRE_IMAGE_BYTES]);

// One candidate port of a search.
struct ProbeSlot {
    const char* name;     // the port's name, set by the caller
    bool left_alone;      // set by the caller: not to be opened (open_result PORT_LEFT_ALONE)
    int open_result;      // PortOpenResult of opening it
    SessionResult answer; // of the identification, when it was opened
    IdentAnswer ident;    // the identification, when answer is SESSION_OK
    bool open;            // the port is still open (a controller answered on it)
    SessionLink link;     // the port
};

// Opens every slot's port but those left alone, sends each the identification request, and waits
// for all the answers together, each port's deadlines counted from the same moment. Ports that
// answered as a controller are left open in their slot; every other port is closed. Returns the
// number of controllers found.
size_t session_probe(const PortOps* ops, ProbeSlot* slots, size_t n);

// Closes the port of a slot if session_probe left it open.
void session_probe_close(ProbeSlot* slot);
