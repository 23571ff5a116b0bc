// The 32-bit programs that ship, checked as files on the host, so that they are checked on
// every machine, also where no 32-bit code runs and the Windows tests use the x86-64 build:
// each is a 32-bit image for i386 of its subsystem, needs no library outside the system's
// own (the build is static), carries its manifest and version information, and spd.exe
// carries a seal its self-check accepts.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "shipped/pe-image.h"
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
