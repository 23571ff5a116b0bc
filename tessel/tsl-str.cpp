// Tessel strings: length, copy, comparison and search of zero-terminated 8-bit texts,
// strict and lenient number parsing, dotted-quad addresses, CRC-32, and the bounded
// formatter with its own conversions. Nothing here allocates memory.
#include "tessel/tsl-str.h"

#include <limits.h>
#include <math.h>
#include <stddef.h>
#include <string.h>

#include "tessel/tsl-core.h"

namespace {

const char kSrc[] = "tsl-str";

inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline bool HasHexPrefix(const char* text) {
    return text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

template <bool NoCase>
int StartsWithImpl(const char* text, const char* prefix) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, prefix);
    for (; *prefix != 0; ++text, ++prefix) {
        char a = *text;
        char b = *prefix;
        if (NoCase) {
            a = UpperAscii(a);
            b = UpperAscii(b);
        }
        if (a != b) return 0;
    }
    return 1;
}

template <bool NoCase>
int EqualImpl(const char* a, const char* b) {
    TSL_NOT_NULL(kSrc, a);
    TSL_NOT_NULL(kSrc, b);
    for (;; ++a, ++b) {
        char x = *a;
        char y = *b;
        if (NoCase) {
            x = UpperAscii(x);
            y = UpperAscii(y);
        }
        if (x != y) return 0;
        if (x == 0) return 1;
    }
}

template <bool NoCase>
int FindImpl(const char* text, const char* needle, const char** found) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, needle);
    TSL_NOT_NULL(kSrc, found);
    *found = nullptr;
    for (const char* p = text; *p != 0; ++p) {
        if (StartsWithImpl<NoCase>(p, needle)) {
            *found = p;
            return 1;
        }
    }
    return 0;
}

// The characters of the lenient parsers' number runs.
bool IsHexRunChar(char c) { return HexValue(c) >= 0; }
bool IsIntegerRunChar(char c) { return IsDigit(c) || c == '-' || c == '+'; }
bool IsRealRunChar(char c) { return IsDigit(c) || c == '-' || c == '+' || c == '.'; }

// Copies the leading run of characters accepted by `accept` into `run` (70 bytes after
// `prefixLength` bytes already there); a run longer than 69 characters is fatal.
void CopyRun(const char* text, char* run, int prefixLength, bool (*accept)(char),
             const char* message) {
    int n = 0;
    while (accept(text[n])) {
        if (n == 69) TSL_FAIL(kSrc, message, text);
        run[prefixLength + n] = text[n];
        ++n;
    }
    run[prefixLength + n] = 0;
}

// Exact powers of ten for scaling parsed reals.
constexpr long double kPow10[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                  1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                  1e14L, 1e15L, 1e16L, 1e17L, 1e18L};

struct CrcTable {
    uint32_t entry[256];
};

constexpr CrcTable MakeCrcTable() {
    CrcTable t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t.entry[i] = c;
    }
    return t;
}

constexpr CrcTable kCrc = MakeCrcTable();

}  // namespace

// ---------------------------------------------------------------------------
// Length, copy and append
// ---------------------------------------------------------------------------

int StrLen(const char* text) {
    TSL_NOT_NULL(kSrc, text);
    return static_cast<int>(strlen(text));
}

int StrCopy(char* destination, const char* source) {
    TSL_NOT_NULL(kSrc, destination);
    TSL_NOT_NULL(kSrc, source);
    memmove(destination, source, strlen(source) + 1);
    return 1;
}

int StrCopyN(char* destination, const char* source, int size) {
    TSL_NOT_NULL(kSrc, destination);
    TSL_NOT_NULL(kSrc, source);
    if (size < 1) return 0;
    int i = 0;
    while (i < size - 1 && source[i] != 0) {
        destination[i] = source[i];
        ++i;
    }
    destination[i] = 0;
    // Only a source shorter than size - 1 counts as copied whole; callers treat a text
    // that fills the buffer exactly as cut.
    return i < size - 1 ? 1 : 0;
}

int StrCat(char* destination, const char* source) {
    TSL_NOT_NULL(kSrc, destination);
    TSL_NOT_NULL(kSrc, source);
    memmove(destination + strlen(destination), source, strlen(source) + 1);
    return 1;
}

int StrAppend(char* destination, int size, const char* source) {
    TSL_NOT_NULL(kSrc, destination);
    TSL_NOT_NULL(kSrc, source);
    const size_t used = strlen(destination);
    const size_t more = strlen(source);
    if (size < 1 || used + more >= static_cast<size_t>(size)) return 0;
    memcpy(destination + used, source, more + 1);
    return 1;
}

// ---------------------------------------------------------------------------
// Comparison and search
// ---------------------------------------------------------------------------

int StrEqual(const char* a, const char* b) { return EqualImpl<false>(a, b); }
int StrEqualNoCase(const char* a, const char* b) { return EqualImpl<true>(a, b); }
int StrStartsWith(const char* text, const char* prefix) {
    return StartsWithImpl<false>(text, prefix);
}
int StrStartsWithNoCase(const char* text, const char* prefix) {
    return StartsWithImpl<true>(text, prefix);
}

int StrFindChar(const char* text, int character, const char** found) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, found);
    *found = nullptr;
    char c = static_cast<char>(character);
    if (c == 0) return 0;
    for (const char* p = text; *p != 0; ++p) {
        if (*p == c) {
            *found = p;
            return 1;
        }
    }
    return 0;
}

int StrFind(const char* text, const char* needle, const char** found) {
    return FindImpl<false>(text, needle, found);
}

int StrFindNoCase(const char* text, const char* needle, const char** found) {
    return FindImpl<true>(text, needle, found);
}

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

int StrToInt64(const char* text, int64_t* valueOut) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, valueOut);
    const char* p = text;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    } else if (*p == '+') {
        ++p;
    }
    uint64_t value = 0;  // unsigned: over-long input wraps instead of overflowing
    int digits = 0;
    if (HasHexPrefix(p)) {
        p += 2;
        for (int d; (d = HexValue(*p)) >= 0; ++p, ++digits) value = value * 16 + d;
    } else {
        for (; IsDigit(*p); ++p, ++digits) value = value * 10 + (*p - '0');
    }
    if (negative) value = 0 - value;
    *valueOut = static_cast<int64_t>(value);
    // A text without any digit ("", "-", "0x") is not a number.
    return (*p == 0 && digits > 0) ? 1 : 0;
}

int StrToReal(const char* text, double* valueOut) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, valueOut);
    const char* p = text;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    long double value = 0;
    int digits = 0;
    if (HasHexPrefix(p)) {
        p += 2;
        for (int d; (d = HexValue(*p)) >= 0; ++p, ++digits) value = value * 16 + d;
    } else {
        int before = -1;  // digits in front of the last '.'
        for (;; ++p) {
            if (IsDigit(*p)) {
                value = value * 10 + (*p - '0');
                ++digits;
            } else if (*p == '.') {
                before = digits;
            } else {
                break;
            }
        }
        if (before >= 0) {
            // Scale by the exact power of ten in steps, instead of one rounding per digit.
            for (int after = digits - before; after > 0; after -= 18)
                value /= kPow10[after < 18 ? after : 18];
        }
    }
    if (negative) value = -value;
    *valueOut = static_cast<double>(value);
    return (*p == 0 && digits > 0) ? 1 : 0;
}

int64_t AtoI(const char* text) {
    if (text == nullptr) return 0;
    char run[2 + 69 + 1];
    int64_t value = 0;
    if (HasHexPrefix(text)) {
        run[0] = text[0];
        run[1] = text[1];
        CopyRun(text + 2, run, 2, IsHexRunChar, "Input AtoI string too large (%s)\n");
        if (run[2] == 0) return 0;
    } else {
        CopyRun(text, run, 0, IsIntegerRunChar, "Input AtoI string too large (%s)\n");
        if (run[0] == 0) return 0;
    }
    StrToInt64(run, &value);
    return value;
}

double AtoF(const char* text) {
    if (text == nullptr) return 0.0;
    char run[69 + 1];
    CopyRun(text, run, 0, IsRealRunChar, "Input AtoF string too large (%s)\n");
    if (run[0] == 0) return 0.0;
    double value = 0.0;
    StrToReal(run, &value);
    return value;
}

// Length of the run AtoI or AtoF would copy (after a "0x" prefix for hexadecimal).
static int RunLength(const char* text, bool (*accept)(char)) {
    int n = 0;
    while (accept(text[n])) ++n;
    return n;
}

int AtoIChecked(const char* text, int64_t* valueOut) {
    TSL_NOT_NULL(kSrc, valueOut);
    *valueOut = 0;
    if (text == nullptr) return 1;
    int run = HasHexPrefix(text) ? RunLength(text + 2, IsHexRunChar)
                                 : RunLength(text, IsIntegerRunChar);
    if (run >= 70) return 0;
    *valueOut = AtoI(text);
    return 1;
}

int AtoIDigits(const char* text) {
    TSL_NOT_NULL(kSrc, text);
    const bool hex = HasHexPrefix(text);
    const char* p = text + (hex ? 2 : 0);
    if (!hex && (*p == '-' || *p == '+')) ++p;
    while (*p == '0') ++p;
    int n = 0;
    while (hex ? HexValue(p[n]) >= 0 : IsDigit(p[n])) ++n;
    return n;
}

int AtoFChecked(const char* text, double* valueOut) {
    TSL_NOT_NULL(kSrc, valueOut);
    *valueOut = 0.0;
    if (text == nullptr) return 1;
    if (RunLength(text, IsRealRunChar) >= 70) return 0;
    *valueOut = AtoF(text);
    return 1;
}

int StrToIPv4(const char* text, uint32_t* addressOut) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, addressOut);
    char work[20];
    StrCopyN(work, text, sizeof work);
    unsigned char bytes[4];
    int dots = 0;
    char* part = work;
    for (char* p = work;; ++p) {
        if (IsDigit(*p)) continue;
        if (*p == 0) break;
        if (*p != '.' || dots == 3) return 0;
        *p = 0;
        bytes[dots++] = static_cast<unsigned char>(AtoI(part));
        part = p + 1;
    }
    if (dots != 3) return 0;
    bytes[3] = static_cast<unsigned char>(AtoI(part));
    memcpy(addressOut, bytes, 4);  // text order = wire order
    return 1;
}

int StrCrc32(const char* text, int exactCase, uint32_t* crcOut) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, crcOut);
    uint32_t crc = 0xFFFFFFFFu;
    for (const char* p = text; *p != 0; ++p) {
        char c = exactCase == 1 ? *p : UpperAscii(*p);
        crc = kCrc.entry[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
    }
    *crcOut = ~crc;
    return 1;
}

int StrCrc32Update(uint32_t* crc, const void* data, int32_t size) {
    TSL_NOT_NULL(kSrc, crc);
    if (size > 0) TSL_NOT_NULL(kSrc, data);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    uint32_t state = ~*crc;
    for (int32_t i = 0; i < size; ++i) state = kCrc.entry[(state ^ bytes[i]) & 0xFF] ^ (state >> 8);
    *crc = ~state;
    return 1;
}

// ---------------------------------------------------------------------------
// Formatter
// ---------------------------------------------------------------------------

namespace {

constexpr uint32_t kNegative = 0x01;
constexpr uint32_t kRight = 0x02;
constexpr uint32_t kZeroPad = 0x04;
constexpr uint32_t kUpper = 0x08;
constexpr uint32_t kPlus = 0x10;
constexpr uint32_t kGroup = 0x20;

constexpr int kNumberSize = 60;
constexpr int kNumberLimit = 55;

const char kOverrun[] = "\n\nERROR: The next string overran the print buffer!\nLINE: ";
const char kTooSmall[] = "\n\nERROR: The next string too small to contain anything!\nLINE: ";

// The format characters that end a run of ordinary text: NUL, '%' and tab.
struct SpecialTable {
    bool is[256];
};
constexpr SpecialTable MakeSpecialTable() {
    SpecialTable t{};
    t.is[0] = true;
    t.is[static_cast<unsigned char>('%')] = true;
    t.is[static_cast<unsigned char>('\t')] = true;
    return t;
}
constexpr SpecialTable kSpecial = MakeSpecialTable();

inline bool IsSpecial(char c) { return kSpecial.is[static_cast<unsigned char>(c)]; }

// The first NUL, '%' or tab; four characters per step, each read only after the one
// before it was found to be no NUL.
inline const char* SkipOrdinary(const char* f) {
    for (;; f += 4) {
        if (IsSpecial(f[0])) return f;
        if (IsSpecial(f[1])) return f + 1;
        if (IsSpecial(f[2])) return f + 2;
        if (IsSpecial(f[3])) return f + 3;
    }
}

const char kLowerDigits[] = "0123456789abcdef";
const char kUpperDigits[] = "0123456789ABCDEF";

// The output cursor; nothing is ever stored at or past `end`.
struct Out {
    char* cur;
    char* end;

    void Put(char c) {
        if (cur < end) *cur++ = c;
    }
    void Run(const char* text, int64_t length) {
        int64_t room = end - cur;
        if (length > room) length = room;
        if (length <= 0) return;
        // Short runs (most of them) as two overlapping fixed-size moves, which compile
        // to plain loads and stores; neither reads outside [text, text + length).
        if (length >= 8 && length <= 16) {
            memcpy(cur, text, 8);
            memcpy(cur + length - 8, text + length - 8, 8);
        } else if (length >= 4 && length < 8) {
            memcpy(cur, text, 4);
            memcpy(cur + length - 4, text + length - 4, 4);
        } else if (length < 4) {
            cur[0] = text[0];
            if (length > 1) cur[1] = text[1];
            if (length > 2) cur[2] = text[2];
        } else {
            memcpy(cur, text, static_cast<size_t>(length));
        }
        cur += length;
    }
    void Fill(char c, int64_t count) {
        int64_t room = end - cur;
        if (count > room) count = room;
        if (count > 0) {
            memset(cur, c, static_cast<size_t>(count));
            cur += count;
        }
    }
    void RunUpper(const char* text, int64_t length) {
        for (int64_t i = 0; i < length && cur < end; ++i) *cur++ = UpperAscii(text[i]);
    }
};

// The text of one field: 8-bit characters, or the low bytes of 16-bit units.
struct FieldText {
    const char* narrow;
    const uint16_t* wide;
    int length;

    void Write(Out& out, bool upper) const {
        if (wide == nullptr) {
            if (upper)
                out.RunUpper(narrow, length);
            else
                out.Run(narrow, length);
            return;
        }
        for (int i = 0; i < length && out.cur < out.end; ++i) {
            char c = static_cast<char>(wide[i] & 0xFF);
            out.Put(upper ? UpperAscii(c) : c);
        }
    }
};

// Puts out one field with sign, padding or leading zeros, as the flags say.
void EmitPaddedField(Out& out, uint32_t flags, int width, const FieldText& text, int zeros) {
    char sign = (flags & kNegative) ? '-' : (flags & kPlus) ? '+' : 0;
    int64_t pad = static_cast<int64_t>(width) - text.length - zeros - (sign != 0 ? 1 : 0);
    if (sign != 0 && (flags & kZeroPad)) out.Put(sign);
    if (flags & kRight) out.Fill((flags & kZeroPad) ? '0' : ' ', pad);
    if (sign != 0 && !(flags & kZeroPad)) out.Put(sign);
    out.Fill('0', zeros);
    text.Write(out, (flags & kUpper) != 0);
    if (!(flags & kRight)) out.Fill(' ', pad);
}

// Puts out one field; the common case, the text alone, without a call.
inline void EmitField(Out& out, uint32_t flags, int width, const FieldText& text, int zeros) {
    if (width <= text.length && zeros == 0 && !(flags & (kNegative | kPlus)))
        text.Write(out, (flags & kUpper) != 0);
    else
        EmitPaddedField(out, flags, width, text, zeros);
}

void EmitText(Out& out, uint32_t flags, int width, const char* text, int length) {
    EmitField(out, flags, width, FieldText{text, nullptr, length}, 0);
}

// "00" to "99": two decimal digits per division.
struct DigitPairs {
    char text[200];
};
constexpr DigitPairs MakeDigitPairs() {
    DigitPairs t{};
    for (int i = 0; i < 100; ++i) {
        t.text[2 * i] = static_cast<char>('0' + i / 10);
        t.text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return t;
}
constexpr DigitPairs kPairs = MakeDigitPairs();

// Puts a ',' between groups of three digits of the number at [first, end): the digits
// move towards the front of the number buffer, which has room for the separators.
char* GroupDigits(char* first, char* end) {
    const int digits = static_cast<int>(end - first);
    const int commas = (digits - 1) / 3;
    char* start = first - commas;
    char* to = start;
    for (int i = digits - 3 * commas; i > 0; --i) *to++ = *first++;
    for (int i = 0; i < commas; ++i) {
        *to++ = ',';
        *to++ = *first++;
        *to++ = *first++;
        *to++ = *first++;
    }
    return start;
}

// Writes the digits of `value` backwards in front of `end`, grouped by thousands when
// asked; returns the first character.
char* ConvertNumber(char* end, uint64_t value, unsigned radix, bool upper, bool group) {
    char* p = end;
    if (radix == 10) {
        // 32-bit division where it suffices: much cheaper on a 32-bit target.
        while (value > 0xFFFFFFFFu) {
            *--p = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        uint32_t small = static_cast<uint32_t>(value);
        while (small >= 100) {
            uint32_t rest = small / 100;
            p -= 2;
            memcpy(p, kPairs.text + 2 * (small - rest * 100), 2);
            small = rest;
        }
        if (small >= 10) {
            p -= 2;
            memcpy(p, kPairs.text + 2 * small, 2);
        } else {
            *--p = static_cast<char>('0' + small);
        }
    } else {
        const char* digits = upper ? kUpperDigits : kLowerDigits;
        const unsigned shift = radix == 16 ? 4 : radix == 8 ? 3 : 1;
        do {
            *--p = digits[value & (radix - 1)];
            value >>= shift;
        } while (value != 0);
    }
    if (group) p = GroupDigits(p, end);
    if (end - p >= kNumberLimit)
        TSL_FAIL(kSrc, "Value exceeds buffer size (%d > %d)\n", static_cast<int>(end - p),
                 kNumberLimit);
    return p;
}

// An integer conversion: optional prefix outside the field, the digits, precision zeros.
void EmitInteger(Out& out, uint32_t flags, int width, int precision, uint64_t magnitude,
                 unsigned radix, bool upperDigits, const char* prefix) {
    if (precision == 0 && magnitude == 0) return;  // nothing at all, not even padding
    if (prefix != nullptr) out.Run(prefix, static_cast<int64_t>(strlen(prefix)));
    char number[kNumberSize];
    char* end = number + kNumberSize;
    char* first = ConvertNumber(end, magnitude, radix, upperDigits, (flags & kGroup) != 0);
    int length = static_cast<int>(end - first);
    int zeros = precision > length ? precision - length : 0;
    EmitField(out, flags & ~kUpper, width, FieldText{first, nullptr, length}, zeros);
}

void EmitSigned(Out& out, uint32_t flags, int width, int precision, int64_t value) {
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        flags |= kNegative;
        magnitude = 0 - magnitude;
    }
    EmitInteger(out, flags, width, precision, magnitude, 10, false, nullptr);
}

// "%a": a 16.16 fixed-point value with exactly six decimals, cut.
void EmitFixed(Out& out, uint32_t flags, int width, uint32_t value) {
    char number[kNumberSize];
    char* end = number + kNumberSize;
    uint32_t fraction =
        static_cast<uint32_t>((static_cast<uint64_t>(value & 0xFFFF) * 1000000) >> 16);
    char* p = end;
    for (int i = 0; i < 6; ++i, fraction /= 10) *--p = static_cast<char>('0' + fraction % 10);
    *--p = '.';
    char* first = ConvertNumber(p, value >> 16, 10, false, (flags & kGroup) != 0);
    EmitField(out, flags & ~kUpper, width, FieldText{first, nullptr, static_cast<int>(end - first)},
              0);
}

// "%f": fixed-point decimal, precision 6 by default and at most 9.
void EmitReal(Out& out, uint32_t flags, int width, int precision, double value) {
    flags &= ~kUpper;
    if (isnan(value)) {
        EmitText(out, flags & ~kNegative, width, "1.#QNAN0", 8);
        return;
    }
    if (value < 0) {
        flags |= kNegative;
        value = -value;
    }
    // Integer parts beyond 64 bits (never formatted by the programs) print as infinite
    // rather than as a wrong number.
    if (isinf(value) || value >= 18446744073709551616.0) {
        EmitText(out, flags, width, "1.#INF00", 8);
        return;
    }
    static constexpr uint32_t kScale[] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};
    if (precision < 0) precision = 6;
    if (precision > 9) precision = 9;
    char number[kNumberSize];
    char* end = number + kNumberSize;
    char* p = end;
    uint64_t whole;
    if (precision == 0) {
        whole = static_cast<uint64_t>(floor(value + 0.5));
    } else {
        double down = floor(value);
        whole = static_cast<uint64_t>(down);
        uint32_t fraction = static_cast<uint32_t>(floor((value - down) * kScale[precision] + 0.5));
        if (fraction >= kScale[precision]) {
            fraction = 0;
            ++whole;
        }
        for (int i = 0; i < precision; ++i, fraction /= 10)
            *--p = static_cast<char>('0' + fraction % 10);
        *--p = '.';
    }
    char* first = ConvertNumber(p, whole, 10, false, (flags & kGroup) != 0);
    EmitField(out, flags, width, FieldText{first, nullptr, static_cast<int>(end - first)}, 0);
}

// Length of a text up to its NUL or a 0x7F, at most `precision` characters when one is
// given (the text then need not be terminated, so it is never read past that).
inline int TextLength(const char* text, int precision) {
    if (precision < 0) {
        // Vectorised scans: the NUL first, then a 0x7F before it.
        const size_t length = strlen(text);
        const void* stop = memchr(text, 0x7F, length);
        return static_cast<int>(stop != nullptr ? static_cast<const char*>(stop) - text
                                                : static_cast<ptrdiff_t>(length));
    }
    int length = 0;
    while (length < precision && text[length] != 0 && text[length] != 0x7F) ++length;
    return length;
}

// "%s"/"%S": up to the NUL, a 0x7F or the precision.
void EmitString(Out& out, uint32_t flags, int width, int precision, bool alternate,
                const char* text) {
    if (text == nullptr) {
        out.Run("NULL", 4);
        return;
    }
    const int length = TextLength(text, precision);
    if (alternate && (precision < 0 || length < precision) && text[length] == 0x7F) {
        out.Run("NONASCII", 8);
        return;
    }
    EmitField(out, flags & ~(kZeroPad | kPlus), width, FieldText{text, nullptr, length}, 0);
}

// "%unicode"/"%Unicode": the low byte of each 16-bit unit.
void EmitWide(Out& out, uint32_t flags, int width, int precision, bool alternate,
              const uint16_t* text) {
    if (text == nullptr) {
        out.Run("NULL", 4);
        return;
    }
    int limit = precision >= 0 ? precision : INT_MAX;
    int length = 0;
    while (length < limit && (text[length] & 0xFF) != 0 && (text[length] & 0xFF) != 0x7F) ++length;
    if (alternate && length < limit && (text[length] & 0xFF) == 0x7F) {
        out.Run("NONASCII", 8);
        return;
    }
    EmitField(out, flags & ~(kZeroPad | kPlus), width, FieldText{nullptr, text, length}, 0);
}

// "%hex"/"%HEX": `count` bytes as two hexadecimal digits each, no padding.
void EmitHexBytes(Out& out, int count, bool upper, const unsigned char* bytes) {
    if (bytes == nullptr) {
        out.Run("NULL", 4);
        return;
    }
    const char* digits = upper ? kUpperDigits : kLowerDigits;
    for (int i = 0; i < count && out.cur < out.end; ++i) {
        out.Put(digits[bytes[i] >> 4]);
        out.Put(digits[bytes[i] & 15]);
    }
}

// "%ipv4": dotted decimal of four bytes.
void EmitIPv4(Out& out, uint32_t flags, int width, int precision, const unsigned char* bytes) {
    if (bytes == nullptr) {
        out.Run("NULL", 4);
        return;
    }
    char text[16];
    char* p = text;
    for (int i = 0; i < 4; ++i) {
        unsigned b = bytes[i];
        if (b >= 100) *p++ = static_cast<char>('0' + b / 100);
        if (b >= 10) *p++ = static_cast<char>('0' + b / 10 % 10);
        *p++ = static_cast<char>('0' + b % 10);
        if (i < 3) *p++ = '.';
    }
    int length = static_cast<int>(p - text);
    if (precision >= 0 && precision < length) length = precision;
    EmitText(out, flags & ~(kZeroPad | kPlus | kUpper), width, text, length);
}

// A decimal field of the conversion ("%10d", "%.2d"); large values stop growing.
inline int ParseCount(const char*& f) {
    int value = 0;
    for (; IsDigit(*f); ++f)
        if (value < 100000000) value = value * 10 + (*f - '0');
    return value;
}

}  // namespace

int StrVPrintf(char* buffer, int size, const char* format, va_list arguments) {
    TSL_NOT_NULL(kSrc, buffer);
    TSL_NOT_NULL(kSrc, format);
    if (size < 1) {
        LogText(kTooSmall);
        LogText(format);
        return 0;
    }
    // The arguments are read straight from the caller's list (copying it costs a stall).
    Out out{buffer, buffer + size};
    const char* f = format;
    while (out.cur < out.end) {
        // Ordinary characters up to the next '%', tab or the end are copied as one run.
        const char* run = f;
        f = SkipOrdinary(f);
        out.Run(run, f - run);
        if (*f == 0 || out.cur >= out.end) break;
        if (*f == '\t') {
            // Blanks up to the next multiple of 4 of the characters produced so far.
            out.Fill(' ', 4 - ((out.cur - buffer) & 3));
            ++f;
            continue;
        }
        ++f;  // the '%'
        if (*f == '%') {
            out.Put('%');
            ++f;
            continue;
        }
        uint32_t flags = kRight;
        bool alternate = false;
        int width = 0;
        int precision = -1;
        // Flags, width and precision all start with a character below 'A'.
        if (*f < 'A') {
            if (*f == '#') {
                alternate = true;
                ++f;
            }
            if (*f == '-') {
                flags &= ~kRight;
                ++f;
            }
            if (*f == '+') {
                flags |= kPlus;
                ++f;
            }
            if (*f == '\'') {
                flags |= kGroup;
                ++f;
            }
            if (*f == '0') {
                flags |= kZeroPad;
                ++f;
            }
            if (*f == '*') {
                width = va_arg(arguments, int);
                ++f;
            } else {
                width = ParseCount(f);
            }
            if (*f == '.') {
                ++f;
                if (*f == '*') {
                    precision = va_arg(arguments, int);
                    if (precision < 0) precision = -1;
                    ++f;
                } else {
                    precision = ParseCount(f);
                }
            }
        }
        char letter = *f;
        if (letter == 0) break;  // a conversion cut by the end of the format: nothing
        ++f;
        if (letter >= 'A' && letter <= 'Z') flags |= kUpper;
        const uint32_t unsignedFlags = flags & ~kPlus;

        switch (letter) {
            case 'i':
                if (f[0] == 'p' && f[1] == 'v' && f[2] == '4') {
                    f += 3;
                    EmitIPv4(out, flags, width, precision, va_arg(arguments, const unsigned char*));
                    break;
                }
                [[fallthrough]];
            case 'd':
                EmitSigned(out, flags, width, precision, va_arg(arguments, int));
                break;
            case 'l':
                if (*f == 'l') {
                    ++f;
                    EmitSigned(out, flags, width, precision, va_arg(arguments, long long));
                } else {
                    EmitSigned(out, flags, width, precision, va_arg(arguments, int));
                }
                break;
            case 'I':
                if (f[0] == '6' && f[1] == '4' && (f[2] == 'd' || f[2] == 'u' || f[2] == 'x')) {
                    char kind = f[2];
                    f += 3;
                    if (kind == 'd')
                        EmitSigned(out, flags, width, precision, va_arg(arguments, long long));
                    else
                        EmitInteger(out, unsignedFlags, width, precision,
                                    va_arg(arguments, unsigned long long), kind == 'x' ? 16 : 10,
                                    false, nullptr);
                } else {
                    out.Put(letter);
                }
                break;
            case 'u':
            case 'U':
                if (f[0] == 'n' && f[1] == 'i' && f[2] == 'c' && f[3] == 'o' && f[4] == 'd' &&
                    f[5] == 'e') {
                    f += 6;
                    EmitWide(out, flags, width, precision, alternate,
                             va_arg(arguments, const uint16_t*));
                } else {
                    EmitInteger(out, unsignedFlags, width, precision, va_arg(arguments, unsigned),
                                10, false, nullptr);
                }
                break;
            case 'x':
            case 'X':
                EmitInteger(out, unsignedFlags, width, precision, va_arg(arguments, unsigned), 16,
                            letter == 'X', alternate ? "0x" : nullptr);
                break;
            case 'p':
                EmitInteger(out, unsignedFlags, width, 8,
                            reinterpret_cast<uintptr_t>(va_arg(arguments, void*)), 16, true,
                            alternate ? "0x" : nullptr);
                break;
            case 'o':
            case 'O':
                EmitInteger(out, unsignedFlags, width, precision, va_arg(arguments, unsigned), 8,
                            false, alternate ? "0" : nullptr);
                break;
            case 'b':
                EmitInteger(out, unsignedFlags, width, precision, va_arg(arguments, unsigned), 2,
                            false, nullptr);
                break;
            case 'a':
                EmitFixed(out, flags, width, va_arg(arguments, unsigned));
                break;
            case 'f':
                EmitReal(out, flags, width, precision, va_arg(arguments, double));
                break;
            case 'c': {
                char c = static_cast<char>(va_arg(arguments, int));
                EmitText(out, flags & ~(kZeroPad | kPlus), width, &c, 1);
                break;
            }
            case 's':
            case 'S':
                EmitString(out, flags, width, precision, alternate, va_arg(arguments, const char*));
                break;
            case 'h':
            case 'H':
                if ((f[0] == 'e' && f[1] == 'x') || (f[0] == 'E' && f[1] == 'X')) {
                    f += 2;
                    EmitHexBytes(out, width, letter == 'H',
                                 va_arg(arguments, const unsigned char*));
                } else {
                    out.Put(letter);
                }
                break;
            default:
                // Not a conversion: the letter stands for itself.
                out.Put(letter);
                break;
        }
    }

    bool overrun = false;
    if (out.cur >= out.end) {
        --out.cur;  // the last character gives way to the terminator
        overrun = true;
    }
    *out.cur = 0;
    if (overrun) {
        LogText(kOverrun);
        LogText(format);
    }
    return static_cast<int>(out.cur - buffer);
}

int StrPrintf(char* buffer, int size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = StrVPrintf(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}
