#include "link/crc16.h"

uint16_t link_crc16(const uint8_t* data, uint16_t count) {
    uint16_t crc = 0xFFFF;
    for (uint16_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}
