#include "link/worker_pass.h"

#include "link/frame.h"
#include "link/link_flags.h"
#include "link/link_timing.h"

namespace {

const char16_t WRITE_NOT_HELD_LINE[] =
    u"Данные не записаны в контроллер: считанные обратно настройки отличаются от отправленных.\r\n";
const char16_t WRITE_UNREAD_LINE[] =
    u"Запись не проверена: ответ на чтение настроек неполный или повреждён.\r\n";

enum Transfer {
    TRANSFER_DONE,         // the request was answered
    TRANSFER_NO_REPLY,     // the request got no reply
    TRANSFER_NOT_GATHERED, // the form could not be gathered: nothing was sent
};

// A request got no reply: the connection ends, and the log says so.
WorkerPassResult disconnected(const WorkerOps* ops) {
    ops->log(ops->context, u"Контроллер отключен.\r\n");
    return PASS_DISCONNECTED;
}

bool connection_runs(uint32_t* link_flags) {
    return (flags_load(link_flags) & LINK_WORKER_RUNS) != 0;
}

bool window_closing(uint32_t* link_flags) {
    return (flags_load(link_flags) & LINK_CLOSING) != 0;
}

// The answer to a write says nothing of what the controller stored (a controller may answer and
// keep its old settings), so the settings are read back and compared with what was sent. The
// drain read between the two takes in whatever of the write's answer came late, so that it
// does not stand before the read's reply.
Transfer write_settings(const WorkerOps* ops) {
    switch (ops->prepare_write(ops->context)) {
    case WRITE_PACKED:
        break;
    case WRITE_REFUSED:
        return TRANSFER_DONE; // nothing was sent; the check has said why
    case WRITE_NO_FORM:
        return TRANSFER_NOT_GATHERED;
    }
    if (ops->transact(ops->context, CMD_WRITE_SETTINGS, static_cast<int32_t>(WIRE_IMAGE_BYTES),
                      LINK_WRITE_REPLY_MS) != 0) {
        return TRANSFER_NO_REPLY;
    }
    ops->receive(ops->context);
    if (ops->transact(ops->context, CMD_READ_SETTINGS, 0, LINK_READ_REPLY_MS) != 0) {
        return TRANSFER_NO_REPLY;
    }
    switch (ops->check_written(ops->context)) {
    case WRITE_HELD:
        ops->log(ops->context, u"Данные записаны в контроллер.\r\n");
        break;
    case WRITE_NOT_HELD:
        ops->log(ops->context, WRITE_NOT_HELD_LINE);
        break;
    case WRITE_UNREAD:
        ops->log(ops->context, WRITE_UNREAD_LINE);
        break;
    }
    return TRANSFER_DONE;
}

Transfer read_settings(const WorkerOps* ops) {
    if (ops->transact(ops->context, CMD_READ_SETTINGS, 0, LINK_READ_REPLY_MS) != 0) {
        return TRANSFER_NO_REPLY;
    }
    // Only a complete reply whose payload passes its own checksum reaches the table; anything
    // else would be completed from stale buffer bytes.
    if (ops->take_settings(ops->context)) {
        ops->log(ops->context, u"Данные прочитаны из контроллера.\r\n");
    } else {
        ops->log(ops->context, u"Ошибка чтения данных из контроллера.\r\n");
    }
    return TRANSFER_DONE;
}

// The pass after the window began to close: no poll, no read; a settings write clicked before
// the close is still carried out, since the user expects it to reach the controller. Writes
// waiting behind others would each send the form as it stands now: one does.
WorkerPassResult last_pass(CommandQueue* commands, const WorkerOps* ops) {
    bool write = false;
    for (int32_t command = command_queue_take(commands); command != PENDING_NONE;
         command = command_queue_take(commands)) {
        write = write || command == PENDING_WRITE_SETTINGS;
    }
    if (write && write_settings(ops) == TRANSFER_NO_REPLY) {
        return disconnected(ops);
    }
    return PASS_STOPPED;
}

} // namespace

WorkerPassResult worker_pass(uint32_t* link_flags, CommandQueue* commands, const WorkerOps* ops) {
    if (!connection_runs(link_flags)) {
        return PASS_STOPPED;
    }
    if (window_closing(link_flags)) {
        return last_pass(commands, ops);
    }
    if ((flags_load(link_flags) & LINK_POLL_DUE) != 0) {
        flags_clear(link_flags, LINK_POLL_DUE);
        if (ops->transact(ops->context, CMD_GET_STATUS, 0, LINK_STATUS_REPLY_MS) != 0) {
            return disconnected(ops);
        }
        ops->show_status(ops->context);
    }
    ops->receive(ops->context);
    // One command a pass: any click made from now on, even a second click of the same button
    // during this transfer, waits in the queue for a later pass.
    const int32_t command = command_queue_take(commands);
    if (command == PENDING_WRITE_SETTINGS || command == PENDING_READ_SETTINGS) {
        if (!connection_runs(link_flags)) {
            return PASS_STOPPED;
        }
        if (command == PENDING_READ_SETTINGS && window_closing(link_flags)) {
            return PASS_CONTINUE; // a read for a window that goes away; the next pass ends
        }
        const Transfer transfer =
            command == PENDING_WRITE_SETTINGS ? write_settings(ops) : read_settings(ops);
        if (transfer == TRANSFER_NO_REPLY) {
            return disconnected(ops);
        }
        if (transfer == TRANSFER_NOT_GATHERED) {
            return PASS_STOPPED;
        }
    }
    return connection_runs(link_flags) ? PASS_CONTINUE : PASS_STOPPED;
}
