// `ports` and `status`: the serial ports and what answers on them, and the controller's sensors,
// read once or watched.
#include "cli/commands.h"

#include <algorithm>
#include <cmath>

#include "cli/console.h"
#include "cli/find_controller.h"
#include "cli/output.h"
#include "cli/status_output.h"
#include "link/clock.h"
#include "link/link_timing.h"
#include "link/port_list.h"
#include "link/session.h"

namespace {

// A text of the port's details, or null where the system has none.
Json detail_json(const char* text) {
    return text[0] != 0 ? Json(text) : Json();
}

Json port_json(const std::string& name, const ProbeSlot& slot, const PortDetails& details) {
    const bool controller = slot.open_result == PORT_OPENED && slot.answer == SESSION_OK;
    Json out;
    out["port"] = name;
    out["controller"] = controller;
    out["identification"] = controller ? Json(text_from_controller(slot.ident.text)) : Json();
    out["board_revision"] = controller ? Json(slot.ident.board_revision) : Json();
    out["in_use_by_pid"] =
        slot.open_result == PORT_LOCKED && details.lock_pid > 0 ? Json(details.lock_pid) : Json();
    out["by_id"] = detail_json(details.by_id);
    out["usb_vid"] = detail_json(details.usb_vid);
    out["usb_pid"] = detail_json(details.usb_pid);
    out["usb_serial"] = detail_json(details.usb_serial);
    out["friendly_name"] = detail_json(details.friendly_name);
    return out;
}

std::string port_state_text(const ProbeSlot& slot) {
    if (slot.open_result == PORT_LOCKED) {
        return "in use by " + holder_text(slot.name);
    }
    if (slot.open_result == PORT_DENIED) {
        const std::string group = access_group(slot.name);
        return "cannot be opened: permission denied" +
               (group.empty() ? "" : " (group " + group + ")");
    }
    if (slot.open_result != PORT_OPENED) {
        return "cannot be opened: " + open_failure_text(slot.name, slot.open_result);
    }
    switch (slot.answer) {
    case SESSION_OK:
        return "controller, board revision " + std::to_string(slot.ident.board_revision) + ": " +
               printable(text_from_controller(slot.ident.text));
    case SESSION_SILENT:
        return "no answer";
    case SESSION_INVALID:
        return "answers, but not as a controller";
    default:
        return "failed while probed";
    }
}

// What the system tells of a port, for the line under its state, leaving out the name it is
// listed by; empty when it tells nothing more.
std::string port_details_text(const std::string& name, const PortDetails& details) {
    std::vector<std::string> parts;
    if (details.usb_vid[0] != 0) {
        parts.push_back(std::string("USB ") + details.usb_vid + ":" + details.usb_pid +
                        (details.usb_serial[0] != 0 ? std::string(" serial ") + details.usb_serial
                                                    : std::string()));
    }
    if (details.by_id[0] != 0 && name != details.by_id) {
        parts.push_back(details.by_id);
    }
    if (details.friendly_name[0] != 0) {
        parts.push_back(printable(details.friendly_name));
    }
    return joined(parts);
}

// One status request and its reading; false when the controller sent nothing usable.
bool one_reading(Connection* c, StatusReadings* readings, SessionResult* result) {
    *result = session_status(&c->controller->link, readings);
    return *result == SESSION_OK;
}

// Shows one reading (or an answer without one) in the form chosen: a JSON line, a line on a
// terminal that the next overwrites (with the ranges seen so far), or a line of text.
void watch_show(const CliRequest& request, const Connection& c, const StatusReadings* readings,
                const DistanceRanges& ranges, double seconds, size_t* shown) {
    if (request.json) {
        Json line =
            readings != nullptr ? status_json(c.port, *readings) : invalid_status_json(c.port);
        line["time"] = std::round(seconds * 1000.0) / 1000.0;
        out_json_line(line);
        return;
    }
    if (!console_is_terminal(CONSOLE_OUT)) {
        out_text((readings != nullptr ? status_text(*readings) : invalid_status_text()) + "\n");
        return;
    }
    std::string line = watch_line_text(readings, ranges);
    const size_t length = line.size();
    if (length < *shown) {
        line += std::string(*shown - length, ' ');
    }
    *shown = length;
    out_text("\r" + line);
}

int watch_status(const CliRequest& request, Connection* c) {
    size_t shown = 0; // length of the line on a terminal, to be overwritten
    DistanceRanges ranges{};
    int64_t first = -1; // the clock at the first reading shown
    int64_t next = clock_now_ms();
    SessionResult ended = SESSION_OK;
    for (long long count = 0;
         !console_interrupted() && (request.count == 0 || count < request.count); ++count) {
        StatusReadings readings{};
        SessionResult result = SESSION_OK;
        const bool valid = one_reading(c, &readings, &result);
        if (!valid && result != SESSION_INVALID) {
            ended = result; // silence or a failed port ends the watch
            break;
        }
        // An answer without a status frame is shown as no reading, and the watch goes on.
        if (valid) {
            ranges_add(&ranges, readings);
        }
        const int64_t now = clock_now_ms();
        first = first < 0 ? now : first;
        const double seconds = static_cast<double>(now - first) / 1000.0;
        watch_show(request, *c, valid ? &readings : nullptr, ranges, seconds, &shown);
        if (console_output_state(nullptr) != CONSOLE_OUTPUT_OK) {
            return EXIT_DONE; // nobody reads the lines any more, or they cannot be written:
                              // cli_main decides
        }
        next += LINK_POLL_PERIOD_MS;
        if (next < now) {
            next = now; // a slow answer moves the cadence instead of piling requests up
        }
        if (request.count == 0 || count + 1 < request.count) {
            console_sleep_until(next);
        }
    }
    if (shown > 0) {
        out_text("\n");
    }
    if (ended != SESSION_OK) {
        report_failure(ended, c->port, "status request");
    }
    if (!request.json) {
        out_text(ranges_text(ranges) + "\n");
    }
    return ended == SESSION_OK ? EXIT_DONE : EXIT_NO_CONTROLLER;
}

// The ports to probe: those the system lists, and those named with --port, each device once
// even under another of its names (a /dev/serial/by-id link), whose details show the other.
std::vector<std::string> ports_to_probe(const CliRequest& request) {
    std::vector<std::string> names = candidate_ports();
    std::vector<std::string> devices;
    for (const std::string& name : names) {
        PortDetails details{};
        port_details(name.c_str(), &details);
        devices.push_back(details.device);
    }
    for (const std::string& port : request.ports) {
        PortDetails details{};
        port_details(port.c_str(), &details);
        const std::string device = details.device;
        if (std::find(names.begin(), names.end(), port) == names.end() &&
            (device.empty() ||
             std::find(devices.begin(), devices.end(), device) == devices.end())) {
            names.push_back(port);
            devices.push_back(device);
        }
    }
    return names;
}

void ports_show_text(const Connection& c, const std::vector<PortDetails>& details) {
    size_t width = 0;
    for (const std::string& name : c.names) {
        width = std::max(width, name.size());
    }
    for (size_t i = 0; i < c.names.size(); ++i) {
        out_text(c.names[i] + std::string(width + 2 - c.names[i].size(), ' ') +
                 port_state_text(c.slots[i]) + "\n");
        const std::string more = port_details_text(c.names[i], details[i]);
        if (!more.empty()) {
            out_text(std::string(width + 2, ' ') + more + "\n");
        }
    }
}

} // namespace

int cli_ports(const CliRequest& request) {
    Connection c;
    c.names = ports_to_probe(request);
    probe(request, &c);
    close_all(&c);
    // Read after the ports are given back: a lock file found then is another program's.
    std::vector<PortDetails> details(c.names.size());
    for (size_t i = 0; i < c.names.size(); ++i) {
        port_details(c.names[i].c_str(), &details[i]);
    }
    if (request.json) {
        Json list = Json::array();
        for (size_t i = 0; i < c.names.size(); ++i) {
            list.push_back(port_json(c.names[i], c.slots[i], details[i]));
        }
        out_json(list);
    } else {
        ports_show_text(c, details);
    }
    if (c.names.empty()) {
        err_line("No serial ports were found.");
    }
    return EXIT_DONE;
}

int cli_status(const CliRequest& request) {
    Connection c;
    int code = connect(request, &c);
    if (code != EXIT_DONE) {
        return code;
    }
    if (request.watch || request.count > 0) {
        console_catch_interrupt();
        code = watch_status(request, &c);
        close_all(&c);
        return code;
    }
    StatusReadings readings{};
    SessionResult result = SESSION_OK;
    const bool read = one_reading(&c, &readings, &result);
    close_all(&c);
    if (!read) {
        report_failure(result, c.port, "status request");
        return EXIT_NO_CONTROLLER;
    }
    if (request.json) {
        out_json(status_json(c.port, readings));
    } else {
        out_text(status_text(readings) + "\n");
    }
    return EXIT_DONE;
}
