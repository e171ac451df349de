#include "emulator/emu_loop.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

#include "emulator/emu_control.h"
#include "emulator/emu_store.h"

static volatile sig_atomic_t stop_signal = 0;

static void on_signal(int number) {
    stop_signal = number;
}

int64_t emu_now_us() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t emu_now_ms() {
    return emu_now_us() / 1000;
}

static bool paced(const Emulator* emu) {
    return emu->options.baud > 0;
}

static int64_t recheck_ms(const Emulator* emu) {
    return paced(emu) ? EMU_PTY_RECHECK_PACED_MS : EMU_PTY_RECHECK_MS;
}

// ---- the line --------------------------------------------------------------------------------

static void save_store(Emulator* emu) {
    if (!emu->device.settings_changed || emu->options.store_path == nullptr) {
        emu->device.settings_changed = false;
        return;
    }
    if (emu_store_save(emu->options.store_path, emu->device.settings) != 0) {
        emu_log_event(&emu->log, "cannot save the settings to %s", emu->options.store_path);
    }
    emu->device.settings_changed = false;
}

static void answer_requests(Emulator* emu, int64_t now) {
    EmuRequest request;
    static uint8_t answer[EMU_ANSWER_MAX];
    for (;;) {
        EmuParseResult r = emu_parser_next(&emu->parser, now, &request);
        if (r == EMU_PARSE_NONE) {
            return;
        }
        emu_log_request(&emu->log, &request);
        if (r == EMU_PARSE_BAD_CRC) {
            emu_device_note_bad_crc(&emu->device, &request);
            continue;
        }
        size_t n = emu_device_answer(&emu->device, &request, now, answer, sizeof answer);
        if (n > 0 && emu_faults_send(&emu->device.faults, &emu->output, answer, n, now) != 0) {
            emu_log_event(&emu->log, "output queue full, answer dropped");
        }
        if (request.command == EMU_CMD_WRITE_SETTINGS) {
            bool stored = emu->device.settings_changed;
            emu_log_event(&emu->log, "settings %s", stored ? "stored" : "refused");
        }
        save_store(emu);
    }
}

// Bytes still crossing either way are lost with the line.
static void drop_crossing(Emulator* emu) {
    emu->crossing_count = 0;
    emu->line_full = false;
    emu_pace_reset(&emu->from_pc);
    emu_pace_reset(&emu->to_pc);
}

// The port was closed: what was on its way to the reader is lost, as on a real line.
static void port_closed(Emulator* emu) {
    emu->pty.peer_open = false;
    drop_crossing(emu);
    emu_output_clear(&emu->output);
    emu_pty_flush_output(&emu->pty);
    emu_parser_reset(&emu->parser);
    emu->peer_check_ms = emu_now_ms() + recheck_ms(emu);
    emu_log_event(&emu->log, "port closed");
}

// A paced line: what the PC wrote is taken from the pseudo-terminal at once (so that a closed
// port is still noticed) and waits in `crossing` until it has crossed the line.
static void read_paced_bytes(Emulator* emu) {
    while (emu->crossing_count < sizeof emu->crossing) {
        ssize_t n = read(emu->pty.master, emu->crossing + emu->crossing_count,
                         sizeof emu->crossing - emu->crossing_count);
        if (n > 0) {
            emu->crossing_count += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        port_closed(emu);
        return;
    }
}

// Hands the bytes that have crossed by now to the request parser and answers the requests
// they complete.
static void pass_crossed_bytes(Emulator* emu, int64_t now_us) {
    const int64_t now = now_us / 1000;
    const size_t waiting = emu->crossing_count;
    const size_t allowed = emu_pace_allowed(&emu->from_pc, now_us, waiting);
    size_t fed = 0;
    while (fed < allowed) {
        if (emu_parser_room(&emu->parser) == 0) {
            answer_requests(emu, now);
        }
        size_t took = emu_parser_feed(&emu->parser, emu->crossing + fed, allowed - fed, now);
        if (took == 0) {
            break;
        }
        fed += took;
        answer_requests(emu, now);
    }
    memmove(emu->crossing, emu->crossing + fed, waiting - fed);
    emu->crossing_count -= fed;
    emu_pace_handed(&emu->from_pc, fed, waiting);
}

static void read_line_bytes(Emulator* emu, int64_t now) {
    uint8_t data[EMU_PARSER_BYTES];
    for (;;) {
        size_t room = emu_parser_room(&emu->parser);
        if (room == 0) {
            answer_requests(emu, now);
            room = emu_parser_room(&emu->parser);
        }
        ssize_t n = read(emu->pty.master, data, room < sizeof data ? room : sizeof data);
        if (n > 0) {
            emu_parser_feed(&emu->parser, data, static_cast<size_t>(n), now);
            answer_requests(emu, now);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        port_closed(emu); // EIO or end: nobody holds the device side any more
        return;
    }
}

static void look_for_opener(Emulator* emu, int64_t now) {
    if (!emu->plugged || emu->pty.peer_open || now < emu->peer_check_ms) {
        return;
    }
    emu->peer_check_ms = now + recheck_ms(emu);
    if (emu_pty_peer_present(&emu->pty)) {
        emu->pty.peer_open = true;
        emu_log_event(&emu->log, "port opened");
    }
}

static int relink(Emulator* emu) {
    int result = 0;
    if (emu->options.link_path != nullptr &&
        emu_symlink_replace(emu->pty.path, emu->options.link_path) != 0) {
        fprintf(stderr, "lumivo24-emulator: cannot make the link %s: %s\n", emu->options.link_path,
                strerror(errno));
        result = -1;
    }
    return result;
}

static void unplug(Emulator* emu, char* reply, size_t cap) {
    if (!emu->plugged) {
        snprintf(reply, cap, "error already unplugged");
        return;
    }
    emu_output_clear(&emu->output);
    emu_parser_reset(&emu->parser);
    drop_crossing(emu);
    // The port leaves the system, as an unplugged adapter's device does, and the Wine prefix too:
    // a link left behind would lead to a pseudo-terminal number that the system hands to the next
    // one opened, perhaps another emulator's.
    if (emu->options.link_path != nullptr) {
        emu_symlink_remove_if(emu->options.link_path, emu->pty.path);
    }
    emu_pty_close(&emu->pty);
    emu->plugged = false;
    if (emu->wine.enabled) {
        emu_wine_detach(&emu->wine);
    }
    emu_log_event(&emu->log, "unplugged");
    snprintf(reply, cap, "ok unplugged");
}

static void plug(Emulator* emu, char* reply, size_t cap) {
    if (emu->plugged) {
        snprintf(reply, cap, "error already plugged");
        return;
    }
    if (emu_pty_open(&emu->pty) != 0) {
        snprintf(reply, cap, "error cannot open a pseudo-terminal: %s", strerror(errno));
        return;
    }
    emu->plugged = true;
    emu->peer_check_ms = 0;
    int linked = relink(emu);
    if (emu->wine.enabled && emu_wine_attach(&emu->wine, emu->pty.path) != 0) {
        linked = -1;
    }
    emu_log_event(&emu->log, "plugged at %s", emu->pty.path);
    snprintf(reply, cap, "%s plugged %s", linked == 0 ? "ok" : "error links not updated,",
             emu->pty.path);
}

// ---- control -------------------------------------------------------------------------------

static bool handle_control_line(void* context, char* line, char* reply, size_t cap) {
    Emulator* emu = static_cast<Emulator*>(context);
    EmuControl control = {&emu->device, &emu->output,       &emu->log,   emu->pty.path,
                          emu->plugged, emu->pty.peer_open, emu_now_ms()};
    if (!emu->plugged) {
        control.pty_path = "-";
    }
    switch (emu_control_execute(&control, line, reply, cap)) {
    case EMU_ACTION_UNPLUG:
        unplug(emu, reply, cap);
        break;
    case EMU_ACTION_PLUG:
        plug(emu, reply, cap);
        break;
    case EMU_ACTION_QUIT:
        snprintf(reply, cap, "ok bye");
        emu_log_event(&emu->log, "quit by the control channel");
        return true;
    case EMU_ACTION_NONE:
        break;
    }
    save_store(emu);
    return false;
}

// ---- start, loop, stop -----------------------------------------------------------------------

static FILE* open_log(const EmuOptions* o) {
    if (o->log_path == nullptr) {
        return stderr;
    }
    FILE* f = fopen(o->log_path, "ae");
    if (f == nullptr) {
        fprintf(stderr, "lumivo24-emulator: cannot open the log %s: %s\n", o->log_path,
                strerror(errno));
    }
    return f;
}

static void load_store(Emulator* emu) {
    const char* path = emu->options.store_path;
    if (path == nullptr) {
        return;
    }
    switch (emu_store_load(path, emu->device.settings)) {
    case EMU_STORE_LOADED:
        emu_log_event(&emu->log, "settings loaded from %s", path);
        break;
    case EMU_STORE_ABSENT:
        emu->device.settings_changed = true; // write the factory settings out at once
        save_store(emu);
        break;
    case EMU_STORE_INVALID:
        emu_log_event(&emu->log, "%s is not a settings store; factory settings used", path);
        break;
    }
}

static void install_signals() {
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
}

int emu_start(Emulator* emu) {
    const EmuOptions* o = &emu->options;
    install_signals();
    FILE* log_stream = open_log(o);
    if (o->log_path != nullptr && log_stream == nullptr) {
        return -1;
    }
    emu_log_init(&emu->log, log_stream);
    emu_device_init(&emu->device, o->static_sensors, o->seed);
    if (o->version != nullptr && emu_device_set_version(&emu->device, o->version) != 0) {
        fprintf(stderr, "lumivo24-emulator: version text too long\n");
        return -1;
    }
    load_store(emu);
    emu_parser_reset(&emu->parser);
    emu_output_init(&emu->output);
    emu_pace_init(&emu->to_pc, static_cast<uint32_t>(o->baud));
    emu_pace_init(&emu->from_pc, static_cast<uint32_t>(o->baud));
    drop_crossing(emu);
    emu_server_init(&emu->server);
    emu->wine.enabled = false;
    emu->pty.master = -1;
    if (emu_pty_open(&emu->pty) != 0) {
        fprintf(stderr, "lumivo24-emulator: cannot open a pseudo-terminal: %s\n", strerror(errno));
        return -1;
    }
    emu->plugged = true;
    if (o->wine_prefix != nullptr) {
        emu->wine.enabled = true;
        snprintf(emu->wine.prefix, sizeof emu->wine.prefix, "%s", o->wine_prefix);
        emu->wine.com = static_cast<int>(o->com);
        emu->wine.register_port = !o->no_register;
        emu->wine.wine_program = o->wine_program;
        if (emu_wine_attach(&emu->wine, emu->pty.path) != 0) {
            emu_stop(emu);
            return -1;
        }
    }
    if (relink(emu) != 0 ||
        emu_server_open(&emu->server, static_cast<uint16_t>(o->control_port), o->use_stdin) != 0) {
        fprintf(stderr, "lumivo24-emulator: cannot set up the links or the control channel\n");
        emu_stop(emu);
        return -1;
    }
    emu->end_ms = o->lifetime_s > 0 ? emu_now_ms() + o->lifetime_s * 1000 : 0;
    printf("pty %s\ncontrol %u\n", emu->pty.path, emu->server.port);
    fflush(stdout);
    emu_log_event(&emu->log, "started at %s, control port %u", emu->pty.path, emu->server.port);
    return 0;
}

// When the output queue next needs the loop, in microseconds; -1 when only the line's taking
// more bytes (POLLOUT) can move it.
static int64_t output_wake_us(const Emulator* emu, int64_t now_us) {
    const int64_t now = now_us / 1000;
    const int64_t due = emu_output_next_due(&emu->output);
    if (due < 0 || !emu->pty.peer_open) {
        return -1;
    }
    if (due > now) {
        return due * 1000;
    }
    // The head is due and still there: the line is full, or the pace holds it back.
    if (!paced(emu) || emu->line_full) {
        return -1;
    }
    return emu_pace_next_us(&emu->to_pc, emu_output_due_bytes(&emu->output, now));
}

static int64_t poll_timeout_us(const Emulator* emu, int64_t now_us) {
    int64_t next = now_us + 1000000;
    int64_t wakes[5] = {output_wake_us(emu, now_us), -1, -1, -1, -1};
    int64_t stale = emu_parser_deadline(&emu->parser);
    wakes[1] = stale >= 0 ? stale * 1000 : -1;
    if (emu->plugged && !emu->pty.peer_open) {
        wakes[2] = emu->peer_check_ms * 1000;
    }
    if (emu->end_ms > 0) {
        wakes[3] = emu->end_ms * 1000;
    }
    if (emu->crossing_count > 0) {
        wakes[4] = emu_pace_next_us(&emu->from_pc, emu->crossing_count);
    }
    for (int64_t at : wakes) {
        if (at >= 0 && at < next) {
            next = at;
        }
    }
    return next <= now_us ? 0 : next - now_us;
}

static void write_output(Emulator* emu, int64_t now_us) {
    if (!emu->plugged || !emu->pty.peer_open) {
        return;
    }
    const int64_t now = now_us / 1000;
    long written = 0;
    if (!paced(emu)) {
        written = emu_output_write(&emu->output, emu->pty.master, now);
    } else {
        const size_t waiting = emu_output_due_bytes(&emu->output, now);
        const size_t allowed = emu_pace_allowed(&emu->to_pc, now_us, waiting);
        written = emu_output_write_limited(&emu->output, emu->pty.master, now, allowed);
        if (written >= 0) {
            emu_pace_handed(&emu->to_pc, static_cast<size_t>(written), waiting);
            emu->line_full = static_cast<size_t>(written) < allowed;
        }
    }
    if (written < 0) {
        port_closed(emu);
    }
}

void emu_run(Emulator* emu) {
    sigset_t open_mask;
    sigemptyset(&open_mask);
    while (!emu->quit) {
        int64_t now_us = emu_now_us();
        int64_t now = now_us / 1000;
        look_for_opener(emu, now);
        write_output(emu, now_us);
        struct pollfd fds[EMU_SERVER_POLLFDS + 1];
        size_t n = emu_server_pollfds(&emu->server, fds);
        bool line_polled = emu->plugged && emu->pty.peer_open;
        if (line_polled) {
            int64_t due = emu_output_next_due(&emu->output);
            bool crossing_full = emu->crossing_count == sizeof emu->crossing;
            short events = paced(emu) && crossing_full ? 0 : POLLIN;
            if (due >= 0 && due <= now && (!paced(emu) || emu->line_full)) {
                events |= POLLOUT; // the line is full; wait until it takes more
            }
            fds[n++] = {emu->pty.master, events, 0};
        }
        struct timespec timeout = {};
        int64_t us = poll_timeout_us(emu, now_us);
        timeout.tv_sec = static_cast<time_t>(us / 1000000);
        timeout.tv_nsec = static_cast<long>(us % 1000000) * 1000;
        int ready = ppoll(fds, n, &timeout, &open_mask);
        if (stop_signal != 0) {
            emu_log_event(&emu->log, "signal %d, ending", static_cast<int>(stop_signal));
            break;
        }
        now_us = emu_now_us();
        now = now_us / 1000;
        if (emu->end_ms > 0 && now >= emu->end_ms) {
            emu_log_event(&emu->log, "lifetime over, ending");
            break;
        }
        if (ready < 0) {
            continue;
        }
        if (line_polled && fds[n - 1].revents != 0) {
            if (!paced(emu)) {
                read_line_bytes(emu, now);
            } else if (emu->crossing_count < sizeof emu->crossing) {
                read_paced_bytes(emu);
            } else if (fds[n - 1].revents & (POLLHUP | POLLERR)) {
                port_closed(emu); // gone while its last bytes were still crossing
            }
        }
        if (paced(emu) && emu->pty.peer_open) {
            pass_crossed_bytes(emu, now_us);
        }
        answer_requests(emu, now); // a stale fragment may have been dropped
        size_t server_fds = line_polled ? n - 1 : n;
        if (emu_server_service(&emu->server, fds, server_fds, handle_control_line, emu)) {
            emu->quit = true;
        }
    }
}

void emu_stop(Emulator* emu) {
    if (emu->options.link_path != nullptr && emu->pty.path[0] != '\0') {
        emu_symlink_remove_if(emu->options.link_path, emu->pty.path);
    }
    if (emu->wine.enabled) {
        emu_wine_detach(&emu->wine);
    }
    emu_output_clear(&emu->output);
    emu_pty_close(&emu->pty);
    emu_server_close(&emu->server);
    if (emu->log.stream != nullptr && emu->log.stream != stderr) {
        fclose(emu->log.stream);
        emu->log.stream = nullptr;
    }
}
