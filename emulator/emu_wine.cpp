#include "emulator/emu_wine.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "emulator/emu_pty.h"

static const char SERIALCOMM_KEY[] = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

void emu_wine_value_name(int com, char* out, size_t cap) {
    snprintf(out, cap, "\\Device\\LumivoEmu%d", com);
}

void emu_wine_value_data(int com, char* out, size_t cap) {
    snprintf(out, cap, "COM%d", com);
}

// Runs the wine launcher with `args` in the prefix, its input and output on /dev/null. Waits
// at most EMU_WINE_TIMEOUT_S.
static int run_wine(const EmuWine* wine, const char* const* args) {
    pid_t pid = fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        // A wineserver started by this run outlives it; it must not hold our output open.
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        // The emulator blocks its ending signals outside its poll and ignores SIGPIPE; wine
        // and the wineserver it may start must not inherit either.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        setenv("WINEPREFIX", wine->prefix, 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        const char* argv[16];
        size_t n = 0;
        argv[n++] = wine->wine_program;
        for (size_t i = 0; args[i] != nullptr && n < 15; ++i) {
            argv[n++] = args[i];
        }
        argv[n] = nullptr;
        execvp(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    time_t start = time(nullptr);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (time(nullptr) - start > EMU_WINE_TIMEOUT_S) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(50 * 1000);
    }
}

static int register_port(EmuWine* wine) {
    char name[64];
    char data[32];
    emu_wine_value_name(wine->com, name, sizeof name);
    emu_wine_value_data(wine->com, data, sizeof data);
    const char* args[] = {"reg",    "add", SERIALCOMM_KEY, "/v", name,   "/t",
                          "REG_SZ", "/d",  data,           "/f", nullptr};
    if (run_wine(wine, args) != 0) {
        fprintf(stderr, "lumivo24-emulator: '%s reg add' failed for %s in %s\n", wine->wine_program,
                data, wine->prefix);
        return -1;
    }
    wine->registered = true;
    return 0;
}

int emu_wine_repoint(EmuWine* wine, const char* pty_path) {
    if (emu_symlink_replace(pty_path, wine->link) != 0) {
        fprintf(stderr, "lumivo24-emulator: cannot link %s to %s: %s\n", wine->link, pty_path,
                strerror(errno));
        return -1;
    }
    snprintf(wine->linked_to, sizeof wine->linked_to, "%s", pty_path);
    return 0;
}

int emu_wine_attach(EmuWine* wine, const char* pty_path) {
    char devices[PATH_MAX];
    int n = snprintf(devices, sizeof devices, "%s/dosdevices", wine->prefix);
    int m = snprintf(wine->link, sizeof wine->link, "%s/com%d", devices, wine->com);
    if (n < 0 || static_cast<size_t>(n) >= sizeof devices || m < 0 ||
        static_cast<size_t>(m) >= sizeof wine->link) {
        fprintf(stderr, "lumivo24-emulator: Wine prefix path too long\n");
        return -1;
    }
    if (mkdir(devices, 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "lumivo24-emulator: cannot create %s: %s\n", devices, strerror(errno));
        return -1;
    }
    if (emu_wine_repoint(wine, pty_path) != 0) {
        return -1;
    }
    return wine->register_port ? register_port(wine) : 0;
}

void emu_wine_detach(EmuWine* wine) {
    if (wine->linked_to[0] != '\0') {
        emu_symlink_remove_if(wine->link, wine->linked_to);
        wine->linked_to[0] = '\0';
    }
    if (wine->registered) {
        char name[64];
        emu_wine_value_name(wine->com, name, sizeof name);
        const char* args[] = {"reg", "delete", SERIALCOMM_KEY, "/v", name, "/f", nullptr};
        run_wine(wine, args);
        wine->registered = false;
    }
}
