#include <gtest/gtest.h>

#include "link/crc16.h"

TEST(Crc16, PublishedVectors) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(link_crc16(digits, 9), 0x29B1);
    EXPECT_EQ(link_crc16(nullptr, 0), 0xFFFF);
    const uint8_t identify[] = {0x01, 0x00, 0x06, 0x00};
    EXPECT_EQ(link_crc16(identify, 4), 0x58D2);
}
