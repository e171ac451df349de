// One pass of the link worker's loop, apart from the platform it runs on.
//
// A pass polls the sensors when a poll is due, drains what arrived in between, and carries out
// the first settings read or write waiting in the command queue, so that clicks are carried out
// one a pass, in the order they were made, with the polls in between. The platform side supplies
// the operations below. The worker code on Windows runs the pass on its thread; the unit tests
// run it on a plain thread against a simulated user-interface thread, under ThreadSanitizer.
//
// A settings write sends the form only when it passed its check (the user-interface thread logs
// why it did not, and the connection goes on). The write's answer says nothing of what the
// controller stored, so the settings are read back in the same pass and compared byte for byte
// with what was sent; "Данные записаны в контроллер." is logged only when they are the same.
//
// Closing the window sets LINK_CLOSING and waits a short while for the worker to end: the request
// under way is finished, a settings write clicked before the close is carried out (a read is
// not; one write, of the form as it stands then, for any number of writes waiting), and then
// the worker ends. Should it take too long, the window clears LINK_WORKER_RUNS before it goes: a
// pass that finds that bit clear before a request ends at once, and a settings write goes out
// only when the form was really gathered, so a worker that outlives its window sends nothing
// more.
#pragma once

#include <cstdint>

#include "link/command_queue.h"
#include "settings/settings_layout.h"

// The form as the user-interface thread gathered it for a settings write. The worker hands it
// over zeroed; only the user-interface thread sets `filled`, after it has gathered and checked the
// form. A copy that comes back unfilled (the window was gone) holds nothing of the form; one that
// comes back refused failed its check, and must not be sent.
struct FormCopy {
    float values[SETTINGS_COUNT]; // the SettingsTable as gathered from the form
    bool refused;                 // the form failed its check; the log has said why
    bool filled;                  // true once the form was gathered (and, unless refused, copied)
};

// What became of the form for a settings write.
enum WriteReady {
    WRITE_PACKED,  // checked and packed into the request
    WRITE_REFUSED, // it failed its check: nothing was packed; the log has said why
    WRITE_NO_FORM, // it could not be gathered (the window is gone): nothing may be sent
};

// What a settings read after a write found.
enum WriteCheck {
    WRITE_HELD,     // the controller's payload is byte for byte the one sent
    WRITE_NOT_HELD, // it is another
    WRITE_UNREAD,   // the reply was not a complete, valid payload
};

struct WorkerOps {
    void* context; // passed to every operation
    // One transaction; 0 when at least one byte came back, nonzero when nothing did.
    int (*transact)(void* context, int32_t command, int32_t payload_length, int32_t timeout_ms);
    void (*receive)(void* context);     // one drain read between transactions
    void (*show_status)(void* context); // show the readings of the status reply just received
    // Gathers and checks the form and packs the settings payload into the request, keeping a
    // copy of the payload for check_written.
    WriteReady (*prepare_write)(void* context);
    // Takes the settings reply just received: true when it was complete and valid and is now
    // in the table and the form, false when it was left alone.
    bool (*take_settings)(void* context);
    void (*log)(void* context, const char16_t* line); // one line for the status log
    // Compares the settings reply just received with the payload of the last write.
    WriteCheck (*check_written)(void* context);
};

enum WorkerPassResult {
    PASS_CONTINUE = 0, // begin the next pass
    PASS_DISCONNECTED = 1, // a request got no reply; "Контроллер отключен." has been logged
    PASS_STOPPED = 2, // the connection was asked to end (LINK_WORKER_RUNS clear, or the window
                      // closing), or the form of a write could not be gathered
};

WorkerPassResult worker_pass(uint32_t* link_flags, CommandQueue* commands, const WorkerOps* ops);
