#include "cli/find_controller.h"

#include <algorithm>

#include "cli/output.h"
#include "cli/console.h"
#include "link/link_timing.h"
#include "link/port_list.h"
#include "link/port_ops.h"

// A device that only root may open has the group root: joining it is no advice.
std::string access_group(const std::string& port) {
    PortDetails details{};
    port_details(port.c_str(), &details);
    const std::string group = details.group;
    return group == "root" ? "" : group;
}

// How a user gets access to ports owned by the groups named (comma-separated).
std::string access_advice(const std::string& groups) {
    return "add yourself to the group" +
           std::string(groups.find(',') == std::string::npos ? " " : "s ") + groups +
           " with 'sudo usermod -aG " + groups + " $USER', then log in again";
}

std::string holder_text(const std::string& port) {
    PortDetails details{};
    port_details(port.c_str(), &details);
    return details.lock_pid > 0 ? "process " + std::to_string(details.lock_pid) : "another program";
}

std::string open_failure_text(const std::string& port, int result) {
    switch (result) {
    case PORT_ABSENT:
        return "there is no such port";
    case PORT_DENIED: {
        const std::string group = access_group(port);
        return "permission denied" + (group.empty() ? "" : "; " + access_advice(group));
    }
    case PORT_BUSY:
        return "another program is using it";
    case PORT_LOCKED:
        return "it is in use by " + holder_text(port);
    case PORT_NOT_SERIAL:
        return "it is not a serial port that takes the controller's line settings";
    default:
        return "the system refused it";
    }
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += (out.empty() ? "" : ", ") + name;
    }
    return out;
}

std::vector<std::string> candidate_ports() {
    static char names[PORT_CANDIDATES_MAX][PORT_NAME_BYTES];
    const size_t n = port_candidates(names, PORT_CANDIDATES_MAX);
    return std::vector<std::string>(names, names + n);
}

size_t probe(const CliRequest& request, Connection* c) {
    // From the first port opened on, a request to stop (Ctrl+C, a closed terminal, kill) ends
    // the waits on the line at once, and the command gives every port back as it found it.
    console_catch_interrupt();
    session_set_proceed(console_not_interrupted);
    session_set_trace(request.verbose ? out_trace : nullptr);
    c->slots.assign(c->names.size(), ProbeSlot{});
    for (size_t i = 0; i < c->names.size(); ++i) {
        c->slots[i].name = c->names[i].c_str();
        c->slots[i].left_alone = i < c->left_alone.size() && c->left_alone[i];
    }
    return session_probe(port_ops_system(), c->slots.data(), c->slots.size());
}

void close_all(Connection* c) {
    for (ProbeSlot& slot : c->slots) {
        session_probe_close(&slot);
    }
    c->controller = nullptr;
}

// Why no controller was found among the ports of a search: the ports that were probed, and
// those that could not be, with what a user can do about a refused access.
std::string no_controller_text(const Connection& c) {
    std::vector<std::string> probed;
    std::vector<std::string> denied;
    std::vector<std::string> in_use;
    std::vector<std::string> failed;
    std::vector<std::string> groups;
    for (size_t i = 0; i < c.slots.size(); ++i) {
        const std::string& name = c.names[i];
        switch (c.slots[i].open_result) {
        case PORT_OPENED:
            probed.push_back(name);
            break;
        case PORT_DENIED: {
            denied.push_back(name);
            const std::string group = access_group(name);
            if (!group.empty() && std::find(groups.begin(), groups.end(), group) == groups.end()) {
                groups.push_back(group);
            }
            break;
        }
        case PORT_LOCKED:
            in_use.push_back(name + " (" + holder_text(name) + ")");
            break;
        case PORT_BUSY:
            in_use.push_back(name);
            break;
        case PORT_LEFT_ALONE:
            break; // said in a sentence of its own
        default:
            failed.push_back(name);
        }
    }
    std::string text = probed.empty()
                           ? "No controller was found"
                           : "No controller answered on any of the ports probed: " + joined(probed);
    if (!denied.empty()) {
        text += "; access to " + joined(denied) + " was refused";
    }
    if (!in_use.empty()) {
        text += "; in use by other programs: " + joined(in_use);
    }
    if (!failed.empty()) {
        text += "; could not be opened: " + joined(failed);
    }
    text += ".";
    if (!groups.empty()) {
        std::string list;
        for (const std::string& group : groups) {
            list += (list.empty() ? "" : ",") + group;
        }
        text += std::string(" To use ") + (denied.size() == 1 ? "it" : "them") + ", " +
                access_advice(list) + ".";
    }
    return text;
}

void report_consoles_left_alone(const Connection& c) {
    for (size_t i = 0; i < c.slots.size(); ++i) {
        if (c.slots[i].open_result == PORT_LEFT_ALONE) {
            err_line(text_of("%s is the system console, which the search leaves alone; name it "
                             "with --port to look for the controller there.",
                             {c.names[i]}));
        }
    }
}

std::string incomplete_ident_text(const SessionLink& link, const std::string& port) {
    const std::string got = std::to_string(link.answer_received);
    const std::string of = std::to_string(link.answer_bytes);
    if (link.answer_still_coming) {
        return text_of("The answer to the identification request from the device on %s was "
                       "still coming after %s of %s bytes when the tool stopped waiting: the "
                       "line may be slower than the %s bit/s the tool waits for.",
                       {port, got, of, std::to_string(LINK_TOOL_SLOWEST_BAUD)});
    }
    return text_of("The answer to the identification request from the device on %s stopped "
                   "after %s of %s bytes.",
                   {port, got, of});
}

int connect(const CliRequest& request, Connection* c) {
    const bool named = !request.ports.empty();
    c->names = named ? std::vector<std::string>{request.ports.front()} : candidate_ports();
    // A search leaves the system console alone; a port named is the user's to choose.
    c->left_alone.clear();
    for (const std::string& name : c->names) {
        c->left_alone.push_back(!named && port_is_console(name.c_str()));
    }
    if (c->names.empty()) {
        err_line("No serial ports were found to look for the controller on; name one with "
                 "--port.");
        return EXIT_NO_CONTROLLER;
    }
    const size_t found = probe(request, c);
    if (console_interrupted()) {
        close_all(c);
        err_line("Interrupted while looking for the controller; nothing was changed.");
        return EXIT_INTERRUPTED;
    }
    if (named) {
        const ProbeSlot& slot = c->slots.front();
        const std::string& port = c->names.front();
        if (slot.open_result != PORT_OPENED) {
            err_line("Cannot open " + port + ": " + open_failure_text(port, slot.open_result) +
                     ".");
        } else if (slot.answer == SESSION_SILENT) {
            err_line("No controller answered on " + port + ".");
        } else if (slot.answer == SESSION_INVALID) {
            err_line("The device on " + port + " did not answer as a LUMIVO24 controller.");
        } else if (slot.answer == SESSION_INCOMPLETE) {
            err_line(incomplete_ident_text(slot.link, port));
        } else if (slot.answer == SESSION_PORT_FAILED) {
            err_line("The port " + port + " failed while the controller was looked for.");
        }
        if (found != 1) {
            return EXIT_NO_CONTROLLER;
        }
    } else if (found == 0) {
        err_line(no_controller_text(*c));
        for (size_t i = 0; i < c->slots.size(); ++i) {
            if (c->slots[i].answer == SESSION_INCOMPLETE) {
                err_line(incomplete_ident_text(c->slots[i].link, c->names[i]));
            }
        }
        report_consoles_left_alone(*c);
        return EXIT_NO_CONTROLLER;
    } else if (found > 1) {
        std::vector<std::string> ports;
        for (size_t i = 0; i < c->slots.size(); ++i) {
            if (c->slots[i].answer == SESSION_OK) {
                ports.push_back(c->names[i]);
            }
        }
        close_all(c);
        err_line("Controllers answer on several ports (" + joined(ports) +
                 "); choose one with --port.");
        return EXIT_NO_CONTROLLER;
    }
    for (size_t i = 0; i < c->slots.size(); ++i) {
        if (c->slots[i].answer == SESSION_OK) {
            c->controller = &c->slots[i];
            c->port = c->names[i];
        }
    }
    if (!named) {
        note_line("Found the controller on " + c->port + ".");
    }
    return EXIT_DONE;
}

namespace {

// The sentences that tell how one request failed; each %s is the port, and for an answer that
// stopped short the bytes that came, the bytes it has and the slowest line waited for.
struct AskFailures {
    const char* silent;
    const char* port_failed;
    const char* invalid;
    const char* stopped_short;
    const char* too_slow;
    const char* interrupted;
};

// clang-format off
const AskFailures ASK_FAILURES[] = {
    { // ASK_STATUS
        "The controller on %s did not answer the status request.",
        "The port %s failed during the status request.",
        "The controller on %s sent no valid answer to the status request.",
        "The answer to the status request from the controller on %s stopped after %s of %s bytes.",
        "The answer to the status request from the controller on %s was still coming after %s of "
        "%s bytes when the tool stopped waiting: the line may be slower than the %s bit/s the "
        "tool waits for.",
        "Interrupted during the status request on %s.",
    },
    { // ASK_READ
        "The controller on %s did not answer the settings read.",
        "The port %s failed during the settings read.",
        "The controller on %s sent no valid answer to the settings read.",
        "The answer to the settings read from the controller on %s stopped after %s of %s bytes.",
        "The answer to the settings read from the controller on %s was still coming after %s of "
        "%s bytes when the tool stopped waiting: the line may be slower than the %s bit/s the "
        "tool waits for.",
        "Interrupted during the settings read on %s.",
    },
    { // ASK_READ_BACK
        "The controller on %s did not answer the settings read after the write.",
        "The port %s failed during the settings read after the write.",
        "The controller on %s sent no valid answer to the settings read after the write.",
        "The answer to the settings read after the write from the controller on %s stopped after "
        "%s of %s bytes.",
        "The answer to the settings read after the write from the controller on %s was still "
        "coming after %s of %s bytes when the tool stopped waiting: the line may be slower than "
        "the %s bit/s the tool waits for.",
        "Interrupted during the settings read after the write on %s.",
    },
};
// clang-format on

} // namespace

void report_failure(SessionResult result, const SessionLink& link, const std::string& port,
                    DeviceAsk ask) {
    const AskFailures& texts = ASK_FAILURES[ask];
    if (result == SESSION_STOPPED) {
        err_line(text_of(texts.interrupted, {port}));
    } else if (result == SESSION_SILENT) {
        err_line(text_of(texts.silent, {port}));
    } else if (result == SESSION_PORT_FAILED) {
        err_line(text_of(texts.port_failed, {port}));
    } else if (result == SESSION_INCOMPLETE) {
        err_line(
            text_of(link.answer_still_coming ? texts.too_slow : texts.stopped_short,
                    {port, std::to_string(link.answer_received), std::to_string(link.answer_bytes),
                     std::to_string(LINK_TOOL_SLOWEST_BAUD)}));
    } else {
        err_line(text_of(texts.invalid, {port}));
    }
}

int read_image(Connection* c, uint8_t image[WIRE_IMAGE_BYTES]) {
    const SessionResult result = session_read_settings(&c->controller->link, image);
    if (result == SESSION_STOPPED) {
        err_line("Interrupted while reading the settings of the controller on " + c->port +
                 "; nothing was changed.");
        return EXIT_INTERRUPTED;
    }
    if (result != SESSION_OK) {
        report_failure(result, c->controller->link, c->port, ASK_READ);
        return EXIT_NO_CONTROLLER;
    }
    return EXIT_DONE;
}
