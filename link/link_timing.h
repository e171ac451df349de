// How long the link waits on the controller, for the window program and the command-line tool
// alike. A request is answered within its reply window; a read that finds nothing queued waits
// at most the read time-out for the first byte; a request that the line has not taken within
// the write time-out has failed.
#pragma once

#include <cstdint>

constexpr int32_t LINK_IDENTIFY_REPLY_MS = 200; // the identification request: one port's probe
constexpr int32_t LINK_STATUS_REPLY_MS = 100;   // the status request
constexpr int32_t LINK_READ_REPLY_MS = 500;     // the settings read
constexpr int32_t LINK_WRITE_REPLY_MS = 100;    // the settings write
constexpr int32_t LINK_READ_TIMEOUT_MS = 100;   // a read's wait for its first byte
constexpr int32_t LINK_WRITE_TIMEOUT_MS = 1000; // a request's wait for the line to take it
constexpr int32_t LINK_POLL_PERIOD_MS = 200;    // the status poll of a connection
