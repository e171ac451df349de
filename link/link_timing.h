// How long the link waits on the controller, for the window program and the command-line tool.
//
// The window program keeps to fixed reply windows: a request is answered within its window; a
// read that finds nothing queued waits at most the read time-out for the first byte; a request
// that the line has not taken within the write time-out has failed.
//
// The command-line tool is not bound to that cadence. It takes an answer as soon as it is
// whole, and waits for the rest of one as long as its bytes keep coming, so that a slow line or
// a short pause in the middle of an answer does not make it fail; yet a controller that sends
// nothing at all is given up well within a second.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t LINK_IDENTIFY_REPLY_MS = 200; // the identification request: one port's probe
constexpr int32_t LINK_STATUS_REPLY_MS = 100;   // the status request
constexpr int32_t LINK_READ_REPLY_MS = 500;     // the settings read
constexpr int32_t LINK_WRITE_REPLY_MS = 100;    // the settings write
constexpr int32_t LINK_READ_TIMEOUT_MS = 100;   // a read's wait for its first byte
constexpr int32_t LINK_WRITE_TIMEOUT_MS = 1000; // a request's wait for the line to take it
constexpr int32_t LINK_POLL_PERIOD_MS = 200;    // the status poll of a connection

// The command-line tool's deadlines for one answer, counted from the moment its request has
// been handed to the port: its first byte must come within the time the request takes to cross
// the line and LINK_TOOL_FIRST_BYTE_MS; after that the answer is waited for as long as no pause
// between its bytes lasts LINK_TOOL_ANSWER_PAUSE_MS when they begin the answer expected
// (session.h), LINK_TOOL_PAUSE_MS when they do not, but no longer than its longest form takes
// to cross the line once the first byte was due, and LINK_TOOL_SLACK_MS for pauses. So an
// answer that keeps to the slowest line and pauses for no more than a second in all is taken.
constexpr int32_t LINK_TOOL_FIRST_BYTE_MS = 300;    // the first byte, once the request has crossed
constexpr int32_t LINK_TOOL_SLOWEST_BAUD = 9600;    // the line whose crossing times are allowed for
constexpr int32_t LINK_TOOL_PAUSE_MS = 250;         // a pause after bytes that begin no answer
constexpr int32_t LINK_TOOL_ANSWER_PAUSE_MS = 1000; // a pause within an answer that has begun
constexpr int32_t LINK_TOOL_SLACK_MS = 1000;        // the pauses of one answer together

// How long `bytes` take to cross the slowest line the tool waits for, at 10 bits a byte (8N1),
// rounded up: the port takes a request at once, but the controller can answer only once it has
// crossed (a 649-byte settings write takes 677 ms at 9600 baud), and a whole answer comes no
// faster than its bytes cross.
constexpr int32_t link_tool_crossing_ms(size_t bytes) {
    return static_cast<int32_t>((bytes * 10 * 1000 + LINK_TOOL_SLOWEST_BAUD - 1) /
                                LINK_TOOL_SLOWEST_BAUD);
}
