// The 32-bit programs that ship, checked as files on the host, so that they are checked on
// every machine, also where no 32-bit code runs and the Windows tests use the x86-64 build:
// each is a 32-bit image for i386 of its subsystem, needs no library outside the system's
// own (the build is static), carries its manifest and version information, and spd.exe
// carries a seal its self-check accepts. Every function the programs import is exported by every
// Windows they are made for, so that no loader refuses to start them.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shipped/api-table.h"
#include "shipped/pe-image.h"
#include "shipped/relay-trace.h"
#include "tessel/tsl-str.h"

namespace {

struct Shipped {
    const char* path;  // below the 32-bit build's folder
    uint16_t subsystem;
    const char* executionLevel;  // the manifest's; "" asks for none, null: no manifest
    const char* description;     // the version information's "FileDescription"
};

constexpr Shipped kShipped[] = {
    {"vacate/vacate.exe", pe::kSubsystemGui, "requireAdministrator", "Uninstall"},
    {"spd/spd.exe", pe::kSubsystemGui, "", "Spindrel disk cache tuner"},
    {"tools/vacate-pack/vacate-pack.exe", pe::kSubsystemConsole, nullptr,
     "Quorvex uninstaller package builder"},
};

// The libraries every Windows system has in its own folder; a static build needs no other
// (no C++ runtime, no threads library beside the program).
constexpr const char* kSystemLibraries[] = {
    "ADVAPI32.DLL", "COMCTL32.DLL", "GDI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL", "OLE32.DLL",
    "SETUPAPI.DLL", "SHELL32.DLL",  "USER32.DLL", "WS2_32.DLL"};

std::string Attribute(const std::string& text, const std::string& element,
                      const std::string& attribute) {
    size_t at = text.find("<" + element);
    if (at == std::string::npos) return "";
    size_t end = text.find('>', at);
    size_t found = text.find(attribute + "=\"", at);
    if (found == std::string::npos || found > end) return "";
    found += attribute.size() + 2;
    return text.substr(found, text.find('"', found) - found);
}

std::string ShippedPath(const char* relative) {
    return std::string(TSL_SHIPPED_DIR) + "/" + relative;
}

TEST(Shipped, EachProgramIsAStatic32BitImageWithItsManifestAndVersion) {
    for (const Shipped& program : kShipped) {
        SCOPED_TRACE(program.path);
        const std::string bytes = pe::ReadFile(ShippedPath(program.path));
        ASSERT_FALSE(bytes.empty()) << "not built: " << ShippedPath(program.path)
                                    << " (the win32 preset builds it)";
        pe::Image image = pe::Read(bytes);
        ASSERT_EQ("", image.error);
        EXPECT_EQ(pe::kMachineI386, image.machine);
        EXPECT_EQ(pe::kMagicPe32, image.magic);
        EXPECT_EQ(program.subsystem, image.subsystem);

        EXPECT_FALSE(image.imports.empty());
        for (const std::string& library : image.imports)
            EXPECT_NE(std::end(kSystemLibraries),
                      std::find(std::begin(kSystemLibraries), std::end(kSystemLibraries),
                                library))
                << "imports " << library;

        if (program.executionLevel == nullptr) {
            EXPECT_EQ("", image.manifest);
        } else {
            EXPECT_EQ(program.executionLevel,
                      Attribute(image.manifest, "requestedExecutionLevel", "level"));
            const size_t controls = image.manifest.find(
                "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"");
            EXPECT_NE(std::string::npos, controls) << image.manifest;
            // The program's own identity, where it names a processor, names the 32-bit one.
            const std::string architecture =
                Attribute(image.manifest, "assemblyIdentity", "processorArchitecture");
            EXPECT_TRUE(architecture.empty() || architecture == "x86") << architecture;
        }

        EXPECT_TRUE(image.hasVersion);
        EXPECT_EQ(program.description, image.strings["FileDescription"]);
        EXPECT_EQ("Quorvex", image.strings["CompanyName"]);
    }
}

// The loader of Windows 95, 98, Me, NT 4.0, 2000 and XP finds every function the programs
// import (on Windows 95 once what the table names is added, such as msvcrt.dll), and takes
// the subsystem and system version their headers ask for (Windows 95 and NT 4.0 refuse an
// image that asks for more than 4.0).
TEST(Shipped, EveryImportIsExportedByEveryWindowsTheProgramsAreMadeFor) {
    const char* const systems[] = {"win95", "win98", "winme", "nt40", "win2k", "winxp"};
    for (const char* program : {"vacate/vacate.exe", "spd/spd.exe"}) {
        SCOPED_TRACE(program);
        const pe::Image image = pe::Read(pe::ReadFile(ShippedPath(program)));
        ASSERT_EQ("", image.error);
        ASSERT_FALSE(image.functions.empty());
        EXPECT_LE(image.subsystemVersion[0], 4);
        EXPECT_LE(image.osVersion[0], 4);
        for (const pe::Import& import : image.functions) {
            const api::Row* row = api::Find(import.library.c_str(), import.name.c_str());
            if (row == nullptr || import.library != row->library) {
                ADD_FAILURE() << import.library << " " << import.name << ": not in the table";
                continue;
            }
            for (const char* name : systems)
                EXPECT_TRUE(api::Exports(*row, *api::FindSystem(name)))
                    << import.library << " " << import.name << " is missing on " << name;
        }
    }
}

// relay-check's reading of the trace: the function, the caller's return address, and the
// arguments, with strings that hold commas, quotes and parentheses of their own.
TEST(RelayTrace, CallLinesGiveTheFunctionTheReturnAddressAndTheArguments) {
    struct Case {
        const char* line;
        bool call;
        const char* process;
        const char* name;
        uint64_t ret;
        std::vector<std::string> arguments;
    } cases[] = {
        {"0020:0024:Call KERNEL32.GetModuleFileNameW(00000000,0032f5c8,00000800) ret=00401234",
         true, "0020", "GetModuleFileNameW", 0x401234, {"00000000", "0032f5c8", "00000800"}},
        {"0020:0024:Call KERNEL32.CreateFileA(0063f5c8 \"C:\\\\a, (b) \\\"c\\\".txt\","
         "80000000,00000007) ret=0000000140001a2b",
         true, "0020", "CreateFileA", 0x140001a2bull,
         {"0063f5c8 \"C:\\\\a, (b) \\\"c\\\".txt\"", "80000000", "00000007"}},
        {"0110:0114:Call msvcrt._initterm() ret=0040147e", true, "0110", "_initterm", 0x40147e,
         {}},
        {"0110:0114:Ret  KERNEL32.GetVersion() retval=c0000a04 ret=00401234", false},
        {"0110:0114:Call PE DLL (proc=7BC69420,module=7BC00000 L\"ntdll.dll\",reason=...)", false},
        {"0110:0114:Call TLS callback (proc=004018D0,module=00400000,reason=PROCESS_ATTACH)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        relay::Call call;
        ASSERT_EQ(c.call, relay::ParseCall(c.line, &call));
        if (!c.call) continue;
        EXPECT_EQ(c.process, call.process);
        EXPECT_EQ(c.name, call.name);
        EXPECT_EQ(c.ret, call.returnAddress);
        EXPECT_EQ(c.arguments, call.arguments);
    }
    EXPECT_EQ(7u, relay::ArgumentValue("00000007"));

    std::string process, image;
    ASSERT_TRUE(relay::ParseImageLoaded(
        "0020:0024:trace:loaddll:build_module Loaded L\"Z:\\\\b\\\\Spd.exe\" at 00400000: native",
        &process, &image));
    EXPECT_EQ("0020", process);
    EXPECT_EQ("spd.exe", image);
    EXPECT_FALSE(relay::ParseImageLoaded("0028:002c:trace:loaddll:build_module Loaded "
                                         "L\"C:\\\\windows\\\\system32\\\\wineboot.exe\" "
                                         "at 0000000140000000: builtin",
                                         &process, &image));
}

// The seal: "QSEL", the length covered and the CRC-32 of those bytes, little-endian, as the
// self-check at start reads it.
TEST(Shipped, SpdCarriesASealItsSelfCheckAccepts) {
    const std::string bytes = pe::ReadFile(ShippedPath("spd/spd.exe"));
    ASSERT_GT(bytes.size(), 12u);
    const std::string seal = bytes.substr(bytes.size() - 12);
    auto le32 = [&seal](size_t at) {
        uint32_t value = 0;
        for (int i = 3; i >= 0; i--) value = value << 8 | static_cast<uint8_t>(seal[at + i]);
        return value;
    };
    ASSERT_EQ("QSEL", seal.substr(0, 4));
    EXPECT_EQ(bytes.size() - 12, le32(4));
    uint32_t crc = 0;
    ASSERT_EQ(1, StrCrc32Update(&crc, bytes.data(), static_cast<int32_t>(bytes.size() - 12)));
    EXPECT_EQ(le32(8), crc);
}

}  // namespace
