// The link worker thread: owns the serial link for the length of one connection.
#pragma once

// Thread body, started with _beginthread once a controller has been identified; the argument is
// not used. Ends itself when a request gets no reply.
void __cdecl link_worker(void* unused);
