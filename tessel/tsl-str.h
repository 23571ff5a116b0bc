// Tessel strings: the bounded formatter and the string, number and checksum routines.
// All texts are zero-terminated 8-bit strings; ignoring case folds ASCII letters only.
// Every null text or output pointer is fatal ("Pointer is NULL\n").
#pragma once

#include <stdarg.h>
#include <stdint.h>

// Length, copy and append.
int StrLen(const char* text);
int StrCopy(char* destination, const char* source);
int StrCopyN(char* destination, const char* source, int size);
int StrCat(char* destination, const char* source);
// Appends `source` to `destination` (`size` bytes) when the whole fits; 0, and `destination`
// unchanged, when it does not: a cut path or name would name something else.
int StrAppend(char* destination, int size, const char* source);

// Equality and prefixes (1 when true).
int StrEqual(const char* a, const char* b);
int StrEqualNoCase(const char* a, const char* b);
int StrStartsWith(const char* text, const char* prefix);
int StrStartsWithNoCase(const char* text, const char* prefix);

// Searches: the position found, or null, goes to *found; 1 when found.
int StrFindChar(const char* text, int character, const char** found);
int StrFind(const char* text, const char* needle, const char** found);
int StrFindNoCase(const char* text, const char* needle, const char** found);

// The same searches on a modifiable text, giving a modifiable position.
inline int StrFindChar(char* text, int character, char** found) {
    return StrFindChar(static_cast<const char*>(text), character, const_cast<const char**>(found));
}
inline int StrFind(char* text, const char* needle, char** found) {
    return StrFind(static_cast<const char*>(text), needle, const_cast<const char**>(found));
}
inline int StrFindNoCase(char* text, const char* needle, char** found) {
    return StrFindNoCase(static_cast<const char*>(text), needle, const_cast<const char**>(found));
}

// Numbers.
int StrToInt64(const char* text, int64_t* valueOut);
int StrToReal(const char* text, double* valueOut);
int64_t AtoI(const char* text);
double AtoF(const char* text);
int StrToIPv4(const char* text, uint32_t* addressOut);

// CRC-32 (IEEE 802.3); with exactCase other than 1, 'a'..'z' hash as 'A'..'Z'.
int StrCrc32(const char* text, int exactCase, uint32_t* crcOut);
// The same CRC over a run of bytes, continued from *crc (0 to begin): feeding a file in pieces
// gives the CRC of the whole.
int StrCrc32Update(uint32_t* crc, const void* data, int32_t size);

// The bounded formatter: writes at most size - 1 characters and a NUL, returns the count.
int StrPrintf(char* buffer, int size, const char* format, ...);
int StrVPrintf(char* buffer, int size, const char* format, va_list arguments);

// AtoI and AtoF for text from outside (scripts, servers, the registry): the same values,
// but a number run too long for them gives 0 and a 0 result instead of ending the process.
int AtoIChecked(const char* text, int64_t* valueOut);
int AtoFChecked(const char* text, double* valueOut);
// The significant digits of the number AtoI reads from `text` (after a sign or "0x" and
// leading zeros). AtoI's 64-bit value wraps for long numbers, so a caller that needs at
// most N digits refuses a count above N, whatever value came out.
int AtoIDigits(const char* text);
