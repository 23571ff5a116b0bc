// Tests of the Tessel strings: the bounded formatter, the string, number, address and
// checksum routines.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "tessel/tsl-str.h"
#include "tsl-core/temp-log.h"

namespace {

template <typename... Args>
std::string Fmt(const char* format, Args... args) {
    char buffer[512];
    int length = StrPrintf(buffer, sizeof buffer, format, args...);
    EXPECT_EQ(length, static_cast<int>(strlen(buffer))) << format;
    return buffer;
}

const unsigned char kBytes[] = {0xDE, 0xAD, 0xBE, 0xEF};
const unsigned char kAddress[] = {192, 168, 0, 1};
const uint16_t kWide[] = {'a', 'b', 0x4163 /* low byte 'c' */, 0};
const uint16_t kWideDel[] = {'a', 0x7F, 'b', 0};

TEST(Format, Integers) {
    EXPECT_EQ(Fmt("%.2d/%.2d/%.4d", 7, 3, 2026), "07/03/2026");
    EXPECT_EQ(Fmt("%10d", 42), "        42");
    EXPECT_EQ(Fmt("%-5d|", 42), "42   |");
    EXPECT_EQ(Fmt("%05d", -42), "-0042");
    EXPECT_EQ(Fmt("%-05d|", -42), "-42  |");
    EXPECT_EQ(Fmt("%+d %+d", 5, -5), "+5 -5");
    EXPECT_EQ(Fmt("%+05d", 5), "+0005");
    EXPECT_EQ(Fmt("%5.3d", -7), " -007");
    EXPECT_EQ(Fmt("%i %d", -2147483647 - 1, 2147483647), "-2147483648 2147483647");
    EXPECT_EQ(Fmt("%u %+u %U", 4294967295u, 5u, 7u), "4294967295 5 7");
    EXPECT_EQ(Fmt("%.8X %p", 0x1Fu, reinterpret_cast<void*>(0x1F)), "0000001F 0000001F");
    EXPECT_EQ(Fmt("%x %X %+x", 0xBEEFu, 0xBEEFu, 1u), "beef BEEF 1");
    EXPECT_EQ(Fmt("%#x|%#X|%#6x|", 255u, 255u, 255u), "0xff|0xFF|0x    ff|");
    EXPECT_EQ(Fmt("%o %#o %O", 8u, 8u, 64u), "10 010 100");
    EXPECT_EQ(Fmt("%b %b %'b", 5u, 0u, 0xFFu), "101 0 11,111,111");
    // Precision 0 with the value 0: nothing at all, not even padding.
    EXPECT_EQ(Fmt("[%.0d][%5.0d][%.0x][%.d]", 0, 0, 0u, 0), "[][][][]");
    EXPECT_EQ(Fmt("[%.0d]", 3), "[3]");
    EXPECT_EQ(Fmt("%*d|%-*d|", 5, 42, 4, 7), "   42|7   |");
    EXPECT_EQ(Fmt("%.*d|%.*d", 4, 7, -1, 7), "0007|7");
}

TEST(Format, GroupingAnd64Bit) {
    EXPECT_EQ(Fmt("%'d", 1234567), "1,234,567");
    EXPECT_EQ(Fmt("%'d|%'d|%'d", -1234567, 999, 1000), "-1,234,567|999|1,000");
    EXPECT_EQ(Fmt("%'12d|", 1234567), "   1,234,567|");
    EXPECT_EQ(Fmt("%ll", -9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(Fmt("%lld", 5LL), "5d");  // the "ll" is the whole conversion
    EXPECT_EQ(Fmt("%ld", 7), "7d");
    EXPECT_EQ(Fmt("%I64d %I64u", -5000000000LL, 18446744073709551615ULL),
              "-5000000000 18446744073709551615");
    EXPECT_EQ(Fmt("%I64x %'I64u", 0xABCDEF0123ULL, 1234567890123ULL),
              "abcdef0123 1,234,567,890,123");
    // An incomplete multi-letter conversion puts out its letter, the rest is text.
    EXPECT_EQ(Fmt("%I6x|%he|%Hx"), "I6x|he|Hx");
}

TEST(Format, Reals) {
    EXPECT_EQ(Fmt("%f", 2.5), "2.500000");
    EXPECT_EQ(Fmt("%.0f %.0f %.0f", 2.5, -2.5, 0.4), "3 -3 0");
    EXPECT_EQ(Fmt("%.2f", 0.999), "1.00");
    EXPECT_EQ(Fmt("%.12f", 1.5), "1.500000000");
    EXPECT_EQ(Fmt("%.3f", -0.0625), "-0.063");
    EXPECT_EQ(Fmt("%'.2f", 1234.5), "1,234.50");
    EXPECT_EQ(Fmt("%08.2f|%-8.1f|%+.1f", -3.14159, 2.25, 1.0), "-0003.14|2.3     |+1.0");
    EXPECT_EQ(Fmt("%f|%f|%f", NAN, INFINITY, -INFINITY), "1.#QNAN0|1.#INF00|-1.#INF00");
    EXPECT_EQ(Fmt("%.1f", 18446744073709549568.0), "18446744073709549568.0");
    EXPECT_EQ(Fmt("%f", 1e300), "1.#INF00");  // beyond 64 bits
    EXPECT_EQ(Fmt("%a %a %a", 0x00018000u, 0x0000FFFFu, 0x7FFF0001u),
              "1.500000 0.999984 32767.000015");
}

TEST(Format, Texts) {
    const char* none = nullptr;
    EXPECT_EQ(Fmt("%s|%10s|%-3S|", none, none, none), "NULL|NULL|NULL|");
    EXPECT_EQ(Fmt("%.3s|%S|%5s|%-5s|", "abcdef", "abc", "ab", "ab"), "abc|ABC|   ab|ab   |");
    EXPECT_EQ(Fmt("%05s|%+s", "ab", "x"), "   ab|x");
    const char* withDel = "ab\177cd";
    EXPECT_EQ(Fmt("%s|%#s|%#.1s|%#.2s", withDel, withDel, withDel, withDel), "ab|NONASCII|a|ab");
    EXPECT_EQ(Fmt("%c%3c|%-3c|%03c", 'A', 'b', 'c', 'd'), "A  b|c  |  d");
    EXPECT_EQ(Fmt("%unicode|%Unicode|%.2unicode|%4unicode", kWide, kWide, kWide, kWide),
              "abc|ABC|ab| abc");
    EXPECT_EQ(Fmt("%unicode|%#unicode", kWideDel, kWideDel), "a|NONASCII");
    EXPECT_EQ(Fmt("%unicode", static_cast<const uint16_t*>(nullptr)), "NULL");
    EXPECT_EQ(Fmt("%2hex|%2HEX|%hex|%*hex|%4Hex|%3hEX", kBytes, kBytes, kBytes, 1, kBytes, kBytes,
                  kBytes),
              "dead|DEAD||de|DEADBEEF|deadbe");
    EXPECT_EQ(Fmt("%-04.1hex|", kBytes), "deadbeef|");  // flags and precision: no padding
    EXPECT_EQ(Fmt("%2hex", static_cast<const unsigned char*>(nullptr)), "NULL");
    EXPECT_EQ(Fmt("%ipv4|%16ipv4|%-12ipv4|%.5ipv4", kAddress, kAddress, kAddress, kAddress),
              "192.168.0.1|     192.168.0.1|192.168.0.1 |192.1");
    const unsigned char zero[4] = {0, 0, 0, 0}, full[4] = {255, 255, 255, 255};
    EXPECT_EQ(Fmt("%ipv4 %ipv4", zero, full), "0.0.0.0 255.255.255.255");
    EXPECT_EQ(Fmt("%ip", 5), "5p");  // "%i" and the text "p"
}

TEST(Format, SpecificationsAndTabs) {
    EXPECT_EQ(Fmt("100%%"), "100%");
    EXPECT_EQ(Fmt("%k|%-5D|%--d", 1), "k|D|-d");
    EXPECT_EQ(Fmt("abc%"), "abc");
    EXPECT_EQ(Fmt("abc%-5"), "abc");
    EXPECT_EQ(Fmt("abc\tx"), "abc x");
    EXPECT_EQ(Fmt("\tx"), "    x");
    EXPECT_EQ(Fmt("abcd\tx\ty"), "abcd    x   y");
    EXPECT_EQ(Fmt("%d\t|", 12345), "12345   |");
}

// Every format, cut at every size: the stored text is the first size - 1 characters of the
// full output, and nothing is written past `size`.
TEST(Format, NeverWritesPastSize) {
    struct Case {
        const char* format;
        std::string full;
    };
    const std::vector<Case> cases = {
        {"%10d|%-6s|", Fmt("%10d|%-6s|", -123, "ab")},
        {"%'I64u %08.3f", Fmt("%'I64u %08.3f", 123456789012ULL, -1.5)},
        {"%4Hex%#x", Fmt("%4Hex%#x", kBytes, 255u)},
        {"a\tb\t%ipv4", Fmt("a\tb\t%ipv4", kAddress)},
        {"%20unicode.", Fmt("%20unicode.", kWide)},
    };
    for (const Case& c : cases) {
        for (int size = 1; size <= static_cast<int>(c.full.size()) + 2; ++size) {
            std::vector<char> buffer(static_cast<size_t>(size) + 8, '#');
            int length;
            if (c.format[1] == '1')
                length = StrPrintf(buffer.data(), size, c.format, -123, "ab");
            else if (c.format[1] == '\'')
                length = StrPrintf(buffer.data(), size, c.format, 123456789012ULL, -1.5);
            else if (c.format[1] == '4')
                length = StrPrintf(buffer.data(), size, c.format, kBytes, 255u);
            else if (c.format[0] == 'a')
                length = StrPrintf(buffer.data(), size, c.format, kAddress);
            else
                length = StrPrintf(buffer.data(), size, c.format, kWide);
            std::string expected = c.full.substr(0, static_cast<size_t>(size) - 1);
            EXPECT_EQ(length, static_cast<int>(expected.size())) << c.format << " " << size;
            EXPECT_EQ(std::string(buffer.data()), expected) << c.format << " " << size;
            for (size_t i = static_cast<size_t>(size); i < buffer.size(); ++i)
                ASSERT_EQ(buffer[i], '#') << c.format << " wrote past size " << size;
        }
    }
}

TEST(Format, OverrunAndTooSmallAreLogged) {
    tsltest::TempLog log(TSL_LOG_FILE);
    char buffer[16];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(StrPrintf(buffer, 10, "%s", "abcdefghijklmnopqrst"), 9);
    EXPECT_STREQ(buffer, "abcdefghi");
    EXPECT_EQ(buffer[10], '#');
    EXPECT_EQ(StrPrintf(buffer, 10, "123456789"), 9);   // fits exactly: no report
    EXPECT_EQ(StrPrintf(buffer, 10, "0123456789"), 9);  // fills the buffer: overrun
    EXPECT_STREQ(buffer, "012345678");
    EXPECT_EQ(StrPrintf(buffer, 0, "zero"), 0);
    EXPECT_EQ(buffer[0], '0');  // nothing stored
    EXPECT_EQ(StrPrintf(buffer, 1, ""), 0);
    EXPECT_EQ(buffer[0], 0);
    log.Stop();
    const std::string overrun = "\n\nERROR: The next string overran the print buffer!\nLINE: ";
    const std::string small = "\n\nERROR: The next string too small to contain anything!\nLINE: ";
    EXPECT_NE(log.Text().find(overrun + "%s" + overrun + "0123456789" + small + "zero"),
              std::string::npos)
        << log.Text();
}

TEST(Strings, CopyAndAppend) {
    char buffer[16];
    EXPECT_EQ(StrLen(""), 0);
    EXPECT_EQ(StrLen("abc"), 3);
    EXPECT_EQ(StrCopy(buffer, "abc"), 1);
    EXPECT_EQ(StrCat(buffer, "de"), 1);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(StrCopyN(buffer, "abcdef", 5), 0);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(StrCopyN(buffer, "wxyz", 5), 0);  // exactly size - 1: whole, but reported cut
    EXPECT_STREQ(buffer, "wxyz");
    EXPECT_EQ(StrCopyN(buffer, "abc", 5), 1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(StrCopyN(buffer, "abc", 1), 0);
    EXPECT_STREQ(buffer, "");
    // Appended whole or not at all: size - 1 characters fit, one more leaves it as it was.
    EXPECT_EQ(StrAppend(buffer, 5, "abcd"), 1);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(StrAppend(buffer, 6, "ef"), 0);
    EXPECT_STREQ(buffer, "abcd");
}

TEST(Strings, CompareAndSearch) {
    EXPECT_EQ(StrEqual("abc", "abc"), 1);
    EXPECT_EQ(StrEqual("abc", "abC"), 0);
    EXPECT_EQ(StrEqual("abc", "ab"), 0);
    EXPECT_EQ(StrEqualNoCase("Debug.LOG", "debug.log"), 1);
    EXPECT_EQ(StrEqualNoCase("\xE4", "\xC4"), 0);  // only ASCII letters fold
    EXPECT_EQ(StrEqualNoCase("[", "{"), 0);
    EXPECT_EQ(StrStartsWith("abc", ""), 1);
    EXPECT_EQ(StrStartsWith("abc", "abcd"), 0);
    EXPECT_EQ(StrStartsWithNoCase("-SPAWN x", "-spawn"), 1);

    const char* text = "setup.EXE";
    const char* found = text;
    EXPECT_EQ(StrFindNoCase(text, ".exe", &found), 1);
    EXPECT_EQ(found, text + 5);
    EXPECT_EQ(StrFind(text, ".exe", &found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(StrFind(text, "", &found), 1);
    EXPECT_EQ(found, text);
    EXPECT_EQ(StrFind("", "", &found), 0);
    EXPECT_EQ(StrFindChar(text, 'E', &found), 1);
    EXPECT_EQ(found, text + 6);
    EXPECT_EQ(StrFindChar(text, 0, &found), 0);
    char writable[] = "a-b";
    char* at = nullptr;
    EXPECT_EQ(StrFind(writable, "-", &at), 1);
    EXPECT_EQ(at, writable + 1);
}

TEST(Numbers, StrictParsers) {
    int64_t value = -1;
    EXPECT_EQ(StrToInt64("12x", &value), 0);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(StrToInt64("+7", &value), 1);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(StrToInt64("-0x1F", &value), 1);
    EXPECT_EQ(value, -31);
    EXPECT_EQ(StrToInt64("0XaBc", &value), 1);
    EXPECT_EQ(value, 0xABC);
    EXPECT_EQ(StrToInt64("18446744073709551617", &value), 1);  // wraps around
    EXPECT_EQ(value, 1);
    // Texts without a digit are no numbers.
    for (const char* none : {"", "-", "+", "0x"}) {
        EXPECT_EQ(StrToInt64(none, &value), 0) << none;
        EXPECT_EQ(value, 0);
    }

    double real = -1;
    EXPECT_EQ(StrToReal("3.25", &real), 1);
    EXPECT_EQ(real, 3.25);
    EXPECT_EQ(StrToReal("-0.5", &real), 1);
    EXPECT_EQ(real, -0.5);
    EXPECT_EQ(StrToReal("+1.5", &real), 0);
    EXPECT_EQ(real, 0.0);
    EXPECT_EQ(StrToReal("0x10", &real), 1);
    EXPECT_EQ(real, 16.0);
    EXPECT_EQ(StrToReal("1.2.3", &real), 1);  // the last '.' counts
    EXPECT_DOUBLE_EQ(real, 12.3);
    EXPECT_EQ(StrToReal("0.1", &real), 1);
    EXPECT_EQ(real, 0.1);
    EXPECT_EQ(StrToReal("123456789.123456789", &real), 1);
    EXPECT_EQ(real, 123456789.123456789);
    EXPECT_EQ(StrToReal("1e5", &real), 0);
    EXPECT_EQ(real, 1.0);
    EXPECT_EQ(StrToReal(".", &real), 0);
}

TEST(Numbers, LenientParsers) {
    EXPECT_EQ(AtoI("0x1F"), 31);
    EXPECT_EQ(AtoI("-42abc"), -42);
    EXPECT_EQ(AtoI("abc"), 0);
    EXPECT_EQ(AtoI("12-3"), 12);
    EXPECT_EQ(AtoI("0xZ"), 0);
    EXPECT_EQ(AtoI(nullptr), 0);
    EXPECT_EQ(AtoI(std::string(69, '1').c_str()) != 0, true);
    EXPECT_EQ(AtoI(("0x" + std::string(69, '0') + "F").c_str() + 1), 0);  // "x000...": no run
    EXPECT_EQ(AtoF("3.25"), 3.25);
    EXPECT_EQ(AtoF("-0.5"), -0.5);
    EXPECT_EQ(AtoF("+1.5"), 0.0);
    EXPECT_EQ(AtoF("2.5 MB"), 2.5);
    EXPECT_EQ(AtoF(nullptr), 0.0);
    EXPECT_EQ(AtoF(""), 0.0);
}

TEST(Numbers, CheckedParsersRefuseRunsTheLenientOnesAbortOn) {
    int64_t value = -1;
    double real = -1;
    EXPECT_EQ(AtoIChecked(std::string(69, '7').c_str(), &value), 1);
    EXPECT_NE(value, 0);
    EXPECT_EQ(AtoIChecked((std::string(70, '7') + "x").c_str(), &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(AtoIChecked(("0x" + std::string(69, 'f')).c_str(), &value), 1);
    EXPECT_EQ(AtoIChecked(("0x" + std::string(70, 'f')).c_str(), &value), 0);
    EXPECT_EQ(AtoIChecked(std::string(70, '-').c_str(), &value), 0);
    EXPECT_EQ(AtoIChecked("0x1F rest", &value), 1);
    EXPECT_EQ(value, 31);
    EXPECT_EQ(AtoIChecked(nullptr, &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(AtoFChecked("1.60 beta", &real), 1);
    EXPECT_EQ(real, 1.6);
    EXPECT_EQ(AtoFChecked((std::string(60, '1') + "." + std::string(9, '1')).c_str(), &real), 0);
    EXPECT_EQ(real, 0.0);
    EXPECT_EQ(AtoFChecked((std::string(60, '1') + "." + std::string(8, '1')).c_str(), &real), 1);
}

TEST(Numbers, DigitCountTellsAWrappedValue) {
    // 2^64 + 100 reads as 100; its 20 digits say it was no such number.
    EXPECT_EQ(AtoI("18446744073709551716"), 100);
    EXPECT_EQ(AtoIDigits("18446744073709551716"), 20);
    EXPECT_EQ(AtoIDigits("-000123 rest"), 3);
    EXPECT_EQ(AtoIDigits("+0"), 0);
    EXPECT_EQ(AtoIDigits("0x00FFz"), 2);
    EXPECT_EQ(AtoIDigits("abc"), 0);
}

TEST(Numbers, Addresses) {
    uint32_t address = 0;
    unsigned char bytes[4];
    EXPECT_EQ(StrToIPv4("192.168.0.1", &address), 1);
    memcpy(bytes, &address, 4);
    EXPECT_EQ(bytes[0], 192);
    EXPECT_EQ(bytes[1], 168);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 1);
    EXPECT_EQ(StrToIPv4("10.0.0.300", &address), 1);
    memcpy(bytes, &address, 4);
    EXPECT_EQ(bytes[3], 44);
    EXPECT_EQ(StrToIPv4("1..2.", &address), 1);
    memcpy(bytes, &address, 4);
    EXPECT_EQ(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24, 0x00020001);
    for (const char* bad : {"192.168.0", "1.2.3.4.5", "1.2.3.4 ", "a.b.c.d", "", "1.2.3.x"})
        EXPECT_EQ(StrToIPv4(bad, &address), 0) << bad;
    // Longer texts are cut to 19 characters: the fourth part becomes "1234567".
    EXPECT_EQ(StrToIPv4("100.100.100.12345678", &address), 1);
    memcpy(bytes, &address, 4);
    EXPECT_EQ(bytes[3], 1234567 & 0xFF);
}

TEST(Checksum, Crc32) {
    uint32_t crc = 0, folded = 0, exact = 0;
    EXPECT_EQ(StrCrc32("123456789", 1, &crc), 1);
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_EQ(StrCrc32("", 1, &crc), 1);
    EXPECT_EQ(crc, 0u);
    StrCrc32("Setup.exe", 0, &folded);
    StrCrc32("SETUP.EXE", 1, &exact);
    EXPECT_EQ(folded, exact);
    StrCrc32("Setup.exe", 2, &crc);  // only 1 means exact case
    EXPECT_EQ(crc, exact);
    StrCrc32("Setup.exe", 1, &crc);
    EXPECT_NE(crc, exact);
    StrCrc32("\xE4", 0, &folded);
    StrCrc32("\xC4", 0, &exact);
    EXPECT_NE(folded, exact);
}

TEST(Checksum, Crc32OfBytesInPieces) {
    // Zero bytes count, and pieces give the CRC of the whole run.
    const char run[] = "1234\0" "56789";
    uint32_t whole = 0, pieces = 0;
    StrCrc32Update(&whole, run, 10);
    StrCrc32Update(&pieces, run, 3);
    StrCrc32Update(&pieces, run + 3, 0);
    StrCrc32Update(&pieces, run + 3, 7);
    EXPECT_EQ(whole, pieces);
    uint32_t digits = 0;
    StrCrc32Update(&digits, "123456789", 9);
    EXPECT_EQ(digits, 0xCBF43926u);
    EXPECT_NE(whole, digits);
}

#ifndef _WIN32
// The fatal paths end the process with exit code 1 and show the abort text (standard
// error stands in for the message box on the host).
TEST(StringsDeathTest, FatalInputs) {
    char buffer[8];
    const char* found;
    auto exited = testing::ExitedWithCode(1);
    EXPECT_EXIT(StrLen(nullptr), exited, "ABORT: Pointer is NULL\n       \\(tsl-str/[0-9]+\\)");
    EXPECT_EXIT(StrPrintf(nullptr, 4, "x"), exited, "Pointer is NULL");
    EXPECT_EXIT(StrPrintf(buffer, 4, nullptr), exited, "Pointer is NULL");
    EXPECT_EXIT(StrFind("a", nullptr, &found), exited, "Pointer is NULL");
    EXPECT_EXIT(StrCrc32("a", 1, nullptr), exited, "Pointer is NULL");
    EXPECT_EXIT(AtoI(std::string(70, '7').c_str()), exited, "Input AtoI string too large \\(7777");
    EXPECT_EXIT(AtoI(("0x" + std::string(70, 'a')).c_str()), exited,
                "Input AtoI string too large \\(aaaa");
    EXPECT_EXIT(AtoF(("-" + std::string(69, '.')).c_str()), exited,
                "Input AtoF string too large \\(-\\.\\.\\.");
}
#endif

}  // namespace
