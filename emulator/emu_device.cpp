#include "emulator/emu_device.h"

#include <cstring>

#include "emulator/emu_answer.h"
#include "emulator/emu_settings.h"

void emu_device_init(EmuDevice* device, bool static_sensors, uint32_t seed) {
    memset(device, 0, sizeof *device);
    strcpy(device->version, EMU_DEFAULT_VERSION);
    emu_settings_factory(device->settings);
    emu_sensors_init(&device->sensors, static_sensors, seed);
    emu_faults_reset(&device->faults);
}

int emu_device_set_version(EmuDevice* device, const char* version) {
    size_t n = strlen(version);
    if (n > EMU_VERSION_MAX) {
        return -1;
    }
    memcpy(device->version, version, n + 1);
    return 0;
}

static EmuLastRequest* slot_for(EmuDevice* device, uint16_t command) {
    for (EmuLastRequest& r : device->last) {
        if (r.used && r.command == command) {
            return &r;
        }
    }
    EmuLastRequest* oldest = &device->last[0];
    for (EmuLastRequest& r : device->last) {
        if (!r.used) {
            return &r;
        }
        if (r.order < oldest->order) {
            oldest = &r;
        }
    }
    return oldest;
}

static void remember(EmuDevice* device, const EmuRequest* request) {
    EmuLastRequest* slot = slot_for(device, request->command);
    slot->used = true;
    slot->command = request->command;
    slot->length = request->length;
    slot->order = ++device->request_order;
    memcpy(slot->bytes, request->bytes, request->length);
}

const EmuLastRequest* emu_device_last_request(const EmuDevice* device, uint16_t command) {
    for (const EmuLastRequest& r : device->last) {
        if (r.used && r.command == command) {
            return &r;
        }
    }
    return nullptr;
}

// A settings write is stored only when it carries a whole payload whose own CRC matches; the
// controller would rather keep its old settings than take damaged ones.
static uint8_t store_settings(EmuDevice* device, const EmuRequest* request) {
    if (device->faults.refuse_writes ||
        request->length != EMU_FRAME_OVERHEAD + EMU_SETTINGS_BYTES ||
        !emu_settings_crc_ok(request->bytes + 4)) {
        return EMU_WRITE_REFUSED;
    }
    memcpy(device->settings, request->bytes + 4, EMU_SETTINGS_BYTES);
    device->settings_changed = true;
    return EMU_WRITE_STORED;
}

static size_t normal_answer(EmuDevice* device, const EmuRequest* request, int64_t now_ms,
                            uint8_t* out, size_t cap) {
    switch (request->command) {
    case EMU_CMD_IDENTIFY:
        device->counters.identify += 1;
        return emu_answer_identify(device->version, device->faults.ident_length, out, cap);
    case EMU_CMD_GET_STATUS: {
        device->counters.status += 1;
        EmuReadings readings = emu_sensors_read(&device->sensors, now_ms);
        return emu_answer_status(&readings, out, cap);
    }
    case EMU_CMD_READ_SETTINGS:
        device->counters.read += 1;
        return emu_answer_settings(device->settings, out, cap);
    case EMU_CMD_WRITE_SETTINGS:
        device->counters.write += 1;
        return emu_answer_write_result(store_settings(device, request), out, cap);
    default:
        device->counters.other += 1;
        return 0;
    }
}

size_t emu_device_answer(EmuDevice* device, const EmuRequest* request, int64_t now_ms, uint8_t* out,
                         size_t cap) {
    remember(device, request);
    size_t n = normal_answer(device, request, now_ms, out, cap);
    const EmuRawAnswer* raw = emu_faults_take_raw(&device->faults, request->command);
    if (raw != nullptr) {
        if (raw->length > cap) {
            return 0;
        }
        memcpy(out, raw->bytes, raw->length);
        return raw->length;
    }
    return emu_faults_truncated_length(&device->faults, request->command, n);
}

void emu_device_note_bad_crc(EmuDevice* device, const EmuRequest* request) {
    remember(device, request);
    device->counters.bad_crc += 1;
}
