// The controller's requests as single transactions on an open port, and the search for the
// controller among several ports at once.
//
// A transaction drops what is left over from earlier answers, sends one request frame and
// gathers the answer until it is complete or its reply window ends (link_timing.h). When
// nothing at all has arrived by the end of the window, the first byte may still come during one
// more read of at most the read time-out, as with the window program's read after its reply
// window.
//
// What makes an answer is exactly what the controller is relied on to send, no more:
// - identification: the controller's identification string somewhere in the bytes, read as
//   ident_parse reads it;
// - status: a whole 17-byte frame whose length field says 17; zero bytes may come first, and a
//   frame after other bytes counts when its CRC matches (stray bytes, noise on the line);
// - settings read: the whole 643-byte image with a valid inner CRC, the frame taken from where
//   the link's one-byte realignment puts it when all bytes received are seen at once;
// - settings write: at least one byte, whatever it holds.
// Commands and frame CRCs of answers are never examined. A partial or damaged settings image is
// never handed out.
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
};

// Shows a frame sent or the bytes of an answer received (nothing received: n is 0), for a user
// who watches the line (lumivo24-cli -v).
using SessionTrace = void (*)(const char* port, bool sent, const uint8_t* bytes, size_t n);

// Every transaction from now on is shown through `trace`; nullptr shows nothing (the default).
void session_set_trace(SessionTrace trace);

// An open port and the bytes of the last answer received on it.
struct SessionLink {
    const PortOps* ops;
    PortHandle port;
    const char* name;             // the port's name, for the trace
    uint8_t rx[SESSION_RX_BYTES]; // the answer, from its first byte
    size_t count;                 // bytes in rx
};

// Identifies the controller on an open port.
SessionResult session_identify(SessionLink* link, IdentAnswer* answer);

// One status reading.
SessionResult session_status(SessionLink* link, StatusReadings* readings);

// Reads the 643-byte settings image; only a whole image with a valid inner CRC is copied out.
SessionResult session_read_settings(SessionLink* link, uint8_t image[WIRE_IMAGE_BYTES]);

// Writes the settings image (its inner CRC already in place).
SessionResult session_write_settings(SessionLink* link, const uint8_t image[WIRE_IMAGE_BYTES]);

// One candidate port of a search.
struct ProbeSlot {
    const char* name;     // the port's name, set by the caller
    int open_result;      // PortOpenResult of opening it
    SessionResult answer; // of the identification, when it was opened
    IdentAnswer ident;    // the identification, when answer is SESSION_OK
    bool open;            // the port is still open (a controller answered on it)
    SessionLink link;     // the port
};

// Opens every slot's port, sends each the identification request, and waits for all the answers
// together within the one identification window. Ports that answered as a controller are left
// open in their slot; every other port is closed. Returns the number of controllers found.
size_t session_probe(const PortOps* ops, ProbeSlot* slots, size_t n);

// Closes the port of a slot if session_probe left it open.
void session_probe_close(ProbeSlot* slot);
