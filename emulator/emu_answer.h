// The controller's answers, byte for byte. Each writes one frame into out and returns its size
// (0 when it does not fit in cap).
//
// - identification: command 0x0001, payload "VORK, kavren board v" and the version text, so that
//   the length field stands right before the text;
// - status: command 0x0002, 17 bytes: raw light u16, distance 1 and distance 2 as 32-bit floats
//   (cm), fault bits u8;
// - settings: command 0x0003, the 643-byte settings payload;
// - write result: command 0x0103, one byte: 0 stored, 1 refused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulator/emu_frame.h"
#include "emulator/emu_sensors.h"

constexpr const char* EMU_IDENT_PREFIX = "VORK, kavren board v";
constexpr size_t EMU_STATUS_FRAME_BYTES = 17;
constexpr uint8_t EMU_WRITE_STORED = 0;
constexpr uint8_t EMU_WRITE_REFUSED = 1;

// length_field < 0 writes the frame's true length; otherwise that value goes into the length
// field (the CRC still covers the bytes as sent).
size_t emu_answer_identify(const char* version, long length_field, uint8_t* out, size_t cap);
size_t emu_answer_status(const EmuReadings* readings, uint8_t* out, size_t cap);
size_t emu_answer_settings(const uint8_t payload[EMU_SETTINGS_BYTES], uint8_t* out, size_t cap);
size_t emu_answer_write_result(uint8_t result, uint8_t* out, size_t cap);
