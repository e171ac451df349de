// The commands. Each finds what it needs (the controller, a file, the defaults), says on
// standard error what failed in one sentence naming the port or file, and returns the exit code.
// A command that talks to the controller closes the port before it returns.
#include "cli/commands.h"

#include <algorithm>
#include <cstring>

#include "cli/output.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "cli/settings_values.h"

namespace {

constexpr int WATCH_PERIOD_MS = 200; // five readings a second, as the window polls
constexpr size_t FILE_READ_BYTES = VALUES_FILE_DISK_MAX + 1; // as much as the window reads

// The ports of one search and the controller found among them.
struct Connection {
    std::vector<std::string> names;
    std::vector<ProbeSlot> slots;
    ProbeSlot* controller = nullptr;
    std::string port; // the controller's port
};

// The group whose members may open a port that refused access; empty where joining a group
// would not help (a device only root may open) or nothing is known of the port.
std::string access_group(const std::string& port) {
    PlatformPortDetails details{};
    platform_port_details(port.c_str(), &details);
    const std::string group = details.group;
    return group == "root" ? "" : group;
}

// How a user gets access to ports owned by the groups named (comma-separated).
std::string access_advice(const std::string& groups) {
    return "add yourself to the group" +
           std::string(groups.find(',') == std::string::npos ? " " : "s ") + groups +
           " with 'sudo usermod -aG " + groups + " $USER', then log in again";
}

// Who holds a port whose lock file a live process holds.
std::string holder_text(const std::string& port) {
    PlatformPortDetails details{};
    platform_port_details(port.c_str(), &details);
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
    static char names[PLATFORM_CANDIDATES_MAX][PLATFORM_NAME_BYTES];
    const size_t n = platform_candidate_ports(names, PLATFORM_CANDIDATES_MAX);
    return std::vector<std::string>(names, names + n);
}

// Opens and identifies every named port at once.
size_t probe(Connection* c) {
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

// Finds the controller on the port named with --port, or among the candidate ports. Returns
// EXIT_DONE with the controller's port open, or EXIT_NO_CONTROLLER after saying why.
int connect(const CliRequest& request, Connection* c) {
    const bool named = !request.ports.empty();
    c->names = named ? std::vector<std::string>{request.ports.front()} : candidate_ports();
    if (c->names.empty()) {
        err_line("No serial ports were found to look for the controller on; name one with "
                 "--port.");
        return EXIT_NO_CONTROLLER;
    }
    const size_t found = probe(c);
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
        } else if (slot.answer == SESSION_PORT_FAILED) {
            err_line("The port " + port + " failed while the controller was looked for.");
        }
        if (found != 1) {
            return EXIT_NO_CONTROLLER;
        }
    } else if (found == 0) {
        err_line(no_controller_text(*c));
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
        err_line("Found the controller on " + c->port + ".");
    }
    return EXIT_DONE;
}

// Says why a request got no usable answer.
void report_failure(SessionResult result, const std::string& port, const std::string& what) {
    if (result == SESSION_SILENT) {
        err_line("The controller on " + port + " did not answer the " + what + ".");
    } else if (result == SESSION_PORT_FAILED) {
        err_line("The port " + port + " failed during the " + what + ".");
    } else {
        err_line("The controller on " + port + " sent no valid answer to the " + what + ".");
    }
}

// Reads the controller's settings image on an open connection.
int read_image(Connection* c, uint8_t image[WIRE_IMAGE_BYTES]) {
    const SessionResult result = session_read_settings(&c->controller->link, image);
    if (result != SESSION_OK) {
        report_failure(result, c->port, "settings read");
        return EXIT_NO_CONTROLLER;
    }
    return EXIT_DONE;
}

int load_file(const std::string& path, SettingsValues* values) {
    static uint8_t disk[FILE_READ_BYTES];
    size_t n = 0;
    char why[PLATFORM_WHY_BYTES];
    if (platform_file_read(path.c_str(), disk, sizeof disk, &n, why) != 0) {
        err_line("Cannot read " + path + ": " + why + ".");
        return EXIT_FILE;
    }
    const int checked = values_file_load(disk, n, values);
    if (checked == -1) {
        err_line(path + " is not a settings file: it is too short.");
        return EXIT_FILE;
    }
    if (checked != 0) {
        err_line(path + " is not a settings file, or it is damaged: its checksum does not match.");
        return EXIT_FILE;
    }
    return EXIT_DONE;
}

// The controller's settings as the window takes them in; *port_used (when given) names the port
// they came from.
int load_device(const CliRequest& request, SettingsValues* values,
                std::string* port_used = nullptr) {
    Connection c;
    int code = connect(request, &c);
    if (code != EXIT_DONE) {
        return code;
    }
    uint8_t image[WIRE_IMAGE_BYTES];
    code = read_image(&c, image);
    close_all(&c);
    if (code == EXIT_DONE) {
        values_from_controller(image, values);
        if (port_used != nullptr) {
            *port_used = c.port;
        }
    }
    return code;
}

// A SOURCE argument: "device", "defaults" or a settings file.
int load_source(const CliRequest& request, const std::string& source, SettingsValues* values) {
    if (source == "device") {
        return load_device(request, values);
    }
    if (source == "defaults") {
        values_from_defaults(values);
        return EXIT_DONE;
    }
    return load_file(source, values);
}

// A text of the port's details, or null where the system has none.
Json detail_json(const char* text) {
    return text[0] != 0 ? Json(text) : Json();
}

Json port_json(const std::string& name, const ProbeSlot& slot, const PlatformPortDetails& details) {
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
std::string port_details_text(const std::string& name, const PlatformPortDetails& details) {
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

int watch_status(const CliRequest& request, Connection* c) {
    const bool terminal = !request.json && platform_is_terminal(PLATFORM_OUT);
    size_t shown = 0; // length of the line on screen, to be overwritten
    int64_t next = platform_now_ms();
    int code = EXIT_DONE;
    while (!platform_interrupted()) {
        StatusReadings readings{};
        SessionResult result = SESSION_OK;
        if (one_reading(c, &readings, &result)) {
            if (request.json) {
                out_json_line(status_json(c->port, readings));
            } else if (terminal) {
                std::string line = status_text(readings);
                const size_t length = line.size();
                if (length < shown) {
                    line += std::string(shown - length, ' ');
                }
                shown = length;
                out_text("\r" + line);
            } else {
                out_text(status_text(readings) + "\n");
            }
        } else if (result != SESSION_INVALID) {
            // An incomplete reply is passed over, as the window does; silence ends the watch.
            if (terminal && shown > 0) {
                out_text("\n");
                shown = 0;
            }
            report_failure(result, c->port, "status request");
            code = EXIT_NO_CONTROLLER;
            break;
        }
        next += WATCH_PERIOD_MS;
        const int64_t now = platform_now_ms();
        if (next < now) {
            next = now; // a slow answer moves the cadence instead of piling requests up
        }
        platform_sleep_until(next);
    }
    if (terminal && shown > 0) {
        out_text("\n");
    }
    return code;
}

} // namespace

int cli_ports(const CliRequest& request) {
    Connection c;
    c.names = candidate_ports();
    // A port named with --port is listed once, even under another name of the same device
    // (a /dev/serial/by-id link); the listed name's details show the other.
    std::vector<std::string> devices;
    for (const std::string& name : c.names) {
        PlatformPortDetails details{};
        platform_port_details(name.c_str(), &details);
        devices.push_back(details.device);
    }
    for (const std::string& port : request.ports) {
        PlatformPortDetails details{};
        platform_port_details(port.c_str(), &details);
        const std::string device = details.device;
        if (std::find(c.names.begin(), c.names.end(), port) == c.names.end() &&
            (device.empty() ||
             std::find(devices.begin(), devices.end(), device) == devices.end())) {
            c.names.push_back(port);
            devices.push_back(device);
        }
    }
    probe(&c);
    close_all(&c);
    // Read after the ports are given back: a lock file found then is another program's.
    std::vector<PlatformPortDetails> details(c.names.size());
    for (size_t i = 0; i < c.names.size(); ++i) {
        platform_port_details(c.names[i].c_str(), &details[i]);
    }
    if (request.json) {
        Json list = Json::array();
        for (size_t i = 0; i < c.names.size(); ++i) {
            list.push_back(port_json(c.names[i], c.slots[i], details[i]));
        }
        out_json(list);
    } else {
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
    if (request.watch) {
        platform_catch_interrupt();
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

int cli_read(const CliRequest& request) {
    SettingsValues values{};
    std::string port;
    const int code = load_device(request, &values, &port);
    if (code != EXIT_DONE) {
        return code;
    }
    static uint8_t disk[VALUES_FILE_DISK_MAX];
    const size_t n = values_file_bytes(&values, disk);
    char why[PLATFORM_WHY_BYTES];
    if (platform_file_replace(request.output.c_str(), disk, n, why) != 0) {
        err_line("Cannot write " + request.output + ": " + why + "; nothing was saved.");
        return EXIT_FILE;
    }
    err_line("Saved the settings of the controller on " + port + " to " + request.output + ".");
    return EXIT_DONE;
}

int cli_write(const CliRequest& request) {
    SettingsValues file{};
    int code = load_file(request.file, &file);
    if (code != EXIT_DONE) {
        return code; // before any port is opened
    }
    Connection c;
    code = connect(request, &c);
    if (code != EXIT_DONE) {
        return code;
    }
    const int32_t revision = c.controller->ident.board_revision;
    if (revision != IDENT_SUPPORTED_REVISION && !request.force) {
        close_all(&c);
        err_line("The controller on " + c.port + " reports board revision " +
                 std::to_string(revision) + ", not " + std::to_string(IDENT_SUPPORTED_REVISION) +
                 "; nothing was written (--force writes all the same).");
        return EXIT_REVISION;
    }
    // The file lacks the last channel's standby flag: that one keeps the controller's value.
    uint8_t current[WIRE_IMAGE_BYTES];
    code = read_image(&c, current);
    if (code != EXIT_DONE) {
        close_all(&c);
        return code;
    }
    uint8_t image[WIRE_IMAGE_BYTES];
    values_image_to_write(current, &file, image);
    SettingsValues sent{};
    values_from_image(image, &sent);
    if (request.dry_run) {
        close_all(&c);
        SettingsValues now{};
        values_from_image(current, &now);
        const std::string changes = differences_text(now, sent);
        out_text(changes);
        err_line(changes.empty() ? "The controller on " + c.port +
                                       " already holds these settings; nothing was written."
                                 : "Dry run: the changes above were not written to the "
                                   "controller on " +
                                       c.port + ".");
        return EXIT_DONE;
    }
    const SessionResult written = session_write_settings(&c.controller->link, image);
    if (written != SESSION_OK) {
        close_all(&c);
        report_failure(written, c.port, "settings write");
        return EXIT_NO_CONTROLLER;
    }
    uint8_t back[WIRE_IMAGE_BYTES];
    const SessionResult read_back = session_read_settings(&c.controller->link, back);
    close_all(&c);
    if (read_back != SESSION_OK) {
        report_failure(read_back, c.port, "settings read after the write");
        err_line("The write to " + c.port + " could not be verified.");
        return EXIT_VERIFY;
    }
    SettingsValues stored{};
    values_from_image(back, &stored);
    if (!values_equal(sent, stored)) {
        err_line("The settings read back from " + c.port +
                 " differ from those written (written -> read back):");
        const std::string differences = differences_text(sent, stored);
        platform_write(PLATFORM_ERR, differences.data(), differences.size());
        return EXIT_VERIFY;
    }
    err_line("Wrote " + request.file + " to the controller on " + c.port +
             " and read it back unchanged.");
    return EXIT_DONE;
}

int cli_show(const CliRequest& request) {
    SettingsValues values{};
    const std::string& source = request.sources.front();
    const int code = load_source(request, source, &values);
    if (code != EXIT_DONE) {
        return code;
    }
    if (request.json) {
        out_json(settings_json(source, values));
    } else {
        out_text(settings_text(source, values));
    }
    return EXIT_DONE;
}

int cli_diff(const CliRequest& request) {
    SettingsValues a{};
    SettingsValues b{};
    int code = load_source(request, request.sources[0], &a);
    if (code != EXIT_DONE) {
        return code;
    }
    if (request.sources[1] == "device" && request.sources[0] == "device") {
        b = a; // one read of the controller serves both
    } else {
        code = load_source(request, request.sources[1], &b);
        if (code != EXIT_DONE) {
            return code;
        }
    }
    if (request.json) {
        out_json(differences_json(a, b));
    } else {
        out_text(differences_text(a, b));
    }
    return values_equal(a, b) ? EXIT_DONE : EXIT_DIFFERENT;
}
