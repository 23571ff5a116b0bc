// The configuration record: defaults and the switches as 0 or 1.
#include <gtest/gtest.h>

#include "../vacate-core/support.h"
#include "spd/config.h"

namespace {

TEST(Config, CreatedWithTheDefaultsAndFreedAgain) {
    const int32_t before = vt::BlocksInUse();
    AppConfig* config = nullptr;
    ASSERT_EQ(ConfigCreate(&config), 1);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(vt::BlocksInUse(), before + 1);
    EXPECT_EQ(config->dialogX, 20);
    EXPECT_EQ(config->dialogY, 20);
    EXPECT_EQ(config->dialogW, 0);
    EXPECT_EQ(config->dialogH, 0);
    EXPECT_EQ(config->alwaysOnTop, 0);
    EXPECT_EQ(config->trayMinimize, 1);
    EXPECT_EQ(config->askForReboot, 1);
    EXPECT_EQ(config->startMinimized, 0);
    EXPECT_EQ(ConfigDestroy(&config), 1);
    EXPECT_EQ(config, nullptr);
    EXPECT_EQ(vt::BlocksInUse(), before);
}

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
