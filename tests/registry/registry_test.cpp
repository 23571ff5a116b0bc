// The registry module against the real registry. Every test works below a key of its own
// under HKEY_CURRENT_USER "Software\QuorvexTest" and removes it with plain system calls.

#include "tessel/registry.h"
#include "tessel/tsl-core.h"
#include "fixtures/fixture-test.h"
#include "support/windriver.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

const char kParent[] = "Software\\QuorvexTest";

bool RawCreate(const std::string& path, DWORD options = REG_OPTION_NON_VOLATILE) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool RawExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Deletes a key and everything below it; stops at the first child it cannot delete.
bool RawDeleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    char child[512];
    DWORD size = sizeof child;
    while (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS &&
           RawDeleteTree(key, child))
        size = sizeof child;
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

void RawSet(const std::string& path, const char* name, DWORD type, const void* data,
            DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// The stored bytes of a value ("" when it cannot be read).
std::string RawValue(const std::string& path, const char* name, DWORD* type = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    BYTE data[512];
    DWORD size = sizeof data;
    LONG error = RegQueryValueExA(key, name, nullptr, type, data, &size);
    RegCloseKey(key);
    return error == ERROR_SUCCESS ? std::string(reinterpret_cast<char*>(data), size)
                                  : std::string();
}

// Everyone gets read access only, or (readOnly false) full access again.
bool RawSetAccess(const std::string& path, bool readOnly) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    alignas(DWORD) char aclBuffer[128];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, readOnly ? KEY_READ : KEY_ALL_ACCESS, everyone);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    LONG error = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    FreeSid(everyone);
    RegCloseKey(key);
    return error == ERROR_SUCCESS;
}

// A unique key below HKEY_CURRENT_USER "Software\QuorvexTest", removed at the end (and the
// shared parent with it once it is empty).
class TestKey {
public:
    explicit TestKey(const char* what) {
        static int serial = 0;
        char name[160];
        std::snprintf(name, sizeof name, "%s\\registry-%lu-%lu-%d-%s", kParent,
                      GetCurrentProcessId(), GetTickCount(), ++serial, what);
        path_ = name;
        EXPECT_TRUE(RawCreate(path_));
    }
    ~TestKey() {
        RawDeleteTree(HKEY_CURRENT_USER, path_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kParent);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

// Every test must hand back every RegKey block it was given.
class Registry : public ::testing::Test {
protected:
    void SetUp() override { MemGetStats(&before_); }
    void TearDown() override {
        MemStats after{};
        MemGetStats(&after);
        EXPECT_EQ(after.blocks, before_.blocks) << "tracked blocks left behind";
    }
    MemStats before_{};
};

TEST_F(Registry, CreateMakesEveryMissingLevelAndOpensExistingKeys) {
    TestKey base("create");
    RegKey* key = nullptr;
    ASSERT_EQ(RegKeyCreate(&key, 1, ("\\" + (base / "a\\b\\c")).c_str()), 1);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->report, 0);
    EXPECT_EQ(RegSetInt32(key, "level", 3), 1);
    EXPECT_EQ(RegKeyClose(&key), 1);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RawValue(base / "a\\b\\c", "level"), std::string("\3\0\0\0", 4));
    EXPECT_EQ(RegKeyExists(1, (base / "a\\b").c_str()), 1);
    EXPECT_EQ(RegKeyExists(1, (base / "a\\b\\missing").c_str()), 0);

    // An existing key is opened, with its values.
    int32_t level = 0;
    ASSERT_EQ(RegKeyCreate(&key, 1, (base / "a\\b\\c").c_str()), 1);
    EXPECT_EQ(RegGetInt32(key, "level", &level), 1);
    EXPECT_EQ(level, 3);
    RegKeyClose(&key);

    // A slash is part of a key's name, not a separator: no stray key "x".
    ASSERT_EQ(RegKeyCreate(&key, 1, (base / "x/y").c_str()), 1);
    RegKeyClose(&key);
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base / "x/y"));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base / "x"));
}

TEST_F(Registry, TypedValuesRoundTripAndWrongTypesLeaveTheCallersValue) {
    TestKey base("values");
    RegKey* key = nullptr;
    ASSERT_EQ(RegKeyOpen(&key, 1, base.Path().c_str()), 1);
    EXPECT_EQ(RegSetString(key, "name", "Spindrel 1.0"), 1);
    EXPECT_EQ(RegSetString(key, "", "default text"), 1);
    EXPECT_EQ(RegSetInt32(key, "count", -5), 1);
    RawSet(base.Path(), "short", REG_SZ, "7", 2);

    DWORD type = 0;
    EXPECT_EQ(RawValue(base.Path(), nullptr, &type), std::string("default text\0", 13));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(RawValue(base.Path(), "count", &type), "\xFB\xFF\xFF\xFF");
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    char text[320];
    int32_t number = 0;
    EXPECT_EQ(RegGetString(key, "name", text, sizeof text), 1);
    EXPECT_STREQ(text, "Spindrel 1.0");
    EXPECT_EQ(RegGetInt32(key, "count", &number), 1);
    EXPECT_EQ(number, -5);

    number = 77;
    for (const char* name : {"name", "short", "missing"}) {
        EXPECT_EQ(RegGetInt32(key, name, &number), 0) << name;
        EXPECT_EQ(number, 77) << name;
    }
    std::strcpy(text, "kept");
    for (const char* name : {"count", "missing"}) {
        EXPECT_EQ(RegGetString(key, name, text, sizeof text), 0) << name;
        EXPECT_STREQ(text, "kept") << name;
    }
    RegKeyClose(&key);
}

// Only numbers arrive as numbers: a REG_DWORD, and 4 bytes kept as REG_BINARY (as older
// systems keep some numbers; the result says it was no REG_DWORD). Any other 4 bytes, the
// text "512" among them, leave the caller's number as it was.
TEST_F(Registry, OnlyNumbersArriveAsNumbers) {
    TestKey base("numbers");
    const struct {
        const char* what;
        DWORD type;
        std::string bytes;
        int result;
        int32_t number;
    } values[] = {
        {"a number", REG_DWORD, std::string("\x00\x02\x00\x00", 4), 1, 512},
        {"4 binary bytes", REG_BINARY, std::string("\xA5\x02\x00\x00", 4), 0, 677},
        {"text", REG_SZ, std::string("512\0", 4), 0, 77},
        {"text to expand", REG_EXPAND_SZ, std::string("512\0", 4), 0, 77},
        {"a list of texts", REG_MULTI_SZ, std::string("51\0\0", 4), 0, 77},
        {"a big-endian number", REG_DWORD_BIG_ENDIAN, std::string("\x00\x00\x02\x00", 4), 0, 77},
        {"no type", REG_NONE, std::string("\x00\x02\x00\x00", 4), 0, 77},
        {"2 binary bytes", REG_BINARY, std::string("\x00\x02", 2), 0, 77},
        {"an 8-byte number", REG_QWORD, std::string("\x00\x02\x00\x00\x00\x00\x00\x00", 8), 0,
         77},
    };
    RegKey* key = nullptr;
    ASSERT_EQ(RegKeyOpen(&key, 1, base.Path().c_str()), 1);
    for (const auto& value : values) {
        SCOPED_TRACE(value.what);
        RawSet(base.Path(), "value", value.type, value.bytes.data(),
               static_cast<DWORD>(value.bytes.size()));
        int32_t number = 77;
        EXPECT_EQ(RegGetInt32(key, "value", &number), value.result);
        EXPECT_EQ(number, value.number);
    }
    RegKeyClose(&key);
}

TEST_F(Registry, EmptyStringsReadAsEmpty) {
    TestKey base("empty");
    RegKey* key = nullptr;
    ASSERT_EQ(RegKeyOpen(&key, 1, base.Path().c_str()), 1);
    EXPECT_EQ(RegSetString(key, "empty", ""), 1);
    EXPECT_EQ(RawValue(base.Path(), "empty"), std::string(1, '\0'));
    RawSet(base.Path(), "zero", REG_SZ, "", 0);  // no bytes at all
    for (const char* name : {"empty", "zero"}) {
        char text[8] = "xyz";
        EXPECT_EQ(RegGetString(key, name, text, sizeof text), 1) << name;
        EXPECT_STREQ(text, "") << name;
        char one[1] = {'Q'};
        EXPECT_EQ(RegGetString(key, name, one, 1), 1) << name;
        EXPECT_EQ(one[0], '\0') << name;
    }
    RegKeyClose(&key);
}

TEST_F(Registry, StringsThatDoNotFitFailAndNeverLeaveTheBuffer) {
    TestKey base("long");
    RawSet(base.Path(), "raw", REG_SZ, "abcdefgh", 8);  // no terminator
    HKEY handle = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base.Path().c_str(), 0, KEY_ALL_ACCESS, &handle),
              ERROR_SUCCESS);
    // The wide call stores the bytes exactly as given, again without a terminator.
    RegSetValueExW(handle, L"wide", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abcd"), 8);
    RegCloseKey(handle);
    RegKey* key = nullptr;
    ASSERT_EQ(RegKeyOpen(&key, 1, base.Path().c_str()), 1);
    EXPECT_EQ(RegSetString(key, "ten", "0123456789"), 1);

    struct Case {
        const char* name;
        int size;
        const char* text;  // null: the read fails
    };
    const Case cases[] = {{"raw", 8, nullptr},  {"raw", 9, "abcdefgh"}, {"wide", 4, nullptr},
                          {"wide", 5, "abcd"},  {"ten", 10, nullptr},   {"ten", 11, "0123456789"},
                          {"ten", 1, nullptr},  {"ten", 0, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " into " + std::to_string(c.size) + " bytes");
        std::array<char, 24> area;
        area.fill('Q');  // the buffer is the first c.size bytes, given unterminated
        EXPECT_EQ(RegGetString(key, c.name, area.data(), c.size), c.text != nullptr ? 1 : 0);
        if (c.text != nullptr) {
            EXPECT_STREQ(area.data(), c.text);
        } else if (c.size > 0) {
            EXPECT_EQ(std::string(area.data(), c.size), std::string(c.size - 1, 'Q') + '\0');
        }
        EXPECT_EQ(std::string(area.data() + c.size, area.size() - c.size),
                  std::string(area.size() - c.size, 'Q'))
            << "written past the buffer";
    }
    RegKeyClose(&key);
}

TEST_F(Registry, EnumerationNamesEverySubkeyOnce) {
    TestKey base("enum");
    for (const char* name : {"k0", "k1", "k2long"}) ASSERT_TRUE(RawCreate(base / name));
    RegKey* key = nullptr;
    ASSERT_EQ(RegKeyOpen(&key, 1, base.Path().c_str()), 1);
    std::set<std::string> seen;
    char name[320];
    int index = 0;
    for (; RegKeyEnumSubkey(key, index, name, sizeof name); index++) seen.insert(name);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(seen, (std::set<std::string>{"k0", "k1", "k2long"}));
    EXPECT_STREQ(name, "");
    EXPECT_EQ(RegKeyEnumSubkey(key, -1, name, sizeof name), 0);

    // A name longer than the buffer is a failure with an empty, terminated buffer.
    int tooLong = 0;
    for (index = 0; index < 3; index++) {
        char small[4] = "ab";
        if (!RegKeyEnumSubkey(key, index, small, sizeof small)) {
            tooLong++;
            EXPECT_STREQ(small, "");
        }
    }
    EXPECT_EQ(tooLong, 1);
    RegKeyClose(&key);
}

TEST_F(Registry, DeleteTreeRemovesADeepTreeAndNothingBeside) {
    TestKey base("tree");
    std::string path = base / "t";
    for (int level = 0; level < 6; level++) {
        path += "\\L" + std::to_string(level);
        ASSERT_TRUE(RawCreate(path + "-side"));
        ASSERT_TRUE(RawCreate(path));
        RawSet(path, "v", REG_SZ, "x", 2);
    }
    ASSERT_TRUE(RawCreate(base / "t-kept"));
    EXPECT_EQ(RegKeyDeleteTree(1, (base / "t").c_str()), 1);
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base / "t"));
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base / "t-kept"));
    // A missing key is already deleted.
    EXPECT_EQ(RegKeyDeleteTree(1, (base / "t").c_str()), 1);
}

TEST_F(Registry, DeleteTreeRefusesWhatItCannotDeleteWhole) {
    // The empty path names a whole root; tried on the harmless HKEY_DYN_DATA.
    std::string sentinel = "QuorvexTest-registry-" + std::to_string(GetCurrentProcessId());
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_DYN_DATA, sentinel.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(handle);
    EXPECT_EQ(RegKeyDeleteTree(2, ""), 0);
    EXPECT_TRUE(RawExists(HKEY_DYN_DATA, sentinel));
    RegDeleteKeyA(HKEY_DYN_DATA, sentinel.c_str());

    // A child whose whole path would not fit the 320-byte path buffer goes with its parent:
    // every subkey is opened from its parent's handle, no path is built.
    TestKey base("long");
    std::string a = base / std::string(200, 'A');
    ASSERT_TRUE(RawCreate(a));
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, a.c_str(), 0, KEY_ALL_ACCESS, &handle),
              ERROR_SUCCESS);
    HKEY b = nullptr;  // made relative to its parent: the whole path is too long for Wine
    EXPECT_EQ(RegCreateKeyExA(handle, std::string(100, 'B').c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &b, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(b);
    RegCloseKey(handle);
    EXPECT_EQ(RegKeyDeleteTree(1, a.c_str()), 1);
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, a));

    // A child that exists but cannot be opened for deletion: a failure, with the keys
    // still there.
    TestKey parent("locked");
    ASSERT_TRUE(RawCreate(parent / "locked\\inner"));
    ASSERT_TRUE(RawSetAccess(parent / "locked", true));
    EXPECT_EQ(RegKeyDeleteTree(1, (parent / "locked").c_str()), 0);
    EXPECT_EQ(RegKeyDeleteTree(1, parent.Path().c_str()), 0);
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, parent / "locked\\inner"));
    EXPECT_TRUE(RawSetAccess(parent / "locked", false));
}

// A subkey that cannot be deleted is logged and passed over; its siblings still go.
TEST_F(Registry, DeleteTreeSkipsASubkeyItCannotDeleteAndTakesTheRest) {
    TestKey parent("skip");
    for (const char* child : {"a-locked\\inner", "b", "c\\d"}) ASSERT_TRUE(RawCreate(parent / child));
    ASSERT_TRUE(RawSetAccess(parent / "a-locked", true));
    EXPECT_EQ(RegKeyDeleteTree(1, parent.Path().c_str()), 0);
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, parent / "a-locked\\inner"));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, parent / "b"));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, parent / "c"));
    EXPECT_TRUE(RawSetAccess(parent / "a-locked", false));
}

// A subkey whose name has no form in the ANSI code page (here a character beyond the 16-bit
// range) reads as "??" through the ANSI calls, which then cannot open it. The deletion runs
// in a child process with a time limit, so a loop that never ends fails the test.
TEST_F(Registry, DeleteTreeTakesSubkeysWhoseNamesHaveNoAnsiForm) {
    TestKey base("wide");
    const std::wstring wideBase(base.Path().begin(), base.Path().end());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              (wideBase + L"\\\xD83D\xDE00-smile\\inner").c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(RawCreate(base / "plain"));
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base.Path().c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    int unopenable = 0;
    char name[64];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        if (!RawExists(HKEY_CURRENT_USER, base / name)) ++unopenable;
    RegCloseKey(key);
    ASSERT_EQ(unopenable, 1) << "the name should be lost in the ANSI form";

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    windriver::Process child;
    ASSERT_TRUE(child.Start("\"" + std::string(self) + "\" --delete-tree=" + base.Path()));
    long code = child.Wait(30000);
    if (code == -1) child.Kill();
    EXPECT_EQ(code, 0) << "-1: still deleting after 30 s";
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base.Path()));
}

// A path value is read in its wide form: a folder named outside the ANSI code page reads as
// its short form, never as the look-alike of the 8-bit read; a name with no 8-bit form at
// all (nothing there) and values of other types read as nothing.
TEST_F(Registry, PathValuesReadAsThe8BitFormThatReachesTheFolder) {
    TestKey base("path");
    fixture::ForeignFolder folder(fixture::TempFolder());
    ASSERT_FALSE(folder.path.empty());
    const std::wstring values[][2] = {{L"Real", folder.wide},
                                      {L"Plain", L"C:\\plain\\not there"},
                                      {L"Gone", folder.wide + L"\u03A9gone"}};
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base.Path().c_str(), 0, KEY_SET_VALUE, &raw),
              ERROR_SUCCESS);
    for (const auto& value : values)
        RegSetValueExW(raw, value[0].c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value[1].c_str()),
                       static_cast<DWORD>((value[1].size() + 1) * sizeof(wchar_t)));
    RegCloseKey(raw);

    RegKey* key = nullptr;
    ASSERT_TRUE(RegKeyOpen(&key, REG_ROOT_CURRENT_USER, base.Path().c_str()));
    ASSERT_TRUE(RegSetInt32(key, "Number", 7));
    char buffer[MAX_PATH];
    EXPECT_EQ(RegGetPath(key, "Real", buffer, sizeof buffer), 1);
    EXPECT_EQ(std::string(buffer), folder.path);
    EXPECT_EQ(RegGetPath(key, "Plain", buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "C:\\plain\\not there");
    for (const char* name : {"Gone", "Number", "Absent"}) {
        EXPECT_EQ(RegGetPath(key, name, buffer, sizeof buffer), 0) << name;
        EXPECT_STREQ(buffer, "") << name;
    }
    RegKeyClose(&key);
}

TEST_F(Registry, RootCodesOutsideTheTableAddressTheCurrentUser) {
    for (int code : {0, 7, -1}) EXPECT_EQ(RegRootFromCode(code), HKEY_CURRENT_USER) << code;
    TestKey base("roots");
    RegKey* key = nullptr;
    ASSERT_EQ(RegKeyCreate(&key, 0, (base / "zero").c_str()), 1);
    RegKeyClose(&key);
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, base / "zero"));
    ASSERT_EQ(RegKeyOpen(&key, 7, (base / "zero").c_str()), 1);
    RegKeyClose(&key);
    EXPECT_EQ(RegKeyDeleteTree(7, (base / "zero").c_str()), 1);
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, base / "zero"));
    EXPECT_EQ(RegKeyExists(4, "Software\\Microsoft"), 1);  // code 4 is the machine root
}

// A log file in a folder of its own below the temporary folder.
struct TempLog {
    TempLog() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "qx-registry-" + std::to_string(GetCurrentProcessId()) +
                 "-" + std::to_string(GetTickCount());
        CreateDirectoryA(folder.c_str(), nullptr);
        file = folder + "\\registry.log";
    }
    ~TempLog() {
        DeleteFileA(file.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    std::string Text() const {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string folder, file;
};

TEST_F(Registry, ReportSwitchLogsFailedValueCallsOnly) {
    TestKey base("report");
    TempLog log;
    RawSet(base.Path(), "text", REG_SZ, "abc", 4);
    ASSERT_TRUE(RawCreate(base / "vol", REG_OPTION_VOLATILE));
    RegKey* key = nullptr;
    RegKey* gone = nullptr;
    ASSERT_EQ(RegKeyOpen(&key, 1, base.Path().c_str()), 1);
    ASSERT_EQ(RegKeyCreate(&gone, 1, (base / "gone").c_str()), 1);
    ASSERT_TRUE(RawDeleteTree(HKEY_CURRENT_USER, base / "gone"));  // writes to it now fail
    EXPECT_EQ(RegSetString(key, "long", "0123456789"), 1);

    auto failures = [&] {
        char text[8];
        int32_t number = 0;
        EXPECT_EQ(RegGetString(key, "missing", text, sizeof text), 0);
        EXPECT_EQ(RegGetInt32(key, "text", &number), 0);
        EXPECT_EQ(RegSetInt32(gone, "v", 1), 0);
        EXPECT_EQ(RegSetString(gone, "v", "x"), 0);
        EXPECT_EQ(RegGetString(key, "long", text, sizeof text), 0);
    };
    ASSERT_EQ(LogConfigure(log.file.c_str(), TSL_LOG_FILE), 1);
    LogPrint("-- report 0\n");
    failures();
    key->report = 1;
    gone->report = 1;
    LogPrint("-- report 1\n");
    failures();
    // Failures of keys themselves are logged whatever the switch; a missing key is not.
    RegKey* none = key;
    EXPECT_EQ(RegKeyCreate(&none, 1, (base / "vol\\a\\b").c_str()), 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(RegKeyExists(1, (base / "missing").c_str()), 0);
    LogConfigure(log.file.c_str(), 0);
    RegKeyClose(&key);
    RegKeyClose(&gone);

    EXPECT_EQ(log.Text(), "-- report 0\r\n"
                          "-- report 1\r\n"
                          "Unable to get registry 'missing' String\r\n"
                          "Bad type for 'text' [0x00000001 != 0x00000004]\r\n"
                          "Unable to set registry 'v' Int32\r\n"
                          "Unable to set registry 'v' String\r\n"
                          "Unable to get registry 'long' String\r\n"
                          "Create failed 1:[" + (base / "vol\\a") + "]:1021\r\n");
}

// Misuse that must end the process: run in a child (this program with --abort=<case>),
// whose "Internal error..." box is answered here.
TEST(RegistryAbort, ForeignObjectsAndEmptyHoldersAbort) {
    const std::pair<const char*, const char*> cases[] = {
        {"foreign", R"(^ABORT: Struct mismatch pointer \(0x[0-9A-F]{8}:socket != registry\))"},
        {"copy", R"(^ABORT: Struct mismatch pointer \(0x[0-9A-F]{8}:registry != registry\))"},
        {"null-holder", R"(^ABORT: Pointer is NULL\s)"}};
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        windriver::Process child;
        ASSERT_TRUE(child.Start("\"" + std::string(self) + "\" --abort=" + c.first));
        windriver::BoxAnswerer boxes(
            [](const std::string& caption, const std::string&) {
                return caption == "Internal error..." ? IDOK : 0;
            },
            child.Pid());
        EXPECT_TRUE(boxes.WaitForAnswers(1, 20000));
        EXPECT_EQ(child.Wait(20000), 1);
        auto answers = boxes.Answers();
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_TRUE(std::regex_search(answers[0].text, std::regex(c.second))) << answers[0].text;
        EXPECT_TRUE(std::regex_search(answers[0].text, std::regex(R"(\(registry/[0-9]+\)\s*$)")))
            << answers[0].text;
    }
}

// The child side of the abort test; returns only when the call did not abort.
int RunAbortCase(const std::string& which) {
    static const char socketTag[] = "socket";
    static const char registryCopy[] = "registry";  // same text, another address
    RegKey object{nullptr, 0, nullptr};  // a missed check touches no key
    int32_t number = 0;
    if (which == "foreign") {
        object.tag = socketTag;
        RegGetInt32(&object, "x", &number);
    } else if (which == "copy") {
        object.tag = registryCopy;
        RegSetInt32(&object, "x", 1);
    } else if (which == "null-holder") {
        RegKey* key = nullptr;
        RegKeyClose(&key);
    }
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
    CoreStartup("registry.log", 0);
    MemInit(0x7FFFFFFF);
    int result;
    if (argc == 2 && std::strncmp(argv[1], "--abort=", 8) == 0) {
        result = RunAbortCase(argv[1] + 8);
    } else if (argc == 2 && std::strncmp(argv[1], "--delete-tree=", 14) == 0) {
        result = RegKeyDeleteTree(1, argv[1] + 14) ? 0 : 4;
    } else {
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    MemShutdown();
    CoreShutdown();
    return result;
}
