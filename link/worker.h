// The link worker thread: owns the serial link for the length of one connection.
#pragma once

// Thread body, started with _beginthread once a controller has been identified; the argument is
// not used. Ends itself when a request gets no reply.
void __cdecl link_worker(void* unused);

// The steps of the worker's exit, in the order it takes them. "A controller has been identified"
// (LINK_IDENTIFIED) is cleared last: until then no scan probes a port and no connection starts
// (ports.h), so a new worker never starts while this one still holds the link buffers or the
// poll timer, and at most one worker exists.
enum WorkerExitStep {
    EXIT_PORT_RELEASED,      // connection_release below: port closed, form locked, ...
    EXIT_BUFFERS_FREED,      // RX, TX and RX_TEMP freed
    EXIT_RUNNING_CLEARED,    // LINK_WORKER_RUNS clear, LINK_WORKER_DONE set
    EXIT_POLL_KILLED,        // TIMER_POLL killed
    EXIT_SCAN_STARTED,       // TIMER_SCAN started
    EXIT_IDENTIFIED_CLEARED, // LINK_IDENTIFIED clear: a scan may find a controller again
};

// Called on the worker's thread after each step of its exit, with the step just taken; nullptr
// in the program. The Win32 tests stop the worker there to look at what holds between two steps.
extern void (*link_exit_watch)(WorkerExitStep taken);

// The first steps of ending a connection, shared by the worker's exit and by a connection whose
// worker could not be started: closes the active port, makes the next scan tick scan at once
// and log the port count again, locks the form and clears the active port and the
// identification. Either thread; the counters are stored atomically.
void connection_release();
