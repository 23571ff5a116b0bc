// The preset list and the bytes of "spd.dat": the writer byte for byte and the loader's
// rules on crafted input. Each crafted file is also a seed of the loader's fuzz target.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "../vacate-core/support.h"
#include "preset_bytes.h"
#include "spd/cache.h"

using ::testing::HasSubstr;

namespace {

using presetbytes::Bytes;
using presetbytes::Named;
using presetbytes::Number;
using presetbytes::Record;

// Every test starts and ends with an empty store.
class Presets : public ::testing::Test {
protected:
    void SetUp() override { PresetFreeAll(); blocks_ = vt::BlocksInUse(); }
    void TearDown() override {
        PresetFreeAll();
        EXPECT_EQ(vt::BlocksInUse(), blocks_);
    }

private:
    int32_t blocks_ = 0;
};

Bytes Encoded() {
    Bytes out(static_cast<size_t>(PresetEncodedSize()), '\0');
    EXPECT_EQ(PresetEncode(reinterpret_cast<uint8_t*>(&out[0]), static_cast<int32_t>(out.size())),
              1);
    return out;
}

void Decode(const Bytes& bytes) {
    PresetDecode(reinterpret_cast<const uint8_t*>(bytes.data()),
                 static_cast<int32_t>(bytes.size()));
}

std::vector<CacheSettings> List() {
    std::vector<CacheSettings> all;
    CacheSettings* p = nullptr;
    for (PresetFirst(&p); p != nullptr; p = p->next) all.push_back(*p);
    return all;
}

// The crafted files are kept as seeds of the fuzz target; a test fails when its seed and
// its bytes part.
void ExpectSeed(const char* name, const Bytes& bytes) {
    EXPECT_EQ(vt::ReadBytes(std::string(SPD_PRESET_CORPUS) + "/" + name), bytes) << name;
}

TEST_F(Presets, RecordIsFortyBytesAndTheName) {
    CacheSettings gaming = Named("Gaming", CS_MIN_SET | CS_PERCENT, 512, -2, 0x01020304, 337, 16);
    PresetAdd(&gaming);
    Bytes bytes = Encoded();
    ASSERT_EQ(bytes.size(), 46u);
    const unsigned char expected[46] = {
        0x00, 0x01, 0x04, 0x01, 0x00, 0x00, 0x10,                // start, flags
        0x02, 0x06, 'G', 'a', 'm', 'i', 'n', 'g',                // name
        0x03, 0x04, 0x00, 0x02, 0x00, 0x00,                      // 512
        0x04, 0x04, 0xFE, 0xFF, 0xFF, 0xFF,                      // -2
        0x05, 0x04, 0x04, 0x03, 0x02, 0x01,                      //
        0x06, 0x04, 0x51, 0x01, 0x00, 0x00,                      // 337
        0x07, 0x04, 0x10, 0x00, 0x00, 0x00, 0xFF};               // 16, end
    EXPECT_EQ(memcmp(bytes.data(), expected, sizeof expected), 0);
    ExpectSeed("gaming", bytes);

    // Read back, the record is the same in every field; it is appended after what is there.
    PresetFreeAll();
    CacheSettings first = Named("First", 0, 1, 2, 3, 4, 5);
    PresetAdd(&first);
    Decode(bytes);
    std::vector<CacheSettings> list = List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[1].name, "Gaming");
    EXPECT_EQ(list[1].flags, CS_MIN_SET | CS_PERCENT);
    EXPECT_EQ(list[1].maxFileCache, -2);
    EXPECT_EQ(list[1].chunkSize, 0x01020304);
    EXPECT_EQ(Encoded(), Record(first) + bytes);
}

TEST_F(Presets, EmptyListWritesNothingAndLoadsNothing) {
    EXPECT_EQ(PresetEncodedSize(), 0);
    uint8_t none = 0;
    EXPECT_EQ(PresetEncode(&none, 0), 1);
    vt::LogTail log;
    Decode(Bytes());
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(log.Text(), "");
    // A buffer too small is refused.
    CacheSettings one = Named("x", 0, 0, 0, 0, 0, 0);
    PresetAdd(&one);
    uint8_t small[40];
    EXPECT_EQ(PresetEncode(small, sizeof small), 0);
}

TEST_F(Presets, RecordWithoutStartInheritsThePreviousValues) {
    // The second record has no 0x00: it starts from the first one's values and name bytes.
    Bytes file = Record(Named("Desktop", CS_MAX_SET, 1, 2, 3, 4, 5));
    file += Bytes("\x02\x04Game", 6) + Number(0x05, 99) + "\xFF";
    ExpectSeed("no-start", file);
    Decode(file);
    std::vector<CacheSettings> list = List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[1].name, "Gametop");
    EXPECT_EQ(list[1].flags, static_cast<uint32_t>(CS_MAX_SET));
    EXPECT_EQ(list[1].minFileCache, 1);
    EXPECT_EQ(list[1].chunkSize, 99);
    EXPECT_EQ(list[1].pathCache, 5);
}

TEST_F(Presets, LengthOtherThanFourReadsNoPayload) {
    // 0x03 with length 2: nothing is read, and the next two bytes are tags: 0x05 would take a
    // length, so 0x09 (ignored) and 0x01 (tag of flags) follow.
    Bytes file = Bytes("\x00\x02\x01" "A" "\x03\x02" "\x09" "\x01\x04\x07\x00\x00\x00" "\xFF", 14);
    ExpectSeed("short-length", file);
    vt::LogTail log;
    Decode(file);
    std::vector<CacheSettings> list = List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].minFileCache, 0);
    EXPECT_EQ(list[0].flags, 7u);
    EXPECT_STREQ(list[0].name, "A");
    EXPECT_THAT(log.Text(), HasSubstr("Add -> [A]\n"));
}

TEST_F(Presets, RecordCutBeforeItsEndIsDropped) {
    Bytes whole = Record(Named("Kept", 0, 1, 2, 3, 4, 5));
    Bytes cut = Record(Named("Cut", 0, 6, 7, 8, 9, 10));
    cut.pop_back();  // ends after the 0x07 item
    ExpectSeed("cut-record", whole + cut);
    Decode(whole + cut);
    ASSERT_EQ(List().size(), 1u);
    EXPECT_STREQ(List()[0].name, "Kept");

    // Cut inside a number, a name or a length byte: nothing more, nothing past the end.
    for (size_t n = 1; n < cut.size(); ++n) {
        PresetFreeAll();
        Decode(cut.substr(0, n));
        EXPECT_TRUE(List().empty()) << n;
    }
}

TEST_F(Presets, LongStoredNameIsCutToTheFieldAndItsBytesPassedOver) {
    // 200 name bytes: 119 are kept, the other 81 belong to the item and are not tags (they
    // are 0xFF, which would otherwise each add a record).
    Bytes name = std::string(119, 'n') + std::string(81, '\xFF');
    Bytes file = Bytes("\x00\x02\xC8", 3) + name + Number(0x03, 4242) + "\xFF";
    ExpectSeed("long-name", file);
    Decode(file);
    std::vector<CacheSettings> list = List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(strlen(list[0].name), 119u);
    EXPECT_EQ(list[0].minFileCache, 4242);
    // Written again it has a name of 119 bytes: 159 bytes in all.
    EXPECT_EQ(PresetEncodedSize(), 159);
}

TEST_F(Presets, NamesCompareIgnoringCaseAndTheFirstIsRemoved) {
    Bytes file = Record(Named("Gaming", 0, 1, 0, 0, 0, 0)) + Record(Named("GAMING", 0, 2, 0, 0, 0, 0));
    ExpectSeed("same-names", file);
    Decode(file);
    ASSERT_EQ(List().size(), 2u);
    CacheSettings probe = Named("gaming", 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(PresetExists(&probe), 1);
    CacheSettings* found = nullptr;
    EXPECT_EQ(PresetFind("gAmInG", &found), 1);
    EXPECT_EQ(found->minFileCache, 1);
    EXPECT_EQ(PresetRemove(&probe), 1);
    ASSERT_EQ(List().size(), 1u);
    EXPECT_STREQ(List()[0].name, "GAMING");
    EXPECT_EQ(PresetRemove(&probe), 1);
    EXPECT_TRUE(List().empty());

    vt::LogTail log;
    CacheSettings current = Named("* Current Settings", 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(PresetExists(&current), 0);
    EXPECT_EQ(PresetRemove(&current), 0);
    EXPECT_THAT(log.Text(), HasSubstr("Couldn't find [* Current Settings]\n"));
}

}  // namespace

namespace {

// A file cut at any length, as an interrupted copy or a full disk leaves it: the loader
// keeps exactly the records that ended before the cut, each whole, and never reads past
// the bytes it was given (ASan watches the exact-size copy).
TEST_F(Presets, FileCutAtEveryLengthKeepsTheRecordsBeforeTheCut) {
    const CacheSettings records[] = {
        Named("Desktop", 0x7, 1024, 8192, 512, 2048, 64),
        Named("Percent", 0x1000000F, 10, 50, 50, 50, 50),
        Named("", 0x2, -1, 0x7FFFFFFF, 0, 0, 0),
        Named(std::string(79, 'x').c_str(), 0xFFFFFFFF, 3, 4, 5, 6, 7),
    };
    Bytes file;
    std::vector<size_t> ends;
    for (const CacheSettings& r : records) {
        file += Record(r);
        ends.push_back(file.size());
    }
    for (size_t n = 0; n <= file.size(); ++n) {
        PresetFreeAll();
        std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(n));
        PresetDecode(cut.data(), static_cast<int32_t>(n));
        std::vector<CacheSettings> list = List();
        size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= n) ++whole;
        ASSERT_EQ(list.size(), whole) << n;
        for (size_t i = 0; i < whole; ++i) {
            EXPECT_STREQ(list[i].name, records[i].name) << n;
            EXPECT_EQ(list[i].flags, records[i].flags) << n;
            EXPECT_EQ(list[i].minFileCache, records[i].minFileCache) << n;
            EXPECT_EQ(list[i].pathCache, records[i].pathCache) << n;
        }
    }
}

}  // namespace
