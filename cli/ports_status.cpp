// `ports` and `status`: the serial ports and what answers on them, and the controller's sensors,
// read once or watched.
#include "cli/commands.h"

#include <algorithm>

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
    out["system_console"] = details.console;
    out["by_id"] = detail_json(details.by_id);
    out["usb_vid"] = detail_json(details.usb_vid);
    out["usb_pid"] = detail_json(details.usb_pid);
    out["usb_serial"] = detail_json(details.usb_serial);
    out["friendly_name"] = detail_json(details.friendly_name);
    return out;
}

std::string port_state_text(const ProbeSlot& slot) {
    if (slot.open_result == PORT_LEFT_ALONE) {
        return "system console: not probed (name it with --port to probe it)";
    }
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
    case SESSION_INCOMPLETE:
        return text_of(slot.link.answer_still_coming
                           ? "answer still coming after %s of %s bytes when the tool stopped "
                             "waiting (a line slower than %s bit/s?)"
                           : "answer stopped after %s of %s bytes",
                       {std::to_string(slot.link.answer_received),
                        std::to_string(slot.link.answer_bytes),
                        std::to_string(LINK_TOOL_SLOWEST_BAUD)});
    default:
        return "failed while probed";
    }
}

// What the system tells of a port, for the line under its state, leaving out the name it is
// listed by and what its state says; empty when it tells nothing more.
std::string port_details_text(const std::string& name, const ProbeSlot& slot,
                              const PortDetails& details) {
    std::vector<std::string> parts;
    if (details.console && slot.open_result != PORT_LEFT_ALONE) {
        parts.push_back("the system console");
    }
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

// Why a watched reading carries no numbers. A reason for a controller that is gone says that
// it is waited for.
constexpr char NO_FRAME[] = "the answer held no status frame";
constexpr char NO_ANSWER[] = "the controller did not answer";
constexpr char STOPPED_ANSWERING[] = "the controller stopped answering; waiting for it";
constexpr char PORT_GONE[] = "the port failed (unplugged?); waiting for the controller";
constexpr char ANSWER_STOPPED[] = "the answer stopped after %s of %s bytes";
constexpr char ANSWER_TOO_SLOW[] = "the answer was still coming after %s of %s bytes when the "
                                   "tool stopped waiting (a line slower than %s bit/s?)";

// Readings in a row without an answer after which the controller is taken to be gone.
constexpr int WATCH_MISSES_GONE = 3;

// A watch in progress.
struct Watch {
    DistanceRanges ranges{}; // the distances of the readings whose checksum matched
    size_t shown = 0;        // length of the line on a terminal, to be overwritten; 0 for none
    int64_t first = -1;      // the clock when the first line was shown
    long long failed = 0;    // readings that were not valid or failed their checksum
    int misses = 0;          // readings in a row that the controller did not answer
    bool away = false;       // the controller is gone: it is waited for on its port
};

// Shows a line of the watch in the form chosen: a JSON line, a line on a terminal that the next
// overwrites, or a line of text.
void watch_show(const CliRequest& request, Json json, const std::string& text,
                const std::string& terminal, Watch* w) {
    const int64_t now = clock_now_ms();
    w->first = w->first < 0 ? now : w->first;
    if (request.json) {
        json["time"] = static_cast<double>(now - w->first) / 1000.0; // whole milliseconds
        out_json_line(json);
        return;
    }
    if (!console_is_terminal(CONSOLE_OUT)) {
        out_text(text + "\n");
        return;
    }
    std::string line = terminal;
    const size_t length = line.size();
    if (length < w->shown) {
        line += std::string(w->shown - length, ' ');
    }
    w->shown = length;
    out_text("\r" + line);
}

void watch_show_none(const CliRequest& request, const Connection& c, const char* reason, Watch* w) {
    const std::string text = invalid_status_text(reason);
    watch_show(request, invalid_status_json(c.port, reason), text, text, w);
}

// A message on standard error, after the terminal's line has been ended.
void watch_note(const std::string& sentence, Watch* w) {
    if (w->shown > 0) {
        out_text("\n");
        w->shown = 0;
    }
    note_line(sentence);
}

// Takes one reading and shows it, or why there is none. A controller that does not answer
// several times in a row, or whose port fails, is gone: that is said once, a failed port is
// given back, and the watch waits for it.
void watch_reading(const CliRequest& request, Connection* c, Watch* w) {
    StatusReadings readings{};
    bool checksum_ok = false;
    const SessionResult result = session_status(&c->controller->link, &readings, &checksum_ok);
    if (result == SESSION_STOPPED) {
        return;
    }
    if (result == SESSION_OK) {
        w->misses = 0;
        if (checksum_ok) {
            ranges_add(&w->ranges, readings);
        } else {
            ++w->failed; // shown as the window shows it, but kept out of the ranges
        }
        watch_show(request, status_json(c->port, readings, checksum_ok),
                   status_text(readings, checksum_ok),
                   watch_line_text(readings, checksum_ok, w->ranges), w);
        return;
    }
    ++w->failed;
    w->misses = result == SESSION_SILENT ? w->misses + 1 : 0;
    if (result == SESSION_INCOMPLETE) {
        const SessionLink& link = c->controller->link;
        const std::string reason =
            text_of(link.answer_still_coming ? ANSWER_TOO_SLOW : ANSWER_STOPPED,
                    {std::to_string(link.answer_received), std::to_string(link.answer_bytes),
                     std::to_string(LINK_TOOL_SLOWEST_BAUD)});
        watch_show_none(request, *c, reason.c_str(), w);
        return;
    }
    if (result == SESSION_INVALID || (result == SESSION_SILENT && w->misses < WATCH_MISSES_GONE)) {
        watch_show_none(request, *c, result == SESSION_INVALID ? NO_FRAME : NO_ANSWER, w);
        return;
    }
    w->away = true;
    w->misses = 0;
    if (result == SESSION_PORT_FAILED) {
        close_all(c); // opened again when the port is back
    }
    watch_show_none(request, *c, result == SESSION_PORT_FAILED ? PORT_GONE : STOPPED_ANSWERING, w);
}

// While the controller is gone, one attempt to find it again on its port: on the port still
// open, or on the port opened anew. True when it answers as a controller.
bool watch_find_again(const CliRequest& request, Connection* c) {
    if (c->controller != nullptr) {
        IdentAnswer ident{};
        const SessionResult result = session_identify(&c->controller->link, &ident);
        if (result == SESSION_PORT_FAILED) {
            close_all(c);
        }
        return result == SESSION_OK;
    }
    c->names = {c->port};
    c->left_alone.clear();
    if (probe(request, c) != 1) {
        close_all(c);
        return false;
    }
    c->controller = &c->slots.front();
    return true;
}

// How a watch ends: a request to stop other than Ctrl+C (which is how a watch is ended) ends it
// as stopped; a counted watch in which a reading was not valid ends with EXIT_NO_CONTROLLER.
int watch_end(const CliRequest& request, const Connection& c, const Watch& w, long long count) {
    if (console_interrupted() && console_interrupt_exit() != CONSOLE_KEYBOARD_INTERRUPT_EXIT) {
        err_line("Interrupted; the watch of the controller on " + c.port +
                 " ended, and nothing was changed.");
        return EXIT_INTERRUPTED;
    }
    if (request.count > 0 && w.failed > 0) {
        err_line(std::to_string(w.failed) + " of the " + std::to_string(count) +
                 " readings from the controller on " + c.port +
                 " were not valid or failed their checksum.");
        return EXIT_NO_CONTROLLER;
    }
    return EXIT_DONE;
}

int watch_status(const CliRequest& request, Connection* c) {
    Watch w;
    int64_t next = clock_now_ms();
    long long count = 0;
    for (; !console_interrupted() && (request.count == 0 || count < request.count); ++count) {
        if (w.away && watch_find_again(request, c)) {
            w.away = false;
            watch_note("The controller on " + c->port + " answers again; the watch goes on.", &w);
        }
        if (w.away) {
            ++w.failed; // a reading missed while the controller is gone, shown once already
        } else {
            watch_reading(request, c, &w);
        }
        if (console_output_state(nullptr) != CONSOLE_OUTPUT_OK) {
            return EXIT_DONE; // nobody reads the lines any more, or they cannot be written:
                              // cli_main decides
        }
        const int64_t now = clock_now_ms();
        next += LINK_POLL_PERIOD_MS;
        if (next < now) {
            next = now; // a slow answer moves the cadence instead of piling requests up
        }
        if (request.count == 0 || count + 1 < request.count) {
            console_sleep_until(next);
        }
    }
    if (w.shown > 0) {
        out_text("\n");
    }
    if (!request.json) {
        out_text(ranges_text(w.ranges) + "\n");
    }
    return watch_end(request, *c, w, count);
}

// The ports to probe: those the system lists, and those named with --port, each device once
// even under another of its names (a /dev/serial/by-id link), whose details show the other.
// The system console is left alone unless it is named.
void ports_to_probe(const CliRequest& request, Connection* c) {
    c->names = candidate_ports();
    std::vector<std::string> devices;
    for (const std::string& name : c->names) {
        PortDetails details{};
        port_details(name.c_str(), &details);
        devices.push_back(details.device);
        c->left_alone.push_back(details.console);
    }
    for (const std::string& port : request.ports) {
        PortDetails details{};
        port_details(port.c_str(), &details);
        const std::string device = details.device;
        auto listed = std::find(c->names.begin(), c->names.end(), port);
        if (listed == c->names.end() && !device.empty()) {
            listed = c->names.begin() +
                     (std::find(devices.begin(), devices.end(), device) - devices.begin());
        }
        if (listed == c->names.end()) {
            c->names.push_back(port);
            devices.push_back(device);
            c->left_alone.push_back(false);
        } else {
            c->left_alone[listed - c->names.begin()] = false;
        }
    }
}

void ports_show_text(const Connection& c, const std::vector<PortDetails>& details) {
    size_t width = 0;
    for (const std::string& name : c.names) {
        width = std::max(width, name.size());
    }
    for (size_t i = 0; i < c.names.size(); ++i) {
        out_text(c.names[i] + std::string(width + 2 - c.names[i].size(), ' ') +
                 port_state_text(c.slots[i]) + "\n");
        const std::string more = port_details_text(c.names[i], c.slots[i], details[i]);
        if (!more.empty()) {
            out_text(std::string(width + 2, ' ') + more + "\n");
        }
    }
}

} // namespace

int cli_ports(const CliRequest& request) {
    Connection c;
    ports_to_probe(request, &c);
    probe(request, &c);
    close_all(&c);
    if (console_interrupted()) {
        err_line("Interrupted while probing the ports; each was given back as it was found.");
        return EXIT_INTERRUPTED;
    }
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
        code = watch_status(request, &c);
        close_all(&c);
        return code;
    }
    StatusReadings readings{};
    bool checksum_ok = false;
    const SessionLink& link = c.controller->link; // its slot outlasts the port
    const SessionResult result = session_status(&c.controller->link, &readings, &checksum_ok);
    close_all(&c);
    if (result == SESSION_STOPPED) {
        err_line("Interrupted while reading the sensors of the controller on " + c.port +
                 "; nothing was changed.");
        return EXIT_INTERRUPTED;
    }
    if (result != SESSION_OK) {
        report_failure(result, link, c.port, ASK_STATUS);
        return EXIT_NO_CONTROLLER;
    }
    if (request.json) {
        out_json(status_json(c.port, readings, checksum_ok));
    } else {
        out_text(status_text(readings, checksum_ok) + "\n");
    }
    if (!checksum_ok) {
        err_line("The status frame from the controller on " + c.port +
                 " failed its checksum: the reading is shown as the window program shows it, "
                 "but it may be wrong.");
        return EXIT_NO_CONTROLLER;
    }
    return EXIT_DONE;
}
