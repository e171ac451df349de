// One request and its reply on the active port (link worker thread only).
#pragma once

// Sends the request described by app.command, app.payload_length and the payload in app.tx from
// offset 4, waits out the reply window of app.reply_timeout ms and takes in what has arrived.
// Returns 0 when at least one byte came back, -1 when nothing did.
int link_transact();

// One read from the active port, appended to app.rx (bytes that do not fit are dropped).
void link_receive();
