// The link worker thread: owns the serial link for the length of one connection.
#pragma once

// Thread body, started with _beginthread once a controller has been identified; the argument is
// not used. Ends itself when a request gets no reply.
void __cdecl link_worker(void* unused);

// The first steps of ending a connection, shared by the worker's exit and by a connection whose
// worker could not be started: closes the active port, makes the next scan tick scan at once
// and log the port count again, locks the form and clears the active port and the
// identification. Either thread; the counters are stored atomically.
void connection_release();
