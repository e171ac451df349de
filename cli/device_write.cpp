// Changing the controller's settings, for `write` and `set device` alike: find the controller,
// keep to the board-revision rule, read what it holds, save that as a backup, put the given
// values in, write, read back and compare the read-back with the values given (never with the
// bytes sent). A dry run stops before the backup and lists the changes.
//
// Values the controller cannot hold are refused before any port is opened. A Ctrl+C before the
// request goes out leaves the controller as it was; one after it, like a write that is not
// answered, a port that fails once the request went out and a read-back that fails, ends the
// command with what the controller may hold and how to look: the controller may have taken the
// request whatever came after it.
#include "cli/device_write.h"

#include <cstring>
#include <vector>

#include "cli/backups.h"
#include "cli/console.h"
#include "cli/find_controller.h"
#include "cli/output.h"
#include "cli/settings_output.h"
#include "cli/shell_quote.h"
#include "cli/sources.h"
#include "cli/timeline_chart.h"
#include "link/link_timing.h"
#include "link/wire_image.h"
#include "settings/settings_hold.h"

namespace {

// The command that shows what the controller holds after settings may have reached it;
// `compare` is what to compare it with (the file written, or the backup of what it held
// before), if anything.
std::string check_command(const std::string& port, const std::string& compare) {
    return shell_command_line(
        compare.empty() ? std::vector<std::string>{"show", "device", "--port", port}
                        : std::vector<std::string>{"diff", "device", compare, "--port", port});
}

// Says what a Ctrl+C after the settings went out leaves behind.
int interrupted_after_write(const std::string& port, const std::string& compare) {
    err_line(text_of("Interrupted after the settings were sent: the controller on %s may "
                     "already hold them. Check with: %s",
                     {port, check_command(port, compare)}));
    return EXIT_INTERRUPTED;
}

// Says what a write that failed after its request went out may leave behind. Below the slowest
// line waited for, the request itself takes longer to cross than the answer is waited for, so
// no write is answered: that is said too.
int failed_after_write(SessionResult written, const SessionLink& link, const std::string& port,
                       const std::string& compare) {
    if (written == SESSION_PORT_FAILED && !link.request_sent) {
        err_line(text_of("The port %s failed before the settings were sent; nothing was written.",
                         {port}));
        return EXIT_NO_CONTROLLER;
    }
    const std::string check = check_command(port, compare);
    if (written == SESSION_PORT_FAILED) {
        err_line(text_of("The port %s failed after the settings were sent: the controller may "
                         "already hold them. Check with: %s",
                         {port, check}));
        return EXIT_NO_CONTROLLER;
    }
    err_line(text_of("The controller on %s did not answer the settings write: it may already "
                     "hold the settings sent. Check with: %s",
                     {port, check}));
    err_line(text_of("The line may be slower than the tool waits for: below %s bit/s a write "
                     "is never answered in time.",
                     {std::to_string(LINK_TOOL_SLOWEST_BAUD)}));
    return EXIT_NO_CONTROLLER;
}

// Lists what a write would change, writing nothing.
int dry_run(const Connection& c, const SettingsValues& now, const SettingsValues& sent,
            const std::string& refusal) {
    const std::string changes = differences_text(now, sent);
    out_text(changes);
    out_text(timeline_change_text(now.table, sent.table));
    note_line(
        changes.empty()
            ? "The controller on " + c.port + " already holds these settings; nothing was written."
            : "Dry run: the changes above were not written to the controller on " + c.port + ".");
    if (!refusal.empty()) {
        err_line(refusal + ": a real write would need --force.");
    }
    return EXIT_DONE;
}

// Reads the settings back and compares them with what was given; EXIT_DONE or EXIT_VERIFY.
int verify(Connection* c, const DeviceWrite& change, const SettingsValues& before,
           const std::string& compare) {
    uint8_t back[WIRE_IMAGE_BYTES];
    const SessionLink& link = c->controller->link; // its slot outlasts the port
    const SessionResult read_back = session_read_settings(&c->controller->link, back);
    close_all(c);
    if (console_interrupted()) {
        return interrupted_after_write(c->port, compare);
    }
    if (read_back != SESSION_OK) {
        report_failure(read_back, link, c->port, ASK_READ_BACK);
        err_line(text_of("The write to %s could not be verified: the controller may hold the "
                         "settings sent or those it held before. Check with: %s",
                         {c->port, check_command(c->port, compare)}));
        return EXIT_VERIFY;
    }
    float stored[SETTINGS_COUNT] = {};
    wire_image_unpack(back, stored);
    ValueMismatch mismatches[VALUES_LISTED];
    const size_t n = values_verify(change.given, before.table, stored, mismatches, VALUES_LISTED);
    if (n != 0) {
        err_line("The settings read back from " + c->port + " differ from " + change.what +
                 " (wanted -> read back):");
        const std::string lines = mismatches_text(mismatches, n);
        console_write(CONSOLE_ERR, lines.data(), lines.size());
        return EXIT_VERIFY;
    }
    // Put together from whole words: a piece of a literal cut mid-word, as an optimised
    // concatenation leaves it in the binary, reads to a spelling checker as a misspelling.
    const std::string controller = "the controller on " + c->port;
    note_line("Wrote " + change.what + " to " + controller + " and read it back unchanged.");
    return EXIT_DONE;
}

// Finds the controller and keeps to the board-revision rule: a revision other than the one
// whose settings the tool knows is refused unless forced; a dry run goes on and *refusal says
// why a real write would not. EXIT_DONE with the controller's port open, or the exit code.
int connect_for_write(const CliRequest& request, Connection* c, std::string* refusal) {
    const int code = connect(request, c);
    if (code != EXIT_DONE) {
        return code;
    }
    const int32_t revision = c->controller->ident.board_revision;
    if (revision != IDENT_SUPPORTED_REVISION && !request.force) {
        *refusal = "The controller on " + c->port + " reports board revision " +
                   std::to_string(revision) + ", not " + std::to_string(IDENT_SUPPORTED_REVISION);
    }
    if (!refusal->empty() && !request.dry_run) {
        close_all(c);
        err_line(*refusal + "; nothing was written (--force writes all the same).");
        return EXIT_REVISION;
    }
    return EXIT_DONE;
}

// Says what a backup cannot keep: channel 24's standby flag, when this write changes it.
void note_last_standby_flag(const SettingsValues& now, const SettingsValues& sent) {
    const int last_flag = SETTINGS_FILE_UNSTORED;
    if (sent.table[last_flag] != now.table[last_flag]) {
        note_line("Channel 24's standby flag, which a .lv24 file has no place for, was " +
                  std::string(now.table[last_flag] == 1.0f ? "on" : "off") +
                  " before this write; a write of the backup leaves it as it is then.");
    }
}

// Sends the image, unless a Ctrl+C came first. EXIT_DONE, or the exit code after saying why;
// the port is closed on every failure.
int send_image(Connection* c, const uint8_t image[WIRE_IMAGE_BYTES], const std::string& compare) {
    if (console_interrupted()) {
        close_all(c);
        err_line("Interrupted; nothing was written to the controller on " + c->port + ".");
        return EXIT_INTERRUPTED;
    }
    const SessionLink& link = c->controller->link; // its slot outlasts the port
    const SessionResult written = session_write_settings(&c->controller->link, image);
    if (console_interrupted()) {
        close_all(c);
        return interrupted_after_write(c->port, compare);
    }
    if (written != SESSION_OK) {
        close_all(c);
        return failed_after_write(written, link, c->port, compare);
    }
    return EXIT_DONE;
}

} // namespace

int device_write(const CliRequest& request, const DeviceWrite& change) {
    int code = refuse_unholdable(*change.given, change.given_by);
    if (code == EXIT_DONE) {
        code = backup_check(request, change.compare);
    }
    if (code != EXIT_DONE) {
        return code; // before any port is opened
    }
    console_catch_interrupt();
    Connection c;
    std::string refusal;
    code = connect_for_write(request, &c, &refusal);
    if (code != EXIT_DONE) {
        return code;
    }
    // What the controller holds now stays wherever nothing is given (for a file: the last
    // channel's standby flag, which no .lv24 file holds).
    uint8_t current[WIRE_IMAGE_BYTES];
    code = read_image(&c, current);
    if (code != EXIT_DONE) {
        close_all(&c);
        return code;
    }
    uint8_t image[WIRE_IMAGE_BYTES];
    values_image_to_write(current, change.given, image);
    SettingsValues now{};
    SettingsValues sent{};
    values_from_image(current, &now);
    values_from_image(image, &sent);
    if (request.dry_run) {
        close_all(&c);
        return dry_run(c, now, sent, refusal);
    }
    if (memcmp(image, current, WIRE_IMAGE_BYTES) == 0) {
        close_all(&c);
        note_line("The controller on " + c.port +
                  " already holds these values: nothing had to change, so nothing was backed "
                  "up or written.");
        return EXIT_DONE;
    }
    std::string backup;
    code = backup_settings(request, c.port, current, &backup);
    if (code != EXIT_DONE) {
        close_all(&c);
        return code;
    }
    if (!backup.empty() && format_of_name(backup) == FORMAT_LV24) {
        note_last_standby_flag(now, sent);
    }
    const std::string compare = change.compare.empty() ? backup : change.compare;
    code = send_image(&c, image, compare);
    return code == EXIT_DONE ? verify(&c, change, now, compare) : code;
}
