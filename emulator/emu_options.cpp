#include "emulator/emu_options.h"

#include "emulator/emu_pace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

void emu_options_usage(FILE* out) {
    fputs("usage: lumivo24-emulator [options]\n"
          "Stands in for a LUMIVO24 controller on a pseudo-terminal. Prints \"pty PATH\" and\n"
          "\"control PORT\" on standard output, then serves requests until told to quit.\n"
          "  --control-port P    control channel on 127.0.0.1:P (0, the default: any free port)\n"
          "  --stdin             also take control commands on standard input (EOF quits)\n"
          "  --static            fixed sensor readings (light 2048, distances 300 and 350 cm)\n"
          "  --seed N            varies the simulated walks\n"
          "  --version TEXT      version text after \"kavren board v\" (default 5.000)\n"
          "  --store FILE        keep the settings in FILE between runs\n"
          "  --log FILE          log requests and events to FILE instead of standard error\n"
          "  --link PATH         keep a symbolic link PATH to the current pseudo-terminal\n"
          "  --wine-prefix DIR   attach to this Wine prefix as COM<N> (needs --com)\n"
          "  --com N             the COM port number (1..255)\n"
          "  --no-register       only make DIR/dosdevices/comN, no registry value\n"
          "  --wine PROGRAM      the wine launcher (default: wine)\n"
          "  --lifetime SEC      end by itself after SEC seconds\n"
          "  --baud N            bytes cross the line both ways at N baud (8N1, 10 bits a\n"
          "                      byte; 1200..4000000); a request is answered once its last\n"
          "                      byte has arrived (default: at once, answers written whole)\n"
          "Registering the port needs a running wineserver for the prefix (wineserver -p).\n",
          out);
}

static bool number(const char* text, long min, long max, long* value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) {
        return false;
    }
    *value = v;
    return true;
}

static void set_defaults(EmuOptions* o) {
    memset(o, 0, sizeof *o);
    o->wine_program = "wine";
}

int emu_options_parse(int argc, char** argv, EmuOptions* o, char* error, size_t cap) {
    set_defaults(o);
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        bool used_value = true;
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            return 1;
        } else if (strcmp(a, "--stdin") == 0) {
            o->use_stdin = true;
            used_value = false;
        } else if (strcmp(a, "--static") == 0) {
            o->static_sensors = true;
            used_value = false;
        } else if (strcmp(a, "--no-register") == 0) {
            o->no_register = true;
            used_value = false;
        } else if (v == nullptr) {
            snprintf(error, cap, "%s needs a value (or is unknown)", a);
            return -1;
        } else if (strcmp(a, "--control-port") == 0 && number(v, 0, 65535, &n)) {
            o->control_port = n;
        } else if (strcmp(a, "--seed") == 0 && number(v, 0, 0xFFFFFFFFL, &n)) {
            o->seed = static_cast<uint32_t>(n);
        } else if (strcmp(a, "--com") == 0 && number(v, 1, 255, &n)) {
            o->com = n;
        } else if (strcmp(a, "--lifetime") == 0 && number(v, 1, 86400L * 365, &n)) {
            o->lifetime_s = n;
        } else if (strcmp(a, "--baud") == 0 &&
                   number(v, EMU_PACE_MIN_BAUD, EMU_PACE_MAX_BAUD, &n)) {
            o->baud = n;
        } else if (strcmp(a, "--version") == 0) {
            o->version = v;
        } else if (strcmp(a, "--store") == 0) {
            o->store_path = v;
        } else if (strcmp(a, "--log") == 0) {
            o->log_path = v;
        } else if (strcmp(a, "--link") == 0) {
            o->link_path = v;
        } else if (strcmp(a, "--wine-prefix") == 0) {
            o->wine_prefix = v;
        } else if (strcmp(a, "--wine") == 0) {
            o->wine_program = v;
        } else {
            snprintf(error, cap, "bad option or value: %s %s", a, v);
            return -1;
        }
        if (used_value) {
            ++i;
        }
    }
    if ((o->wine_prefix != nullptr) != (o->com != 0)) {
        snprintf(error, cap, "--wine-prefix and --com go together");
        return -1;
    }
    return 0;
}
