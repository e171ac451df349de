// One pass of the link worker's loop, apart from the platform it runs on.
//
// A pass polls the sensors when a poll is due, drains what arrived in between, and carries out
// the settings read or write that the pending command cell asks for, taking the command out of
// the cell as it reads it, so that a click made during the transfer waits for the next pass. The
// platform side supplies the operations below. The worker code on Windows runs the pass on its
// thread; the unit tests run it on a plain thread against a simulated user-interface thread, under
// ThreadSanitizer.
//
// Closing the window sets LINK_CLOSING and waits a short while for the worker to end: the request
// under way is finished, a settings write clicked before the close is carried out (a read is
// not), and then the worker ends. Should it take too long, the window clears LINK_WORKER_RUNS
// before it goes: a pass that finds that bit clear before a request ends at once, and a settings
// write goes out only when the form was really gathered, so a worker that outlives its window
// sends nothing more.
#pragma once

#include <cstdint>

#include "settings/settings_layout.h"

// The form as the user-interface thread gathered it for a settings write. The worker hands it
// over zeroed; only the user-interface thread sets `filled`, after it has copied every value. A
// copy that comes back unfilled (the window was gone) holds nothing of the form.
struct FormCopy {
    float values[SETTINGS_COUNT]; // the SettingsTable as gathered from the form
    bool filled;                  // true once `values` hold the gathered form
};

struct WorkerOps {
    void* context; // passed to every operation
    // One transaction; 0 when at least one byte came back, nonzero when nothing did.
    int (*transact)(void* context, int32_t command, int32_t payload_length, int32_t timeout_ms);
    void (*receive)(void* context);     // one drain read between transactions
    void (*show_status)(void* context); // show the readings of the status reply just received
    // Gathers the form and packs the settings payload into the request. False when the form
    // could not be gathered (the window is gone): nothing has been packed, nothing may be sent.
    bool (*prepare_write)(void* context);
    // Takes the settings reply just received: true when it was complete and valid and is now
    // in the table and the form, false when it was left alone.
    bool (*take_settings)(void* context);
    void (*log)(void* context, const char16_t* line); // one line for the status log
};

enum WorkerPassResult {
    PASS_CONTINUE = 0, // begin the next pass
    PASS_DISCONNECTED = 1, // a request got no reply; "Контроллер отключен." has been logged
    PASS_STOPPED = 2, // the connection was asked to end (LINK_WORKER_RUNS clear, or the window
                      // closing), or the form of a write could not be gathered
};

WorkerPassResult worker_pass(uint32_t* link_flags, int32_t* pending_command, const WorkerOps* ops);
