#include "cli/connection.h"

#include "cli/output.h"
#include "cli/platform.h"

std::string open_failure_text(int result) {
    switch (result) {
    case PORT_ABSENT:
        return "there is no such port";
    case PORT_DENIED:
        return "permission denied";
    case PORT_BUSY:
        return "another program is using it";
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
    static char names[PLATFORM_CANDIDATES_MAX][PLATFORM_NAME_BYTES];
    const size_t n = platform_candidate_ports(names, PLATFORM_CANDIDATES_MAX);
    return std::vector<std::string>(names, names + n);
}

size_t probe(const CliRequest& request, Connection* c) {
    session_set_trace(request.verbose ? out_trace : nullptr);
    c->slots.assign(c->names.size(), ProbeSlot{});
    for (size_t i = 0; i < c->names.size(); ++i) {
        c->slots[i].name = c->names[i].c_str();
    }
    return session_probe(platform_port_ops(), c->slots.data(), c->slots.size());
}

void close_all(Connection* c) {
    for (ProbeSlot& slot : c->slots) {
        session_probe_close(&slot);
    }
    c->controller = nullptr;
}

int connect(const CliRequest& request, Connection* c) {
    const bool named = !request.ports.empty();
    c->names = named ? std::vector<std::string>{request.ports.front()} : candidate_ports();
    if (c->names.empty()) {
        err_line("No serial ports were found to look for the controller on; name one with "
                 "--port.");
        return EXIT_NO_CONTROLLER;
    }
    const size_t found = probe(request, c);
    if (named) {
        const ProbeSlot& slot = c->slots.front();
        const std::string& port = c->names.front();
        if (slot.open_result != PORT_OPENED) {
            err_line("Cannot open " + port + ": " + open_failure_text(slot.open_result) + ".");
        } else if (slot.answer == SESSION_SILENT) {
            err_line("No controller answered on " + port + ".");
        } else if (slot.answer == SESSION_INVALID) {
            err_line("The device on " + port + " did not answer as a LUMIVO24 controller.");
        } else if (slot.answer == SESSION_PORT_FAILED) {
            err_line("The port " + port + " failed while the controller was looked for.");
        }
        if (found != 1) {
            return EXIT_NO_CONTROLLER;
        }
    } else if (found == 0) {
        err_line("No controller answered on any of the ports probed: " + joined(c->names) + ".");
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

void report_failure(SessionResult result, const std::string& port, const std::string& what) {
    if (result == SESSION_SILENT) {
        err_line("The controller on " + port + " did not answer the " + what + ".");
    } else if (result == SESSION_PORT_FAILED) {
        err_line("The port " + port + " failed during the " + what + ".");
    } else {
        err_line("The controller on " + port + " sent no valid answer to the " + what + ".");
    }
}

int read_image(Connection* c, uint8_t image[WIRE_IMAGE_BYTES]) {
    const SessionResult result = session_read_settings(&c->controller->link, image);
    if (result != SESSION_OK) {
        report_failure(result, c->port, "settings read");
        return EXIT_NO_CONTROLLER;
    }
    return EXIT_DONE;
}
