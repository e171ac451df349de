#include "emulator/emu_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

static char reply_buffer[EMU_REPLY_MAX + 1];

static void client_free(EmuClient* c) {
    c->in = -1;
    c->out = -1;
    c->length = 0;
    c->overlong = false;
}

void emu_server_init(EmuServer* server) {
    for (EmuClient& c : server->clients) {
        client_free(&c);
    }
    client_free(&server->input);
    server->input_ended = false;
    server->listener = -1;
    server->port = 0;
}

int emu_server_open(EmuServer* server, uint16_t port, bool use_stdin) {
    emu_server_init(server);
    if (use_stdin) {
        server->input.in = STDIN_FILENO;
        server->input.out = STDOUT_FILENO;
    }
    server->listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (server->listener < 0) {
        return -1;
    }
    int yes = 1;
    setsockopt(server->listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(server->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(server->listener, 8) != 0 ||
        getsockname(server->listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        close(server->listener);
        server->listener = -1;
        return -1;
    }
    server->port = ntohs(address.sin_port);
    return 0;
}

void emu_server_close(EmuServer* server) {
    for (EmuClient& c : server->clients) {
        if (c.in >= 0) {
            close(c.in);
        }
        client_free(&c);
    }
    if (server->listener >= 0) {
        close(server->listener);
    }
    server->listener = -1;
}

size_t emu_server_pollfds(const EmuServer* server, struct pollfd* fds) {
    size_t n = 0;
    if (server->listener >= 0) {
        fds[n++] = {server->listener, POLLIN, 0};
    }
    if (server->input.in >= 0 && !server->input_ended) {
        fds[n++] = {server->input.in, POLLIN, 0};
    }
    for (const EmuClient& c : server->clients) {
        if (c.in >= 0) {
            fds[n++] = {c.in, POLLIN, 0};
        }
    }
    return n;
}

static void accept_client(EmuServer* server) {
    int fd = accept4(server->listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    for (EmuClient& c : server->clients) {
        if (c.in < 0) {
            // A client that stops reading must not hold the emulator up for long.
            struct timeval limit = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            c.in = fd;
            c.out = fd;
            return;
        }
    }
    static const char busy[] = "error too many control clients\n";
    send(fd, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    close(fd);
}

static bool send_line(int fd, const char* text, size_t length) {
    size_t done = 0;
    while (done < length) {
        ssize_t n = fd == STDOUT_FILENO ? write(fd, text + done, length - done)
                                        : send(fd, text + done, length - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Runs the handler on every complete line gathered. Returns true when it asked to end.
static bool take_bytes(EmuClient* c, const char* data, size_t count, EmuLineHandler handler,
                       void* context, bool* broken) {
    bool end = false;
    for (size_t i = 0; i < count && !end; ++i) {
        if (data[i] != '\n') {
            if (c->length < EMU_LINE_MAX - 1) {
                c->line[c->length++] = data[i];
            } else {
                c->overlong = true;
            }
            continue;
        }
        c->line[c->length] = '\0';
        size_t n = 0;
        if (c->overlong) {
            n = static_cast<size_t>(snprintf(reply_buffer, sizeof reply_buffer,
                                             "error line longer than %zu characters",
                                             EMU_LINE_MAX - 1));
        } else {
            reply_buffer[0] = '\0';
            end = handler(context, c->line, reply_buffer, EMU_REPLY_MAX);
            n = strlen(reply_buffer);
        }
        reply_buffer[n] = '\n';
        if (!send_line(c->out, reply_buffer, n + 1)) {
            *broken = true;
        }
        c->length = 0;
        c->overlong = false;
    }
    return end;
}

static bool serve_client(EmuClient* c, bool is_input, EmuServer* server, EmuLineHandler handler,
                         void* context) {
    char data[4096];
    ssize_t n = read(c->in, data, sizeof data);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return false;
    }
    bool broken = n <= 0;
    bool end = n > 0 && take_bytes(c, data, static_cast<size_t>(n), handler, context, &broken);
    if (broken) {
        if (is_input) {
            server->input_ended = true;
            return true;
        }
        close(c->in);
        client_free(c);
    }
    return end;
}

bool emu_server_service(EmuServer* server, const struct pollfd* fds, size_t count,
                        EmuLineHandler handler, void* context) {
    bool end = false;
    for (size_t i = 0; i < count && !end; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        if (fds[i].fd == server->listener) {
            accept_client(server);
        } else if (server->input.in >= 0 && fds[i].fd == server->input.in) {
            end = serve_client(&server->input, true, server, handler, context);
        } else {
            for (EmuClient& c : server->clients) {
                if (c.in == fds[i].fd) {
                    end = serve_client(&c, false, server, handler, context);
                    break;
                }
            }
        }
    }
    return end;
}
