// Finding the controller: the ports of one search, opened and identified together, and the one
// a controller answered on. Shared by every command that talks to the controller; each says on
// standard error what failed, naming the port.
#pragma once

#include <string>
#include <vector>

#include "cli/commands.h"
#include "link/session.h"

// The ports of one search and the controller found among them.
struct Connection {
    std::vector<std::string> names;  // the ports probed
    std::vector<bool> left_alone;    // per name, where set: the system console, not opened
    std::vector<ProbeSlot> slots;    // one per name, in the same order
    ProbeSlot* controller = nullptr; // the slot the controller answered on, open
    std::string port;                // the controller's port
};

// Why a port could not be opened, as a clause ("permission denied; add yourself to the group
// dialout ...", "it is in use by process 123").
std::string open_failure_text(const std::string& port, int result);

// Who holds a port whose lock file a live process holds: "process N", or "another program".
std::string holder_text(const std::string& port);

// The group whose members may open a port that refused access; empty where joining one would
// not help.
std::string access_group(const std::string& port);

std::string joined(const std::vector<std::string>& names); // "a, b, c"

// The ports the system lists as possible controller ports.
std::vector<std::string> candidate_ports();

// Opens and identifies every named port at once. Returns the number of controllers found. From
// here on a request to stop (console_catch_interrupt) ends every wait on the line at once.
size_t probe(const CliRequest& request, Connection* c);

// Closes whatever the search left open.
void close_all(Connection* c);

// Finds the controller on the port named with --port, or among the candidate ports. Returns
// EXIT_DONE with the controller's port open, or EXIT_NO_CONTROLLER or EXIT_INTERRUPTED after
// saying why.
int connect(const CliRequest& request, Connection* c);

// The requests whose failures report_failure tells.
enum DeviceAsk : int {
    ASK_STATUS,    // a status reading
    ASK_READ,      // the settings read
    ASK_READ_BACK, // the settings read after a write
};

// Says in one sentence why a request on the controller's port got no usable answer; `link` is
// the controller's, for how far an answer that stopped short came.
void report_failure(SessionResult result, const SessionLink& link, const std::string& port,
                    DeviceAsk ask);

// How far an answer that stopped short came (SESSION_INCOMPLETE), in one sentence: "The
// answer to the identification request from the device on P stopped after N of M bytes."
std::string incomplete_ident_text(const SessionLink& link, const std::string& port);

// The sentence for each system console that a search left alone.
void report_consoles_left_alone(const Connection& c);

// Reads the controller's settings image on an open connection; EXIT_DONE, or EXIT_NO_CONTROLLER
// or EXIT_INTERRUPTED after saying why.
int read_image(Connection* c, uint8_t image[WIRE_IMAGE_BYTES]);
