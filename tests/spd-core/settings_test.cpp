// Display rules of the settings record: the percent conversion with its rounding, the
// clamps in their order, and numbers from outside.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "../vacate-core/support.h"
#include "preset_bytes.h"
#include "spd/settings.h"

using ::testing::HasSubstr;

namespace {

// A record without a name.
CacheSettings Record(uint32_t flags, int32_t min, int32_t max, int32_t chunk, int32_t name,
                     int32_t path) {
    return presetbytes::Named("", flags, min, max, chunk, name, path);
}

void ExpectValues(const CacheSettings& r, int32_t min, int32_t max, int32_t chunk, int32_t name,
                  int32_t path) {
    EXPECT_EQ(r.minFileCache, min);
    EXPECT_EQ(r.maxFileCache, max);
    EXPECT_EQ(r.chunkSize, chunk);
    EXPECT_EQ(r.nameCache, name);
    EXPECT_EQ(r.pathCache, path);
}

const int32_t kP64 = CacheMemoryBase(64ull << 20);

TEST(Settings, MemoryBaseIsHalfThePhysicalMemoryInKilobytes) {
    EXPECT_EQ(kP64, 32768);
    EXPECT_EQ(kP64 / 100, 327);  // the file-cache sliders' step
    EXPECT_EQ(CacheMemoryBase(0), 0);
    EXPECT_EQ(CacheMemoryBase(1ull << 60), INT32_MAX);
}

TEST(Settings, PercentPresetIsConvertedAndRoundedTo256) {
    // With 64 MB: 10 % of P is 3276.8, cut to 3276, rounded to 3328 before the clamps.
    CacheSettings r = Record(CS_PERCENT | CS_MIN_SET | 0x40, 10, 50, 50, 50, 50);
    CacheSettingsNormalise(&r, kP64);
    ExpectValues(r, 3328, 16384, 2048, 3072, 64);
    EXPECT_EQ(r.flags, static_cast<uint32_t>(CS_MIN_SET | 0x40));  // others carried

    // Rounding goes to the nearest multiple: 3% of P = 983 rounds up to 1024, 1% of 4096 =
    // 40 rounds to 0 and then meets the chunk's lower limit.
    r = Record(CS_PERCENT, 3, 100, 1, 100, 100);
    CacheSettingsNormalise(&r, kP64);
    ExpectValues(r, 1024, 32768, 16, 6144, 128);

    // Without the percent flag nothing is converted or rounded.
    r = Record(0, 3276, 20000, 2000, 1000, 50);
    CacheSettingsNormalise(&r, kP64);
    ExpectValues(r, 3276, 20000, 2000, 1000, 50);
}

TEST(Settings, ClampsKeepTheMinimumUnderTheMaximumAndTheMaximumUnderP) {
    // Both file-cache sizes 0: the minimum is not raised past the maximum.
    CacheSettings r = Record(0, 0, 0, 0, 0, 0);
    CacheSettingsNormalise(&r, kP64);
    ExpectValues(r, 0, 0, 16, 337, 16);

    // A minimum above the maximum comes down to it.
    r = Record(0, 5000, 3000, 16, 337, 16);
    CacheSettingsNormalise(&r, kP64);
    EXPECT_EQ(r.minFileCache, 3000);
    EXPECT_EQ(r.maxFileCache, 3000);

    // Above P both stop at P (the minimum follows the maximum down); the limits themselves
    // are kept.
    r = Record(0, 100000, 200000, 4096, 6144, 128);
    CacheSettingsNormalise(&r, kP64);
    ExpectValues(r, 32768, 32768, 4096, 6144, 128);

    // Below the lower limits.
    r = Record(0, 100, 600, -5, 336, 15);
    CacheSettingsNormalise(&r, kP64);
    ExpectValues(r, 512, 600, 16, 337, 16);

    // Above the upper limits.
    r = Record(0, 512, 513, 4097, 6145, 129);
    CacheSettingsNormalise(&r, kP64);
    ExpectValues(r, 512, 513, 4096, 6144, 128);
}

TEST(Settings, PercentagesFarOutOfRangeStayDefined) {
    CacheSettings r = Record(CS_PERCENT, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN);
    CacheSettingsNormalise(&r, INT32_MAX);
    ExpectValues(r, 0x7FFFFF00, 0x7FFFFF00, 16, 6144, 16);
}

TEST(Settings, NumbersFromOutsideNeverEndTheProgram) {
    int32_t value = -1;
    EXPECT_EQ(CacheNumber("999999", "minfilecache", &value), 1);
    EXPECT_EQ(value, 999999);
    EXPECT_EQ(CacheNumber("-12 Kb", "minfilecache", &value), 1);
    EXPECT_EQ(value, -12);
    EXPECT_EQ(CacheNumber("0x100", "chunksize", &value), 1);
    EXPECT_EQ(value, 256);
    EXPECT_EQ(CacheNumber("", "chunksize", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(CacheNumber("text", "chunksize", &value), 1);
    EXPECT_EQ(value, 0);

    vt::LogTail log;
    value = -1;
    EXPECT_EQ(CacheNumber(std::string(100, '7').c_str(), "maxfilecache", &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_THAT(log.Text(), HasSubstr("Number too long for maxfilecache, taken as 0\n"));
    // Longer than 32 bits, or than 64 bits (which would wrap into range).
    EXPECT_EQ(CacheNumber("2147483648", "maxfilecache", &value), 0);
    EXPECT_EQ(CacheNumber("-2147483649", "maxfilecache", &value), 0);
    EXPECT_EQ(CacheNumber("18446744073709551621", "maxfilecache", &value), 0);
    EXPECT_EQ(CacheNumber("0x100000000", "maxfilecache", &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(CacheNumber("000000000000000000000042", "maxfilecache", &value), 1);
    EXPECT_EQ(value, 42);
    EXPECT_THAT(log.Text(), HasSubstr("Number out of range for maxfilecache (2147483648)"));
}

}  // namespace
