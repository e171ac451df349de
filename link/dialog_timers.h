// The main dialog's timers: their ids and periods.
//
// The dialog owns every timer; the link code starts and kills most of them (the probe timers,
// the poll timer at a connection's start, the reply window of each transaction), and the port
// code keeps the probe timers' ids off the dialog's own three. So the ids live here, below the
// dialog, where the portable port code reaches them too.
#pragma once

#include <cstdint>

#include "link/link_timing.h"

constexpr uint32_t TIMER_POLL = 1000;       // a status poll is due
constexpr uint32_t TIMER_SCAN = 1001;       // port-scan tick
constexpr uint32_t TIMER_REPLY = 5001;      // reply window of one transaction
constexpr uint32_t TIMER_PROBE_BASE = 1001; // probe timer id = port number + this

constexpr uint32_t POLL_PERIOD_MS = LINK_POLL_PERIOD_MS;
constexpr uint32_t SCAN_PERIOD_MS = 1000;
constexpr uint32_t PROBE_PERIOD_MS = LINK_IDENTIFY_REPLY_MS;
