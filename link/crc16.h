// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR.
// It guards the link frames, the controller's settings payload and the settings file; every
// stored CRC is little-endian.
#pragma once

#include <cstdint>

uint16_t link_crc16(const uint8_t* data, uint16_t count);
