// The configuration record: the switches as 0 or 1, the holder checks.
#include <gtest/gtest.h>

#include "../vacate-core/support.h"
#include "spd/config.h"

namespace {

TEST(Config, SwitchesAreReducedAndPositionsKept) {
    AppConfig config{-32000, 5000, -1, 7, 5, -1, 0, INT32_MIN};
    ConfigReduceSwitches(&config);
    EXPECT_EQ(config.dialogX, -32000);
    EXPECT_EQ(config.dialogY, 5000);
    EXPECT_EQ(config.dialogW, -1);
    EXPECT_EQ(config.dialogH, 7);
    EXPECT_EQ(config.alwaysOnTop, 1);
    EXPECT_EQ(config.trayMinimize, 0);
    EXPECT_EQ(config.askForReboot, 0);
    EXPECT_EQ(config.startMinimized, 0);
    EXPECT_EQ(ConfigSwitch(1), 1);
    EXPECT_EQ(ConfigSwitch(INT32_MAX), 1);
}

#ifndef _WIN32
TEST(ConfigDeathTest, NullHolderOrEmptyHolderAborts) {
    AppConfig* empty = nullptr;
    EXPECT_EXIT(ConfigDestroy(&empty), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(ConfigCreate(nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
}
#endif

}  // namespace
