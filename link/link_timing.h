// The times of the link, each written once: how long a request waits for its answer, and how
// long the serial line may hold one read or one write.
#pragma once

#include <cstdint>

constexpr int32_t LINK_IDENTIFY_REPLY_MS = 200; // probe answer window
constexpr int32_t LINK_STATUS_REPLY_MS = 100;   // status request answer window
constexpr int32_t LINK_READ_REPLY_MS = 500;     // settings read answer window
constexpr int32_t LINK_WRITE_REPLY_MS = 100;    // settings write answer window
constexpr int32_t LINK_READ_TIMEOUT_MS = 100;   // serial read time-out
constexpr int32_t LINK_WRITE_TIMEOUT_MS = 1000; // serial write time-out
