// The controller itself: what it knows (version text, settings store, sensors), the faults it
// has been ordered to show, and what it has been asked (counts and the last frame of every
// command). emu_device_answer acts on one request and builds the bytes of its answer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulator/emu_faults.h"
#include "emulator/emu_frame.h"
#include "emulator/emu_sensors.h"

constexpr size_t EMU_VERSION_MAX = 2000; // characters of the version text at most
constexpr size_t EMU_ANSWER_MAX = 8192;  // bytes of one answer at most
constexpr size_t EMU_LAST_REQUESTS = 8;  // commands whose last frame is kept
constexpr const char* EMU_DEFAULT_VERSION = "5.000";

struct EmuCounters {
    uint32_t identify; // identification requests answered
    uint32_t status;   // status requests
    uint32_t read;     // settings reads
    uint32_t write;    // settings writes (stored or refused)
    uint32_t other;    // requests of other commands (not answered)
    uint32_t bad_crc;  // known requests with a wrong CRC (not answered)
};

struct EmuLastRequest {
    bool used;                      // the slot holds a frame
    uint16_t command;               // its command
    uint16_t length;                // its length
    uint64_t order;                 // arrival order, to reuse the oldest slot
    uint8_t bytes[EMU_REQUEST_MAX]; // the frame
};

struct EmuDevice {
    char version[EMU_VERSION_MAX + 1];      // text after "kavren board v"
    uint8_t settings[EMU_SETTINGS_BYTES];   // settings store as last written
    bool settings_changed;                  // the store changed since it was last saved
    EmuSensors sensors;                     // sensor readings
    EmuFaults faults;                       // faults ordered
    EmuCounters counters;                   // requests by kind
    EmuLastRequest last[EMU_LAST_REQUESTS]; // last frame of each recent command
    uint64_t request_order;                 // requests seen
};

void emu_device_init(EmuDevice* device, bool static_sensors, uint32_t seed);

// Sets the version text; returns -1 (nothing changed) when it is too long.
int emu_device_set_version(EmuDevice* device, const char* version);

// Acts on a request with a good CRC and builds its answer in out. Returns the answer's size; 0
// means no answer (a command the controller does not know).
size_t emu_device_answer(EmuDevice* device, const EmuRequest* request, int64_t now_ms, uint8_t* out,
                         size_t cap);

// Counts and remembers a known request whose CRC did not match; it gets no answer.
void emu_device_note_bad_crc(EmuDevice* device, const EmuRequest* request);

// The last frame received with `command`, or nullptr.
const EmuLastRequest* emu_device_last_request(const EmuDevice* device, uint16_t command);
