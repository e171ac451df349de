// The connection from end to end: the program, started with no argument, finds the emulated
// controller on its COM port by itself, unlocks the form and shows the readings.
#include <gtest/gtest.h>

#include "driver.h"

TEST(Connection, FindsTheControllerAndUnlocksTheForm) {
    ASSERT_TRUE(app_start());
    EXPECT_TRUE(wait_until([] { return app_log_contains(L"Контроллер подключен."); }, 8000))
        << "log: " << testing::PrintToString(app_log());
    EXPECT_TRUE(app_log_contains(L"Количество COM-портов: "));
    EXPECT_FALSE(app_read_only(1006));
    EXPECT_TRUE(app_visible(1302));
    app_stop();
}
