// The main of the update tests: the library logs to a file of the test's own (read back
// with testlog), and every block allocated during the run must have been returned.
#include <gtest/gtest.h>

#include <stdio.h>

#include "socket/test_log.h"
#include "tessel/tsl-core.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testlog::Start("update-test");
    int result = RUN_ALL_TESTS();
    MemStats stats = {};
    MemGetStats(&stats);
    if (stats.blocks != 0 || stats.bytes != 0) {
        printf("Memory left allocated: %d blocks, %d bytes\n", stats.blocks, stats.bytes);
        result = 1;
    }
    testlog::Stop();
    return result;
}
